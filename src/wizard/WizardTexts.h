#pragma once

// The wizard's own texts. Captions, messages and the finish texts are read by users and by support
// staff who quote them back, so they stay exactly as written here.

namespace qrt::texts {

inline constexpr const char* AppTitle = "Morvask | Data Recovery Wizard";
inline constexpr const char* HelpFile = "Quillaby.chm";
inline constexpr const char* ExitingCaption =
    "Morvask | Exiting... Please wait while we cancel pending tasks...";

// --- Bottom panel ---------------------------------------------------------------------------------
inline constexpr const char* GetService = "Get Recovery Service";
inline constexpr const char* Back = "Back";
inline constexpr const char* Continue = "Continue";
inline constexpr const char* RecoverMyFiles = "Recover My Files!";
inline constexpr const char* OpenRecoveryFolder = "Open Recovery Folder";
inline constexpr const char* Cancel = "Cancel";
inline constexpr const char* CloseWizard = "Close Wizard";

// --- Questions ------------------------------------------------------------------------------------
inline constexpr const char* ConfirmExit = "Are you sure you want to exit?";
inline constexpr const char* ConfirmBackDuringRun =
    "Pressing the Back button will cancel the current recover process. Are you sure you want to proceed?";
inline constexpr const char* GoToPrefix = "Go to ";
inline constexpr const char* TooMuchDamage = "Sorry, too much damage found: ";
// Why a device without a file system cannot be recovered.
inline constexpr const char* NothingToRebuild = "No valid boot sector could be found or recreated!";

// --- Intro page -----------------------------------------------------------------------------------
inline constexpr const char* IntroHeading = "Regarding Physical Damage:";
// The paragraphs of the intro text; the phone number and e-mail address follow the last one.
inline constexpr const char* IntroText1 =
    "No software can recover files from a flash drive or memory card that is physically damaged: "
    "a cracked casing, a bent connector, water damage, or a card that is no longer recognised when it "
    "is plugged in. Trying again and again can make such damage worse.";
inline constexpr const char* IntroText2 =
    "If you think your device may be physically damaged, press \"Get Recovery Service\". Our "
    "engineers work in a clean-room laboratory and recover files from devices that software cannot "
    "read.";
inline constexpr const char* IntroText3 = "Otherwise press Continue to start recovering your files. "
                                          "Questions? Call us or write to us:";

// --- Drive page -----------------------------------------------------------------------------------
inline constexpr const char* AvailableDrives = "Available Drives:";
inline constexpr const char* RemovableDrivesNode = "Removable drives: ";
inline constexpr const char* PhysicalDisksNode = "Physical disks: ";
inline constexpr const char* RemovableDisk = "Removable Disk";
inline constexpr const char* NoFileSystemFound = " (no file system found)";
inline constexpr const char* DriveHelp1 =
    "Select your flash drive or memory card from the list on the left. It may appear under "
    "\"Removable drives\" or under \"Physical disks\". Choose it under \"Removable drives\" first; if "
    "that does not bring back the files you want, start over and try it under \"Physical disks\".";
inline constexpr const char* DriveHelp2 =
    "If your drive is not in the list, it is most likely physically damaged. Press \"Get Recovery "
    "Service\" to have our engineers recover your files.";
inline constexpr const char* AccessDeniedHint =
    "Some drives could not be opened because QRT Wizard lacks the rights to read them. Close the "
    "wizard and start it with administrator rights (for example \"sudo qrtwizard\" or \"pkexec "
    "qrtwizard\") to see them.";

// --- Folder page ----------------------------------------------------------------------------------
inline constexpr const char* FolderIntro =
    "Your files will now be recovered and placed in this folder on your hard drive:";
inline constexpr const char* Browse = "Browse";
inline constexpr const char* FolderBrowseHint =
    "Click Brose if you want to save the files to a different location.";
inline constexpr const char* FolderCaution =
    "CAUTION: Do not save your files to the drive that is being recovered or the files may be "
    "irretrievably lost. If in doubt, just keep the default settings and hit Recover My Files!";
inline constexpr const char* FolderOnSourceDevice =
    "The folder you chose lies on the drive that is being recovered. Saving there could overwrite the "
    "very files you want back. Please choose a folder on another drive.";
inline constexpr const char* SaveDialogTitle = "Select folder to save recovered files...";
inline constexpr const char* SaveDialogFilter = "All Files (*.*)";
inline constexpr const char* SaveDialogDefaultSuffix = "data";
inline constexpr const char* SaveDialogFileName = "(Filename will be ignored)";

// --- Progress page --------------------------------------------------------------------------------
inline constexpr const char* SlownessHeading = "Deep scan in progress...";
inline constexpr const char* SlownessWarning =
    "Depending on the size of your flash drive, this could take anywhere from 3 minutes to several "
    "hours to complete. While you wait: pictures that come back damaged or only in part can often be "
    "repaired with Morvask Photo Mender.";
inline constexpr const char* OtherProductLink = "Learn more about Morvask Photo Mender";
inline constexpr const char* CurrentDirectory = "Current Directory:";
inline constexpr const char* CurrentFile = "Current File:";
inline constexpr const char* TimeElapsedInitial = "Time Elapsed: xx:xx:xx";
inline constexpr const char* TimeElapsedPrefix = "Time elapsed: ";
inline constexpr const char* FilesRecoveredSoFar = " file(s) recovered so far!";

// --- Finish page ----------------------------------------------------------------------------------
inline constexpr const char* FinishHeading = "Recovery Complete!";
inline constexpr const char* FinishNothingSaved =
    "We regret that our software was unable to recover any file from your flash drive. The Morvask LLC "
    "data recovery engineers have advanced data recovery tools and techniques and can almost certainly "
    "recover your files. \r\n\r\nClick below to learn more about our discounted service.";
// "don’t" carries the typographic apostrophe (U+2019) and two blanks follow it.
inline constexpr const char* FinishFilesSaved =
    "QRT Wizard has finished recovering all files salvageable using automated software. If the folder is "
    "empty, or you don\u2019t  see the files you were hoping to find, more advanced procedures are "
    "required. The Morvask LLC data recoveryengineers have many advanced tools and can almost certainly "
    "get your data back. \r\nClick below to learn more about our discounted data recovery service.";

// --- Web content of the finish page ---------------------------------------------------------------
inline constexpr const char* BlankSocialDocument =
    "<!DOCTYPE html><html><head><title>Morvask Recovery Wizard</title></head><body "
    "bgcolor=\"#FFFCF1\"></body></html>";
inline constexpr const char* SocialPagePath = "/Tarnwell/social.htm";
inline constexpr const char* SocialNoRecoveredPagePath = "/Tarnwell/socialNoRecovered.htm";
inline constexpr const char* ServicePagePath = "/Tarnwell/service.htm";
inline constexpr const char* OtherProductPagePath = "/Tarnwell/photomender.htm";

} // namespace qrt::texts

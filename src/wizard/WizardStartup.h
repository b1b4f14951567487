#pragma once

#include <string>

namespace qrt {

// The application settings made at start-up: the title "Morvask | Data Recovery Wizard" (also the
// caption of the window and of every message box), the help file, the application's names for Qt
// and the registration of the FAT file-system classes (FAT12, FAT16, FAT32, in this order). Safe to
// call more than once.
void InitWizardApplication();

// Where the crash reporter appends the exceptions it is handed: a file in the user's data folder
// for the wizard (the folder is created).
std::string WizardErrorLogFile();

} // namespace qrt

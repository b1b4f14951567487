#include "WizardTestSupport.h"

#include "core/Application.h"
#include "core/Hooks.h"
#include "disk/DiskAccessor.h"
#include "engine/dmMain.h"
#include "support/PathUtils.h"
#include "wizard/ImageAnimator.h"
#include "wizard/LedProgressBar.h"
#include "wizard/WizardTexts.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace qrt::test {
namespace {

FatImage::Options Fat(int aBits, uint32_t aSizeKiB, const std::string& aLabel = "") {
    FatImage::Options o;
    o.FatBits = aBits;
    o.SizeKiB = aSizeKiB;
    o.Label = aLabel;
    return o;
}

// A camera card: pictures in folders, a note, and a picture deleted by the user.
struct CameraCard {
    explicit CameraCard(const TempDir& aTemp)
        : Image(aTemp.File("camera.img"), Fat(16, 16384, "CAMERA")), Picture(PatternBytes(70000, 1)),
          Deleted(PatternBytes(5000, 2)) {
        Image.Mkdir("DCIM");
        Image.Mkdir("DCIM/100CANON");
        Image.WriteFile("DCIM/100CANON/IMG_0001.JPG", Picture);
        Image.WriteFile("NOTES.TXT", "Meeting at noon\r\n");
        Image.WriteFile("DCIM/100CANON/IMG_0002.JPG", Deleted);
        Image.Delete("DCIM/100CANON/IMG_0002.JPG");
    }
    FatImage Image;
    std::string Picture;
    std::string Deleted;
};

// Walks from the intro page to the folder page with the drive whose line is aLine.
void GoToFolderPage(WizardHarness& aWizard, const QString& aLine) {
    TformMain& form = aWizard.Form();
    aWizard.Click(form.btnContinue);
    aWizard.SelectNode(aLine);
    aWizard.Click(form.btnContinue);
    ASSERT_EQ(form.ActivePage(), form.tabshSelectFolder);
}

void ExpectPackedFromRight(TformMain& aForm) {
    std::vector<ButtonBox> boxes = VisibleButtonsFromRight(aForm);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].Right, aForm.pnlBottom->width() - 6);
    for (size_t i = 1; i < boxes.size(); ++i)
        EXPECT_EQ(boxes[i].Right, boxes[i - 1].Left - 3) << boxes[i].Name;
}

bool AnyFileHolds(const std::string& aFolder, const std::string& aBytes) {
    for (const std::string& name : ListFilesRecursive(aFolder))
        if (ReadFileBytes(aFolder + "/" + name) == aBytes) return true;
    return false;
}

TEST(RecoveryRun, FromTheFolderPageToTheFinishPageWithTheFilesOnDisk) {
    WizardHarness wizard;
    CameraCard card(wizard.Temp());
    wizard.AddDevice("D:", card.Image.Path());
    wizard.Start();
    TformMain& form = wizard.Form();
    TdmodMain& engine = wizard.Module().Engine();
    ASSERT_NO_FATAL_FAILURE(GoToFolderPage(wizard, "D: 'CAMERA' (16 MB)"));

    // The folder page shows the default folder; an empty edit disables "Recover My Files!".
    EXPECT_EQ(form.btnContinue->text().toStdString(), "Recover My Files!");
    EXPECT_EQ(form.btnContinue->width(), 130);
    EXPECT_EQ(form.edSaveFolder->text().toStdString(), engine.fOutputFolder);
    EXPECT_EQ(form.focusWidget(), form.edSaveFolder);
    ExpectPackedFromRight(form);
    SaveScreenshot(&form, "3-folder");
    form.edSaveFolder->clear();
    EXPECT_FALSE(form.btnContinue->isEnabled());
    form.UpdateContinueState();
    EXPECT_FALSE(form.btnContinue->isEnabled());

    // A folder typed by hand, not there yet, becomes the output folder.
    const std::string output = wizard.Temp().File("My Pictures/Recovered");
    form.edSaveFolder->setText(QString::fromStdString(output));
    EXPECT_TRUE(form.btnContinue->isEnabled());

    bool shotTaken = false;
    QObject::connect(form.edCurrRecoveryDir, &QLineEdit::textChanged, &form, [&](const QString&) {
        if (!shotTaken && engine.IsRecovering()) {
            shotTaken = true;
            EXPECT_TRUE(engine.IsRecovering());
            EXPECT_EQ(form.ActivePage(), form.tabshRecoveryProgress);
            form.UpdateContinueState(); // a tick in the middle of the run
            EXPECT_FALSE(form.btnContinue->isEnabled());
            SaveScreenshot(&form, "4-progress-running");
        }
    });
    wizard.Click(form.btnContinue); // the whole run happens inside this click
    EXPECT_TRUE(shotTaken);
    EXPECT_TRUE(wizard.Boxes().Asked().empty());

    // The run is over: the progress page stays until Continue, which the next tick enables.
    ASSERT_EQ(form.ActivePage(), form.tabshRecoveryProgress);
    EXPECT_FALSE(engine.IsRecovering());
    EXPECT_TRUE(form.imganiRecoveryProgress->Animate());
    EXPECT_TRUE(form.btnGetService->isHidden());
    EXPECT_EQ(engine.fOutputFolder, output + "/");
    form.timerUpdateUITimer();
    EXPECT_TRUE(form.btnContinue->isEnabled());
    ASSERT_GE(engine.fSavedFileCount, 3);
    const std::string hint = std::to_string(engine.fSavedFileCount) + " file(s) recovered so far!";
    EXPECT_EQ(form.stprogRecoveryProgress->toolTip().toStdString(), hint);
    EXPECT_EQ(form.edCurrRecoveryFile->toolTip().toStdString(), hint);
    EXPECT_EQ(form.edCurrRecoveryDir->toolTip().toStdString(), hint);
    EXPECT_EQ(form.lblTimeElapsed->text().left(14).toStdString(), "Time elapsed: ");
    SaveScreenshot(&form, "4-progress-done");

    wizard.Click(form.btnContinue);
    ASSERT_EQ(form.ActivePage(), form.tabshFinished);
    EXPECT_EQ(form.fFinishText, texts::FinishFilesSaved);
    EXPECT_EQ(form.lblFinishText->toPlainText().toStdString().substr(0, 40),
              std::string(texts::FinishFilesSaved).substr(0, 40));
    EXPECT_EQ(form.focusWidget(), form.btnContinue);
    EXPECT_FALSE(form.btnBack->isEnabled());
    EXPECT_EQ(form.btnContinue->text().toStdString(), "Open Recovery Folder");
    EXPECT_EQ(form.btnContinue->width(), 160);
    EXPECT_EQ(form.btnCancel->text().toStdString(), "Close Wizard");
    EXPECT_EQ(form.btnCancel->width(), 110);
    EXPECT_FALSE(form.btnGetService->isHidden());
    ExpectPackedFromRight(form);
    SaveScreenshot(&form, "5-finish");

    // What came back, on disk.
    EXPECT_EQ(ReadFileBytes(output + "/DCIM/100CANON/IMG_0001.JPG"), card.Picture);
    EXPECT_EQ(ReadFileBytes(output + "/NOTES.TXT"), "Meeting at noon\r\n");
    EXPECT_TRUE(AnyFileHolds(output + "/~DeletedFiles", card.Deleted));
    EXPECT_TRUE(FileExists(output + "/SavedFilesLog.txt"));

    // "Open Recovery Folder" opens it and stays; Esc closes the wizard without a question.
    wizard.Click(form.btnContinue);
    ASSERT_EQ(wizard.ShellCalls().size(), 1u);
    EXPECT_EQ(wizard.ShellCalls()[0].Verb, "explore");
    EXPECT_EQ(wizard.ShellCalls()[0].Target, output + "/");
    EXPECT_EQ(form.ActivePage(), form.tabshFinished);
    wizard.PressKey(Qt::Key_Escape);
    EXPECT_TRUE(wizard.Boxes().Asked().empty());
    EXPECT_TRUE(Application().Terminated());
}

TEST(RecoveryRun, NothingRecoveredPointsToTheRecoveryService) {
    WizardHarness wizard;
    FatImage empty(wizard.Temp().File("empty.img"), Fat(12, 2048, "EMPTY"));
    wizard.AddDevice("D:", empty.Path());
    wizard.Start();
    TformMain& form = wizard.Form();
    ASSERT_NO_FATAL_FAILURE(GoToFolderPage(wizard, "D: 'EMPTY' (2 MB)"));
    form.edSaveFolder->setText(QString::fromStdString(wizard.Temp().File("out")));
    wizard.Click(form.btnContinue);
    form.timerUpdateUITimer();
    wizard.Click(form.btnContinue);

    ASSERT_EQ(form.ActivePage(), form.tabshFinished);
    EXPECT_EQ(wizard.Module().Engine().fSavedFileCount, 0);
    EXPECT_EQ(form.fFinishText, texts::FinishNothingSaved);
    EXPECT_EQ(form.focusWidget(), form.btnGetService);
    SaveScreenshot(&form, "5-finish-nothing");
}

// Back during a run stops it through the engine's stop request and returns to the folder page
// with the program still open; a second run from there completes.
TEST(RecoveryRun, BackDuringARunStopsItAndReturnsToTheFolderPage) {
    WizardHarness wizard;
    CameraCard card(wizard.Temp());
    wizard.AddDevice("D:", card.Image.Path());
    wizard.Start();
    TformMain& form = wizard.Form();
    TdmodMain& engine = wizard.Module().Engine();
    ASSERT_NO_FATAL_FAILURE(GoToFolderPage(wizard, "D: 'CAMERA' (16 MB)"));
    form.edSaveFolder->setText(QString::fromStdString(wizard.Temp().File("first")));

    // Back is pressed once the run is under way: No first (nothing changes), then Yes.
    bool pressed = false;
    QObject::connect(form.edCurrRecoveryDir, &QLineEdit::textChanged, &form, [&](const QString&) {
        if (!pressed && engine.IsRecovering()) {
            pressed = true;
            QTimer::singleShot(0, form.btnBack, &QPushButton::click);
        }
    });
    wizard.Boxes().Answer(IDNO, [&] {
        EXPECT_TRUE(engine.IsRecovering());
        QTimer::singleShot(0, form.btnBack, &QPushButton::click);
    });
    wizard.Boxes().Answer(IDYES, [&] { EXPECT_TRUE(engine.IsRecovering()); });
    wizard.Click(form.btnContinue);

    ASSERT_EQ(wizard.Boxes().Asked().size(), 2u);
    EXPECT_EQ(wizard.Boxes().Asked()[0].Text, "Pressing the Back button will cancel the current recover "
                                              "process. Are you sure you want to proceed?");
    EXPECT_EQ(wizard.Boxes().Asked()[0].Flags, 0x40114u);
    EXPECT_FALSE(engine.IsRecovering());
    EXPECT_FALSE(engine.StopRequested());
    EXPECT_FALSE(Application().Terminated());
    EXPECT_EQ(form.ActivePage(), form.tabshSelectFolder);
    EXPECT_EQ(form.btnContinue->text().toStdString(), "Recover My Files!");

    form.edSaveFolder->setText(QString::fromStdString(wizard.Temp().File("second")));
    wizard.Click(form.btnContinue);
    form.timerUpdateUITimer();
    wizard.Click(form.btnContinue);
    EXPECT_EQ(form.ActivePage(), form.tabshFinished);
    EXPECT_EQ(ReadFileBytes(wizard.Temp().File("second/DCIM/100CANON/IMG_0001.JPG")), card.Picture);
}

TEST(RecoveryRun, CancelDuringARunEndsTheProgramAfterTheRunUnwinds) {
    WizardHarness wizard;
    CameraCard card(wizard.Temp());
    wizard.AddDevice("D:", card.Image.Path());
    wizard.Start();
    TformMain& form = wizard.Form();
    ASSERT_NO_FATAL_FAILURE(GoToFolderPage(wizard, "D: 'CAMERA' (16 MB)"));
    form.edSaveFolder->setText(QString::fromStdString(wizard.Temp().File("out")));
    bool pressed = false;
    QObject::connect(form.edCurrRecoveryDir, &QLineEdit::textChanged, &form, [&](const QString&) {
        if (!pressed && wizard.Module().Engine().IsRecovering()) {
            pressed = true;
            QTimer::singleShot(0, form.btnCancel, &QPushButton::click);
        }
    });
    wizard.Boxes().Answer(IDYES);
    wizard.Click(form.btnContinue);

    ASSERT_EQ(wizard.Boxes().Asked().size(), 1u);
    EXPECT_EQ(wizard.Boxes().Asked()[0].Text, "Are you sure you want to exit?");
    EXPECT_TRUE(Application().Terminated());
    EXPECT_FALSE(wizard.Module().Engine().IsRecovering());
    EXPECT_EQ(form.windowTitle().toStdString(),
              "Morvask | Exiting... Please wait while we cancel pending tasks...");
}

TEST(RecoveryRun, AFolderThatCannotBeCreatedKeepsTheFolderPageWithoutAMessage) {
    WizardHarness wizard;
    CameraCard card(wizard.Temp());
    wizard.AddDevice("D:", card.Image.Path());
    wizard.Start();
    TformMain& form = wizard.Form();
    ASSERT_NO_FATAL_FAILURE(GoToFolderPage(wizard, "D: 'CAMERA' (16 MB)"));
    WriteFileBytes(wizard.Temp().File("a-file"), "x");
    form.edSaveFolder->setText(QString::fromStdString(wizard.Temp().File("a-file/inside")));
    wizard.Click(form.btnContinue);
    EXPECT_EQ(form.ActivePage(), form.tabshSelectFolder);
    EXPECT_TRUE(wizard.Boxes().Asked().empty());
    EXPECT_FALSE(wizard.Module().Engine().IsRecovering());
}

TEST(RecoveryRun, BrowseTakesTheFolderOfTheChosenFileName) {
    WizardHarness wizard;
    CameraCard card(wizard.Temp());
    wizard.AddDevice("D:", card.Image.Path());
    wizard.Start();
    TformMain& form = wizard.Form();
    ASSERT_NO_FATAL_FAILURE(GoToFolderPage(wizard, "D: 'CAMERA' (16 MB)"));
    const std::string start = wizard.Module().Engine().fOutputFolder;

    std::string askedFolder, askedName;
    form.SetSaveDialogHandler([&](const std::string& aFolder, std::string& aFileName) {
        askedFolder = aFolder;
        askedName = aFileName;
        return false;
    });
    form.btnSelectFolder->click();
    EXPECT_EQ(askedFolder, start);
    EXPECT_EQ(askedName, "(Filename will be ignored)");
    EXPECT_EQ(wizard.Module().Engine().fOutputFolder, start); // cancelled: nothing changes

    const std::string chosen = wizard.Temp().File("Chosen/Place");
    form.SetSaveDialogHandler([&](const std::string&, std::string& aFileName) {
        aFileName = chosen + "/(Filename will be ignored).data";
        return true;
    });
    form.btnSelectFolder->click();
    EXPECT_EQ(wizard.Module().Engine().fOutputFolder, chosen + "/");
    EXPECT_EQ(form.edSaveFolder->text().toStdString(), chosen + "/");
    EXPECT_TRUE(DirectoryExists(chosen));
}

// A card whose boot sector is gone is offered as having no file system; recovering it rebuilds the
// volume from its directories first.
TEST(RecoveryRun, ACardWithoutABootRecordIsRebuiltAndRecovered) {
    WizardHarness wizard;
    FatImage card(wizard.Temp().File("wiped.img"), Fat(16, 16384));
    for (const char* folder : {"ONE", "TWO", "THREE"}) {
        card.Mkdir(folder);
        card.WriteFile(std::string(folder) + "/FILE.TXT", std::string("contents of ") + folder);
    }
    card.ZeroSectors(0, 1);
    FatImage blank(wizard.Temp().File("blank.img"), Fat(12, 1024));
    blank.ZeroSectors(0, 2048);
    wizard.AddDevice("PhysicalDrive0", card.Path());
    wizard.AddDevice("PhysicalDrive1", blank.Path());
    wizard.Start();
    TformMain& form = wizard.Form();

    // Nothing to rebuild from: the user is told, and stays on the folder page.
    ASSERT_NO_FATAL_FAILURE(GoToFolderPage(wizard, "1:  HDD:81  1 MB (no file system found)"));
    form.edSaveFolder->setText(QString::fromStdString(wizard.Temp().File("out-blank")));
    wizard.Boxes().Answer(IDOK);
    wizard.Click(form.btnContinue);
    ASSERT_EQ(wizard.Boxes().Asked().size(), 1u);
    EXPECT_EQ(wizard.Boxes().Asked()[0].Text,
              "Sorry, too much damage found: No valid boot sector could be found or recreated!");
    EXPECT_EQ(wizard.Boxes().Asked()[0].Flags, 0x40110u);
    EXPECT_EQ(form.ActivePage(), form.tabshSelectFolder);

    wizard.Click(form.btnBack);
    wizard.SelectNode("0:  HDD:80  16 MB (no file system found)");
    wizard.Click(form.btnContinue);
    const std::string output = wizard.Temp().File("out");
    form.edSaveFolder->setText(QString::fromStdString(output));
    wizard.Click(form.btnContinue);
    EXPECT_EQ(wizard.Boxes().Asked().size(), 1u);
    for (const char* folder : {"ONE", "TWO", "THREE"})
        EXPECT_TRUE(AnyFileHolds(output, std::string("contents of ") + folder)) << folder;
}

} // namespace
} // namespace qrt::test

namespace qrt::test {
namespace {

// The block device node that holds aPath, or "" when it is not on a block device with a node.
std::string BlockDeviceOf(const std::string& aPath) {
    struct stat st {};
    if (::stat(aPath.c_str(), &st) != 0 || major(st.st_dev) == 0) return {};
    std::string uevent = ReadFileBytes("/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                                       std::to_string(minor(st.st_dev)) + "/uevent");
    auto at = uevent.find("DEVNAME=");
    if (at == std::string::npos) return {};
    std::string name = uevent.substr(at + 8, uevent.find('\n', at) - at - 8);
    std::string node = "/dev/" + name;
    struct stat dev {};
    return ::stat(node.c_str(), &dev) == 0 && S_ISBLK(dev.st_mode) ? node : std::string();
}

// The wizard refuses an output folder on the device being recovered, before anything is read.
TEST(RecoveryRun, RefusesAnOutputFolderOnTheSourceDevice) {
    WizardHarness wizard;
    const std::string node = BlockDeviceOf(wizard.Temp().Path());
    if (node.empty()) GTEST_SKIP() << "the temporary folder is not on a block device with a node";
    wizard.Start();
    TformMain& form = wizard.Form();

    // An accessor for that device, never opened: the check looks at its name only.
    TxDiskAccessor source;
    source.fParams.DevicePath = node;
    wizard.Module().Engine().SetDisk(&source);
    form.GoToPage(form.tabshSelectFolder);
    form.edSaveFolder->setText(QString::fromStdString(wizard.Temp().File("out")));
    wizard.Boxes().Answer(IDOK);
    wizard.Click(form.btnContinue);

    ASSERT_EQ(wizard.Boxes().Asked().size(), 1u);
    EXPECT_EQ(wizard.Boxes().Asked()[0].Text, texts::FolderOnSourceDevice);
    EXPECT_EQ(form.ActivePage(), form.tabshSelectFolder);
    EXPECT_FALSE(PathExists(wizard.Temp().File("out")));
    wizard.Module().Engine().SetDisk(nullptr);
}

} // namespace
} // namespace qrt::test

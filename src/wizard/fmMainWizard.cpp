#include "wizard/fmMain.h"

#include "core/Application.h"
#include "core/Assert.h"
#include "core/Exceptions.h"
#include "core/Hooks.h"
#include "disk/DiskAccessor.h"
#include "disk/PartitionTable.h"
#include "fat/FileSystemFAT.h"
#include "platform/DeviceIO.h"
#include "platform/MountInfo.h"
#include "support/PathUtils.h"
#include "wizard/ImageAnimator.h"
#include "wizard/MakerSite.h"
#include "wizard/ShellExec.h"
#include "wizard/WizardTexts.h"
#include "wizard/dmMainUI.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>

QRT_UNIT("fmMain")

namespace qrt {

namespace {

// Flags of the three questions and of the error boxes: the buttons, the icon, the default button
// and the topmost flag.
constexpr uint32_t kAskBack = MB_YESNO | MB_ICONHAND | MB_DEFBUTTON2 | MB_TOPMOST;         // 0x40114
constexpr uint32_t kAskQuestion = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_TOPMOST; // 0x40124
constexpr uint32_t kErrorBox = MB_OK | MB_ICONHAND | MB_DEFBUTTON2 | MB_TOPMOST;           // 0x40110

int Ask(const std::string& aText, uint32_t aFlags) {
    return MessageBox(aText, Application().Title, aFlags);
}

} // namespace

QWidget* TformMain::ActivePage() const {
    return pgctlWizard->currentWidget();
}

void TformMain::GoToPage(QWidget* aPage) {
    pgctlWizard->setCurrentWidget(aPage);
    if (aPage == tabshFinished) tabshFinishedEnter();
    RefreshWizard();
}

void TformMain::GoToNextPage() {
    int next = pgctlWizard->currentIndex() + 1;
    QRT_ASSERT(next < pgctlWizard->count(), "WTF?");
    GoToPage(pgctlWizard->widget(next));
}

void TformMain::RefreshWizard() {
    UpdateWizardButtons();
    Application().ProcessMessages();
}

void TformMain::UpdateWizardButtons() {
    QWidget* page = ActivePage();
    btnGetService->setVisible(page != tabshRecoveryProgress);

    if (page == tabshSelectFolder) {
        btnContinue->setText(texts::RecoverMyFiles);
        btnContinue->resize(130, ButtonHeight);
    } else if (page == tabshFinished) {
        btnContinue->setText(texts::OpenRecoveryFolder);
        btnContinue->resize(160, ButtonHeight);
    } else {
        btnContinue->setText(texts::Continue);
        btnContinue->resize(80, ButtonHeight);
    }

    btnBack->setVisible(page != tabshIntro);
    if (page == tabshSelectFolder)
        edSaveFolder->setText(QString::fromStdString(fModule.Engine().fOutputFolder));
    UpdateContinueState();

    if (page == tabshFinished) {
        btnCancel->setText(texts::CloseWizard);
        btnCancel->resize(110, ButtonHeight);
        SetFinishText();
    } else {
        btnCancel->setText(texts::Cancel);
        btnCancel->resize(80, ButtonHeight);
    }

    LayOutButtons();

    btnContinue->setDefault(true);
    if (btnContinue->isEnabled()) btnContinue->setFocus();
    if (QWidget* first = FirstTabStop()) first->setFocus();
    if (page == tabshFinished && isActiveWindow())
        (fModule.Engine().fSavedFileCount < 1 ? btnGetService : btnContinue)->setFocus();
}

void TformMain::LayOutButtons() {
    int x = pnlBottom->width() - ButtonGap;
    const int top = (BottomPanelHeight - ButtonHeight) / 2;
    for (QPushButton* button : {btnCancel, btnContinue, btnBack, btnGetService}) {
        if (button->isHidden()) continue;
        x -= ButtonGap + button->width();
        button->move(x, top);
    }
}

QWidget* TformMain::FirstTabStop() const {
    QWidget* page = ActivePage();
    for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
        if (!page->isAncestorOf(w)) continue;
        if (w->isEnabled() && !w->isHidden() && w->isVisibleTo(page) && (w->focusPolicy() & Qt::TabFocus))
            return w;
    }
    return nullptr;
}

bool TformMain::CanLeaveFolderPage() const {
    return !edSaveFolder->text().isEmpty();
}

void TformMain::timerUpdateUITimer() {
    UpdateContinueState();
}

void TformMain::actlstMainUpdate() {
    QWidget* page = ActivePage();
    if (page == tabshSelectDrive)
        btnContinue->setEnabled(CanLeaveDrivePage());
    else if (page == tabshSelectFolder)
        btnContinue->setEnabled(CanLeaveFolderPage());
}

void TformMain::btnContinueClick() {
    QWidget* page = ActivePage();
    if (page == tabshIntro) {
        RefreshDriveList();
        GoToNextPage();
    } else if (page == tabshSelectDrive) {
        TxDiskAccessor* disk = SelectedDisk();
        QRT_ASSERT(disk != nullptr, "WTF?");
        fModule.Engine().SetDisk(disk);
        GoToNextPage();
    } else if (page == tabshSelectFolder) {
        StartRecovery();
    } else if (page == tabshRecoveryProgress) {
        GoToNextPage();
    } else if (page == tabshFinished) {
        ShellExecute("explore", fModule.Engine().fOutputFolder);
    }
}

std::string TformMain::FolderFromEdit() const {
    QString text = edSaveFolder->text().trimmed();
    if (text == "~" || text.startsWith("~/")) text = QDir::homePath() + text.mid(1);
    if (QDir::isRelativePath(text)) text = QDir::home().absoluteFilePath(text);
    return text.toStdString();
}

void TformMain::StartRecovery() {
    TdmodMain& engine = fModule.Engine();
    QRT_ASSERT(engine.fDisk != nullptr, "WTF?");
    TxDiskAccessor* disk = engine.fDisk;

    std::string folder = FolderFromEdit();
    // Never write onto the device being read: that could overwrite the very files to be recovered.
    if (OutputLiesOnSource(folder, DeviceResolve(disk->fParams.DevicePath))) {
        MessageBox(texts::FolderOnSourceDevice, Application().Title, kErrorBox);
        return;
    }
    if (!DirectoryExists(folder))
        ForceDirectories(ExcludeTrailingBackslash(IncludeTrailingBackslash(folder)));
    if (!DirectoryExists(folder)) return; // neither found nor created: the page stays

    if (!disk->fFileSystem && !PrepareUnmountedDisk(disk)) return;
    QRT_ASSERT(disk->fFileSystem != nullptr, "WTF?");

    engine.SetOutputFolder(folder);
    edSaveFolder->setText(QString::fromStdString(engine.fOutputFolder));
    fReturnToFolderPage = false;
    engine.ResetStop();
    GoToNextPage();
    imganiRecoveryProgress->SetAnimate(true);
    RefreshWizard();
    // The pump above may have handled Back or Cancel already: then there is nothing to start.
    if (ActivePage() != tabshRecoveryProgress || Application().Terminated()) return;
    engine.RecoverFileSystem(disk->fFileSystem);

    if (fReturnToFolderPage) {
        fReturnToFolderPage = false;
        engine.ResetStop();
        if (!Application().Terminated()) GoToPage(tabshSelectFolder);
    }
}

bool TformMain::PrepareUnmountedDisk(TxDiskAccessor* aDisk) {
    // A whole disk whose first sector still passed as a partition record, without a usable entry,
    // keeps an empty table; the rebuilt volume replaces it.
    if (aDisk->fPartitionTable) {
        QRT_ASSERT(aDisk->fPartitionTable->GetPartitionCount() == 0, "WTF?");
        delete aDisk->fPartitionTable;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TFileSystemFATx* fileSystem = nullptr;
    try {
        fileSystem = TFileSystemFATx::MountRebuilt(aDisk);
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    QApplication::restoreOverrideCursor();
    if (fileSystem) return true;
    MessageBox(std::string(texts::TooMuchDamage) + texts::NothingToRebuild, Application().Title, kErrorBox);
    return false;
}

void TformMain::btnBackClick() {
    QWidget* page = ActivePage();
    if (page == tabshSelectDrive) {
        GoToPage(tabshIntro);
    } else if (page == tabshSelectFolder) {
        GoToPage(tabshSelectDrive);
    } else if (page == tabshRecoveryProgress) {
        if (Ask(texts::ConfirmBackDuringRun, kAskBack) != IDYES) return;
        if (fModule.Engine().IsRecovering()) {
            // The run unwinds; the click handler that started it then returns to the folder page.
            fReturnToFolderPage = true;
            fModule.Engine().RequestStop();
        } else {
            GoToPage(tabshSelectFolder);
        }
    }
}

void TformMain::btnCancelClick() {
    if (ActivePage() == tabshFinished) {
        fModule.RequestTermination();
        return;
    }
    if (Ask(texts::ConfirmExit, kAskQuestion) != IDYES) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    btnCancel->setCursor(Qt::ArrowCursor);
    setWindowTitle(texts::ExitingCaption);
    fModule.RequestTermination();
}

void TformMain::btnGetServiceClick() {
    if (Ask(std::string(texts::GoToPrefix) + MakerHost() + "?", kAskQuestion) != IDYES) return;
    ShellExecute("open", MakerUrl(texts::ServicePagePath));
    fModule.RequestTermination();
}

void TformMain::btnSelectFolderClick() {
    TdmodMain& engine = fModule.Engine();
    std::string fileName = texts::SaveDialogFileName;
    bool confirmed = false;
    if (fSaveDialog) {
        confirmed = fSaveDialog(engine.fOutputFolder, fileName);
    } else {
        QFileDialog dialog(this, texts::SaveDialogTitle, QString::fromStdString(engine.fOutputFolder),
                           texts::SaveDialogFilter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(texts::SaveDialogDefaultSuffix);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        dialog.setFilter(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        dialog.selectFile(texts::SaveDialogFileName);
        dialog.setSizeGripEnabled(true);
        confirmed = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
        if (confirmed) fileName = dialog.selectedFiles().first().toStdString();
    }
    std::string folder = ExtractFilePath(fileName);
    if (!confirmed || folder.empty()) return;
    engine.SetOutputFolder(folder);
    edSaveFolder->setText(QString::fromStdString(engine.fOutputFolder));
}

} // namespace qrt

#pragma once

#include "engine/IRecoveryView.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace qrt {

class TdmodMainUI;
class TImageAnimator;
class TLedProgressBar;
class TObjectList;
class TSocialBrowser;
class TxDiskAccessor;

// The wizard's window: five pages in a page stack without tabs and a bottom panel with four buttons
// that lead the user from the introduction through the choice of a drive and an output folder to
// the recovery and its result. It is the engine's progress view while a run is in progress.
//
// Sources: fmMain.cpp (construction and the pages), fmMainWizard.cpp (buttons, page sequence and
// questions), fmMainDrives.cpp (the drive list), fmMainFinish.cpp (progress and finish pages).
class TformMain : public QDialog, public IRecoveryView {
    Q_OBJECT

public:
    static constexpr int ClientWidth = 630;
    static constexpr int ClientHeight = 443;
    static constexpr int BottomPanelHeight = 40;
    static constexpr int ButtonGap = 3;
    static constexpr int ButtonHeight = 25;
    static constexpr int UpdateInterval = 250;        // timerUpdateUI
    static constexpr uint32_t SocialReloadMs = 10000; // the finish page's web content

    explicit TformMain(TdmodMainUI& aModule, QWidget* aParent = nullptr);
    ~TformMain() override;

    // --- page sequence and buttons ---
    void UpdateWizardButtons();
    // UpdateWizardButtons, then one pass of the message pump.
    void RefreshWizard();
    void UpdateContinueState();
    bool CanLeaveFolderPage() const;
    // The active page after the current one, then RefreshWizard.
    void GoToNextPage();
    void GoToPage(QWidget* aPage);
    QWidget* ActivePage() const;

    // --- drive page ---
    void RefreshDriveList();
    // Exactly one node is selected, and it is a device node (it has no children).
    bool CanLeaveDrivePage() const;
    // The device of the selected node, or nullptr.
    TxDiskAccessor* SelectedDisk() const;

    // --- finish page ---
    void LoadSocialPage();

    // --- IRecoveryView: the engine writes the progress page ---
    void SetDirectoryText(const std::string& aText) override;
    void SetFileText(const std::string& aText) override;
    void SetElapsedText(const std::string& aText) override;
    void SetPercent(int32_t aPercent) override;

    // The save dialog's seam: given the start folder and file name, answers whether the user
    // confirmed and which file name was chosen. Empty: the Qt file dialog.
    using TSaveDialogHandler = std::function<bool(const std::string& aFolder, std::string& aFileName)>;
    void SetSaveDialogHandler(TSaveDialogHandler aHandler) { fSaveDialog = std::move(aHandler); }

    // Controls, named as the rest of the system and the tests know them.
    QStackedWidget* pgctlWizard;
    QWidget* tabshIntro;
    QWidget* tabshSelectDrive;
    QWidget* tabshSelectFolder;
    QWidget* tabshRecoveryProgress;
    QWidget* tabshFinished;
    QWidget* pnlBottom;
    QPushButton* btnGetService;
    QPushButton* btnBack;
    QPushButton* btnContinue;
    QPushButton* btnCancel;
    QTimer* timerUpdateUI;

    QTreeWidget* trvwDriveList;
    QToolButton* btnRefresh;
    QLabel* lblAccessDenied;

    QLineEdit* edSaveFolder;
    QPushButton* btnSelectFolder;

    TImageAnimator* imganiRecoveryProgress;
    QLabel* lblSlownessHeading;
    QLabel* lblSlownessWarning;
    QLabel* lnkOtherProduct;
    QLabel* lblCurrRecoveryDir;
    QLineEdit* edCurrRecoveryDir;
    QLabel* lblCurrRecoveryFile;
    QLineEdit* edCurrRecoveryFile;
    QLabel* lblTimeElapsed;
    TLedProgressBar* stprogRecoveryProgress;

    QLabel* lblFinishHeading;
    QPlainTextEdit* lblFinishText;
    TSocialBrowser* webControlSocial;

    // --- state ---
    TObjectList* fDiskList = nullptr; // not owning; the disk repository owns the devices
    QTreeWidgetItem* fRemovableNode = nullptr;
    QTreeWidgetItem* fPhysicalNode = nullptr;
    uint32_t fSocialLoadTime = 0;
    // The finish text as set, byte for byte (the memo shows it with its line breaks).
    std::string fFinishText;

public slots:
    void FormShow();
    void timerUpdateUITimer();
    void actlstMainUpdate();
    void btnContinueClick();
    void btnBackClick();
    void btnCancelClick();
    void btnGetServiceClick();
    void btnSelectFolderClick();
    void btnRefreshClick();
    void webControlSocialNavigateComplete2();
    void tabshFinishedEnter();

protected:
    void showEvent(QShowEvent* aEvent) override;
    void closeEvent(QCloseEvent* aEvent) override;
    // Esc: the cancel button.
    void reject() override;

private:
    QWidget* BuildIntroPage();
    QWidget* BuildDrivePage();
    QWidget* BuildFolderPage();
    QWidget* BuildProgressPage();
    QWidget* BuildFinishPage();
    void BuildBottomPanel();
    // Lays the visible buttons out from the right edge of the bottom panel.
    void LayOutButtons();
    // The first enabled control of the active page that takes the Tab key, or nullptr.
    QWidget* FirstTabStop() const;
    void SetFinishText();
    // The folder page's Continue: checks, the folder, the run.
    void StartRecovery();
    // For a device without a file system: rebuild and mount its volume; false (after telling the
    // user) when that is not possible.
    bool PrepareUnmountedDisk(TxDiskAccessor* aDisk);
    // The host path the folder edit names (a leading "~" is the home folder; a relative path lies
    // below the home folder).
    std::string FolderFromEdit() const;
    void AddDeviceNode(QTreeWidgetItem* aParent, const QString& aText, TxDiskAccessor* aDisk);

    TdmodMainUI& fModule;
    TSaveDialogHandler fSaveDialog;
    QLabel* fFinishPicture = nullptr;
    bool fShown = false;
    bool fReturnToFolderPage = false; // Back confirmed during a run
};

} // namespace qrt

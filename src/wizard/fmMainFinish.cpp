#include "wizard/fmMain.h"

#include "core/Ticks.h"
#include "wizard/LedProgressBar.h"
#include "wizard/MakerSite.h"
#include "wizard/Pictures.h"
#include "wizard/SocialBrowser.h"
#include "wizard/WizardTexts.h"
#include "wizard/dmMainUI.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace qrt {

// --- Progress page: the engine's view ---------------------------------------------------------------

void TformMain::SetDirectoryText(const std::string& aText) {
    edCurrRecoveryDir->setText(QString::fromStdString(aText));
}

void TformMain::SetFileText(const std::string& aText) {
    edCurrRecoveryFile->setText(QString::fromStdString(aText));
}

void TformMain::SetElapsedText(const std::string& aText) {
    lblTimeElapsed->setText(QString::fromStdString(aText));
}

void TformMain::SetPercent(int32_t aPercent) {
    stprogRecoveryProgress->SetPercent(aPercent);
}

// --- Continue state, per page ------------------------------------------------------------------------

void TformMain::UpdateContinueState() {
    QWidget* page = ActivePage();
    TdmodMain& engine = fModule.Engine();
    if (page == tabshIntro) {
        btnContinue->setEnabled(true);
    } else if (page == tabshSelectDrive) {
        btnContinue->setEnabled(CanLeaveDrivePage());
    } else if (page == tabshSelectFolder) {
        btnContinue->setEnabled(CanLeaveFolderPage());
    } else if (page == tabshRecoveryProgress) {
        btnContinue->setEnabled(!engine.IsRecovering());
        if (engine.fSavedFileCount > 0) {
            QString hint = QString::number(engine.fSavedFileCount) + texts::FilesRecoveredSoFar;
            stprogRecoveryProgress->setToolTip(hint);
            edCurrRecoveryFile->setToolTip(hint);
            edCurrRecoveryDir->setToolTip(hint);
        }
    } else if (page == tabshFinished) {
        btnContinue->setEnabled(true);
        btnBack->setEnabled(false);
        if (webControlSocial->isVisible() && ElapsedTicks(fSocialLoadTime, TimeGetTime()) > SocialReloadMs)
            LoadSocialPage();
    }
}

// --- Finish page ---------------------------------------------------------------------------------------

void TformMain::SetFinishText() {
    fFinishText = fModule.Engine().fSavedFileCount < 1 ? texts::FinishNothingSaved : texts::FinishFilesSaved;
    lblFinishText->setPlainText(QString::fromStdString(fFinishText));
    fFinishPicture->setPixmap(FinishPicture(fFinishPicture->size(), fModule.Engine().fSavedFileCount >= 1));
}

void TformMain::LoadSocialPage() {
    fSocialLoadTime = TimeGetTime();
    webControlSocial->LoadFromString(texts::BlankSocialDocument);
    const char* path =
        fModule.Engine().fSavedFileCount <= 0 ? texts::SocialNoRecoveredPagePath : texts::SocialPagePath;
    webControlSocial->Navigate(QUrl(QString::fromStdString(MakerUrl(path))));
}

void TformMain::webControlSocialNavigateComplete2() {
    fSocialLoadTime = TimeGetTime();
    webControlSocial->setVisible(true);
}

void TformMain::tabshFinishedEnter() {
    webControlSocial->setVisible(true);
}

} // namespace qrt

#include "WizardTestSupport.h"

#include "core/Application.h"
#include "core/Hooks.h"
#include "disk/DiskRepo.h"
#include "platform/DeviceIO.h"
#include "platform/DriveDiscovery.h"
#include "update/SignatureRefresh.h"
#include "wizard/MakerSite.h"
#include "wizard/ShellExec.h"
#include "wizard/WizardApplication.h"
#include "wizard/WizardStartup.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QPushButton>
#include <QTreeWidget>

#include <cstdlib>
#include <filesystem>

namespace qrt::test {

namespace {

// The Qt application of the whole test run, created before the first test: offscreen, with a
// home folder of its own so nothing lands in the real one, and no network or device discovery.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        fHome = std::make_unique<TempDir>();
        qputenv("HOME", fHome->Path().c_str());
        qputenv("XDG_DATA_HOME", (fHome->Path() + "/.local/share").c_str());
        qputenv("XDG_CONFIG_HOME", (fHome->Path() + "/.config").c_str());
        qputenv("XDG_CACHE_HOME", (fHome->Path() + "/.cache").c_str());
        qputenv("XDG_RUNTIME_DIR", fHome->Path().c_str());
        fApp = std::make_unique<TWizardApplication>(fArgc, fArgv);
        InitWizardApplication();
        SetSignatureServer("http://127.0.0.1:9"); // nothing listens there: transfers fail at once
        SetDriveDiscovery(false);
    }
    void TearDown() override {
        fApp.reset();
        fHome.reset();
    }

private:
    int fArgc = 1;
    char fArg0[16] = "wizard_tests";
    char* fArgv[2] = {fArg0, nullptr};
    std::unique_ptr<TempDir> fHome;
    std::unique_ptr<TWizardApplication> fApp;
};

[[maybe_unused]] ::testing::Environment* const gQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace

ScriptedBoxes::ScriptedBoxes() {
    fSaved =
        SetMessageBoxHandler([this](const std::string& aText, const std::string& aCaption, uint32_t aFlags) {
            fAsked.push_back({aText, aCaption, aFlags});
            if (fAnswers.empty()) {
                ADD_FAILURE() << "unexpected message box: " << aText;
                return DefaultMessageBoxResult(aFlags);
            }
            Scripted answer = std::move(fAnswers.front());
            fAnswers.pop_front();
            if (answer.Then) answer.Then();
            return answer.Result;
        });
}

ScriptedBoxes::~ScriptedBoxes() {
    EXPECT_TRUE(fAnswers.empty()) << fAnswers.size() << " scripted answer(s) were never asked for";
    SetMessageBoxHandler(std::move(fSaved));
}

WizardHarness::WizardHarness() {
    Application().ResetTerminated();
    DeviceTableClear();
    FreeDiskRepo();
    SetShellHandler([this](const std::string& aVerb, const std::string& aTarget) {
        fShellCalls.push_back({aVerb, aTarget});
    });
    SetMakerSiteBase("http://127.0.0.1:9");
}

WizardHarness::~WizardHarness() {
    fForm.reset();
    fBoxes.reset(); // before the data module puts back the handler it replaced
    fModule.reset();
    FreeDiskRepo();
    DeviceTableClear();
    SetShellHandler(nullptr);
    SetMakerSiteBase("");
    QApplication::restoreOverrideCursor();
    Application().ResetTerminated();
    QCoreApplication::processEvents();
}

void WizardHarness::AddDevice(const std::string& aName, const std::string& aImage) {
    DeviceTableSet("\\\\.\\" + aName, aImage);
}

void WizardHarness::Start(bool aPump) {
    fModule = std::make_unique<TdmodMainUI>();
    fBoxes = std::make_unique<ScriptedBoxes>();
    fForm = std::make_unique<TformMain>(*fModule);
    fForm->show();
    fForm->activateWindow();
    QApplication::setActiveWindow(fForm.get());
    if (aPump) Pump();
}

void WizardHarness::Click(QPushButton* aButton) {
    ASSERT_TRUE(aButton->isVisible()) << aButton->objectName().toStdString() << " is hidden";
    ASSERT_TRUE(aButton->isEnabled()) << aButton->objectName().toStdString() << " is disabled";
    aButton->click();
}

void WizardHarness::PressKey(int aKey) {
    QWidget* target = fForm->focusWidget() ? fForm->focusWidget() : fForm.get();
    QKeyEvent press(QEvent::KeyPress, aKey, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, aKey, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

void WizardHarness::SelectNode(const QString& aText) {
    QList<QTreeWidgetItem*> found =
        fForm->trvwDriveList->findItems(aText, Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1) << "no single node reads \"" << aText.toStdString() << "\"";
    fForm->trvwDriveList->setCurrentItem(found.first());
}

std::vector<std::string> WizardHarness::TreeLines() const {
    std::vector<std::string> lines;
    QTreeWidget* tree = fForm->trvwDriveList;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = tree->topLevelItem(i);
        lines.push_back(top->text(0).toStdString());
        for (int j = 0; j < top->childCount(); ++j)
            lines.push_back("  " + top->child(j)->text(0).toStdString());
    }
    return lines;
}

void WizardHarness::Pump() {
    QCoreApplication::processEvents();
}

std::string SaveScreenshot(QWidget* aWidget, const std::string& aName) {
    std::filesystem::path folder = std::filesystem::path(QRT_BIN_DIR).parent_path() / "screenshots";
    std::filesystem::create_directories(folder);
    std::string file = (folder / (aName + ".png")).string();
    EXPECT_TRUE(aWidget->grab().save(QString::fromStdString(file), "PNG")) << file;
    return file;
}

std::vector<ButtonBox> VisibleButtonsFromRight(TformMain& aForm) {
    std::vector<ButtonBox> result;
    for (QPushButton* b : {aForm.btnCancel, aForm.btnContinue, aForm.btnBack, aForm.btnGetService}) {
        if (b->isHidden()) continue;
        result.push_back({b->objectName().toStdString(), b->x(), b->x() + b->width()});
    }
    return result;
}

} // namespace qrt::test

#include "WizardTestSupport.h"

#include "core/Application.h"
#include "core/Hooks.h"
#include "engine/dmMain.h"
#include "support/PathUtils.h"
#include "wizard/WizardApplication.h"
#include "wizard/WizardFormat.h"
#include "wizard/WizardStartup.h"
#include "wizard/WizardTexts.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>

namespace qrt::test {
namespace {

constexpr uint32_t kQuestionFlags = 0x40124; // Yes/No, question icon, No as default, topmost

TEST(FormatByteSize, DecimalUnitsTruncatedTowardZero) {
    struct Case {
        uint64_t Bytes;
        const char* Text;
    };
    const Case cases[] = {
        {0, "0 KB"},
        {999, "0 KB"},
        {1000, "1 KB"},
        {999999, "999 KB"},
        {1000000, "1 MB"},
        {7900000000ull, "7 GB"},
        {31999999999ull, "31 GB"},
        {1000000000000ull, "1 TB"},
        {UINT64_MAX, "18 EB"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatByteSize(c.Bytes), c.Text) << c.Bytes;
}

TEST(WizardStartup, OpensOnTheIntroPageWithTheButtonsPackedRight) {
    WizardHarness wizard;
    wizard.Start();
    TformMain& form = wizard.Form();

    EXPECT_EQ(form.windowTitle().toStdString(), "Morvask | Data Recovery Wizard");
    EXPECT_EQ(Application().Title, "Morvask | Data Recovery Wizard");
    EXPECT_EQ(Application().HelpFile, "Quillaby.chm");
    EXPECT_EQ(form.size(), QSize(630, 443));
    EXPECT_EQ(form.pnlBottom->height(), 40);
    EXPECT_EQ(form.ActivePage(), form.tabshIntro);
    EXPECT_EQ(form.timerUpdateUI->interval(), 250);
    EXPECT_EQ(wizard.Module().timerMain->interval(), 250);

    // The default output folder, not created yet.
    EXPECT_EQ(wizard.Module().Engine().fOutputFolder, DefaultOutputFolder());
    EXPECT_FALSE(DirectoryExists(wizard.Module().Engine().fOutputFolder));

    EXPECT_TRUE(form.btnBack->isHidden());
    EXPECT_FALSE(form.btnGetService->isHidden());
    EXPECT_EQ(form.btnContinue->text().toStdString(), "Continue");
    EXPECT_TRUE(form.btnContinue->isEnabled());
    EXPECT_TRUE(form.btnContinue->isDefault());
    EXPECT_EQ(form.btnCancel->text().toStdString(), "Cancel");
    EXPECT_EQ(form.focusWidget(), form.btnContinue); // the intro page has nothing that takes Tab

    // From the right: Cancel (80), Continue (80), Get Recovery Service (150), 3 pixels apart, the
    // first one 3 pixels inside the position that starts 3 pixels from the panel's edge.
    std::vector<ButtonBox> boxes = VisibleButtonsFromRight(form);
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].Name, "btnCancel");
    EXPECT_EQ(boxes[1].Name, "btnContinue");
    EXPECT_EQ(boxes[2].Name, "btnGetService");
    EXPECT_EQ(boxes[0].Right, 630 - 3 - 3);
    EXPECT_EQ(boxes[0].Right - boxes[0].Left, 80);
    EXPECT_EQ(boxes[1].Right, boxes[0].Left - 3);
    EXPECT_EQ(boxes[1].Right - boxes[1].Left, 80);
    EXPECT_EQ(boxes[2].Right, boxes[1].Left - 3);
    EXPECT_EQ(boxes[2].Right - boxes[2].Left, 150);

    SaveScreenshot(&form, "1-intro");
}

// Esc is the Cancel button: it asks before ending the program on every page but the last.
TEST(WizardStartup, EscAsksBeforeExitingAndNoKeepsTheWizardOpen) {
    WizardHarness wizard;
    wizard.Start();
    TformMain& form = wizard.Form();

    wizard.Boxes().Answer(IDNO);
    wizard.PressKey(Qt::Key_Escape);
    ASSERT_EQ(wizard.Boxes().Asked().size(), 1u);
    EXPECT_EQ(wizard.Boxes().Asked()[0].Text, "Are you sure you want to exit?");
    EXPECT_EQ(wizard.Boxes().Asked()[0].Caption, "Morvask | Data Recovery Wizard");
    EXPECT_EQ(wizard.Boxes().Asked()[0].Flags, kQuestionFlags);
    EXPECT_FALSE(Application().Terminated());
    EXPECT_EQ(form.windowTitle().toStdString(), "Morvask | Data Recovery Wizard");

    wizard.Boxes().Answer(IDYES);
    wizard.PressKey(Qt::Key_Escape);
    EXPECT_EQ(wizard.Boxes().Asked().size(), 2u);
    EXPECT_TRUE(Application().Terminated());
    EXPECT_EQ(form.windowTitle().toStdString(),
              "Morvask | Exiting... Please wait while we cancel pending tasks...");
}

TEST(WizardStartup, GetRecoveryServiceAsksThenOpensTheServicePageAndEnds) {
    WizardHarness wizard;
    wizard.Start();

    wizard.Boxes().Answer(IDNO);
    wizard.Click(wizard.Form().btnGetService);
    EXPECT_TRUE(wizard.ShellCalls().empty());
    EXPECT_FALSE(Application().Terminated());

    wizard.Boxes().Answer(IDYES);
    wizard.Click(wizard.Form().btnGetService);
    ASSERT_EQ(wizard.Boxes().Asked().size(), 2u);
    EXPECT_EQ(wizard.Boxes().Asked()[1].Text, "Go to www.morvask.example?");
    EXPECT_EQ(wizard.Boxes().Asked()[1].Flags, kQuestionFlags);
    ASSERT_EQ(wizard.ShellCalls().size(), 1u);
    EXPECT_EQ(wizard.ShellCalls()[0].Verb, "open");
    EXPECT_EQ(wizard.ShellCalls()[0].Target, "http://127.0.0.1:9/Tarnwell/service.htm");
    EXPECT_TRUE(Application().Terminated());
}

TEST(WizardStartup, TheWindowCloseButtonAsksLikeCancel) {
    WizardHarness wizard;
    wizard.Start();
    wizard.Boxes().Answer(IDNO);
    wizard.Form().close();
    EXPECT_EQ(wizard.Boxes().Asked().size(), 1u);
    EXPECT_TRUE(wizard.Form().isVisible());
    EXPECT_FALSE(Application().Terminated());
}

// An exception that escapes an event handler is logged, and shown in a box only when no run is in
// progress: the crash reporter never holds up a run.
TEST(WizardStartup, EscapedExceptionsAreLoggedAndBoxedOnlyOutsideARun) {
    WizardHarness wizard;
    wizard.Start();
    auto* app = qobject_cast<TWizardApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    const std::string log = WizardErrorLogFile();
    ASSERT_FALSE(log.empty());

    wizard.Boxes().Answer(IDOK);
    app->ShowException(EFCreateError("Cannot create file \"x\""));
    ASSERT_EQ(wizard.Boxes().Asked().size(), 1u);
    EXPECT_EQ(wizard.Boxes().Asked()[0].Text, "Cannot create file \"x\"");
    EXPECT_EQ(wizard.Boxes().Asked()[0].Flags, MB_OK | MB_ICONHAND);

    TdmodMain& engine = wizard.Module().Engine();
    ++engine.fRunDepth; // as while a run is in progress
    app->ShowException(EReadError("Stream read error"));
    --engine.fRunDepth;
    EXPECT_EQ(wizard.Boxes().Asked().size(), 1u);
    const std::string logged = ReadFileBytes(log);
    EXPECT_NE(logged.find("EFCreateError: Cannot create file \"x\""), std::string::npos) << logged;
    EXPECT_NE(logged.find("EReadError: Stream read error"), std::string::npos) << logged;
}

} // namespace
} // namespace qrt::test

#pragma once

#include "FatImage.h"
#include "TestUtil.h"

#include "wizard/dmMainUI.h"
#include "wizard/fmMain.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPushButton;
class QTreeWidgetItem;
class QWidget;

namespace qrt::test {

// Message boxes answered by the test: every box is recorded, and answered with the next scripted
// answer; a box nobody expected fails the test and is answered with its default button.
class ScriptedBoxes {
public:
    struct Box {
        std::string Text;
        std::string Caption;
        uint32_t Flags;
    };

    ScriptedBoxes();
    ~ScriptedBoxes();
    ScriptedBoxes(const ScriptedBoxes&) = delete;
    ScriptedBoxes& operator=(const ScriptedBoxes&) = delete;

    // The next box is answered with aResult; aThen, when given, runs right after that box.
    void Answer(int aResult, std::function<void()> aThen = {}) {
        fAnswers.push_back({aResult, std::move(aThen)});
    }
    const std::vector<Box>& Asked() const { return fAsked; }
    void Clear() { fAsked.clear(); }

private:
    struct Scripted {
        int Result;
        std::function<void()> Then;
    };
    std::deque<Scripted> fAnswers;
    std::vector<Box> fAsked;
    std::function<int(const std::string&, const std::string&, uint32_t)> fSaved;
};

// Recorded shell calls ("open" / "explore" and the target) instead of starting programs.
struct ShellCall {
    std::string Verb;
    std::string Target;
};

// The wizard as a user meets it: the data module and the main form, shown offscreen, with the
// devices of a device table of image files, message boxes answered by the test and shell calls
// recorded. Devices are added before Start.
class WizardHarness {
public:
    WizardHarness();
    ~WizardHarness();

    // Maps "\\.\D:" (aName "D:") or "\\.\PhysicalDrive0" (aName "PhysicalDrive0") to an image.
    void AddDevice(const std::string& aName, const std::string& aImage);
    // Creates the data module and the form, shows the form and, unless told otherwise, runs the
    // events that showing it posted.
    void Start(bool aPump = true);

    TformMain& Form() { return *fForm; }
    TdmodMainUI& Module() { return *fModule; }
    ScriptedBoxes& Boxes() { return *fBoxes; }
    const std::vector<ShellCall>& ShellCalls() const { return fShellCalls; }
    const TempDir& Temp() const { return fTemp; }

    void Click(QPushButton* aButton);
    // Sends a key press and release to the form's focused widget (or the form).
    void PressKey(int aKey);
    // Selects the tree node whose text is aText; fails the test when there is none.
    void SelectNode(const QString& aText);
    // Texts of the drive tree: top-level nodes with their children indented by two blanks.
    std::vector<std::string> TreeLines() const;
    // Runs pending events once (what a timer tick or an idle pass would see).
    void Pump();

private:
    TempDir fTemp;
    std::unique_ptr<ScriptedBoxes> fBoxes;
    std::unique_ptr<TdmodMainUI> fModule;
    std::unique_ptr<TformMain> fForm;
    std::vector<ShellCall> fShellCalls;
};

// Writes a picture of aWidget to <build>/screenshots/<aName>.png and returns its path.
std::string SaveScreenshot(QWidget* aWidget, const std::string& aName);

// Left edges and widths of the visible bottom-panel buttons, from the right.
struct ButtonBox {
    std::string Name;
    int Left;
    int Right; // one past the last pixel
};
std::vector<ButtonBox> VisibleButtonsFromRight(TformMain& aForm);

} // namespace qrt::test

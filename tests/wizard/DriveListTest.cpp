#include "WizardTestSupport.h"

#include "disk/DiskAccessor.h"

#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

namespace qrt::test {
namespace {

FatImage::Options Fat(int aBits, uint32_t aSizeKiB, const std::string& aLabel = "") {
    FatImage::Options o;
    o.FatBits = aBits;
    o.SizeKiB = aSizeKiB;
    o.Label = aLabel;
    return o;
}

// A card whose only boot record was wiped: no class can mount it.
std::string WipedCard(const TempDir& aTemp) {
    FatImage card(aTemp.File("wiped.img"), Fat(16, 16384));
    card.WriteFile("A.TXT", "still here");
    card.ZeroSectors(0, 1);
    return card.Path();
}

TEST(DriveList, ListsLabelledAndUnlabelledDrivesPartitionsAndUnmountableCards) {
    WizardHarness wizard;
    FatImage photos(wizard.Temp().File("photos.img"), Fat(16, 16384, "PHOTOS"));
    FatImage plain(wizard.Temp().File("plain.img"), Fat(12, 4096));
    FatImage partitioned = FatImage::Partitioned(wizard.Temp().File("disk.img"), Fat(12, 8192));
    wizard.AddDevice("D:", photos.Path());
    wizard.AddDevice("E:", plain.Path());
    wizard.AddDevice("PhysicalDrive0", partitioned.Path());
    wizard.AddDevice("PhysicalDrive1", WipedCard(wizard.Temp()));
    wizard.Start();
    TformMain& form = wizard.Form();

    wizard.Click(form.btnContinue);
    ASSERT_EQ(form.ActivePage(), form.tabshSelectDrive);
    // The list holds the partition, then the lettered drives, then the card without a file system:
    // physical-disk lines are numbered by their place in that list.
    const std::vector<std::string> expected = {
        "Removable drives: ", "  D: 'PHOTOS' (16 MB)",      "  E: Removable Disk (4 MB)",
        "Physical disks: ",   "  0:  HDD:80 [part1]  8 MB", "  3:  HDD:81  16 MB (no file system found)",
    };
    EXPECT_EQ(wizard.TreeLines(), expected);
    EXPECT_TRUE(form.fRemovableNode->isExpanded());
    EXPECT_FALSE(form.fPhysicalNode->isExpanded());
    EXPECT_TRUE(form.lblAccessDenied->isHidden());

    // Nothing selected, then a group: Continue stays disabled. A device enables it.
    EXPECT_FALSE(form.btnContinue->isEnabled());
    wizard.SelectNode("Removable drives: ");
    EXPECT_FALSE(form.CanLeaveDrivePage());
    EXPECT_FALSE(form.btnContinue->isEnabled());
    form.UpdateContinueState();
    EXPECT_FALSE(form.btnContinue->isEnabled());
    wizard.SelectNode("E: Removable Disk (4 MB)");
    EXPECT_TRUE(form.btnContinue->isEnabled());
    wizard.SelectNode("D: 'PHOTOS' (16 MB)");
    EXPECT_TRUE(form.btnContinue->isEnabled());
    EXPECT_EQ(form.focusWidget(), form.trvwDriveList);
    SaveScreenshot(&form, "2-drives");

    // Continue (here: Enter, the default button) hands the selected device to the engine.
    wizard.PressKey(Qt::Key_Return);
    EXPECT_EQ(form.ActivePage(), form.tabshSelectFolder);
    ASSERT_NE(wizard.Module().Engine().fDisk, nullptr);
    EXPECT_EQ(DriveLetterOf(wizard.Module().Engine().fDisk->fParams), 'D');
}

TEST(DriveList, RefreshFindsACardPluggedInAfterwards) {
    WizardHarness wizard;
    FatImage partitioned = FatImage::Partitioned(wizard.Temp().File("disk.img"), Fat(12, 8192));
    wizard.AddDevice("PhysicalDrive0", partitioned.Path());
    wizard.Start();
    TformMain& form = wizard.Form();

    wizard.Click(form.btnContinue);
    // Only a physical disk: its group alone, left as it is.
    EXPECT_EQ(wizard.TreeLines(),
              (std::vector<std::string>{"Physical disks: ", "  0:  HDD:80 [part1]  8 MB"}));
    EXPECT_EQ(form.fRemovableNode, nullptr);

    FatImage card(wizard.Temp().File("card.img"), Fat(16, 16384, "HOLIDAY"));
    wizard.AddDevice("F:", card.Path());
    form.btnRefresh->click();
    EXPECT_EQ(wizard.TreeLines(),
              (std::vector<std::string>{"Removable drives: ", "  F: 'HOLIDAY' (16 MB)",
                                        "Physical disks: ", "  0:  HDD:80 [part1]  8 MB"}));

    // Back to the start and Continue again enumerates afresh.
    wizard.Click(form.btnBack);
    EXPECT_EQ(form.ActivePage(), form.tabshIntro);
    wizard.AddDevice("G:", card.Path());
    wizard.Click(form.btnContinue);
    EXPECT_EQ(wizard.TreeLines().size(), 5u);
    EXPECT_EQ(wizard.TreeLines()[2], "  G: 'HOLIDAY' (16 MB)");
}

TEST(DriveList, NoUsableDeviceLeavesTheTreeEmptyAndContinueDisabled) {
    WizardHarness wizard;
    wizard.Start();
    wizard.Click(wizard.Form().btnContinue);
    EXPECT_TRUE(wizard.TreeLines().empty());
    EXPECT_FALSE(wizard.Form().btnContinue->isEnabled());
    wizard.Form().UpdateContinueState();
    EXPECT_FALSE(wizard.Form().btnContinue->isEnabled());
    SaveScreenshot(&wizard.Form(), "2-drives-none");
}

} // namespace
} // namespace qrt::test

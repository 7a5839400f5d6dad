#include <gtest/gtest.h>

#include <stdexcept>

#include "widgets/DriveListModel.h"

using ui::TUiDriveListModel;

namespace {
std::vector<TUiDriveListModel::Item> Drives(const std::string& letters) {
    std::vector<TUiDriveListModel::Item> items;
    for (char c : letters)
        items.push_back({c, std::string("Local Disk (") + c + ":)", 8});
    return items;
}

struct Fixture {
    TUiDriveListModel model;
    int shown = -2;
    int changes = 0;
    Fixture() {
        model.OnSelectItem = [this](int i) { shown = i; };
        model.OnChange = [this] { ++changes; };
    }
};
} // namespace

TEST(DriveListModel, WizardChoosesCWhenListed) {
    Fixture f;
    f.model.Rebuild(Drives("CD"));
    EXPECT_EQ(f.model.Drive(), '\0') << "nothing chosen until the window asks";
    f.model.ChooseFirst('D');
    EXPECT_EQ(f.model.Drive(), 'D') << "the current folder's drive first";
    f.model.SetDrive('C');
    EXPECT_EQ(f.model.Drive(), 'C');
    EXPECT_EQ(f.shown, 0);
    EXPECT_EQ(f.model.DisplayName(), "Local Disk (C:)");
}

TEST(DriveListModel, UnlistedLetterChangesNothingAndCaseDoesNotMatter) {
    Fixture f;
    f.model.Rebuild(Drives("D"));
    f.model.ChooseFirst('Z');
    EXPECT_EQ(f.model.Drive(), 'D') << "first listed drive when the current one is not listed";
    int changes = f.changes;
    f.model.SetDrive('C');
    EXPECT_EQ(f.model.Drive(), 'D');
    EXPECT_EQ(f.changes, changes) << "no change event";

    Fixture g;
    g.model.Rebuild(Drives("CDE"));
    g.model.SetDrive('e');
    EXPECT_EQ(g.model.Drive(), 'E');
    EXPECT_EQ(g.shown, 2);
}

TEST(DriveListModel, UserPickMovesTheChoice) {
    Fixture f;
    f.model.Rebuild(Drives("CD"));
    f.model.SetDrive('C');
    f.model.SelectionChanged(1);
    EXPECT_EQ(f.model.Drive(), 'D');
    EXPECT_EQ(f.model.DisplayName(), "Local Disk (D:)");
    f.model.SelectionChanged(-1);
    EXPECT_EQ(f.model.Drive(), 'C') << "no selection counts as the first item";
    EXPECT_EQ(f.shown, 0) << "which is then selected";
    EXPECT_EQ(f.model.DisplayName(), "Local Disk (C:)");
}

TEST(DriveListModel, RebuildKeepsTheChosenDriveWhenOthersComeAndGo) {
    Fixture f;
    f.model.Rebuild(Drives("CE"));
    f.model.SetDrive('E');
    f.model.Rebuild(Drives("CDE")); // D: arrived before E:
    EXPECT_EQ(f.model.Drive(), 'E');
    EXPECT_EQ(f.shown, 2) << "the item shown follows the drive";
    f.model.Rebuild(Drives("C")); // E: left
    EXPECT_EQ(f.model.Drive(), 'C');
    EXPECT_EQ(f.shown, 0);
}

TEST(DriveListModel, EmptyListChoosesNothing) {
    Fixture f;
    f.model.Rebuild({});
    f.model.ChooseFirst('C');
    EXPECT_EQ(f.model.Drive(), '\0');
    f.model.SetDrive('C');
    EXPECT_EQ(f.model.Drive(), '\0');
}

namespace {
using ui::TUiDriveShell;
using ui::TUiDriveTypes;

// A machine as the system would describe it: roots with their drive type
// codes and display names.
class FakeShell : public TUiDriveShell {
  public:
    struct Root {
        std::string Path;
        unsigned Type;
        std::string Name;
    };
    std::vector<Root> Roots;
    int Quiet = 0;       // how deep inside BeginQuietMedia we are
    int QueriedLoud = 0; // drives asked about without the quiet mode
    bool ThrowOnDescribe = false;
    ui::TUiImageSize AskedSize = ui::isLarge;

    unsigned BeginQuietMedia() override { return static_cast<unsigned>(++Quiet) + 100; }
    void EndQuietMedia(unsigned previous) override {
        EXPECT_EQ(previous, static_cast<unsigned>(Quiet) + 100) << "restores what it was given";
        --Quiet;
    }
    std::vector<std::string> LogicalDriveRoots() override {
        std::vector<std::string> paths;
        for (const auto& r : Roots)
            paths.push_back(r.Path);
        return paths;
    }
    unsigned DriveType(const std::string& root) override {
        if (!Quiet) ++QueriedLoud;
        for (const auto& r : Roots)
            if (r.Path == root) return r.Type;
        return 1;
    }
    void Describe(const std::string& root, ui::TUiImageSize size, std::string& name,
                  int& icon) override {
        if (!Quiet) ++QueriedLoud;
        if (ThrowOnDescribe) throw std::runtime_error("shell failed");
        AskedSize = size;
        for (size_t i = 0; i < Roots.size(); ++i)
            if (Roots[i].Path == root) {
                name = Roots[i].Name;
                icon = static_cast<int>(i) + 10;
            }
    }
};

FakeShell Machine() {
    FakeShell s;
    s.Roots = {{"A:\\", 2, "Floppy (A:)"},
               {"C:\\", 3, "  System (C:) "},
               {"D:\\", 5, "DVD (D:)"},
               {"e:\\", 3, "Data (E:)"},
               {"F:\\", 1, "F:"},
               {"N:\\", 4, "Share (N:)"},
               {"R:\\", 6, "Ram (R:)"},
               {"U:\\", 0, "Odd (U:)"},
               {"X:\\", 3, ""}};
    return s;
}

std::string Letters(const std::vector<TUiDriveListModel::Item>& items) {
    std::string s;
    for (const auto& i : items)
        s += i.Letter;
    return s;
}
} // namespace

TEST(DriveEnumeration, ListsTheChosenKindsInTheSystemsOrderWithTrimmedShellNames) {
    FakeShell shell = Machine();
    auto items = TUiDriveListModel::Enumerate(shell, {ui::dtFixed}, ui::isSmall);
    EXPECT_EQ(Letters(items), "CEX") << "fixed only; letters upper-cased";
    EXPECT_EQ(items[0].DisplayName, "System (C:)");
    EXPECT_EQ(items[0].IconIndex, 11);
    EXPECT_EQ(items[2].DisplayName, "") << "what the shell said, even nothing";
    EXPECT_EQ(shell.AskedSize, ui::isSmall);

    EXPECT_EQ(Letters(TUiDriveListModel::Enumerate(shell, {}, ui::isLarge)), "CEX")
        << "an empty set means fixed drives";
    EXPECT_EQ(shell.AskedSize, ui::isLarge);
    EXPECT_EQ(Letters(TUiDriveListModel::Enumerate(shell, {ui::dtFixed, ui::dtRemote, ui::dtCDROM},
                                                   ui::isSmall)),
              "CDENX");
    EXPECT_EQ(Letters(TUiDriveListModel::Enumerate(
                  shell, {ui::dtUnknown, ui::dtRemovable, ui::dtRamDisk}, ui::isSmall)),
              "ARU")
        << "a root without a volume (F:) is never listed";
}

TEST(DriveEnumeration, ErrorBoxesStayOffWhileAskingAndComeBackOnEveryPath) {
    FakeShell shell = Machine();
    TUiDriveListModel::Enumerate(shell, {ui::dtFixed}, ui::isSmall);
    EXPECT_EQ(shell.QueriedLoud, 0);
    EXPECT_EQ(shell.Quiet, 0) << "restored";
    shell.ThrowOnDescribe = true;
    EXPECT_THROW(TUiDriveListModel::Enumerate(shell, {ui::dtFixed}, ui::isSmall),
                 std::runtime_error);
    EXPECT_EQ(shell.Quiet, 0) << "restored when the shell fails";
}

TEST(DriveListModel, AllDrivesGoneLeavesNothingChosen) {
    Fixture f;
    f.model.Rebuild(Drives("CD"));
    f.model.SetDrive('D');
    int changes = f.changes;
    f.model.Rebuild({});
    EXPECT_EQ(f.model.Drive(), '\0') << "a drive that is not there cannot stay chosen";
    EXPECT_EQ(f.model.DisplayName(), "");
    EXPECT_EQ(f.shown, -1);
    EXPECT_GT(f.changes, changes);
    f.model.Rebuild(Drives("E"));
    f.model.ChooseFirst('C');
    EXPECT_EQ(f.model.Drive(), 'E');
}

TEST(DriveListModel, ChosenDriveThatLeftGivesWayToTheItemShown) {
    Fixture f;
    f.model.Rebuild(Drives("CDE"));
    f.model.SetDrive('D');
    f.model.Rebuild(Drives("CE")); // D: left; its old place now holds E:
    EXPECT_EQ(f.model.Drive(), 'E') << "Drive and the item shown agree";
    EXPECT_EQ(f.shown, 1);
    EXPECT_EQ(f.model.DisplayName(), "Local Disk (E:)");
    for (char other : {'\0', '?', 'Z', 'd'})
        f.model.SetDrive(other);
    EXPECT_EQ(f.model.Drive(), 'E');
}

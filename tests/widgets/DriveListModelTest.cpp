#include <gtest/gtest.h>

#include "widgets/DriveListModel.h"

using ui::TUiDriveListModel;

namespace {
std::vector<TUiDriveListModel::Item> Drives(const std::string& letters) {
    std::vector<TUiDriveListModel::Item> items;
    for (char c : letters) items.push_back({c, std::string("Local Disk (") + c + ":)", 8});
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

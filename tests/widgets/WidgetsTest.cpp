// Selection rules of the drive list and the reading of the port field.
#include <gtest/gtest.h>

#include "widgets/UiDriveCombo.h"
#include "widgets/UiValidateEdit.h"

using platform::DriveInfo;
using platform::DriveKind;
using ui::TUiDriveCombo;
using ui::TUiValidateEdit;

namespace {

std::vector<DriveInfo> Machine() {
    return {{'A', DriveKind::Removable, "Floppy (A:)"},
            {'C', DriveKind::Fixed, "System (C:)"},
            {'D', DriveKind::CdRom, "DVD (D:)"},
            {'E', DriveKind::Fixed, " (E:) "},
            {'N', DriveKind::Remote, "Share (N:)"}};
}

TEST(UiDriveCombo, ListsOnlyFixedDrivesWithTidyNames) {
    TUiDriveCombo c;
    c.SetDrives(Machine(), 0);
    ASSERT_EQ(c.Items().size(), 2u);
    EXPECT_EQ(c.Items()[0].Letter, 'C');
    EXPECT_EQ(c.Items()[0].Name, "System (C:)");
    EXPECT_EQ(c.Items()[1].Letter, 'E');
    EXPECT_EQ(c.Items()[1].Name, "(E:)");
}

TEST(UiDriveCombo, WithoutAChoiceSelectsTheCurrentDriveElseTheFirst) {
    TUiDriveCombo c;
    c.SetDrives(Machine(), 'e');
    EXPECT_EQ(c.Drive(), 'E');
    c = TUiDriveCombo();
    c.SetDrives(Machine(), 'D'); // the current drive is not a fixed one
    EXPECT_EQ(c.Drive(), 'C');
    c = TUiDriveCombo();
    c.SetDrives({}, 'C');
    EXPECT_EQ(c.Drive(), 0);
    EXPECT_EQ(c.ItemIndex(), -1);
}

TEST(UiDriveCombo, SetDriveSelectsAListedDriveAndIgnoresOthers) {
    TUiDriveCombo c;
    c.SetDrives(Machine(), 'E');
    int changes = 0;
    c.OnChange = [&] { ++changes; };
    c.SetDrive('c');
    EXPECT_EQ(c.Drive(), 'C');
    EXPECT_EQ(changes, 1);
    for (char other : {'A', 'D', 'Z', '\0', '?'})
        c.SetDrive(other);
    EXPECT_EQ(c.Drive(), 'C');
    EXPECT_EQ(changes, 1);
}

TEST(UiDriveCombo, ChosenDriveSurvivesARebuildWhileItIsListed) {
    TUiDriveCombo c;
    c.SetDrives(Machine(), 'C');
    c.SetItemIndex(1);
    EXPECT_EQ(c.Drive(), 'E');
    c.SetDrives(Machine(), 'C');
    EXPECT_EQ(c.Drive(), 'E');
    c.SetDrives({{'C', DriveKind::Fixed, "C:"}}, 'C'); // E is gone
    EXPECT_EQ(c.Drive(), 'C');
    c.SetItemIndex(5); // outside the list
    EXPECT_EQ(c.Drive(), 'C');
}

TEST(UiValidateEdit, AsIntegerReadsWholeNumbersAndOtherwiseZero) {
    TUiValidateEdit e;
    EXPECT_EQ(e.AsInteger(), 0);
    const std::pair<const char*, int> cases[] = {
        {"8080", 8080}, {" 3128 ", 3128}, {"-1", -1},         {"", 0},
        {"80a", 0},     {"0x50", 0},      {"99999999999", 0}, {"2147483647", 2147483647}};
    for (const auto& [text, value] : cases) {
        e.SetText(text);
        EXPECT_EQ(e.AsInteger(), value) << '"' << text << '"';
    }
}

TEST(UiValidateEdit, LoadedShowsTheNumberTheFieldStandsFor) {
    TUiValidateEdit e;
    std::string shown;
    e.OnChange = [&] { shown = e.Text(); };
    e.Loaded();
    EXPECT_EQ(e.Text(), "0");
    EXPECT_EQ(shown, "0");
    e.SetText(" 0080");
    e.Loaded();
    EXPECT_EQ(e.Text(), "80");
}

} // namespace

#pragma once
// What the drive list knows apart from its window: the listed drives, the
// chosen one and how a choice moves. The window shows the items and reports
// the user's picks; the model tells it which item to select.
#include <functional>
#include <string>
#include <vector>

namespace ui {

class TUiDriveListModel {
public:
    struct Item {
        char Letter;             // upper-case drive letter
        std::string DisplayName; // the shell's name for the root folder, trimmed
        int IconIndex;           // in the shell's image list
    };

    // The window selects this item (-1: none).
    std::function<void(int index)> OnSelectItem;
    // The ordinary change event of the list, after a new choice.
    std::function<void()> OnChange;

    // Replaces the items after an enumeration and keeps the chosen drive when
    // it is still listed.
    void Rebuild(std::vector<Item> items);
    // Chooses a drive by letter (either case). A letter that is not listed
    // changes nothing.
    void SetDrive(char letter);
    // The window's selection changed (the user picked an item, or -1 for none).
    void SelectionChanged(int selectedIndex);
    // Right after the window is created: when no drive is chosen yet, choose
    // the current folder's drive if listed, else the first listed drive.
    void ChooseFirst(char currentDirectoryDrive);

    char Drive() const { return FDrive; } // '\0' while none is chosen
    const std::string& DisplayName() const { return FDisplayName; }
    int ItemIndex() const { return FItemIndex; }
    const std::vector<Item>& Items() const { return FItems; }

private:
    int IndexOf(char letter) const;
    void Select(int index);

    std::vector<Item> FItems;
    char FDrive = '\0';
    int FItemIndex = 0; // the remembered index of the chosen drive
    int FSelected = -1; // what the window shows
    std::string FDisplayName;
};

} // namespace ui

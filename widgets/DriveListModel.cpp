#include "widgets/DriveListModel.h"

namespace ui {

namespace {
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
} // namespace

int TUiDriveListModel::IndexOf(char letter) const {
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].Letter == letter) return static_cast<int>(i);
    return -1;
}

void TUiDriveListModel::Select(int index) {
    FSelected = index >= 0 && index < static_cast<int>(FItems.size()) ? index : -1;
    if (OnSelectItem) OnSelectItem(FSelected);
}

void TUiDriveListModel::Rebuild(std::vector<Item> items) {
    FItems = std::move(items);
    FSelected = -1;
    int at = FDrive ? IndexOf(FDrive) : -1;
    if (at >= 0) {
        // The chosen drive keeps its choice even when drives before it came or went.
        FItemIndex = at;
        Select(at);
        FDisplayName = FItems[static_cast<size_t>(at)].DisplayName;
    } else if (FDrive && !FItems.empty()) {
        // The chosen drive went away: fall back to the item at its old place.
        if (FItemIndex >= static_cast<int>(FItems.size())) FItemIndex = 0;
        Select(FItemIndex);
        SelectionChanged(FSelected);
    } else {
        Select(FItemIndex);
    }
}

void TUiDriveListModel::SetDrive(char letter) {
    letter = Upper(letter);
    if (letter == FDrive) {
        Select(FItemIndex);
        return;
    }
    int at = IndexOf(letter);
    if (at < 0) return;
    FDrive = letter;
    FItemIndex = at;
    Select(at);
    SelectionChanged(at);
}

void TUiDriveListModel::SelectionChanged(int selectedIndex) {
    FSelected = selectedIndex;
    FItemIndex = selectedIndex < 0 ? 0 : selectedIndex;
    if (FItemIndex < static_cast<int>(FItems.size())) SetDrive(FItems[static_cast<size_t>(FItemIndex)].Letter);
    FDisplayName = FSelected >= 0 && FSelected < static_cast<int>(FItems.size())
                       ? FItems[static_cast<size_t>(FSelected)].DisplayName
                       : std::string();
    if (OnChange) OnChange();
}

void TUiDriveListModel::ChooseFirst(char currentDirectoryDrive) {
    if (FDrive || FItems.empty()) return;
    char letter = Upper(currentDirectoryDrive);
    SetDrive(IndexOf(letter) >= 0 ? letter : FItems.front().Letter);
}

} // namespace ui

#include "widgets/DriveListModel.h"

#include "runtime/Format.h"

namespace ui {

namespace {

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Restores the error-box setting however the enumeration ends.
class TQuietMedia {
  public:
    explicit TQuietMedia(TUiDriveShell& shell)
        : FShell(shell), FPrevious(shell.BeginQuietMedia()) {}
    ~TQuietMedia() { FShell.EndQuietMedia(FPrevious); }
    TQuietMedia(const TQuietMedia&) = delete;
    TQuietMedia& operator=(const TQuietMedia&) = delete;

  private:
    TUiDriveShell& FShell;
    unsigned FPrevious;
};

} // namespace

bool DriveTypeFromOs(unsigned osType, TUiDriveType& type) {
    switch (osType) {
    case 1: // no volume at this root
        return false;
    case 2:
        type = dtRemovable;
        return true;
    case 3:
        type = dtFixed;
        return true;
    case 4:
        type = dtRemote;
        return true;
    case 5:
        type = dtCDROM;
        return true;
    case 6:
        type = dtRamDisk;
        return true;
    default:
        type = dtUnknown;
        return true;
    }
}

std::vector<TUiDriveListModel::Item>
TUiDriveListModel::Enumerate(TUiDriveShell& shell, TUiDriveTypes types, TUiImageSize size) {
    if (types.Empty()) types = {dtFixed};
    std::vector<Item> items;
    TQuietMedia quiet(shell);
    for (const std::string& root : shell.LogicalDriveRoots()) {
        char letter = root.empty() ? '\0' : Upper(root[0]);
        if (letter < 'A' || letter > 'Z') continue;
        TUiDriveType type;
        if (!DriveTypeFromOs(shell.DriveType(root), type) || !types.Contains(type)) continue;
        std::string name;
        int icon = -1;
        shell.Describe(root, size, name, icon);
        items.push_back({letter, rtl::Trim(name), icon});
    }
    return items;
}

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
    } else if (FDrive) {
        // Every drive went away: nothing can stay chosen.
        FDrive = '\0';
        FItemIndex = 0;
        Select(-1);
        FDisplayName.clear();
        if (OnChange) OnChange();
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
    if (FItemIndex < static_cast<int>(FItems.size()))
        SetDrive(FItems[static_cast<size_t>(FItemIndex)].Letter);
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

TUiDriveItemLayout LayoutDriveItem(int itemLeft, bool hasIcons, int iconWidth, int offset,
                                   int textWidth) {
    TUiDriveItemLayout l{};
    l.IconLeft = itemLeft + offset;
    l.AreaLeft = hasIcons ? itemLeft + iconWidth + 2 * offset : itemLeft;
    l.TextLeft = l.AreaLeft + 3;
    l.AreaRight = l.TextLeft + textWidth + 6;
    return l;
}

} // namespace ui

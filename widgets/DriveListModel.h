#pragma once
// What the drive list knows apart from its window: the kinds of drive it
// lists, how the list is built from what the system reports, the chosen
// drive and how a choice moves, and where an item's parts are drawn. The
// window shows the items and reports the user's picks; the model tells it
// which item to select.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace ui {

// Kinds of drive, in the order of the system's drive type codes 0 and 2 to 6
// (code 1, a root without a volume, is never listed).
enum TUiDriveType { dtUnknown, dtRemovable, dtFixed, dtRemote, dtCDROM, dtRamDisk };

// A set of drive kinds.
class TUiDriveTypes {
  public:
    constexpr TUiDriveTypes() = default;
    constexpr TUiDriveTypes(std::initializer_list<TUiDriveType> types) {
        for (TUiDriveType t : types)
            FBits = static_cast<uint8_t>(FBits | Bit(t));
    }
    constexpr bool Contains(TUiDriveType t) const { return (FBits & Bit(t)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr bool operator==(const TUiDriveTypes&) const = default;

  private:
    static constexpr uint8_t Bit(TUiDriveType t) { return static_cast<uint8_t>(1u << t); }
    uint8_t FBits = 0;
};

enum TUiImageSize { isSmall, isLarge };

// The kind of drive a system drive type code stands for; false for a root
// without a volume, which is never listed. Codes the system does not define
// count as unknown.
bool DriveTypeFromOs(unsigned osType, TUiDriveType& type);

// What the list needs to know of the system's drives. The real one asks the
// OS and the shell; tests give their own.
class TUiDriveShell {
  public:
    virtual ~TUiDriveShell() = default;
    // Turns off the system's error boxes for drives without a medium and
    // returns what EndQuietMedia needs to restore the previous setting.
    virtual unsigned BeginQuietMedia() = 0;
    virtual void EndQuietMedia(unsigned previous) = 0;
    // Root folders of all logical drives ("C:\"), in the system's order.
    virtual std::vector<std::string> LogicalDriveRoots() = 0;
    // The system's drive type code of a root.
    virtual unsigned DriveType(const std::string& root) = 0;
    // The shell's display name and icon index (in the system image list of
    // the given size) of a root. A root the shell cannot describe gives the
    // text it returned (possibly empty).
    virtual void Describe(const std::string& root, TUiImageSize size, std::string& displayName,
                          int& iconIndex) = 0;
};

class TUiDriveListModel {
  public:
    struct Item {
        char Letter;             // upper-case drive letter
        std::string DisplayName; // the shell's name for the root folder, trimmed
        int IconIndex;           // in the shell's image list
    };

    // The items for the drives whose kind is in `types` (an empty set counts
    // as fixed drives alone), in the system's order. The system's error boxes
    // for missing media stay off while the drives are asked about, and are
    // restored however the enumeration ends.
    static std::vector<Item> Enumerate(TUiDriveShell& shell, TUiDriveTypes types,
                                       TUiImageSize size);

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

// Where the parts of one owner-drawn item go, in x coordinates of the item's
// rectangle. With icons, the icon sits Offset pixels in and the text area
// starts Offset pixels after it; the text starts 3 pixels into its area and
// the area ends 6 pixels after the text.
struct TUiDriveItemLayout {
    int IconLeft;  // only meaningful with icons
    int AreaLeft;  // the filled (highlighted) area behind the text
    int AreaRight; // exclusive
    int TextLeft;
};
TUiDriveItemLayout LayoutDriveItem(int itemLeft, bool hasIcons, int iconWidth, int offset,
                                   int textWidth);

} // namespace ui

#pragma once
// The drive list of the Locatie page: the machine's fixed drives, one of them
// selected. This class holds the list and its selection rules; the window that
// shows it belongs to the form, which follows OnChange.
#include <functional>
#include <string>
#include <vector>

#include "platform/Drives.h"

namespace ui {

struct TUiDriveItem {
    char Letter;      // upper case
    std::string Name; // as shown to the user
};

class TUiDriveCombo {
  public:
    // Height of one entry and the gap before its icon, at the design resolution.
    int ItemHeight = 20;
    int IconOffset = 4;
    // Called after the list or its selection changed.
    std::function<void()> OnChange;

    // Fills the list with the fixed drives of this machine.
    void BuildList();
    // Fills the list with the fixed drives among `drives`. The selection stays
    // on the chosen drive when it is still listed; otherwise it goes to
    // `currentDrive` when that is listed, else to the first entry.
    void SetDrives(const std::vector<platform::DriveInfo>& drives, char currentDrive);

    const std::vector<TUiDriveItem>& Items() const { return FItems; }
    // Index of the selected entry, -1 when the list is empty.
    int ItemIndex() const { return FItemIndex; }
    // Selects an entry as the user does; an index outside the list changes nothing.
    void SetItemIndex(int index);

    // The selected drive as an upper-case letter, 0 when the list is empty.
    char Drive() const;
    // Selects the given drive when it is listed (either case); otherwise
    // nothing changes.
    void SetDrive(char letter);

  private:
    int IndexOf(char letter) const;
    void Changed();

    std::vector<TUiDriveItem> FItems;
    int FItemIndex = -1;
    char FDrive = 0; // the drive chosen through SetDrive or the user, 0 while none was
};

} // namespace ui

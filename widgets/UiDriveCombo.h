#pragma once
// TUiDriveCombo: a drop-down list of the computer's drives, each shown with
// the shell's display name and icon of its root folder. The list is a
// subclassed, owner-drawn combo box; its selection rules live in
// TUiDriveListModel. Windows only.
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <memory>
#include <string>

#include "widgets/DriveListModel.h"

namespace ui {

class TUiDriveCombo {
  public:
    // shell: where drives are learned from; null for the system itself.
    explicit TUiDriveCombo(TUiDriveShell* shell = nullptr);
    ~TUiDriveCombo();
    TUiDriveCombo(const TUiDriveCombo&) = delete;
    TUiDriveCombo& operator=(const TUiDriveCombo&) = delete;

    // Makes the window (a child of parent with the given control id; the
    // height includes the dropped-down list), builds the list and makes the
    // first choice: the current folder's drive when listed, else the first.
    HWND Create(HWND parent, int id, int left, int top, int width, int height);
    HWND Handle() const { return FHandle; }

    // The chosen drive as an upper-case letter, '\0' while none is chosen.
    char Drive() const { return FModel.Drive(); }
    // Chooses a listed drive (either case); an unlisted letter changes nothing.
    void SetDrive(char letter) { FModel.SetDrive(letter); }

    TUiDriveTypes DriveTypes() const { return FDriveTypes; }
    // An empty set is taken as fixed drives alone. Rebuilds the list.
    void SetDriveTypes(TUiDriveTypes types);

    // Gap before and after the icon, in pixels.
    int Offset() const { return FOffset; }
    void SetOffset(int offset);

    TUiImageSize ImageSize() const { return FImageSize; }
    void SetImageSize(TUiImageSize size);

    // The text of the chosen item.
    const std::string& DisplayName() const { return FModel.DisplayName(); }
    // Height of one item: the larger of the font's character height and the
    // icon height.
    int ItemHeight() const { return FItemHeight; }
    const TUiDriveListModel& Model() const { return FModel; }

    // Raised after the list was rebuilt because a volume arrived or left.
    std::function<void(TUiDriveCombo& sender)> OnDriveChange;
    // The ordinary change event, after every new choice.
    std::function<void(TUiDriveCombo& sender)> OnChange;

    // Builds the list again.
    void Refresh();

    // A message of the application's main window, which its owner passes on
    // here (and then handles as usual): a volume that arrives or leaves
    // rebuilds the list.
    void MainWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam);

  private:
    static LRESULT CALLBACK ComboProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                      DWORD_PTR data);
    static LRESULT CALLBACK ParentProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR data);
    void BuildList();
    void ChangeHandling();
    void AttachImageList();
    void UpdateItemHeight();
    void DrawItem(const DRAWITEMSTRUCT& item);
    void Detach();

    std::unique_ptr<TUiDriveShell> FOwnShell;
    TUiDriveShell* FShell;
    TUiDriveListModel FModel;
    TUiDriveTypes FDriveTypes{dtFixed, dtRemote, dtCDROM};
    TUiImageSize FImageSize = isSmall;
    int FOffset = 4;
    int FItemHeight = 16;
    HWND FHandle = nullptr;
    HWND FParent = nullptr;
    int FId = 0;
    HIMAGELIST FImages = nullptr; // the shell's, shared: never destroyed here
    bool FSelecting = false;
};

} // namespace ui

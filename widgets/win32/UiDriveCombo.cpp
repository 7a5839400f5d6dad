#include "widgets/UiDriveCombo.h"

#include <dbt.h>
#include <shellapi.h>
#include <algorithm>

#include "platform/Drives.h"
#include "platform/win32/Wide.h"

namespace ui {

using platform::win32::Narrow;
using platform::win32::Wide;

namespace {

// The drives as the OS and the shell report them.
class TSystemDriveShell : public TUiDriveShell {
  public:
    unsigned BeginQuietMedia() override {
        // Both flags: the "no disk" box for an empty drive is a critical error.
        UINT previous = GetErrorMode();
        SetErrorMode(previous | SEM_NOOPENFILEERRORBOX | SEM_FAILCRITICALERRORS);
        return previous;
    }

    void EndQuietMedia(unsigned previous) override { SetErrorMode(previous); }

    std::vector<std::string> LogicalDriveRoots() override {
        std::wstring buffer;
        DWORD n = GetLogicalDriveStringsW(0, nullptr);
        // The set of drives can grow between the two calls.
        while (n > buffer.size()) {
            buffer.assign(n + 1, L'\0');
            n = GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
        }
        buffer.resize(n);
        std::vector<std::string> roots;
        for (size_t at = 0; at < buffer.size();) {
            size_t end = buffer.find(L'\0', at);
            if (end == std::wstring::npos) end = buffer.size();
            if (end > at) roots.push_back(Narrow(std::wstring_view(buffer).substr(at, end - at)));
            at = end + 1;
        }
        return roots;
    }

    unsigned DriveType(const std::string& root) override {
        return GetDriveTypeW(Wide(root).c_str());
    }

    void Describe(const std::string& root, TUiImageSize size, std::string& displayName,
                  int& iconIndex) override {
        SHFILEINFOW sfi{};
        UINT flags =
            SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX | (size == isSmall ? SHGFI_SMALLICON : 0);
        if (SHGetFileInfoW(Wide(root).c_str(), 0, &sfi, sizeof sfi, flags)) {
            displayName = Narrow(sfi.szDisplayName);
            iconIndex = sfi.iIcon;
        } else {
            displayName = Narrow(sfi.szDisplayName);
            iconIndex = -1;
        }
    }
};

void IconSize(TUiImageSize size, int& width, int& height) {
    width = GetSystemMetrics(size == isSmall ? SM_CXSMICON : SM_CXICON);
    height = GetSystemMetrics(size == isSmall ? SM_CYSMICON : SM_CYICON);
}

} // namespace

TUiDriveCombo::TUiDriveCombo(TUiDriveShell* shell) {
    if (!shell) {
        FOwnShell = std::make_unique<TSystemDriveShell>();
        shell = FOwnShell.get();
    }
    FShell = shell;
    FModel.OnSelectItem = [this](int index) {
        if (FHandle) SendMessageW(FHandle, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    };
    FModel.OnChange = [this] {
        if (OnChange) OnChange(*this);
    };
}

TUiDriveCombo::~TUiDriveCombo() {
    if (FHandle && IsWindow(FHandle)) DestroyWindow(FHandle);
    Detach();
}

HWND TUiDriveCombo::Create(HWND parent, int id, int left, int top, int width, int height) {
    FParent = parent;
    FId = id;
    // The parent reports drawing, measuring and selection to the control:
    // listen in on it first, as the list is measured while it is created.
    SetWindowSubclass(parent, &ParentProc, reinterpret_cast<UINT_PTR>(this),
                      reinterpret_cast<DWORD_PTR>(this));
    FHandle = CreateWindowExW(0, L"ComboBox", L"",
                              WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST |
                                  CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
                              left, top, width, height, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              GetModuleHandleW(nullptr), nullptr);
    if (!FHandle) {
        Detach();
        return nullptr;
    }
    SetWindowSubclass(FHandle, &ComboProc, reinterpret_cast<UINT_PTR>(this),
                      reinterpret_cast<DWORD_PTR>(this));
    AttachImageList();
    UpdateItemHeight();
    BuildList();
    FModel.ChooseFirst(platform::CurrentDrive());
    return FHandle;
}

void TUiDriveCombo::Detach() {
    if (FHandle) RemoveWindowSubclass(FHandle, &ComboProc, reinterpret_cast<UINT_PTR>(this));
    if (FParent) RemoveWindowSubclass(FParent, &ParentProc, reinterpret_cast<UINT_PTR>(this));
    FHandle = nullptr;
    FParent = nullptr;
}

void TUiDriveCombo::AttachImageList() {
    // The shell's system image list, shared by every program: found through
    // any existing path, and never destroyed here.
    wchar_t windows[MAX_PATH];
    UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    SHFILEINFOW sfi{};
    UINT flags = SHGFI_SYSICONINDEX | (FImageSize == isSmall ? SHGFI_SMALLICON : 0);
    FImages = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoW(n && n < MAX_PATH ? windows : L"C:\\", 0, &sfi, sizeof sfi, flags));
}

void TUiDriveCombo::UpdateItemHeight() {
    int iconWidth = 0, iconHeight = 0;
    if (FImages) IconSize(FImageSize, iconWidth, iconHeight);
    int textHeight = 0;
    if (FHandle) {
        HDC dc = GetDC(FHandle);
        HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(FHandle, WM_GETFONT, 0, 0));
        HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
        TEXTMETRICW tm{};
        if (GetTextMetricsW(dc, &tm)) textHeight = tm.tmHeight;
        if (old) SelectObject(dc, old);
        ReleaseDC(FHandle, dc);
    }
    FItemHeight = std::max(textHeight, iconHeight);
    if (FHandle && FItemHeight > 0) {
        SendMessageW(FHandle, CB_SETITEMHEIGHT, 0, FItemHeight);
        SendMessageW(FHandle, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), FItemHeight);
    }
}

void TUiDriveCombo::BuildList() {
    if (!FHandle) return;
    std::vector<TUiDriveListModel::Item> items =
        TUiDriveListModel::Enumerate(*FShell, FDriveTypes, FImageSize);
    SendMessageW(FHandle, CB_RESETCONTENT, 0, 0);
    for (const auto& item : items) {
        LRESULT at = SendMessageW(FHandle, CB_ADDSTRING, 0,
                                  reinterpret_cast<LPARAM>(Wide(item.DisplayName).c_str()));
        if (at >= 0)
            SendMessageW(FHandle, CB_SETITEMDATA, static_cast<WPARAM>(at),
                         static_cast<LPARAM>(item.IconIndex));
    }
    FModel.Rebuild(std::move(items));
    InvalidateRect(FHandle, nullptr, TRUE);
}

void TUiDriveCombo::ChangeHandling() {
    if (FHandle)
        FModel.SelectionChanged(static_cast<int>(SendMessageW(FHandle, CB_GETCURSEL, 0, 0)));
}

void TUiDriveCombo::Refresh() {
    BuildList();
}

void TUiDriveCombo::SetDriveTypes(TUiDriveTypes types) {
    FDriveTypes = types.Empty() ? TUiDriveTypes{dtFixed} : types;
    if (!FHandle) return;
    BuildList();
    ChangeHandling();
}

void TUiDriveCombo::SetOffset(int offset) {
    if (offset == FOffset) return;
    FOffset = offset;
    Refresh();
}

void TUiDriveCombo::SetImageSize(TUiImageSize size) {
    if (size == FImageSize) return;
    FImageSize = size;
    if (!FHandle) return;
    SendMessageW(FHandle, CB_RESETCONTENT, 0, 0);
    AttachImageList();
    UpdateItemHeight();
    BuildList();
    ChangeHandling();
}

void TUiDriveCombo::MainWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != WM_DEVICECHANGE ||
        (wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE))
        return;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (!header || header->dbch_devicetype != DBT_DEVTYP_VOLUME) return;
    Refresh();
    if (OnDriveChange) OnDriveChange(*this);
}

void TUiDriveCombo::DrawItem(const DRAWITEMSTRUCT& d) {
    HDC dc = d.hDC;
    RECT r = d.rcItem;
    FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
    if (d.itemID == static_cast<UINT>(-1)) return;

    LRESULT length = SendMessageW(FHandle, CB_GETLBTEXTLEN, d.itemID, 0);
    std::wstring text(length > 0 ? static_cast<size_t>(length) : 0, L'\0');
    if (length > 0) {
        std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
        SendMessageW(FHandle, CB_GETLBTEXT, d.itemID, reinterpret_cast<LPARAM>(buffer.data()));
        text.assign(buffer.c_str());
    }
    int icon = static_cast<int>(d.itemData);

    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(FHandle, WM_GETFONT, 0, 0));
    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);

    int iconWidth = 0, iconHeight = 0;
    if (FImages) IconSize(FImageSize, iconWidth, iconHeight);
    TUiDriveItemLayout l =
        LayoutDriveItem(r.left, FImages != nullptr, iconWidth, FOffset, extent.cx);
    if (FImages && icon >= 0)
        ImageList_Draw(FImages, icon, dc, l.IconLeft, r.top + (r.bottom - r.top - iconHeight) / 2,
                       ILD_TRANSPARENT);

    const bool selected = (d.itemState & ODS_SELECTED) != 0;
    RECT area{l.AreaLeft, r.top, std::min<LONG>(l.AreaRight, r.right), r.bottom};
    FillRect(dc, &area, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColor = SetTextColor(dc, GetSysColor((d.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT
                                                     : selected ? COLOR_HIGHLIGHTTEXT
                                                                : COLOR_WINDOWTEXT));
    RECT textRect{l.TextLeft, r.top, area.right, r.bottom};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (selected) DrawFocusRect(dc, &area);
    SetTextColor(dc, oldColor);
    SetBkMode(dc, oldMode);
    if (oldFont) SelectObject(dc, oldFont);
}

LRESULT CALLBACK TUiDriveCombo::ComboProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<TUiDriveCombo*>(data);
    switch (msg) {
    case WM_SETFONT: {
        LRESULT result = DefSubclassProc(wnd, msg, wParam, lParam);
        self->UpdateItemHeight();
        return result;
    }
    case WM_NCDESTROY:
        self->Detach();
        break;
    }
    return DefSubclassProc(wnd, msg, wParam, lParam);
}

LRESULT CALLBACK TUiDriveCombo::ParentProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<TUiDriveCombo*>(data);
    switch (msg) {
    case WM_MEASUREITEM: {
        auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (m->CtlType == ODT_COMBOBOX && static_cast<int>(m->CtlID) == self->FId) {
            m->itemHeight = static_cast<UINT>(self->FItemHeight);
            return TRUE;
        }
        break;
    }
    case WM_DRAWITEM: {
        const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (self->FHandle && d->hwndItem == self->FHandle) {
            self->DrawItem(*d);
            return TRUE;
        }
        break;
    }
    case WM_COMMAND:
        if (self->FHandle && reinterpret_cast<HWND>(lParam) == self->FHandle &&
            HIWORD(wParam) == CBN_SELCHANGE)
            self->ChangeHandling();
        break;
    }
    return DefSubclassProc(wnd, msg, wParam, lParam);
}

} // namespace ui

// The drive list and the port field as windows, inside this process: the
// drive list fed by a stand-in shell, the port field typed into and pasted
// into through its window messages.
#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/Wide.h"
#include "widgets/UiDriveCombo.h"
#include "widgets/UiValidateEdit.h"

using platform::win32::Narrow;
using platform::win32::Wide;

namespace {

constexpr int kComboId = 10, kEditId = 11, kOtherId = 12;

// A top-level window to hold the controls under test.
class TestWindow {
  public:
    TestWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"WidgetControlsTest";
        wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
        RegisterClassW(&wc);
        FHandle = CreateWindowExW(0, L"WidgetControlsTest", L"widgets", WS_OVERLAPPEDWINDOW, 10, 10,
                                  400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ShowWindow(FHandle, SW_SHOWNORMAL);
        SetForegroundWindow(FHandle);
    }
    ~TestWindow() { DestroyWindow(FHandle); }
    HWND Handle() const { return FHandle; }

  private:
    HWND FHandle;
};

class StandInShell : public ui::TUiDriveShell {
  public:
    struct Root {
        char Letter;
        unsigned Type;
        std::string Name;
    };
    std::vector<Root> Roots;
    int Begun = 0, Ended = 0, Listed = 0;

    unsigned BeginQuietMedia() override { return static_cast<unsigned>(++Begun); }
    void EndQuietMedia(unsigned) override { ++Ended; }
    std::vector<std::string> LogicalDriveRoots() override {
        ++Listed;
        std::vector<std::string> roots;
        for (const auto& r : Roots)
            roots.push_back(std::string(1, r.Letter) + ":\\");
        return roots;
    }
    unsigned DriveType(const std::string& root) override {
        for (const auto& r : Roots)
            if (r.Letter == root[0]) return r.Type;
        return 1;
    }
    void Describe(const std::string& root, ui::TUiImageSize, std::string& name,
                  int& icon) override {
        for (const auto& r : Roots)
            if (r.Letter == root[0]) name = r.Name;
        icon = 0;
    }
};

std::string ItemText(HWND combo, int index) {
    wchar_t buffer[256] = {};
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer));
    return Narrow(buffer);
}

std::string Text(HWND wnd) {
    wchar_t buffer[256] = {};
    GetWindowTextW(wnd, buffer, 256);
    return Narrow(buffer);
}

void SendVolumeChange(HWND to, ui::TUiDriveCombo& combo, WPARAM event, DWORD deviceType) {
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = deviceType;
    volume.dbcv_unitmask = 1u << ('E' - 'A');
    combo.MainWindowMessage(WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume));
}

class DriveComboTest : public ::testing::Test {
  protected:
    void SetUp() override {
        shell.Roots = {{'A', DRIVE_REMOVABLE, "Floppy (A:)"},
                       {'C', DRIVE_FIXED, " System (C:) "},
                       {'D', DRIVE_CDROM, "DVD (D:)"},
                       {'F', DRIVE_FIXED, "Data (F:)"}};
        combo = std::make_unique<ui::TUiDriveCombo>(&shell);
        combo->SetDriveTypes({ui::dtFixed});
        combo->SetOffset(4);
        HWND wnd = combo->Create(window.Handle(), kComboId, 10, 10, 300, 200);
        ASSERT_TRUE(wnd);
        SendMessageW(wnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                     FALSE);
    }

    std::vector<std::string> Shown() const {
        std::vector<std::string> items;
        int n = static_cast<int>(SendMessageW(combo->Handle(), CB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i)
            items.push_back(ItemText(combo->Handle(), i));
        return items;
    }

    TestWindow window;
    StandInShell shell;
    std::unique_ptr<ui::TUiDriveCombo> combo;
};

TEST_F(DriveComboTest, ListsFixedDrivesByShellNameAndChoosesAsTheWizardDoes) {
    EXPECT_EQ(Shown(), (std::vector<std::string>{"System (C:)", "Data (F:)"}));
    EXPECT_NE(combo->Drive(), '\0') << "a first choice is made with the window";
    EXPECT_EQ(shell.Begun, shell.Ended) << "error boxes restored after each enumeration";
    combo->SetDrive('f');
    EXPECT_EQ(combo->Drive(), 'F');
    EXPECT_EQ(combo->DisplayName(), "Data (F:)");
    EXPECT_EQ(Text(combo->Handle()), "Data (F:)") << "the window shows the chosen item";
    combo->SetDrive('D'); // a CD-ROM drive is not listed
    EXPECT_EQ(combo->Drive(), 'F');
    combo->SetDrive('c');
    EXPECT_EQ(combo->Drive(), 'C');
    EXPECT_EQ(SendMessageW(combo->Handle(), CB_GETCURSEL, 0, 0), 0);
}

TEST_F(DriveComboTest, UserPickMovesTheChoice) {
    combo->SetDrive('C');
    int changes = 0;
    combo->OnChange = [&](ui::TUiDriveCombo& sender) {
        EXPECT_EQ(&sender, combo.get());
        ++changes;
    };
    SendMessageW(combo->Handle(), CB_SETCURSEL, 1, 0);
    SendMessageW(window.Handle(), WM_COMMAND, MAKEWPARAM(kComboId, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo->Handle()));
    EXPECT_EQ(combo->Drive(), 'F');
    EXPECT_EQ(combo->DisplayName(), "Data (F:)");
    EXPECT_GT(changes, 0);
}

TEST_F(DriveComboTest, VolumeArrivalAndRemovalRebuildTheList) {
    combo->SetDrive('F');
    int driveChanges = 0;
    combo->OnDriveChange = [&](ui::TUiDriveCombo&) { ++driveChanges; };

    shell.Roots.push_back({'E', DRIVE_FIXED, "Stick (E:)"});
    // Other device events and other kinds of device leave the list alone.
    SendVolumeChange(window.Handle(), *combo, DBT_DEVICEQUERYREMOVE, DBT_DEVTYP_VOLUME);
    SendVolumeChange(window.Handle(), *combo, DBT_DEVICEARRIVAL, DBT_DEVTYP_PORT);
    combo->MainWindowMessage(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    EXPECT_EQ(Shown().size(), 2u);
    EXPECT_EQ(driveChanges, 0);

    SendVolumeChange(window.Handle(), *combo, DBT_DEVICEARRIVAL, DBT_DEVTYP_VOLUME);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"System (C:)", "Data (F:)", "Stick (E:)"}));
    EXPECT_EQ(driveChanges, 1);
    EXPECT_EQ(combo->Drive(), 'F') << "the chosen drive stays chosen";
    EXPECT_EQ(Text(combo->Handle()), "Data (F:)");

    shell.Roots.erase(shell.Roots.begin() + 3); // F: leaves
    SendVolumeChange(window.Handle(), *combo, DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_VOLUME);
    EXPECT_EQ(driveChanges, 2);
    EXPECT_EQ(Shown(), (std::vector<std::string>{"System (C:)", "Stick (E:)"}));
    EXPECT_EQ(Text(combo->Handle()), combo->DisplayName()) << "shown and chosen agree";
    EXPECT_EQ(combo->Drive(), 'E') << "the item now at the chosen drive's place";
    EXPECT_EQ(shell.Begun, shell.Ended);
}

TEST_F(DriveComboTest, EmptyDriveTypesMeanFixedDrives) {
    combo->SetDriveTypes({ui::dtCDROM, ui::dtRemovable});
    EXPECT_EQ(Shown(), (std::vector<std::string>{"Floppy (A:)", "DVD (D:)"}));
    EXPECT_TRUE(combo->Drive() == 'A' || combo->Drive() == 'D');
    combo->SetDriveTypes({});
    EXPECT_EQ(combo->DriveTypes(), ui::TUiDriveTypes{ui::dtFixed});
    EXPECT_EQ(Shown().size(), 2u);
    EXPECT_EQ(combo->Drive(), 'C') << "the chosen drive left the list: the first item is chosen";
}

TEST_F(DriveComboTest, ItemsAreAsTallAsTheFontOrTheIconWhicheverIsTaller) {
    HDC dc = GetDC(combo->Handle());
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(combo->Handle(), dc);
    int expected = std::max<int>(tm.tmHeight, GetSystemMetrics(SM_CYSMICON));
    EXPECT_EQ(combo->ItemHeight(), expected);
    EXPECT_EQ(SendMessageW(combo->Handle(), CB_GETITEMHEIGHT, 0, 0), expected);

    HFONT big =
        CreateFontW(-40, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
    SendMessageW(combo->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(big), FALSE);
    EXPECT_GE(combo->ItemHeight(), 40) << "recomputed when the font changes";
    EXPECT_EQ(SendMessageW(combo->Handle(), CB_GETITEMHEIGHT, 0, 0), combo->ItemHeight());
    SendMessageW(combo->Handle(), WM_SETFONT, 0, FALSE);
    DeleteObject(big);
}

TEST_F(DriveComboTest, SelectedItemIsHighlightedBehindItsTextOnly) {
    combo->SetDrive('C');
    const int width = 300, height = combo->ItemHeight();
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);

    DRAWITEMSTRUCT d{};
    d.CtlType = ODT_COMBOBOX;
    d.CtlID = kComboId;
    d.itemID = 0;
    d.itemAction = ODA_DRAWENTIRE;
    d.itemState = ODS_SELECTED;
    d.hwndItem = combo->Handle();
    d.hDC = dc;
    d.rcItem = RECT{0, 0, width, height};
    d.itemData = static_cast<ULONG_PTR>(SendMessageW(combo->Handle(), CB_GETITEMDATA, 0, 0));
    EXPECT_TRUE(SendMessageW(window.Handle(), WM_DRAWITEM, kComboId, reinterpret_cast<LPARAM>(&d)));

    HGDIOBJ oldFont = SelectObject(
        dc, reinterpret_cast<HGDIOBJ>(SendMessageW(combo->Handle(), WM_GETFONT, 0, 0)));
    SIZE extent{};
    std::wstring text = Wide("System (C:)");
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, oldFont);
    ui::TUiDriveItemLayout l =
        ui::LayoutDriveItem(0, true, GetSystemMetrics(SM_CXSMICON), 4, extent.cx);
    const int mid = height / 2;
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT), window_ = GetSysColor(COLOR_WINDOW);
    // Inside the area, just left of its right edge (the focus frame is on the edge itself).
    EXPECT_EQ(GetPixel(dc, l.AreaRight - 3, mid), highlight);
    EXPECT_EQ(GetPixel(dc, l.AreaLeft + 2, mid), highlight) << "before the text starts";
    EXPECT_EQ(GetPixel(dc, l.AreaRight + 3, mid), window_) << "after the area";
    EXPECT_EQ(GetPixel(dc, l.AreaLeft - 2, 0), window_) << "between the icon and the area";
    EXPECT_EQ(GetPixel(dc, 1, mid), window_) << "before the icon";

    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

// ---------------------------------------------------------------------------

class PortFieldTest : public ::testing::Test {
  protected:
    void SetUp() override {
        edit.CriticalPoints.MaxValueIncluded = false;
        edit.CriticalPoints.MinValueIncluded = false;
        ASSERT_TRUE(edit.Create(window.Handle(), kEditId, 10, 10, 100, 24));
        other = CreateWindowExW(0, L"Button", L"other", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, 50,
                                80, 24, window.Handle(), reinterpret_cast<HMENU>(kOtherId),
                                GetModuleHandleW(nullptr), nullptr);
        edit.Loaded();
    }

    void SetText(const std::string& text) { SetWindowTextW(edit.Handle(), Wide(text).c_str()); }
    void Select(int from, int to) { SendMessageW(edit.Handle(), EM_SETSEL, from, to); }
    std::string Shown() const { return Text(edit.Handle()); }
    // The field has the focus, holds the text and then loses the focus.
    void LeaveWith(const std::string& text) {
        SetFocus(edit.Handle());
        SetText(text);
        SetFocus(other);
    }
    static void ToClipboard(const std::string& text) {
        std::wstring wide = Wide(text);
        ASSERT_TRUE(OpenClipboard(nullptr));
        EmptyClipboard();
        HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (wide.size() + 1) * sizeof(wchar_t));
        memcpy(GlobalLock(mem), wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
        GlobalUnlock(mem);
        SetClipboardData(CF_UNICODETEXT, mem);
        CloseClipboard();
    }

    TestWindow window;
    ui::TUiValidateEdit edit;
    HWND other = nullptr;
};

TEST_F(PortFieldTest, ShowsZeroWhenLoadedAndIsRightAligned) {
    EXPECT_EQ(Shown(), "0");
    EXPECT_EQ(edit.AsInteger(), 0);
    EXPECT_TRUE(GetWindowLongW(edit.Handle(), GWL_STYLE) & ES_RIGHT);
    EXPECT_EQ(edit.DisplayFormat(), ui::dfInteger);
    EXPECT_EQ(edit.CheckChars(), "01234567890");
    EXPECT_EQ(edit.CriticalPoints.CheckPoints, ui::cpNone);
}

TEST_F(PortFieldTest, PastesKeepOnlyWhatCouldBeTyped) {
    SetText("12");
    Select(1, 1);
    ToClipboard("a3 b");
    SendMessageW(edit.Handle(), WM_PASTE, 0, 0);
    EXPECT_EQ(Shown(), "132");
    DWORD start = 0, end = 0;
    SendMessageW(edit.Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(end, 2u) << "the caret stays behind what is left of the pasted text";

    ToClipboard("x9");
    Select(0, -1);
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    BYTE saved = keys[VK_SHIFT];
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    SendMessageW(edit.Handle(), WM_KEYDOWN, VK_INSERT, 1); // Shift+Insert
    keys[VK_SHIFT] = saved;
    SetKeyboardState(keys);
    EXPECT_EQ(Shown(), "9");
}

TEST_F(PortFieldTest, FocusLossTakesTheFilteredTextAndFormatsIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"+8080", "8080"}, {"0080", "80"},     {"", "0"},
        {"-0", "0"},       {"70000", "70000"}, {"9223372036854775808", "0"},
        {"8 0", "80"}};
    for (auto [text, shown] : cases) {
        LeaveWith(text); // set from outside, bypassing the typing rules
        EXPECT_EQ(Shown(), shown) << '"' << text << '"';
    }
    SetFocus(edit.Handle());
    SetText("0042");
    SetFocus(other);
    SetText("007");
    SetFocus(edit.Handle());
    EXPECT_EQ(Shown(), "7") << "formatted on focus gain too";
}

TEST_F(PortFieldTest, ValueIsSixtyFourBitAndFollowsTheText) {
    int changes = 0;
    edit.OnChange = [&](ui::TUiValidateEdit&) { ++changes; };
    edit.SetAsInteger(INT64_MAX);
    EXPECT_EQ(Shown(), "9223372036854775807");
    EXPECT_EQ(edit.AsInteger(), INT64_MAX);
    EXPECT_GT(changes, 0);
    edit.SetAsInteger(INT64_MIN);
    EXPECT_EQ(edit.AsInteger(), INT64_MIN);
    SetText("9223372036854775808");
    EXPECT_EQ(edit.AsInteger(), 0);
    SetText("");
    EXPECT_EQ(edit.AsInteger(), 0);
    EXPECT_EQ(edit.EditText(), "");
}

} // namespace

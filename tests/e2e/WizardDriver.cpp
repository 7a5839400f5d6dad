#include "tests/e2e/WizardDriver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <commctrl.h>

#include "platform/win32/Wide.h"
#include "setup/win32/ControlIds.h"

namespace e2e {

using platform::win32::Narrow;
using platform::win32::Wide;

namespace {

constexpr DWORD kPollMs = 20;
constexpr UINT kSendTimeoutMs = 10000;

template <typename Pred> bool WaitUntil(DWORD timeoutMs, Pred pred) {
    DWORD start = GetTickCount();
    for (;;) {
        if (pred()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(kPollMs);
    }
}

std::string ClassName(HWND wnd) {
    wchar_t name[256];
    int n = GetClassNameW(wnd, name, 256);
    return Narrow(std::wstring_view(name, n > 0 ? n : 0));
}

LRESULT Send(HWND wnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(wnd, msg, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &result);
    return static_cast<LRESULT>(result);
}

struct FindData {
    DWORD Pid;
    HWND Found;
};

BOOL CALLBACK FindForm(HWND wnd, LPARAM lParam) {
    auto* d = reinterpret_cast<FindData*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    if ((d->Pid == 0 || pid == d->Pid) && IsWindowVisible(wnd) &&
        WindowText(wnd) == "Programma - Setup") {
        d->Found = wnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindDialog(HWND wnd, LPARAM lParam) {
    auto* d = reinterpret_cast<FindData*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    if (pid == d->Pid && IsWindowVisible(wnd) && ClassName(wnd) == "#32770") {
        d->Found = wnd;
        return FALSE;
    }
    return TRUE;
}

HWND FocusOf(HWND wnd) {
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(wnd, nullptr), &gti)) return gti.hwndFocus;
    return nullptr;
}

// A key press goes to the control that has the keyboard focus.
void PostKey(HWND wnd, WPARAM vk) {
    HWND target = FocusOf(wnd);
    if (!target) target = wnd;
    PostMessageW(target, WM_KEYDOWN, vk, 1);
    PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
}

} // namespace

std::ostream& operator<<(std::ostream& os, TFront f) {
    return os << (f == TFront::Next ? "Next" : f == TFront::Finish ? "Finish" : "unknown");
}

std::ostream& operator<<(std::ostream& os, TAnswer a) {
    static const char* const names[] = {"Yes", "No", "Escape", "Close", "Enter"};
    return os << names[static_cast<int>(a)];
}

std::string WindowText(HWND wnd) {
    wchar_t buffer[2048];
    LRESULT n = 0;
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(wnd, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL,
                            kSendTimeoutMs, &result))
        n = static_cast<LRESULT>(result);
    return Narrow(std::wstring_view(buffer, n > 0 ? static_cast<size_t>(n) : 0));
}

std::vector<std::string> ComboItems(HWND combo) {
    std::vector<std::string> items;
    LRESULT n = Send(combo, CB_GETCOUNT);
    for (LRESULT i = 0; i < n; ++i) {
        LRESULT length = Send(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i));
        std::wstring buffer(length > 0 ? static_cast<size_t>(length) + 1 : 1, L'\0');
        if (length > 0)
            Send(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(buffer.data()));
        items.push_back(Narrow(buffer.c_str()));
    }
    return items;
}

int ComboSelection(HWND combo) {
    return static_cast<int>(Send(combo, CB_GETCURSEL));
}

void TypeChars(HWND control, const std::string& chars) {
    for (wchar_t ch : Wide(chars))
        Send(control, WM_CHAR, ch, 1);
}

void SelectText(HWND edit, int from, int to) {
    Send(edit, EM_SETSEL, static_cast<WPARAM>(from), static_cast<LPARAM>(to));
}

bool SetClipboardText(const std::string& text) {
    std::wstring wide = Wide(text);
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool ok = false;
    if (mem) {
        memcpy(GlobalLock(mem), wide.c_str(), bytes);
        GlobalUnlock(mem);
        ok = SetClipboardData(CF_UNICODETEXT, mem) != nullptr;
        if (!ok) GlobalFree(mem);
    }
    CloseClipboard();
    return ok;
}

std::string StringResourceOf(const std::string& exePath, unsigned id) {
    HMODULE module = LoadLibraryExW(Wide(exePath).c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return {};
    wchar_t buffer[1024];
    int n = LoadStringW(module, id, buffer, 1024);
    FreeLibrary(module);
    return Narrow(std::wstring_view(buffer, n > 0 ? n : 0));
}

// ---------------------------------------------------------------------------

TSetupProcess::TSetupProcess(const std::string& exePath) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    // On a loaded machine Wine now and then fails to start a process that
    // starts the next time; that is the test machine's, not the program's.
    // Each failure is said, so a lasting one shows with its error.
    for (int attempt = 1; attempt <= 3; ++attempt) {
        std::wstring commandLine = L"\"" + Wide(exePath) + L"\"";
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &si, &FInfo))
            return;
        FStartError = GetLastError();
        FInfo = PROCESS_INFORMATION{};
        std::fprintf(stderr, "CreateProcessW(%s), attempt %d: error %lu\n", exePath.c_str(),
                     attempt, static_cast<unsigned long>(FStartError));
        Sleep(500);
    }
}

TSetupProcess::~TSetupProcess() {
    if (!FInfo.hProcess) return;
    if (WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(FInfo.hProcess, 255);
        WaitForSingleObject(FInfo.hProcess, 5000);
    }
    CloseHandle(FInfo.hThread);
    CloseHandle(FInfo.hProcess);
}

bool TSetupProcess::WaitForExit(DWORD milliseconds) {
    return FInfo.hProcess && WaitForSingleObject(FInfo.hProcess, milliseconds) == WAIT_OBJECT_0;
}

// ---------------------------------------------------------------------------

bool TWizardView::SameAs(const TWizardView& o) const {
    return Page == o.Page && NextEnabled == o.NextEnabled && CancelVisible == o.CancelVisible &&
           Front == o.Front && Progress == o.Progress && DriveText == o.DriveText &&
           PortText == o.PortText && Cursor == o.Cursor;
}

TWizardForm TWizardForm::Find(DWORD processId, DWORD timeoutMs) {
    TWizardForm form;
    WaitUntil(timeoutMs, [&] {
        FindData d{processId, nullptr};
        EnumWindows(FindForm, reinterpret_cast<LPARAM>(&d));
        form.FHandle = d.Found;
        return d.Found != nullptr;
    });
    if (form) form.Sync();
    return form;
}

HWND TWizardForm::Button(int id) const {
    return GetDlgItem(GetDlgItem(FHandle, setup::idUiSpeedBar1), id);
}

HWND TWizardForm::PageWindow(int index) const {
    return GetDlgItem(GetDlgItem(FHandle, setup::idNotebook1), setup::idPage0 + index);
}

HWND TWizardForm::PageControl(int page, int id) const {
    return GetDlgItem(PageWindow(page), id);
}

int TWizardForm::VisiblePage() const {
    int found = -1, visible = 0;
    for (int i = 0; i < 9; ++i) {
        HWND page = PageWindow(i);
        if (page && IsWindowVisible(page)) {
            found = i;
            ++visible;
        }
    }
    return visible == 1 ? found : -1;
}

TWizardView TWizardForm::Read() const {
    TWizardView v;
    v.Page = VisiblePage();
    HWND next = Button(setup::idBtNext), finish = Button(setup::idBtFinish);
    v.NextEnabled = IsWindowEnabled(next);
    v.CancelVisible = IsWindowVisible(Button(setup::idBtCancel));
    // The first of the two in the bar's stacking order (top first) is in front.
    for (HWND w = GetWindow(GetDlgItem(FHandle, setup::idUiSpeedBar1), GW_CHILD); w;
         w = GetWindow(w, GW_HWNDNEXT)) {
        if (w == next || w == finish) {
            v.Front = w == next ? TFront::Next : TFront::Finish;
            break;
        }
    }
    v.Progress = static_cast<int>(Send(PageControl(4, setup::idProgressBar), PBM_GETPOS));
    v.DriveText = WindowText(PageControl(2, setup::idInstallDrive));
    v.PortText = WindowText(PageControl(3, setup::idProxyPoort));
    CURSORINFO ci{};
    ci.cbSize = sizeof ci;
    if (GetCursorInfo(&ci)) v.Cursor = ci.hCursor;
    return v;
}

void TWizardForm::Click(int buttonId) const {
    PostMessageW(Button(buttonId), BM_CLICK, 0, 0);
}

bool TWizardForm::WaitForPage(int index, DWORD timeoutMs) const {
    // Visibility only: a full Read sends messages, and while the run blocks
    // the form one read can outlast a page that is up only during the run.
    return WaitUntil(timeoutMs, [&] { return VisiblePage() == index; });
}

void TWizardForm::CloseByTitleBar() const {
    PostMessageW(FHandle, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void TWizardForm::PressKey(WPARAM vk) const {
    // Posted keys are handled after sent messages, so a sync cannot tell
    // when the key has been seen; a change of focus can.
    HWND before = FocusOf(FHandle);
    PostKey(FHandle, vk);
    WaitUntil(1000, [&] { return FocusOf(FHandle) != before; });
    Sync();
}

HWND TWizardForm::FocusedWindow() const {
    return FocusOf(FHandle);
}

int TWizardForm::FocusedControlId() const {
    HWND focus = FocusOf(FHandle);
    return focus ? GetDlgCtrlID(focus) : 0;
}

void TWizardForm::Sync() const {
    Send(FHandle, WM_NULL);
}

// ---------------------------------------------------------------------------

TDialog WaitForDialog(DWORD processId, DWORD timeoutMs) {
    TDialog dlg;
    WaitUntil(timeoutMs, [&] {
        FindData d{processId, nullptr};
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&d));
        dlg.Handle = d.Found;
        return d.Found != nullptr;
    });
    if (!dlg) return dlg;
    Send(dlg.Handle, WM_NULL); // the dialog has finished initialising
    dlg.Caption = WindowText(dlg.Handle);
    std::vector<std::pair<LONG, HWND>> buttons;
    for (HWND w = GetWindow(dlg.Handle, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        std::string cls = ClassName(w);
        LONG style = GetWindowLongW(w, GWL_STYLE);
        if (!IsWindowVisible(w)) continue;
        if (cls == "Static" && (style & SS_TYPEMASK) != SS_ICON && dlg.Text.empty()) {
            dlg.Text = WindowText(w);
        } else if (cls == "Button") {
            RECT r;
            GetWindowRect(w, &r);
            buttons.emplace_back(r.left, w);
            if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) dlg.DefaultButton = w;
        }
    }
    std::sort(buttons.begin(), buttons.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& b : buttons)
        dlg.Buttons.push_back(WindowText(b.second));
    return dlg;
}

bool Answer(const TDialog& dialog, TAnswer answer, DWORD timeoutMs) {
    HWND dlg = dialog.Handle;
    switch (answer) {
    case TAnswer::Yes:
        PostMessageW(GetDlgItem(dlg, IDYES), BM_CLICK, 0, 0);
        break;
    case TAnswer::No:
        PostMessageW(GetDlgItem(dlg, IDNO), BM_CLICK, 0, 0);
        break;
    case TAnswer::Escape:
        PostKey(dlg, VK_ESCAPE);
        break;
    case TAnswer::Enter:
        PostKey(dlg, VK_RETURN);
        break;
    case TAnswer::Close:
        PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
    return WaitUntil(timeoutMs, [dlg] { return !IsWindow(dlg); });
}

} // namespace e2e

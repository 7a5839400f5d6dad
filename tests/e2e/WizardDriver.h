#pragma once
// Drives a running Setup.exe from another process, the way a user would:
// finds its windows, presses buttons, answers its dialogs and reads what is
// shown. Controls are found by the ids of setup/win32/ControlIds.h.
#include <windows.h>
#include <ostream>
#include <string>
#include <vector>

namespace e2e {

// Setup.exe started as a child process; ended when the object goes.
class TSetupProcess {
  public:
    explicit TSetupProcess(const std::string& exePath);
    ~TSetupProcess();
    TSetupProcess(const TSetupProcess&) = delete;
    TSetupProcess& operator=(const TSetupProcess&) = delete;

    bool Started() const { return FInfo.hProcess != nullptr; }
    // CreateProcessW's error when it did not start.
    DWORD StartError() const { return FStartError; }
    DWORD Id() const { return FInfo.dwProcessId; }
    HANDLE Handle() const { return FInfo.hProcess; }
    // Waits for the process to end; true when it did within the time.
    bool WaitForExit(DWORD milliseconds);

  private:
    PROCESS_INFORMATION FInfo{};
    DWORD FStartError = 0;
};

enum class TFront { Next, Finish, Unknown };
enum class TAnswer { Yes, No, Escape, Close, Enter };

// A snapshot of the wizard form as the user sees it.
struct TWizardView {
    int Page = -1; // the one visible page, -1 when none or several are
    bool NextEnabled = false;
    bool CancelVisible = false;
    TFront Front = TFront::Unknown;
    int Progress = -1;
    std::string DriveText; // the drive list's shown text
    std::string PortText;
    HCURSOR Cursor = nullptr; // the cursor over the form's page area

    bool SameAs(const TWizardView& o) const;
};

class TWizardForm {
  public:
    // Waits for the form "Programma - Setup" of the given process (0: any).
    static TWizardForm Find(DWORD processId, DWORD timeoutMs);

    HWND Handle() const { return FHandle; }
    explicit operator bool() const { return FHandle != nullptr; }

    HWND Button(int id) const;
    HWND PageWindow(int index) const;
    HWND PageControl(int page, int id) const;
    TWizardView Read() const;
    // The one visible page, -1 when none or several are. Unlike Read, it sends
    // the form nothing, so it answers at once while the run blocks the form.
    int VisiblePage() const;
    // Presses a button (BM_CLICK) without waiting for what it starts, so a
    // modal dialog it opens can be answered.
    void Click(int buttonId) const;
    // Waits until the given page is the visible one.
    bool WaitForPage(int index, DWORD timeoutMs) const;
    // Closes the form with its title-bar close button.
    void CloseByTitleBar() const;
    // Presses a key on the control that has the keyboard focus and waits
    // (up to a second) for the focus to move.
    void PressKey(WPARAM vk) const;
    // The window with the keyboard focus, null when none.
    HWND FocusedWindow() const;
    // Control id of the window with the keyboard focus, 0 when none.
    int FocusedControlId() const;
    // Waits until the form's thread has handled everything sent before.
    void Sync() const;

  private:
    HWND FHandle = nullptr;
};

std::ostream& operator<<(std::ostream& os, TFront f);
std::ostream& operator<<(std::ostream& os, TAnswer a);

// A dialog or message box of the given process.
struct TDialog {
    HWND Handle = nullptr;
    std::string Caption;
    std::string Text;                 // the message text
    std::vector<std::string> Buttons; // captions, left to right
    HWND DefaultButton = nullptr;
    explicit operator bool() const { return Handle != nullptr; }
};

// Waits for a visible dialog window (class #32770) of the process.
TDialog WaitForDialog(DWORD processId, DWORD timeoutMs);
// Answers it and waits until it is gone.
bool Answer(const TDialog& dialog, TAnswer answer, DWORD timeoutMs);

std::string WindowText(HWND wnd);
// The item texts of a combo box and the index of its selected item.
std::vector<std::string> ComboItems(HWND combo);
int ComboSelection(HWND combo);
// Types characters into a control as the keyboard would after translation
// (WM_CHAR), each handled before the next.
void TypeChars(HWND control, const std::string& chars);
// Selects characters from..to of an edit (to = -1: up to the end).
void SelectText(HWND edit, int from, int to);
// Puts a text on the clipboard.
bool SetClipboardText(const std::string& text);
// A string resource of an executable file, read from its string table.
std::string StringResourceOf(const std::string& exePath, unsigned id);

} // namespace e2e

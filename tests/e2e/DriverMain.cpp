// wizard_driver: one step of driving a running Setup.exe, for scripts.
//
//   wizard_driver wait-page N   waits until page N of the wizard is shown
//   wizard_driver click next|cancel|finish
//   wizard_driver wait-dialog   waits for a dialog and prints its caption and text
//   wizard_driver answer yes|no|escape|close
//   wizard_driver state         prints the page, Next, Cancel and the front button
//   wizard_driver rect          prints the form's place on the screen as WxH+X+Y
//   wizard_driver drives        prints the drive list's items, then opens it
//   wizard_driver proxy HOST PORT  on the ProxySettings page: ticks the proxy
//                               box and types the proxy's address and port
//   wizard_driver time-run      on the ProxySettings page: presses Next and
//                               prints the seconds until the run has ended
//                               on the completion (or abort) page
//
// The exit code is 0 on success, 1 when the step could not be done.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "setup/win32/ControlIds.h"
#include "platform/win32/Wide.h"
#include "tests/e2e/WizardDriver.h"

using platform::win32::Wide;

using namespace e2e;

namespace {

constexpr DWORD kTimeoutMs = 30000;

DWORD FormProcess(const TWizardForm& form) {
    DWORD pid = 0;
    GetWindowThreadProcessId(form.Handle(), &pid);
    return pid;
}

int Fail(const char* what) {
    std::fprintf(stderr, "wizard_driver: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Fail("usage: wizard_driver wait-page N | click BUTTON | wait-dialog | answer A | "
                    "state | rect");
    std::string cmd = argv[1], arg = argc > 2 ? argv[2] : "";
    TWizardForm form = TWizardForm::Find(0, kTimeoutMs);
    if (!form) return Fail("no window \"Programma - Setup\"");
    if (cmd == "wait-page") {
        return form.WaitForPage(std::atoi(arg.c_str()), kTimeoutMs) ? 0 : Fail("page not shown");
    }
    if (cmd == "click") {
        int id = arg == "next"     ? setup::idBtNext
                 : arg == "cancel" ? setup::idBtCancel
                 : arg == "finish" ? setup::idBtFinish
                                   : 0;
        if (!id) return Fail("unknown button");
        form.Click(id);
        return 0;
    }
    if (cmd == "wait-dialog" || cmd == "answer") {
        TDialog d = WaitForDialog(FormProcess(form), kTimeoutMs);
        if (!d) return Fail("no dialog");
        if (cmd == "wait-dialog") {
            std::printf("%s\n%s\n", d.Caption.c_str(), d.Text.c_str());
            return 0;
        }
        TAnswer a = arg == "yes"      ? TAnswer::Yes
                    : arg == "no"     ? TAnswer::No
                    : arg == "escape" ? TAnswer::Escape
                                      : TAnswer::Close;
        return Answer(d, a, kTimeoutMs) ? 0 : Fail("dialog did not close");
    }
    if (cmd == "rect") {
        RECT r;
        GetWindowRect(form.Handle(), &r);
        std::printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
        return 0;
    }
    if (cmd == "drives") {
        HWND combo = form.PageControl(2, setup::idInstallDrive);
        for (const std::string& item : ComboItems(combo))
            std::printf("%s\n", item.c_str());
        PostMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
        form.Sync();
        return 0;
    }
    if (cmd == "proxy") {
        if (form.VisiblePage() != 3 || argc < 4) return Fail("not on the ProxySettings page");
        HWND box = form.PageControl(3, setup::idProxyUse);
        if (SendMessageW(box, BM_GETCHECK, 0, 0) != BST_CHECKED) SendMessageW(box, BM_CLICK, 0, 0);
        SendMessageW(form.PageControl(3, setup::idProxyServer), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(Wide(arg).c_str()));
        SendMessageW(form.PageControl(3, setup::idProxyPoort), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(Wide(argv[3]).c_str()));
        form.Sync();
        return 0;
    }
    if (cmd == "time-run") {
        // The run blocks the form's thread, so the end is watched from the
        // pages' visibility, which asks the form nothing.
        if (form.VisiblePage() != 3) return Fail("not on the ProxySettings page");
        LARGE_INTEGER frequency, start, now;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        form.Click(setup::idBtNext);
        int page;
        do {
            Sleep(2);
            page = form.VisiblePage();
            QueryPerformanceCounter(&now);
        } while (page != 7 && page != 8 &&
                 now.QuadPart - start.QuadPart < frequency.QuadPart * 600);
        std::printf("%.3f page=%d\n",
                    double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart), page);
        return page == 7 ? 0 : Fail("the run did not end on the completion page");
    }
    if (cmd == "state") {
        form.Sync();
        TWizardView v = form.Read();
        std::printf("page=%d next=%s cancel=%s front=%s progress=%d drive=%s port=%s\n", v.Page,
                    v.NextEnabled ? "enabled" : "disabled", v.CancelVisible ? "visible" : "hidden",
                    v.Front == TFront::Next     ? "next"
                    : v.Front == TFront::Finish ? "finish"
                                                : "?",
                    v.Progress, v.DriveText.c_str(), v.PortText.c_str());
        return 0;
    }
    return Fail("unknown command");
}

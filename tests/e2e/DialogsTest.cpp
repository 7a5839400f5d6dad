// The wizard's dialogs shown inside this process, answered from a second
// thread the way a user would answer them.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "setup/win32/Application.h"
#include "setup/win32/Dialogs.h"
#include "setup/win32/ufrmMain.h"
#include "tests/e2e/WizardDriver.h"

using namespace e2e;

namespace {

constexpr DWORD kDialogMs = 10000;

// Reads the dialog that `show` opens on this thread, answers it, and returns
// what it showed together with its owner and whether it stays on top.
struct TSeen {
    TDialog Dialog;
    HWND Owner = nullptr;
    bool Topmost = false;
    bool HasIcon = false;
};

template <typename Show> TSeen ShowAndRead(Show show, TAnswer answer) {
    std::promise<TSeen> seen;
    std::thread reader([&] {
        TSeen s;
        s.Dialog = WaitForDialog(GetCurrentProcessId(), kDialogMs);
        if (s.Dialog) {
            s.Owner = GetWindow(s.Dialog.Handle, GW_OWNER);
            s.Topmost = GetWindowLongW(s.Dialog.Handle, GWL_EXSTYLE) & WS_EX_TOPMOST;
            for (HWND w = GetWindow(s.Dialog.Handle, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
                if ((GetWindowLongW(w, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) s.HasIcon = true;
            Answer(s.Dialog, answer, kDialogMs);
        }
        seen.set_value(s);
    });
    show();
    reader.join();
    return seen.get_future().get();
}

TEST(ShowError, SystemModalErrorBoxCaptionedWithTheApplicationTitle) {
    setup::Application.Title = "Setup";
    TSeen s = ShowAndRead([] { setup::ShowError("Verbinding mislukt"); }, TAnswer::Enter);
    ASSERT_TRUE(s.Dialog) << "no error box appeared";
    EXPECT_EQ(s.Dialog.Caption, "Setup");
    EXPECT_EQ(s.Dialog.Text, "Verbinding mislukt");
    EXPECT_EQ(s.Dialog.Buttons.size(), 1u);
    EXPECT_TRUE(s.Topmost) << "a system-modal box stays on top";
    EXPECT_TRUE(s.HasIcon);
    EXPECT_EQ(s.Owner, nullptr) << "no form is active";
}

TEST(ShowError, OwnedByTheActiveForm) {
    setup::Application.Title = "Setup";
    setup::Application.CreateForm();
    setup::frmMain->Show();
    ASSERT_EQ(GetActiveWindow(), setup::frmMain->Handle());
    TSeen s = ShowAndRead([] { setup::ShowError("Fout"); }, TAnswer::Enter);
    ASSERT_TRUE(s.Dialog);
    EXPECT_EQ(s.Owner, setup::frmMain->Handle());
    EXPECT_EQ(s.Dialog.Caption, "Setup");
}

TEST(AskConfirmation, TrueOnlyForYes) {
    const std::pair<TAnswer, bool> cases[] = {{TAnswer::Yes, true},
                                              {TAnswer::Enter, true},
                                              {TAnswer::No, false},
                                              {TAnswer::Escape, false},
                                              {TAnswer::Close, false}};
    for (const auto& [answer, expected] : cases) {
        bool result = !expected;
        TSeen s = ShowAndRead([&] { result = setup::AskConfirmation("Zeker?"); }, answer);
        ASSERT_TRUE(s.Dialog) << answer;
        EXPECT_EQ(s.Dialog.Text, "Zeker?");
        EXPECT_TRUE(s.HasIcon);
        EXPECT_EQ(result, expected) << answer;
    }
}

} // namespace

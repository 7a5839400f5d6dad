// The wizard driven from outside under Wine: each test starts its own
// Setup.exe, works it through its windows and reads back what it shows.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <iterator>
#include <memory>

#include "platform/win32/Wide.h"
#include "runtime/Format.h"
#include "runtime/ResStrings.h"
#include "setup/win32/ControlIds.h"
#include "tests/e2e/WizardDriver.h"

using namespace e2e;

namespace {

constexpr DWORD kStartMs = 20000, kStepMs = 5000;

std::string SetupExe() {
    const char* path = std::getenv("SETUP_EXE");
    return path ? path : "B:\\setup\\Setup.exe";
}

// What the shell calls a drive's root, without blanks around it.
std::string ShellDisplayName(const std::string& root) {
    SHFILEINFOW sfi{};
    SHGetFileInfoW(platform::win32::Wide(root).c_str(), 0, &sfi, sizeof sfi, SHGFI_DISPLAYNAME);
    return rtl::Trim(platform::win32::Narrow(sfi.szDisplayName));
}

class WizardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FProcess = std::make_unique<TSetupProcess>(SetupExe());
        ASSERT_TRUE(FProcess->Started()) << "cannot start " << SetupExe();
        FForm = TWizardForm::Find(FProcess->Id(), kStartMs);
        ASSERT_TRUE(FForm) << "no window \"Programma - Setup\" appeared";
        // Rest the pointer on the page area, so the cursor read is the form's.
        RECT r;
        GetWindowRect(FForm.PageWindow(1), &r);
        SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }

    void GoToPage(int page) {
        for (int p = 1; p < page; ++p) {
            FForm.Click(setup::idBtNext);
            ASSERT_TRUE(FForm.WaitForPage(p + 1, kStepMs)) << "Next did not lead to page " << p + 1;
        }
    }

    TDialog PressCancel() {
        FForm.Click(setup::idBtCancel);
        return WaitForDialog(FProcess->Id(), kStepMs);
    }

    std::unique_ptr<TSetupProcess> FProcess;
    TWizardForm FForm;
};

TEST_F(WizardTest, StartsOnWelcomePageWithDriveCAndPortZero) {
    TWizardView v = FForm.Read();
    EXPECT_EQ(v.Page, 1);
    EXPECT_TRUE(v.NextEnabled);
    EXPECT_TRUE(v.CancelVisible);
    EXPECT_EQ(v.Front, TFront::Next);
    EXPECT_EQ(v.Progress, 0);
    EXPECT_EQ(v.PortText, "0");
    EXPECT_EQ(v.DriveText, ShellDisplayName("C:\\")) << "the shell's name, not the bare letter";
    EXPECT_NE(v.DriveText, "C:");
    EXPECT_NE(v.DriveText.find("C:"), std::string::npos) << v.DriveText;
    EXPECT_EQ(WindowText(FForm.PageWindow(1)), "Start");
    EXPECT_EQ(WindowText(FForm.PageWindow(8)), "Abort");
}

TEST_F(WizardTest, FormIsAFixedDialogOfTheDesignSizeAtTheScreenResolution) {
    HDC dc = GetDC(nullptr);
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    RECT client;
    GetClientRect(FForm.Handle(), &client);
    EXPECT_EQ(client.right, MulDiv(700, dpi, 120));
    EXPECT_EQ(client.bottom, MulDiv(513, dpi, 120));
    LONG style = GetWindowLongW(FForm.Handle(), GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    // Next and Finish share one place in the bar.
    RECT next, finish;
    GetWindowRect(FForm.Button(setup::idBtNext), &next);
    GetWindowRect(FForm.Button(setup::idBtFinish), &finish);
    EXPECT_TRUE(EqualRect(&next, &finish));
}

TEST_F(WizardTest, NextLeadsFromStartToLocatieToProxySettings) {
    FForm.Click(setup::idBtNext);
    ASSERT_TRUE(FForm.WaitForPage(2, kStepMs));
    TWizardView v = FForm.Read();
    EXPECT_TRUE(v.NextEnabled);
    EXPECT_EQ(v.Front, TFront::Next);
    FForm.Click(setup::idBtNext);
    ASSERT_TRUE(FForm.WaitForPage(3, kStepMs));
    EXPECT_TRUE(FForm.Read().CancelVisible);
}

TEST_F(WizardTest, CancelAsksTheTwoTextsJoinedByOneCarriageReturn) {
    TDialog d = PressCancel();
    ASSERT_TRUE(d);
    EXPECT_EQ(d.Caption, "WAARSCHUWING");
    EXPECT_EQ(d.Text, "De installatie is niet voltooid.\rBent u zeker ?");
    // Yes then No, with the captions of the runtime texts in Setup.exe.
    std::vector<std::string> expected{StringResourceOf(SetupExe(), rtl::SMsgDlgYes.Identifier),
                                      StringResourceOf(SetupExe(), rtl::SMsgDlgNo.Identifier)};
    EXPECT_EQ(expected[0], "&Yes");
    EXPECT_EQ(d.Buttons, expected);
    ASSERT_TRUE(d.DefaultButton);
    EXPECT_EQ(GetDlgCtrlID(d.DefaultButton), IDYES);
    EXPECT_TRUE(Answer(d, TAnswer::No, kStepMs));
}

TEST_F(WizardTest, EnterConfirmsBecauseYesIsTheDefault) {
    TDialog d = PressCancel();
    ASSERT_TRUE(d);
    ASSERT_TRUE(Answer(d, TAnswer::Enter, kStepMs));
    EXPECT_TRUE(FForm.WaitForPage(8, kStepMs));
}

TEST_F(WizardTest, TabFollowsTheDesignedOrderAndSkipsTheCoveredButton) {
    GoToPage(3);
    FForm.Sync();
    // The bar comes first (Cancel, then the button in front), then the page.
    const int order[] = {setup::idBtCancel,    setup::idBtNext,     setup::idProxyUse,
                         setup::idProxyServer, setup::idProxyPoort, setup::idBtCancel};
    ASSERT_EQ(FForm.FocusedControlId(), setup::idBtNext);
    for (size_t i = 2; i < std::size(order); ++i) {
        FForm.PressKey(VK_TAB);
        EXPECT_EQ(FForm.FocusedControlId(), order[i]) << "after " << i - 1 << " tabs";
    }
    FForm.PressKey(VK_TAB);
    EXPECT_EQ(FForm.FocusedControlId(), setup::idBtNext) << "Finish lies behind Next";
}

TEST_F(WizardTest, AltAPressesCancelAndEscapeOnTheFormDoesNothing) {
    // The form has no cancel button: Escape leaves it alone.
    FForm.PressKey(VK_ESCAPE);
    FForm.Sync();
    EXPECT_EQ(FForm.Read().Page, 1);
    EXPECT_FALSE(WaitForDialog(FProcess->Id(), 300));
    // "&Annuleer" answers to Alt+A.
    HWND focus = FForm.FocusedWindow();
    ASSERT_TRUE(focus);
    PostMessageW(focus, WM_SYSCHAR, 'a', 1 | (1 << 29));
    TDialog d = WaitForDialog(FProcess->Id(), kStepMs);
    ASSERT_TRUE(d) << "Alt+A did not press Cancel";
    EXPECT_EQ(d.Caption, "WAARSCHUWING");
    EXPECT_TRUE(Answer(d, TAnswer::No, kStepMs));
}

class DeclinedCancel : public WizardTest, public ::testing::WithParamInterface<TAnswer> {};

TEST_P(DeclinedCancel, LeavesPageButtonsAndCursorAsTheyWere) {
    GoToPage(2);
    FForm.Sync();
    TWizardView before = FForm.Read();
    TDialog d = PressCancel();
    ASSERT_TRUE(d);
    ASSERT_TRUE(Answer(d, GetParam(), kStepMs));
    FForm.Sync();
    Sleep(200); // anything the answer set off has been handled
    FForm.Sync();
    TWizardView after = FForm.Read();
    EXPECT_EQ(after.Page, 2);
    EXPECT_TRUE(after.SameAs(before));
    EXPECT_EQ(after.Cursor, before.Cursor);
    // The form still works: Next goes on.
    FForm.Click(setup::idBtNext);
    EXPECT_TRUE(FForm.WaitForPage(3, kStepMs));
}

INSTANTIATE_TEST_SUITE_P(NoEscapeClose, DeclinedCancel,
                         ::testing::Values(TAnswer::No, TAnswer::Escape, TAnswer::Close));

class ConfirmedCancel : public WizardTest, public ::testing::WithParamInterface<int> {};

TEST_P(ConfirmedCancel, ShowsAbortPageThenFinishEndsTheProgram) {
    GoToPage(GetParam());
    TDialog d = PressCancel();
    ASSERT_TRUE(d);
    ASSERT_TRUE(Answer(d, TAnswer::Yes, kStepMs));
    ASSERT_TRUE(FForm.WaitForPage(8, kStepMs));
    FForm.Sync();
    TWizardView v = FForm.Read();
    EXPECT_FALSE(v.CancelVisible);
    EXPECT_EQ(v.Front, TFront::Finish);
    FForm.Click(setup::idBtFinish);
    EXPECT_TRUE(FProcess->WaitForExit(kStepMs)) << "Finish did not end the program";
}

INSTANTIATE_TEST_SUITE_P(FromPages1To3, ConfirmedCancel, ::testing::Values(1, 2, 3));

TEST_F(WizardTest, TitleBarCloseEndsTheProgramWithoutAQuestion) {
    GoToPage(2);
    FForm.CloseByTitleBar();
    EXPECT_TRUE(FProcess->WaitForExit(kStepMs));
}

class PortField : public WizardTest {
  protected:
    HWND Port() const { return FForm.PageControl(3, setup::idProxyPoort); }
    std::string Shown() const { return WindowText(Port()); }
    // Tabs round to the field, which then has its whole text selected.
    void TabToPort() {
        for (int i = 0; i < 6 && FForm.FocusedControlId() != setup::idProxyPoort; ++i)
            FForm.PressKey(VK_TAB);
        ASSERT_EQ(FForm.FocusedControlId(), setup::idProxyPoort);
    }
    void LeaveByTab() {
        FForm.PressKey(VK_TAB);
        ASSERT_NE(FForm.FocusedControlId(), setup::idProxyPoort);
    }
};

TEST_F(PortField, TypingTakesDigitsAnywhereAndOneLeadingMinus) {
    GoToPage(3);
    TabToPort();
    EXPECT_EQ(Shown(), "0");
    TypeChars(Port(), "abc .,");
    EXPECT_EQ(Shown(), "0") << "letters, blanks and separators are refused";
    TypeChars(Port(), "80");
    EXPECT_EQ(Shown(), "80") << "the first digit replaced the selected text";
    SelectText(Port(), 1, 1);
    TypeChars(Port(), "5");
    EXPECT_EQ(Shown(), "850") << "a digit goes anywhere";
    SelectText(Port(), 2, 2);
    TypeChars(Port(), "-");
    EXPECT_EQ(Shown(), "850") << "a minus only first";
    SelectText(Port(), 0, 0);
    TypeChars(Port(), "-");
    EXPECT_EQ(Shown(), "-850");
    SelectText(Port(), 0, 0);
    TypeChars(Port(), "-");
    EXPECT_EQ(Shown(), "-850") << "a minus only once";
    SelectText(Port(), 0, -1);
    TypeChars(Port(), "-");
    EXPECT_EQ(Shown(), "-") << "with the whole text selected it replaces it";
}

TEST_F(PortField, PastesAreFilteredAndFocusLossFormats) {
    GoToPage(3);
    TabToPort();
    ASSERT_TRUE(SetClipboardText("80a80"));
    SendMessageW(Port(), WM_PASTE, 0, 0);
    EXPECT_EQ(Shown(), "8080");
    SelectText(Port(), 0, -1);
    ASSERT_TRUE(SetClipboardText("3x1 2.8"));
    TypeChars(Port(), "\x16"); // Ctrl+V
    EXPECT_EQ(Shown(), "3128");

    const std::pair<const char*, const char*> cases[] = {
        {"+8080", "8080"}, {"0080", "80"}, {"\b", "0"}};
    for (auto [typed, shown] : cases) {
        SelectText(Port(), 0, -1);
        TypeChars(Port(), typed);
        LeaveByTab();
        EXPECT_EQ(Shown(), shown) << "typed " << typed;
        TabToPort();
    }
}

} // namespace

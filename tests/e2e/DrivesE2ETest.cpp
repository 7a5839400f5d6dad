// The drive list of the running wizard against the fixed drives of the test
// prefix, which E2E_DRIVES names: "CD" (C: and D: fixed) or "D" (only D:).
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <memory>

#include "platform/win32/Wide.h"
#include "runtime/Format.h"
#include "setup/ControlIds.h"
#include "tests/e2e/WizardDriver.h"

using namespace e2e;

namespace {

constexpr DWORD kStartMs = 20000, kStepMs = 5000;

std::string Layout() {
    const char* layout = std::getenv("E2E_DRIVES");
    return layout ? layout : "";
}

std::string ShellDisplayName(const std::string& root) {
    SHFILEINFOW sfi{};
    SHGetFileInfoW(platform::win32::Wide(root).c_str(), 0, &sfi, sizeof sfi, SHGFI_DISPLAYNAME);
    return rtl::Trim(platform::win32::Narrow(sfi.szDisplayName));
}

class DriveList : public ::testing::Test {
  protected:
    void SetUp() override {
        if (Layout().empty()) GTEST_SKIP() << "needs a prefix prepared by run-drives-e2e.sh";
        const char* exe = std::getenv("SETUP_EXE");
        FProcess = std::make_unique<TSetupProcess>(exe ? exe : "B:\\setup\\Setup.exe");
        ASSERT_TRUE(FProcess->Started());
        FForm = TWizardForm::Find(FProcess->Id(), kStartMs);
        ASSERT_TRUE(FForm);
        FForm.Click(setup::idBtNext);
        ASSERT_TRUE(FForm.WaitForPage(2, kStepMs));
        FCombo = FForm.PageControl(2, setup::idInstallDrive);
        ASSERT_TRUE(FCombo);
    }

    std::unique_ptr<TSetupProcess> FProcess;
    TWizardForm FForm;
    HWND FCombo = nullptr;
};

TEST_F(DriveList, ShowsTheFixedDrivesOfThisMachineWithCChosenWhenFixed) {
    EXPECT_EQ(GetDriveTypeW(L"C:\\"), Layout() == "CD" ? DRIVE_FIXED : DRIVE_CDROM)
        << "the prefix is not set up as expected";
    EXPECT_EQ(GetDriveTypeW(L"D:\\"), static_cast<UINT>(DRIVE_FIXED));
    std::vector<std::string> items = ComboItems(FCombo);
    if (Layout() == "CD") {
        ASSERT_EQ(items,
                  (std::vector<std::string>{ShellDisplayName("C:\\"), ShellDisplayName("D:\\")}))
            << "C: first, then D:, nothing else";
        EXPECT_EQ(ComboSelection(FCombo), 0);
        EXPECT_EQ(FForm.Read().DriveText, ShellDisplayName("C:\\")) << "writing C chose C:";
    } else {
        ASSERT_EQ(items, (std::vector<std::string>{ShellDisplayName("D:\\")}));
        EXPECT_EQ(ComboSelection(FCombo), 0);
        EXPECT_EQ(FForm.Read().DriveText, ShellDisplayName("D:\\"))
            << "writing C left the only fixed drive chosen";
    }
    for (const std::string& item : items)
        EXPECT_NE(item.size(), 2u) << "not the bare letter: " << item;
}

} // namespace

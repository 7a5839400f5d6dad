// The drive list of the running wizard against the fixed drives of the test
// prefix, which E2E_DRIVES names: "CD" (C: and D: fixed) or "D" (only D:).
#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <winioctl.h>

#include "platform/win32/Wide.h"
#include "runtime/Format.h"
#include "setup/win32/ControlIds.h"
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

namespace {

// Under Wine, drives are added and removed while programs run through the
// mount manager's own request, as its configuration tool does.
constexpr DWORD kDefineUnixDrive =
    CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

struct UnixDriveRequest {
    ULONG size;
    ULONG type;
    ULONG fs_type;
    DWORD serial;
    ULONGLONG unix_dev;
    WCHAR letter;
    USHORT mount_point_offset;
    USHORT device_offset;
    USHORT label_offset;
};

// Maps a drive letter to a Unix folder (type DRIVE_FIXED), or removes it
// (DRIVE_NO_ROOT_DIR and no folder).
bool DefineUnixDrive(char letter, UINT type, const std::string& unixFolder) {
    HANDLE manager =
        CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE) return false;
    std::vector<char> buffer(sizeof(UnixDriveRequest) + unixFolder.size() + 1, 0);
    auto* request = reinterpret_cast<UnixDriveRequest*>(buffer.data());
    request->size = static_cast<ULONG>(buffer.size());
    request->type = type;
    request->letter = static_cast<WCHAR>(letter - 'A' + 'a');
    if (!unixFolder.empty()) {
        request->mount_point_offset = sizeof(UnixDriveRequest);
        memcpy(buffer.data() + sizeof(UnixDriveRequest), unixFolder.c_str(), unixFolder.size());
    }
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(manager, kDefineUnixDrive, buffer.data(),
                              static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
    CloseHandle(manager);
    return ok;
}

// Tells the wizard's window, as the system does, that a volume came or went.
void BroadcastVolume(HWND form, WPARAM event, char letter) {
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << (letter - 'A');
    DWORD_PTR result = 0;
    SendMessageTimeoutW(form, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume),
                        SMTO_NORMAL, kStepMs, &result);
}

TEST_F(DriveList, FollowsAVolumeThatArrivesAndLeaves) {
    if (Layout() != "CD") GTEST_SKIP() << "run with C: and D:";
    const char* folder = std::getenv("E2E_DRIVE_E"); // a Unix folder in the build tree
    ASSERT_TRUE(folder);
    ASSERT_TRUE(DefineUnixDrive('E', DRIVE_FIXED, folder));
    struct Remove {
        ~Remove() { DefineUnixDrive('E', DRIVE_NO_ROOT_DIR, ""); }
    } remove;
    ASSERT_EQ(GetDriveTypeW(L"E:\\"), static_cast<UINT>(DRIVE_FIXED));
    EXPECT_EQ(ComboItems(FCombo).size(), 2u) << "built again only when told";

    // The mount manager runs apart from the user's windows under Wine and its
    // own notice does not reach them, so the test sends it as the system would.
    BroadcastVolume(FForm.Handle(), DBT_DEVICEARRIVAL, 'E');
    std::vector<std::string> items = ComboItems(FCombo);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[2], ShellDisplayName("E:\\"));
    EXPECT_EQ(FForm.Read().DriveText, ShellDisplayName("C:\\")) << "the choice stays";

    ASSERT_TRUE(DefineUnixDrive('E', DRIVE_NO_ROOT_DIR, ""));
    ASSERT_EQ(GetDriveTypeW(L"E:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    BroadcastVolume(FForm.Handle(), DBT_DEVICEREMOVECOMPLETE, 'E');
    EXPECT_EQ(ComboItems(FCombo).size(), 2u);
    // The message went on to the form, which still works.
    FForm.Click(setup::idBtNext);
    EXPECT_TRUE(FForm.WaitForPage(3, kStepMs));
}

} // namespace

// Registry and settings-file access against the system's own services
// (Windows build, under Wine with its private prefix).
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/win32/Wide.h"
#include "setup/win32/Registry.h"
#include "tests/TestSupport.h"

using namespace setup;
using platform::win32::Wide;

namespace {
constexpr const char* kTestKey = "Software\\SetupTests\\Registry";

void SetValue(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Wide(kTestKey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}
} // namespace

TEST(Registry, StringValuesAreReadAsStoredAndOthersRaise) {
    const wchar_t plain[] = L"C:\\users\\winkel\\Desktop";
    const wchar_t expandable[] = L"%USERPROFILE%\\Desktop";
    DWORD number = 7;
    SetValue(L"Plain", REG_SZ, plain, sizeof plain);
    SetValue(L"Expand", REG_EXPAND_SZ, expandable, sizeof expandable);
    SetValue(L"NoTerminator", REG_SZ, plain, sizeof plain - sizeof(wchar_t));
    SetValue(L"Empty", REG_SZ, L"", sizeof(wchar_t));
    SetValue(L"Number", REG_DWORD, &number, sizeof number);

    TRegistry registry(HKEY_CURRENT_USER, KEY_ALL_ACCESS);
    ASSERT_TRUE(registry.OpenKey(kTestKey, false));
    EXPECT_EQ(registry.ReadString("Plain"), "C:\\users\\winkel\\Desktop");
    EXPECT_EQ(registry.ReadString("Expand"), "%USERPROFILE%\\Desktop") << "not expanded";
    EXPECT_EQ(registry.ReadString("NoTerminator"), "C:\\users\\winkel\\Desktop");
    EXPECT_EQ(registry.ReadString("Empty"), "");
    EXPECT_EQ(registry.ReadString("Missing"), "");
    try {
        registry.ReadString("Number");
        FAIL();
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Invalid data type for 'Number'");
    }
}

TEST(Registry, KeysAreCreatedOnlyWhenAsked) {
    TRegistry registry(HKEY_CURRENT_USER, KEY_ALL_ACCESS);
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\SetupTests\\Fresh");
    EXPECT_FALSE(registry.OpenKey("Software\\SetupTests\\Fresh", false));
    EXPECT_TRUE(registry.OpenKey("Software\\SetupTests\\Fresh", true));
    EXPECT_EQ(registry.ReadString("Desktop"), "");
}

TEST(ProfileFile, WritesOneEntryAndKeepsTheRest) {
    testing_support::TempDir dir;
    std::string ini = dir.File("SETUP.INI");
    testing_support::WriteFileBytes(ini, "[ANDER]\r\nSLEUTEL=waarde\r\n[SETUP]\r\nTAAL=FRB\r\nPAD=C:\\X\r\n");
    WriteProfileString(ini, "SETUP", "TAAL", "NLB");
    std::string content = testing_support::ReadFileBytes(ini);
    EXPECT_NE(content.find("SLEUTEL=waarde"), std::string::npos);
    EXPECT_NE(content.find("PAD=C:\\X"), std::string::npos);
    EXPECT_NE(content.find("TAAL=NLB"), std::string::npos);
    EXPECT_EQ(content.find("FRB"), std::string::npos);

    std::string fresh = dir.File("NEW.INI");
    WriteProfileString(fresh, "SETUP", "TAAL", "NLB");
    EXPECT_NE(testing_support::ReadFileBytes(fresh).find("[SETUP]"), std::string::npos);
}

TEST(ProfileFile, FailureNamesTheFile) {
    testing_support::TempDir dir;
    std::string ini = dir.File("missing\\SETUP.INI");
    try {
        WriteProfileString(ini, "SETUP", "TAAL", "NLB");
        FAIL();
    } catch (const rtl::Exception& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + ini);
    }
}

#include "setup/win32/Registry.h"

#include <windows.h>

#include <vector>

#include "platform/win32/Wide.h"
#include "runtime/ResStrings.h"

namespace setup {

using platform::win32::Narrow;
using platform::win32::Wide;

TRegistry::TRegistry(void* rootKey, unsigned long access) : FRootKey(rootKey), FAccess(access) {}

TRegistry::~TRegistry() { CloseKey(); }

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
    CloseKey();
    HKEY opened = nullptr;
    LONG result;
    if (canCreate)
        result = RegCreateKeyExW(static_cast<HKEY>(FRootKey), Wide(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 static_cast<REGSAM>(FAccess), nullptr, &opened, nullptr);
    else
        result = RegOpenKeyExW(static_cast<HKEY>(FRootKey), Wide(key).c_str(), 0, static_cast<REGSAM>(FAccess), &opened);
    if (result != ERROR_SUCCESS) return false;
    FCurrentKey = opened;
    return true;
}

void TRegistry::CloseKey() {
    if (FCurrentKey) RegCloseKey(static_cast<HKEY>(FCurrentKey));
    FCurrentKey = nullptr;
}

std::string TRegistry::ReadString(const std::string& name) {
    if (!FCurrentKey) return {};
    std::wstring wname = Wide(name);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(static_cast<HKEY>(FCurrentKey), wname.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS)
        return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw ERegistryException(rtl::Compose(
            [&] { return rtl::Format(rtl::LoadResString(&rtl::SInvalidRegType), {name}); }));
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (RegQueryValueExW(static_cast<HKEY>(FCurrentKey), wname.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer.data()), &bytes) != ERROR_SUCCESS)
        return {};
    // A stored string may or may not carry its terminating zero.
    size_t length = bytes / sizeof(wchar_t);
    while (length > 0 && buffer[length - 1] == L'\0') --length;
    return Narrow(std::wstring_view(buffer.data(), length));
}

namespace {
void RaiseSetDataFailed(const std::string& name) {
    throw ERegistryException(rtl::Compose(
        [&] { return rtl::Format(rtl::LoadResString(&rtl::SRegSetDataFailed), {name}); }));
}
} // namespace

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    const std::wstring wide = Wide(value);
    if (!FCurrentKey ||
        RegSetValueExW(static_cast<HKEY>(FCurrentKey), Wide(name).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(wide.c_str()),
                       static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
        RaiseSetDataFailed(name);
}

void TRegistry::WriteInteger(const std::string& name, uint32_t value) {
    const DWORD data = value;
    if (!FCurrentKey || RegSetValueExW(static_cast<HKEY>(FCurrentKey), Wide(name).c_str(), 0,
                                       REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                       sizeof data) != ERROR_SUCCESS)
        RaiseSetDataFailed(name);
}

bool TRegistry::DeleteKey(const std::string& key) {
    const LONG result = RegDeleteKeyW(static_cast<HKEY>(FRootKey), Wide(key).c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

void WriteProfileString(const std::string& fileName, const std::string& section, const std::string& key,
                        const std::string& value) {
    if (!WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(value).c_str(),
                                    Wide(fileName).c_str()))
        throw rtl::Exception(rtl::Compose(
            [&] { return rtl::Format(rtl::LoadResString(&rtl::SIniFileWriteError), {fileName}); }));
}

} // namespace setup

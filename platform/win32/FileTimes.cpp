#include "platform/FileTimes.h"

#include <windows.h>

#include "platform/win32/Wide.h"

namespace platform {

bool SetFileLastWriteLocal(const std::string& path, int year, int month, int day, int hour,
                           int minute, int second) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    FILETIME local, utc;
    if (!SystemTimeToFileTime(&st, &local) || !LocalFileTimeToFileTime(&local, &utc)) return false;
    HANDLE h = CreateFileW(win32::Wide(path).c_str(), FILE_WRITE_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BOOL ok = SetFileTime(h, nullptr, nullptr, &utc);
    CloseHandle(h);
    return ok != 0;
}

bool SetFileAttributesByName(const std::string& path, uint32_t attributes) {
    // No attribute at all is spelled "normal" to the system.
    DWORD value = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    return SetFileAttributesW(win32::Wide(path).c_str(), value) != 0;
}

} // namespace platform

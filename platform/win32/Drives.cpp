#include "platform/Drives.h"

#include <windows.h>

namespace platform {

char CurrentDrive() {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetCurrentDirectoryW(MAX_PATH, buffer);
    if (n < 2 || n >= MAX_PATH || buffer[1] != L':') return 0;
    wchar_t c = buffer[0];
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return (c >= L'A' && c <= L'Z') ? static_cast<char>(c) : 0;
}

} // namespace platform

#include "platform/Console.h"

#include <windows.h>

#include "platform/win32/Wide.h"

namespace platform {

bool StdErrIsTerminal() {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void WriteStdErr(const std::string& text) {
    HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode, written;
    if (GetConsoleMode(h, &mode)) {
        std::wstring wide = win32::Wide(text);
        WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

} // namespace platform

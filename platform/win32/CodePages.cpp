#include "platform/CodePages.h"

#include <windows.h>

#include "platform/win32/Wide.h"

namespace platform {

namespace {

std::string Decode(std::string_view bytes, UINT codePage) {
    if (bytes.empty()) return {};
    int n =
        MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
    return win32::Narrow(wide);
}

} // namespace

unsigned AnsiCodePage() {
    return GetACP();
}
unsigned OemCodePage() {
    return GetOEMCP();
}

std::string AnsiToUtf8(std::string_view bytes) {
    return Decode(bytes, CP_ACP);
}
std::string OemToUtf8(std::string_view bytes) {
    return Decode(bytes, CP_OEMCP);
}

std::string Utf8ToAnsi(std::string_view text) {
    if (text.empty()) return {};
    std::wstring wide = win32::Wide(text);
    int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

} // namespace platform

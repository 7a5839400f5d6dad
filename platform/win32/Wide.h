#pragma once
// UTF-8 <-> wide (UTF-16) conversions for the Windows adapters.
#include <string>
#include <string_view>
#include "platform/Unicode.h"

namespace platform::win32 {

inline std::wstring Wide(std::string_view text) {
    std::u16string u = Utf8ToUtf16(text);
    return std::wstring(u.begin(), u.end());
}

inline std::string Narrow(std::wstring_view text) {
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

} // namespace platform::win32

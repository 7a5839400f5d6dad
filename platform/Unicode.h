#pragma once
// Conversions between the program's UTF-8 text and UTF-16, written once for
// every platform. Invalid input never fails: malformed UTF-8 sequences and
// lone surrogates become U+FFFD.
#include <string>
#include <string_view>

namespace platform {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Number of Unicode characters (code points) in UTF-8 text.
size_t Utf8Length(std::string_view text);

// Upper-cases the ASCII letters a-z only; every other byte stays.
std::string AsciiUpperCase(std::string_view text);
std::string AsciiLowerCase(std::string_view text);
bool SameTextAscii(std::string_view a, std::string_view b);

} // namespace platform

#pragma once
// The two single-byte code pages that old archives and tools use for names:
// the "ANSI" page of graphical programs and the "OEM" page of the console.
// Windows uses the system's pages; elsewhere the pages are fixed (1252 and 437)
// and converted with our own tables. All text is UTF-8.
#include <string>
#include <string_view>

namespace platform {

unsigned AnsiCodePage();
unsigned OemCodePage();

// Bytes in the ANSI (or OEM) code page to UTF-8 text, one character per byte.
std::string AnsiToUtf8(std::string_view bytes);
std::string OemToUtf8(std::string_view bytes);
// UTF-8 text to ANSI bytes; a character the page lacks becomes '?'.
std::string Utf8ToAnsi(std::string_view text);

} // namespace platform

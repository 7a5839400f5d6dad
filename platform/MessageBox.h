#pragma once
// A plain message box for problems that must reach the user before any window
// of the program exists.
#include <string>

namespace platform {

// Windows: a modal box without owner window, with the caption, the text and
// an OK button. POSIX: one line "caption: text" on standard error.
void ShowMessageBox(const std::string& caption, const std::string& text);

} // namespace platform

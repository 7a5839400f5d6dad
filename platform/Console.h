#pragma once
// The standard error stream of a command-line tool.
#include <string>

namespace platform {

// True when standard error is an interactive terminal (a console window).
bool StdErrIsTerminal();
// Writes UTF-8 text to standard error as it stands (no line end added).
void WriteStdErr(const std::string& text);

} // namespace platform

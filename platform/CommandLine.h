#pragma once
// The program's command-line arguments as UTF-8 text (argument 0 included).
#include <string>
#include <vector>

namespace platform {

// argc and argv are those of main; on Windows the wide command line is used
// instead, so names outside the ANSI code page survive.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

} // namespace platform

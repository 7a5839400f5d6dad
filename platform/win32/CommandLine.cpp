#include "platform/CommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/Wide.h"

namespace platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return {argv, argv + argc};
    std::vector<std::string> result;
    for (int i = 0; i < count; ++i)
        result.push_back(win32::Narrow(wide[i]));
    LocalFree(wide);
    return result;
}

} // namespace platform

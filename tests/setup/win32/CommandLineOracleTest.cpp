// The command-line split against the system's own CommandLineToArgvW, on
// lines made of the characters its rules turn on.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <random>
#include <string>
#include <vector>

#include "platform/win32/Wide.h"
#include "setup/CommandLine.h"

namespace {

std::vector<std::string> SystemSplit(const std::string& line) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(platform::win32::Wide(line).c_str(), &count);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) args.push_back(platform::win32::Narrow(wide[i]));
    LocalFree(wide);
    return args;
}

TEST(CommandLineOracleTest, SplitsRandomLinesAsTheSystemDoes) {
    // An empty line the system answers with the program's own path; every
    // other line starts with a program name here.
    const char alphabet[] = {'a', 'b', ' ', '\t', '\\', '"', '"', '\\', '=', '/'};
    std::mt19937 random(32);
    int compared = 0;
    for (int n = 0; n < 20000; ++n) {
        std::string line = n % 2 ? "\"C:\\x y\\Setup.exe\"" : "Setup.exe";
        const size_t length = random() % 16;
        for (size_t i = 0; i < length; ++i) line += alphabet[random() % sizeof alphabet];
        EXPECT_EQ(setup::SplitCommandLine(line), SystemSplit(line)) << line;
        if (::testing::Test::HasFailure()) break;
        ++compared;
    }
    EXPECT_EQ(compared, 20000);
}

} // namespace

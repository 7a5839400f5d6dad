#include "platform/CommandLine.h"

namespace platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return {argv, argv + argc};
}

} // namespace platform

#include "platform/Console.h"

#include <unistd.h>

namespace platform {

bool StdErrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

void WriteStdErr(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

} // namespace platform

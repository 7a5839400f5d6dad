#include "platform/Drives.h"

namespace platform {

// POSIX file systems have one root and no drive letters.
char CurrentDrive() {
    return 0;
}

} // namespace platform

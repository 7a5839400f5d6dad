#include "platform/RemovableMedia.h"

namespace platform {

// POSIX systems mount removable media like any other folder; a set of images
// is always read side by side.
bool IsRemovableDrive(const std::string&) {
    return false;
}
bool DriveReportsFreeSpace(const std::string&) {
    return true;
}
bool AskOkCancel(const std::string&, const std::string&) {
    return false;
}

} // namespace platform

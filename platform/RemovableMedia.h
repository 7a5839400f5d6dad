#pragma once
// Removable drives and the prompts that ask the user to change the medium.
#include <string>

namespace platform {

// True when the drive that holds path is a removable drive (never on POSIX).
bool IsRemovableDrive(const std::string& path);
// True when the drive that holds path answers a free-space query, i.e. a
// medium is inserted.
bool DriveReportsFreeSpace(const std::string& path);
// A task-modal OK/Cancel question; true for OK. Without a user interface
// (POSIX) the answer is Cancel.
bool AskOkCancel(const std::string& text, const std::string& caption);

} // namespace platform

#include "platform/RemovableMedia.h"

#include <windows.h>

#include "platform/Files.h"
#include "platform/win32/Wide.h"

namespace platform {

namespace {

// The root of the drive that holds path ("C:\", "\\server\share\"), or empty.
std::wstring DriveRoot(const std::string& path) {
    std::wstring full = win32::Wide(ExpandFileName(path));
    wchar_t root[MAX_PATH + 1] = {};
    if (!GetVolumePathNameW(full.c_str(), root, MAX_PATH)) return {};
    return root;
}

} // namespace

bool IsRemovableDrive(const std::string& path) {
    std::wstring root = DriveRoot(path);
    return !root.empty() && GetDriveTypeW(root.c_str()) == DRIVE_REMOVABLE;
}

bool DriveReportsFreeSpace(const std::string& path) {
    std::wstring root = DriveRoot(path);
    ULARGE_INTEGER freeBytes;
    return !root.empty() && GetDiskFreeSpaceExW(root.c_str(), &freeBytes, nullptr, nullptr) != 0;
}

bool AskOkCancel(const std::string& text, const std::string& caption) {
    return MessageBoxW(nullptr, win32::Wide(text).c_str(), win32::Wide(caption).c_str(),
                       MB_OKCANCEL | MB_TASKMODAL) == IDOK;
}

} // namespace platform

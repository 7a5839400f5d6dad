#pragma once
// Drive letters of the machine. Only Windows has them; on POSIX the list is
// empty and there is no current drive.
#include <string>
#include <vector>

namespace platform {

enum class DriveKind { Unknown, Removable, Fixed, Remote, CdRom, RamDisk };

struct DriveInfo {
    char Letter; // upper case, 'A' to 'Z'
    DriveKind Kind;
    std::string Name; // the shell's display name, or "X:" when it has none
};

// Every drive letter in use, in alphabetical order.
std::vector<DriveInfo> ListDrives();
// The drive of the current folder (upper case), or 0 when it has none.
char CurrentDrive();

} // namespace platform

#include "platform/Drives.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/Unicode.h"
#include "platform/win32/Wide.h"

namespace platform {

namespace {

DriveKind KindOf(UINT type) {
    switch (type) {
    case DRIVE_REMOVABLE:
        return DriveKind::Removable;
    case DRIVE_FIXED:
        return DriveKind::Fixed;
    case DRIVE_REMOTE:
        return DriveKind::Remote;
    case DRIVE_CDROM:
        return DriveKind::CdRom;
    case DRIVE_RAMDISK:
        return DriveKind::RamDisk;
    default:
        return DriveKind::Unknown;
    }
}

} // namespace

std::vector<DriveInfo> ListDrives() {
    std::vector<DriveInfo> drives;
    // Asking the shell about an empty floppy or card reader must not bring up
    // the system's "no disk" box.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    DWORD mask = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(mask & (1u << i))) continue;
        char letter = static_cast<char>('A' + i);
        wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', 0};
        DriveInfo info{letter, KindOf(GetDriveTypeW(root)), std::string(1, letter) + ":"};
        SHFILEINFOW sfi{};
        if (SHGetFileInfoW(root, 0, &sfi, sizeof sfi, SHGFI_DISPLAYNAME) && sfi.szDisplayName[0])
            info.Name = win32::Narrow(sfi.szDisplayName);
        drives.push_back(info);
    }
    SetErrorMode(oldMode);
    return drives;
}

char CurrentDrive() {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetCurrentDirectoryW(MAX_PATH, buffer);
    if (n < 2 || n >= MAX_PATH || buffer[1] != L':') return 0;
    wchar_t c = buffer[0];
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return (c >= L'A' && c <= L'Z') ? static_cast<char>(c) : 0;
}

} // namespace platform

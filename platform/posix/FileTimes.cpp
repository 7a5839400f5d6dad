#include "platform/FileTimes.h"

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

bool SetFileLastWriteLocal(const std::string& path, int year, int month, int day, int hour,
                           int minute, int second) {
    struct tm local {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1; // let the system decide whether daylight saving applies
    time_t when = mktime(&local);
    if (when == static_cast<time_t>(-1)) return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT; // access time unchanged
    times[1].tv_sec = when;
    times[1].tv_nsec = 0;
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool SetFileAttributesByName(const std::string& path, uint32_t attributes) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777;
    if (attributes & faReadOnly)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    if (mode == (st.st_mode & 07777)) return true; // nothing to change
    return chmod(path.c_str(), mode) == 0;
}

} // namespace platform

#include "platform/Files.h"
#include "platform/ReplacementFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace platform {

char PathDelim() { return '/'; }
bool IsPathDelimiter(char c) { return c == '/'; }

FileHandle FileOpen(const std::string& path, FileAccess access, unsigned /*share*/,
                    FileDisposition disposition, int& error) {
    // POSIX has no mandatory share modes; the flags are accepted and not enforced.
    int flags = access == FileAccess::Read ? O_RDONLY : access == FileAccess::Write ? O_WRONLY : O_RDWR;
    if (disposition == FileDisposition::CreateAlways) flags |= O_CREAT | O_TRUNC;
    if (disposition == FileDisposition::OpenAlways) flags |= O_CREAT;
    if (disposition == FileDisposition::CreateNew) flags |= O_CREAT | O_EXCL;
    flags |= O_CLOEXEC;
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        error = errno;
        return kInvalidFileHandle;
    }
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        error = EISDIR;
        return kInvalidFileHandle;
    }
    error = 0;
    return fd;
}

int64_t FileRead(FileHandle h, void* buffer, size_t count) {
    int64_t total = 0;
    auto* p = static_cast<char*>(buffer);
    while (count > 0) {
        ssize_t got = ::read(static_cast<int>(h), p, count);
        if (got < 0) {
            if (errno == EINTR) continue;
            return total ? total : -1;
        }
        if (got == 0) break;
        total += got, p += got, count -= static_cast<size_t>(got);
    }
    return total;
}

int64_t FileWrite(FileHandle h, const void* buffer, size_t count) {
    int64_t total = 0;
    auto* p = static_cast<const char*>(buffer);
    while (count > 0) {
        ssize_t put = ::write(static_cast<int>(h), p, count);
        if (put < 0) {
            if (errno == EINTR) continue;
            return total ? total : -1;
        }
        if (put == 0) break;
        total += put, p += put, count -= static_cast<size_t>(put);
    }
    return total;
}

int64_t FileSeek(FileHandle h, int64_t offset, SeekOrigin origin) {
    int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(static_cast<int>(h), static_cast<off_t>(offset), whence);
    return r < 0 ? -1 : static_cast<int64_t>(r);
}

bool FileSetSize(FileHandle h, int64_t newSize) {
    return ::ftruncate(static_cast<int>(h), static_cast<off_t>(newSize)) == 0;
}

void FileClose(FileHandle h) {
    if (h != kInvalidFileHandle) ::close(static_cast<int>(h));
}

int LastOsError() { return errno; }

std::string SysErrorMessage(int code) { return std::strerror(code); }

bool SysErrorMessageEnglish(int code, std::string& text) {
    // The C locale's texts are the English ones, whatever locale the
    // program runs in.
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
    if (c == locale_t(0)) return false;
    text = strerror_l(code, c);
    return true;
}

FileErrorKind ClassifyFileError(int code) {
    switch (code) {
    case ENOSPC:
        return FileErrorKind::DiskFull;
    case EACCES:
    case EPERM:
        return FileErrorKind::AccessDenied;
    case ETXTBSY:
        return FileErrorKind::SharingViolation;
    case EROFS:
        return FileErrorKind::WriteProtected;
    case ENOTDIR:
        return FileErrorKind::PathNotFound;
    case EEXIST:
        return FileErrorKind::FileExists;
    default:
        // ENOENT stays the system's own text: it does not say whether the
        // file or a folder above it is missing, which Windows' codes do.
        return FileErrorKind::Other;
    }
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t FileSizeByName(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool DeleteFileByName(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool CommitReplacementFile(FileHandle handle, const std::string& tempPath,
                           const std::string& target, int& error, ReplacementTarget known) {
    const int fd = static_cast<int>(handle);
    struct stat old;
    if (known != ReplacementTarget::Absent && ::stat(target.c_str(), &old) == 0 &&
        S_ISREG(old.st_mode)) {
        // rename(2) would replace a read-only file, which Windows refuses;
        // the extractor's callers rely on a read-only file staying.
        if ((old.st_mode & 0222) == 0) {
            error = EACCES;
        } else {
            ::fchmod(fd, old.st_mode & 07777); // the permissions the old file had
            error = ::fdatasync(fd) == 0 ? 0 : errno;
        }
        if (error != 0) {
            DiscardReplacementFile(handle, tempPath);
            return false;
        }
    }
    ::close(fd);
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        error = errno;
        ::unlink(tempPath.c_str());
        return false;
    }
    error = 0;
    return true;
}

bool CreateDir(const std::string& path, int& error) {
    if (::mkdir(path.c_str(), 0777) == 0) {
        error = 0;
        return true;
    }
    error = errno;
    return false;
}

bool RemoveDir(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

std::string ExpandFileName(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    return IncludeTrailingPathDelimiter(CurrentDirectory()) + path;
}

bool DiskFreeSpace(const std::string& folder, int64_t& bytes, int& error) {
    struct statvfs fs;
    if (::statvfs(folder.c_str(), &fs) != 0) {
        error = errno;
        return false;
    }
    // f_bavail leaves out the blocks reserved for the superuser.
    bytes = static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_frsize);
    error = 0;
    return true;
}

std::string TempDirectory() {
    const char* dir = std::getenv("TMPDIR");
    return IncludeTrailingPathDelimiter(dir && *dir ? dir : "/tmp");
}

std::string CurrentDirectory() {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

} // namespace platform

#include <dirent.h>

namespace platform {

std::vector<std::string> ListDirectory(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return names;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

} // namespace platform

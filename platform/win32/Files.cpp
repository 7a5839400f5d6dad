#include "platform/Files.h"
#include "platform/ReplacementFile.h"

#include <windows.h>

#include "platform/win32/Wide.h"

namespace platform {

using win32::Narrow;
using win32::Wide;

char PathDelim() { return '\\'; }
bool IsPathDelimiter(char c) { return c == '\\' || c == '/'; }

FileHandle FileOpen(const std::string& path, FileAccess access, unsigned share,
                    FileDisposition disposition, int& error) {
    DWORD desired = access == FileAccess::Read    ? GENERIC_READ
                    : access == FileAccess::Write ? GENERIC_WRITE
                                                  : GENERIC_READ | GENERIC_WRITE;
    DWORD shareMode = 0;
    if (share & ShareRead) shareMode |= FILE_SHARE_READ;
    if (share & ShareWrite) shareMode |= FILE_SHARE_WRITE;
    if (share & ShareDelete) shareMode |= FILE_SHARE_DELETE;
    DWORD how = disposition == FileDisposition::CreateAlways   ? CREATE_ALWAYS
                : disposition == FileDisposition::OpenExisting ? OPEN_EXISTING
                : disposition == FileDisposition::CreateNew    ? CREATE_NEW
                                                               : OPEN_ALWAYS;
    HANDLE h = CreateFileW(Wide(path).c_str(), desired, shareMode, nullptr, how,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = static_cast<int>(GetLastError());
        return kInvalidFileHandle;
    }
    error = 0;
    return reinterpret_cast<FileHandle>(h);
}

int64_t FileRead(FileHandle h, void* buffer, size_t count) {
    int64_t total = 0;
    auto* p = static_cast<char*>(buffer);
    while (count > 0) {
        DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
        DWORD got = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(h), p, chunk, &got, nullptr)) return total ? total : -1;
        if (got == 0) break;
        total += got, p += got, count -= got;
    }
    return total;
}

int64_t FileWrite(FileHandle h, const void* buffer, size_t count) {
    int64_t total = 0;
    auto* p = static_cast<const char*>(buffer);
    while (count > 0) {
        DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
        DWORD put = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(h), p, chunk, &put, nullptr)) return total ? total : -1;
        if (put == 0) break;
        total += put, p += put, count -= put;
    }
    return total;
}

int64_t FileSeek(FileHandle h, int64_t offset, SeekOrigin origin) {
    LARGE_INTEGER distance, result;
    distance.QuadPart = offset;
    DWORD method = origin == SeekOrigin::Begin ? FILE_BEGIN
                   : origin == SeekOrigin::Current ? FILE_CURRENT : FILE_END;
    if (!SetFilePointerEx(reinterpret_cast<HANDLE>(h), distance, &result, method)) return -1;
    return result.QuadPart;
}

bool FileSetSize(FileHandle h, int64_t newSize) {
    int64_t keep = FileSeek(h, 0, SeekOrigin::Current);
    if (keep < 0 || FileSeek(h, newSize, SeekOrigin::Begin) < 0) return false;
    bool ok = SetEndOfFile(reinterpret_cast<HANDLE>(h)) != 0;
    DWORD error = GetLastError();
    FileSeek(h, keep, SeekOrigin::Begin);
    if (!ok) SetLastError(error);
    return ok;
}

void FileClose(FileHandle h) {
    if (h != kInvalidFileHandle) CloseHandle(reinterpret_cast<HANDLE>(h));
}

int LastOsError() { return static_cast<int>(GetLastError()); }

FileErrorKind ClassifyFileError(int code) {
    switch (code) {
    case ERROR_DISK_FULL:
        return FileErrorKind::DiskFull;
    case ERROR_HANDLE_DISK_FULL:
        return FileErrorKind::HandleDiskFull;
    case ERROR_ACCESS_DENIED:
        return FileErrorKind::AccessDenied;
    case ERROR_SHARING_VIOLATION:
        return FileErrorKind::SharingViolation;
    case ERROR_LOCK_VIOLATION:
        return FileErrorKind::LockViolation;
    case ERROR_WRITE_PROTECT:
        return FileErrorKind::WriteProtected;
    case ERROR_PATH_NOT_FOUND:
        return FileErrorKind::PathNotFound;
    case ERROR_FILE_NOT_FOUND:
        return FileErrorKind::FileNotFound;
    case ERROR_FILE_EXISTS:
        return FileErrorKind::FileExists;
    case ERROR_ALREADY_EXISTS:
        return FileErrorKind::AlreadyExists;
    default:
        return FileErrorKind::Other;
    }
}

namespace {

// FormatMessageW's text for code in language (0: the user's), without the
// trailing line break, blanks and full stop, like the classic runtime.
bool SystemMessage(int code, DWORD language, std::string& out) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                             nullptr, static_cast<DWORD>(code), language,
                             reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result;
    if (n && text) result.assign(text, n);
    if (text) LocalFree(text);
    while (!result.empty() && (result.back() <= L' ' || result.back() == L'.')) result.pop_back();
    out = Narrow(result);
    return n != 0;
}

} // namespace

std::string SysErrorMessage(int code) {
    std::string text;
    SystemMessage(code, 0, text);
    return text;
}

bool SysErrorMessageEnglish(int code, std::string& text) {
    // Only the English of the United States is asked for: a system without
    // its resources answers ERROR_RESOURCE_LANG_NOT_FOUND rather than another
    // language's text.
    std::string english;
    if (!SystemMessage(code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), english)) return false;
    text = std::move(english);
    return true;
}

bool FileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int64_t FileSizeByName(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool DeleteFileByName(const std::string& path) { return DeleteFileW(Wide(path).c_str()) != 0; }

bool CommitReplacementFile(FileHandle handle, const std::string& tempPath,
                           const std::string& target, int& error, ReplacementTarget known) {
    const std::wstring wideTarget = Wide(target);
    const DWORD attributes = known == ReplacementTarget::Absent
                                 ? INVALID_FILE_ATTRIBUTES
                                 : GetFileAttributesW(wideTarget.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        // Windows' MoveFileExW refuses a read-only target (access denied);
        // Wine's replaces it, so the refusal is made here for both.
        if (attributes & FILE_ATTRIBUTE_READONLY)
            error = ERROR_ACCESS_DENIED;
        else if (!FlushFileBuffers(reinterpret_cast<HANDLE>(handle)))
            error = static_cast<int>(GetLastError());
        else
            error = 0;
        if (error != 0) {
            DiscardReplacementFile(handle, tempPath);
            return false;
        }
    }
    CloseHandle(reinterpret_cast<HANDLE>(handle));
    const std::wstring wideTemp = Wide(tempPath);
    if (MoveFileExW(wideTemp.c_str(), wideTarget.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = 0;
        return true;
    }
    error = static_cast<int>(GetLastError());
    DeleteFileW(wideTemp.c_str());
    return false;
}

bool CreateDir(const std::string& path, int& error) {
    if (CreateDirectoryW(Wide(path).c_str(), nullptr)) {
        error = 0;
        return true;
    }
    error = static_cast<int>(GetLastError());
    return false;
}

bool RemoveDir(const std::string& path) { return RemoveDirectoryW(Wide(path).c_str()) != 0; }

std::string ExpandFileName(const std::string& path) {
    std::wstring wide = Wide(path);
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring buffer(n, L'\0');
    n = GetFullPathNameW(wide.c_str(), n, buffer.data(), nullptr);
    buffer.resize(n);
    return Narrow(buffer);
}

bool DiskFreeSpace(const std::string& folder, int64_t& bytes, int& error) {
    // The free bytes available to the caller, with disk quotas taken off.
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(Wide(IncludeTrailingPathDelimiter(folder)).c_str(), &available,
                             nullptr, nullptr)) {
        error = static_cast<int>(GetLastError());
        return false;
    }
    bytes = static_cast<int64_t>(available.QuadPart);
    error = 0;
    return true;
}

std::string TempDirectory() {
    wchar_t buffer[MAX_PATH + 2];
    DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    return IncludeTrailingPathDelimiter(Narrow(std::wstring_view(buffer, n)));
}

std::string CurrentDirectory() {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring buffer(n, L'\0');
    n = GetCurrentDirectoryW(n, buffer.data());
    buffer.resize(n);
    return Narrow(buffer);
}

} // namespace platform

namespace platform {

std::vector<std::string> ListDirectory(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(Wide(IncludeTrailingPathDelimiter(path) + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = Narrow(data.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

} // namespace platform

#pragma once
// File-system services. Every function takes and returns UTF-8 paths and
// reports failures through an OS error code (Windows: GetLastError values;
// POSIX: errno values); nothing here raises. SysErrorMessage turns a code into
// the system's own text, which callers put into their messages.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The native path delimiter: '\' on Windows, '/' on POSIX.
char PathDelim();
bool IsPathDelimiter(char c);

using FileHandle = intptr_t;
constexpr FileHandle kInvalidFileHandle = -1;

enum class FileAccess { Read, Write, ReadWrite };
enum FileShare : unsigned { ShareNone = 0, ShareRead = 1, ShareWrite = 2, ShareDelete = 4 };
enum class FileDisposition {
    CreateAlways, // new empty file, replacing an existing one
    OpenExisting, // fails when the file does not exist
    OpenAlways,   // opens, creating the file when missing
    CreateNew,    // a new empty file; fails when one of that name exists
};
enum class SeekOrigin { Begin, Current, End };

// Opens or creates a file. On failure returns kInvalidFileHandle and sets error.
FileHandle FileOpen(const std::string& path, FileAccess access, unsigned share,
                    FileDisposition disposition, int& error);
// Reads up to count bytes; returns the number read, 0 at the end, -1 on error.
int64_t FileRead(FileHandle h, void* buffer, size_t count);
// Writes up to count bytes; returns the number written or -1 on error.
int64_t FileWrite(FileHandle h, const void* buffer, size_t count);
// Moves the file position; returns the new position or -1 on error.
int64_t FileSeek(FileHandle h, int64_t offset, SeekOrigin origin);
// Sets the file's size to the current position's value newSize; the position is kept.
bool FileSetSize(FileHandle h, int64_t newSize);
void FileClose(FileHandle h);

// The OS error code of the last failed call on this thread.
int LastOsError();
// The system's text for an error code, without a trailing line break.
std::string SysErrorMessage(int code);
// The same text in English; false (and text untouched) when the system has
// no English text for the code, as a Windows without the English language
// resources may not.
bool SysErrorMessageEnglish(int code, std::string& text);

// The failures of file calls that a user can act on, told apart the same way
// on every system, so that their texts can be given in the user's language.
// Each is named after the Windows code it stands for; the POSIX codes that
// mean the same map onto it (ENOSPC is DiskFull, EACCES and EPERM
// AccessDenied, ETXTBSY SharingViolation, EROFS WriteProtected, ENOTDIR
// PathNotFound, EEXIST FileExists). Every other code is Other.
enum class FileErrorKind {
    Other,
    DiskFull,         // ERROR_DISK_FULL (112)
    HandleDiskFull,   // ERROR_HANDLE_DISK_FULL (39)
    AccessDenied,     // ERROR_ACCESS_DENIED (5)
    SharingViolation, // ERROR_SHARING_VIOLATION (32)
    LockViolation,    // ERROR_LOCK_VIOLATION (33)
    WriteProtected,   // ERROR_WRITE_PROTECT (19)
    PathNotFound,     // ERROR_PATH_NOT_FOUND (3)
    FileNotFound,     // ERROR_FILE_NOT_FOUND (2)
    FileExists,       // ERROR_FILE_EXISTS (80)
    AlreadyExists,    // ERROR_ALREADY_EXISTS (183)
};
FileErrorKind ClassifyFileError(int code);

bool FileExists(const std::string& path);      // an existing file (not a folder)
bool DirectoryExists(const std::string& path); // an existing folder
// Size of an existing file, or -1 when it cannot be read.
int64_t FileSizeByName(const std::string& path);
bool DeleteFileByName(const std::string& path);
bool CreateDir(const std::string& path, int& error);
bool RemoveDir(const std::string& path);

// Creates a folder and every missing parent. A folder that exists is success.
// Prefixes are created from the second delimiter on (from the fifth for a UNC
// name "\\server\share\...", so the server and share are never created).
bool CreateDirectoryChain(const std::string& path, int& error);

// Names of the entries of a folder (without "." and ".."); empty when it cannot be read.
std::vector<std::string> ListDirectory(const std::string& path);
// Deletes a folder with everything below it; true when it is gone afterwards.
bool DeleteTree(const std::string& path);

// The absolute form of a path, relative to the current folder.
std::string ExpandFileName(const std::string& path);
// The folder part of a path up to and including its last delimiter
// (on Windows also after a drive colon); empty when there is none.
std::string ExtractFilePath(std::string_view path);
std::string ExtractFileName(std::string_view path);
std::string IncludeTrailingPathDelimiter(std::string_view path);

// The bytes the calling user may still write on the volume that holds
// folder (quotas and reserved blocks taken off). False, with error set, when
// the system cannot tell, e.g. for a folder that does not exist.
bool DiskFreeSpace(const std::string& folder, int64_t& bytes, int& error);

// A folder for temporary files, with a trailing delimiter.
std::string TempDirectory();
std::string CurrentDirectory();

} // namespace platform

// Temporary files that replace a target whole: their names and life. The
// commit, one move with the checks before it, is each system's own
// (posix/Files.cpp, win32/Files.cpp).
#include "platform/ReplacementFile.h"

#include <atomic>
#include <chrono>
#include <cstdio>

namespace platform {

namespace {

constexpr std::string_view kPrefix = "~arc";
constexpr std::string_view kSuffix = ".tmp";
constexpr size_t kHexDigits = 8;
// A name is taken by another file only by chance; so many tries in a row
// mean the folder itself refuses.
constexpr int kNameTries = 64;

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// Eight hex digits that differ between calls and between processes started
// at the same moment: a counter mixed with the clock.
std::string NextName() {
    static std::atomic<uint32_t> counter{0};
    const uint64_t now =
        static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    uint32_t value = static_cast<uint32_t>(now ^ (now >> 32)) ^ (counter++ * 0x9E3779B9u);
    char digits[kHexDigits + 1];
    std::snprintf(digits, sizeof digits, "%08x", value);
    return std::string(kPrefix) + digits + std::string(kSuffix);
}

bool IsNameTaken(int error) {
    const FileErrorKind kind = ClassifyFileError(error);
    return kind == FileErrorKind::FileExists || kind == FileErrorKind::AlreadyExists;
}

} // namespace

FileHandle CreateReplacementFile(const std::string& target, std::string& tempPath, int& error) {
    const std::string folder = ExtractFilePath(target);
    for (int i = 0; i < kNameTries; ++i) {
        tempPath = folder + NextName();
        FileHandle h =
            FileOpen(tempPath, FileAccess::ReadWrite, ShareRead, FileDisposition::CreateNew, error);
        if (h != kInvalidFileHandle || !IsNameTaken(error)) return h;
    }
    return kInvalidFileHandle;
}

void DiscardReplacementFile(FileHandle handle, const std::string& tempPath) {
    FileClose(handle);
    DeleteFileByName(tempPath);
}

bool IsReplacementFileName(std::string_view name) {
    if (name.size() != kPrefix.size() + kHexDigits + kSuffix.size()) return false;
    if (name.substr(0, kPrefix.size()) != kPrefix) return false;
    if (name.substr(name.size() - kSuffix.size()) != kSuffix) return false;
    for (char c : name.substr(kPrefix.size(), kHexDigits))
        if (!IsHexDigit(c)) return false;
    return true;
}

int RemoveReplacementFiles(const std::string& folder) {
    const std::string prefix = IncludeTrailingPathDelimiter(folder);
    int removed = 0;
    for (const std::string& name : ListDirectory(folder))
        if (IsReplacementFileName(name) && FileExists(prefix + name) &&
            DeleteFileByName(prefix + name))
            ++removed;
    return removed;
}

} // namespace platform

#include "platform/MemoryMap.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool ReadOnlyFileMap::Open(const std::string& path, Stage& failedStage, int& error) {
    Close();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        failedStage = Stage::OpenFile;
        error = errno;
        return false;
    }
    struct stat st {};
    int statError = ::fstat(fd, &st) != 0 ? errno : 0;
    if (statError == 0 && S_ISDIR(st.st_mode)) statError = EISDIR;
    // Like a Windows mapping, an empty file cannot be mapped.
    if (statError == 0 && st.st_size <= 0) statError = EINVAL;
    if (statError != 0) {
        error = statError;
        ::close(fd);
        failedStage = Stage::CreateMapping;
        return false;
    }
    void* view = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    if (view == MAP_FAILED) {
        error = errno;
        ::close(fd);
        failedStage = Stage::MapView;
        return false;
    }
    FFile = fd;
    FData = static_cast<const uint8_t*>(view);
    FSize = static_cast<uint64_t>(st.st_size);
    failedStage = Stage::None;
    error = 0;
    return true;
}

void ReadOnlyFileMap::Close() {
    if (FData) ::munmap(const_cast<uint8_t*>(FData), static_cast<size_t>(FSize));
    if (FFile >= 0) ::close(static_cast<int>(FFile));
    FData = nullptr;
    FSize = 0;
    FFile = -1;
    FMapping = 0;
}

} // namespace platform

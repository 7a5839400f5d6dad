#include "platform/MemoryMap.h"

#include <windows.h>

#include "platform/win32/Wide.h"

namespace platform {

bool ReadOnlyFileMap::Open(const std::string& path, Stage& failedStage, int& error) {
    Close();
    HANDLE file = CreateFileW(win32::Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = static_cast<int>(GetLastError());
        failedStage = Stage::OpenFile;
        return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        error = static_cast<int>(GetLastError());
        CloseHandle(file);
        failedStage = Stage::CreateMapping;
        return false;
    }
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) {
        error = static_cast<int>(GetLastError());
        CloseHandle(file);
        failedStage = Stage::CreateMapping;
        return false;
    }
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (!view) {
        error = static_cast<int>(GetLastError());
        CloseHandle(mapping);
        CloseHandle(file);
        failedStage = Stage::MapView;
        return false;
    }
    FFile = reinterpret_cast<intptr_t>(file);
    FMapping = reinterpret_cast<intptr_t>(mapping);
    FData = static_cast<const uint8_t*>(view);
    FSize = static_cast<uint64_t>(size.QuadPart);
    failedStage = Stage::None;
    error = 0;
    return true;
}

void ReadOnlyFileMap::Close() {
    if (FData) UnmapViewOfFile(FData);
    if (FMapping) CloseHandle(reinterpret_cast<HANDLE>(FMapping));
    if (FFile != -1) CloseHandle(reinterpret_cast<HANDLE>(FFile));
    FData = nullptr;
    FSize = 0;
    FFile = -1;
    FMapping = 0;
}

} // namespace platform

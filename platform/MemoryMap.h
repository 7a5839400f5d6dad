#pragma once
// Read-only memory-mapped view of a whole file. The file stays open, shared
// for reading, while the view exists; the view is unmapped and both handles
// are closed when the object goes. Failures are reported by stage and OS
// error code; nothing here raises.
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class ReadOnlyFileMap {
  public:
    enum class Stage {
        None,          // the view is mapped
        OpenFile,      // the file could not be opened
        CreateMapping, // the mapping object could not be created (also an empty file)
        MapView,       // the view could not be mapped
    };

    ReadOnlyFileMap() = default;
    ~ReadOnlyFileMap() { Close(); }
    ReadOnlyFileMap(const ReadOnlyFileMap&) = delete;
    ReadOnlyFileMap& operator=(const ReadOnlyFileMap&) = delete;

    // Opens an existing file and maps all of it. On failure returns false and
    // leaves the stage that failed and the OS error code; whatever had been
    // opened is closed again.
    bool Open(const std::string& path, Stage& failedStage, int& error);
    void Close();

    const uint8_t* Data() const { return FData; }
    uint64_t Size() const { return FSize; }
    bool IsOpen() const { return FData != nullptr; }

  private:
    const uint8_t* FData = nullptr;
    uint64_t FSize = 0;
    intptr_t FFile = -1;
    intptr_t FMapping = 0;
};

} // namespace platform

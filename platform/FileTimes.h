#pragma once
// File times and attributes. Nothing here raises; failures return false.
#include <cstdint>
#include <string>

namespace platform {

// Attribute bits in their MS-DOS / Windows meaning.
enum : uint32_t {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faSysFile = 0x04,
    faDirectory = 0x10,
    faArchive = 0x20,
};

// Sets the last-write time of a file from a local calendar time, which the
// system converts to its universal time.
bool SetFileLastWriteLocal(const std::string& path, int year, int month, int day, int hour,
                           int minute, int second);
// Sets the attributes of a file. On POSIX only read-only has a meaning: it
// clears every write bit; without it the owner may write.
bool SetFileAttributesByName(const std::string& path, uint32_t attributes);

} // namespace platform

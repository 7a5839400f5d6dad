#pragma once
// The ZIP checksum (CRC-32 with the reflected polynomial 0xEDB88320, initial
// value all ones, final inversion; PKWARE APPNOTE 4.4.7).
#include <cstddef>
#include <cstdint>

namespace arc {

class TArcCrc32 {
  public:
    void Update(const void* data, size_t count) { FState = UpdateCrc32(FState, data, count); }
    uint32_t Value() const { return ~FState; }
    void Reset() { FState = 0xFFFFFFFFu; }

    // Continues a raw (not inverted) CRC register over data.
    static uint32_t UpdateCrc32(uint32_t state, const void* data, size_t count);
    // The CRC-32 of one buffer.
    static uint32_t Of(const void* data, size_t count) {
        return ~UpdateCrc32(0xFFFFFFFFu, data, count);
    }

  private:
    uint32_t FState = 0xFFFFFFFFu;
};

} // namespace arc

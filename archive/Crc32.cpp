#include "archive/Crc32.h"

#include <array>

#include "runtime/Bytes.h"

namespace arc {

namespace {

// Eight tables for slicing-by-8: one 256-entry table per byte lane, so eight
// input bytes cost eight lookups and no dependent shifts between them.
struct Crc32Tables {
    std::array<std::array<uint32_t, 256>, 8> t{};
    Crc32Tables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int lane = 1; lane < 8; ++lane)
                t[lane][i] = (t[lane - 1][i] >> 8) ^ t[0][t[lane - 1][i] & 0xFF];
    }
};

const Crc32Tables& Tables() {
    static const Crc32Tables tables;
    return tables;
}

} // namespace

uint32_t TArcCrc32::UpdateCrc32(uint32_t crc, const void* data, size_t count) {
    const auto& t = Tables().t;
    auto* p = static_cast<const uint8_t*>(data);
    while (count >= 8) {
        uint32_t lo = crc ^ rtl::LoadLE32(p);
        uint32_t hi = rtl::LoadLE32(p + 4);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        p += 8, count -= 8;
    }
    while (count--)
        crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

} // namespace arc

#pragma once
// Fixed-width integers read from and written to byte arrays in a stated byte
// order. Formats on disk and on the wire (ZIP, MO catalogs, DEFLATE, PPMd,
// release manifests) fix their byte order; a value is always assembled from
// its bytes, never read through a cast pointer, so alignment and the host's
// own order never matter. Compilers turn these into single loads and stores.
#include <cstdint>

namespace rtl {

inline uint16_t LoadLE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t LoadLE32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t LoadLE64(const uint8_t* p) {
    return LoadLE32(p) | uint64_t(LoadLE32(p + 4)) << 32;
}
inline uint16_t LoadBE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
inline uint32_t LoadBE32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline uint64_t LoadBE64(const uint8_t* p) {
    return uint64_t(LoadBE32(p)) << 32 | LoadBE32(p + 4);
}

inline void StoreLE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreLE32(uint8_t* p, uint32_t v) {
    StoreLE16(p, static_cast<uint16_t>(v));
    StoreLE16(p + 2, static_cast<uint16_t>(v >> 16));
}
inline void StoreLE64(uint8_t* p, uint64_t v) {
    StoreLE32(p, static_cast<uint32_t>(v));
    StoreLE32(p + 4, static_cast<uint32_t>(v >> 32));
}

inline uint32_t ByteSwap32(uint32_t v) {
    return (v >> 24) | (v >> 8 & 0xFF00u) | (v << 8 & 0xFF0000u) | (v << 24);
}

} // namespace rtl

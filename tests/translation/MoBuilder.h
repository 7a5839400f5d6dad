#pragma once
// Builds MO catalogs byte by byte, for tests that need catalogs of a chosen
// size or with damaged fields.
#include <cstdint>
#include <map>
#include <string>

namespace mo_builder {

struct Catalog {
    std::string Bytes;
    uint32_t O = 0; // offset of the identifier table
    uint32_t T = 0; // offset of the translation table
};

inline void PutWord(std::string& out, size_t at, uint32_t v, bool bigEndian) {
    for (int i = 0; i < 4; ++i) {
        int shift = bigEndian ? 24 - 8 * i : 8 * i;
        out[at + static_cast<size_t>(i)] = static_cast<char>((v >> shift) & 0xFF);
    }
}

// A catalog of the entries (std::map keeps them in byte order, as msgfmt does).
inline Catalog Build(const std::map<std::string, std::string>& entries, bool bigEndian = false) {
    Catalog c;
    const uint32_t n = static_cast<uint32_t>(entries.size());
    c.O = 28;
    c.T = c.O + 8 * n;
    std::string& b = c.Bytes;
    b.assign(c.T + 8 * n, '\0');
    PutWord(b, 0, 0x950412DE, bigEndian);
    PutWord(b, 8, n, bigEndian);
    PutWord(b, 12, c.O, bigEndian);
    PutWord(b, 16, c.T, bigEndian);
    uint32_t i = 0;
    for (const auto& [id, text] : entries) {
        PutWord(b, c.O + 8 * i, static_cast<uint32_t>(id.size()), bigEndian);
        PutWord(b, c.O + 8 * i + 4, static_cast<uint32_t>(b.size()), bigEndian);
        b += id;
        b += '\0';
        PutWord(b, c.T + 8 * i, static_cast<uint32_t>(text.size()), bigEndian);
        PutWord(b, c.T + 8 * i + 4, static_cast<uint32_t>(b.size()), bigEndian);
        b += text;
        b += '\0';
        ++i;
    }
    return c;
}

} // namespace mo_builder

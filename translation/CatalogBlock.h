#pragma once
// The block of catalogs that may be appended to the executable.
//
//   begin signature (39 bytes)                       <- base is the byte after it
//   the catalogs' bytes, one after another
//   entries: next, data offset, data size (64-bit little-endian, relative
//            to base), then the entry's UTF-8 name up to base + next
//   a 64-bit 0 where the entry after the last one would be
//   64-bit position of the first entry, relative to base
//   end signature (39 bytes)
//
// The signatures are kept as separate pieces and joined only at run time, so
// that a program able to read or write such a block does not itself appear
// to carry one.
#include <string>
#include <vector>

namespace translator {

constexpr size_t kSignatureLength = 39;

std::string BeginSignature();
std::string EndSignature();

struct TCatalogBlockEntry {
    std::string Name; // relative to the executable's folder, e.g. locale\nl\LC_MESSAGES\default.mo
    std::string Data; // the catalog's bytes
};

// The whole block for the catalogs given, ready to be appended.
std::string BuildCatalogBlock(const std::vector<TCatalogBlockEntry>& entries);

// The length of the executable's own bytes: where an appended block (one
// with both signatures, the end after the begin) starts, else the whole size.
size_t ProgramLength(const std::string& executable);

} // namespace translator

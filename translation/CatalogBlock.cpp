#include "translation/CatalogBlock.h"

#include <cstdint>

namespace translator {

namespace {
const char* const kSignaturePrefix = "DXG";
const char* const kBeginMarker = "BD7F1BE4-9FCF-4E3A-ABA7-3443D11AB362";
const char* const kEndMarker = "1C58841C-D8A0-4457-BF54-D8315D4CF49D";

void AppendInt64(std::string& out, int64_t value) {
    uint64_t v = static_cast<uint64_t>(value);
    for (int i = 0; i < 8; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
} // namespace

std::string BeginSignature() {
    return std::string(kSignaturePrefix) + kBeginMarker;
}
std::string EndSignature() {
    return std::string(kSignaturePrefix) + kEndMarker;
}

size_t ProgramLength(const std::string& executable) {
    size_t begin = executable.find(BeginSignature());
    if (begin == std::string::npos || begin == 0) return executable.size();
    size_t end = executable.find(EndSignature(), begin + kSignatureLength);
    return end == std::string::npos ? executable.size() : begin;
}

std::string BuildCatalogBlock(const std::vector<TCatalogBlockEntry>& entries) {
    std::string body; // everything after the begin signature
    std::vector<int64_t> dataOffsets;
    for (const auto& entry : entries) {
        dataOffsets.push_back(static_cast<int64_t>(body.size()));
        body += entry.Data;
    }
    int64_t firstEntry = static_cast<int64_t>(body.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        int64_t next = static_cast<int64_t>(body.size() + 24 + entries[i].Name.size());
        AppendInt64(body, next);
        AppendInt64(body, dataOffsets[i]);
        AppendInt64(body, static_cast<int64_t>(entries[i].Data.size()));
        body += entries[i].Name;
    }
    AppendInt64(body, 0);
    AppendInt64(body, firstEntry);
    return BeginSignature() + body + EndSignature();
}

} // namespace translator

#include "translation/MoFile.h"

#include <algorithm>
#include <cstring>

#include "platform/Files.h"
#include "platform/Unicode.h"
#include "runtime/Bytes.h"
#include "runtime/ResStrings.h"
#include "translation/GettextErrors.h"

namespace translator {

namespace {

// The magic number as a little-endian reader sees it: the catalog was
// written little-endian, or with every 32-bit field byte-swapped.
constexpr uint32_t kMoMagic = 0x950412DE;
constexpr uint32_t kMoMagicSwapped = 0xDE120495;
// magic, revision, N, O, T: the fields a lookup needs.
constexpr uint64_t kHeaderSize = 20;
constexpr uint64_t kTableEntrySize = 8;

const char* const kCannotOpen = "Cannot open file ";
const char* const kCannotCreateMap = "Cannot create memory map on file ";
const char* const kCannotMapPrefix = "Cannot map file ";
const char* const kCannotMapReason = " into memory. Reason: ";
const char* const kNotAMoFile = "This file is not a valid GNU gettext mo file: ";
const char* const kPluralFormsField = "Plural-Forms";

// Byte order of GNU msgfmt's sort: unsigned bytes, a proper prefix first.
int CompareBytes(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
    if (c != 0) return c;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

std::string TrimBlanksAndControls(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
        --end;
    return std::string(text.substr(begin, end - begin));
}

} // namespace

std::string CatalogHeaderField(std::string_view header, std::string_view name) {
    const std::string key = platform::AsciiUpperCase(name) + ": ";
    size_t start = 0;
    while (start <= header.size()) {
        size_t end = header.find_first_of("\r\n", start);
        if (end == std::string::npos) end = header.size();
        std::string_view line(header.data() + start, end - start);
        if (line.size() >= key.size() &&
            platform::AsciiUpperCase(line.substr(0, key.size())) == key)
            return TrimBlanksAndControls(line.substr(key.size()));
        // A CR LF pair ends one line, not two.
        start = end + 1;
        if (end < header.size() && header[end] == '\r' && start < header.size() &&
            header[start] == '\n')
            ++start;
    }
    return {};
}

TMoFile::TMoFile(const std::string& filename, int64_t Offset, int64_t Size) {
    platform::ReadOnlyFileMap::Stage stage;
    int error = 0;
    if (!FMap.Open(filename, stage, error)) {
        switch (stage) {
        case platform::ReadOnlyFileMap::Stage::OpenFile:
            throw EGettextIOError(kCannotOpen + filename);
        case platform::ReadOnlyFileMap::Stage::CreateMapping:
            throw EGettextIOError(kCannotCreateMap + filename);
        default:
            throw EGettextIOError(kCannotMapPrefix + filename + kCannotMapReason +
                                  platform::SysErrorMessage(error));
        }
    }
    // From here on FMap closes the view and the handles when construction fails.
    if (Offset < 0 || static_cast<uint64_t>(Offset) > FMap.Size())
        throw EGettextIOError(kNotAMoFile + filename);
    momemory = FMap.Data() + Offset;
    FExtent = FMap.Size() - static_cast<uint64_t>(Offset);
    if (Size > 0) FExtent = std::min(FExtent, static_cast<uint64_t>(Size));

    if (FExtent < 4) throw EGettextIOError(kNotAMoFile + filename);
    doswap = false;
    uint32_t magic = ReadCatalogWord(0);
    if (magic != kMoMagic && magic != kMoMagicSwapped)
        throw EGettextIOError(kNotAMoFile + filename);
    doswap = magic == kMoMagicSwapped;
    if (FExtent < kHeaderSize) throw EGettextIOError(kNotAMoFile + filename);
    N = ReadCatalogWord(8);
    O = ReadCatalogWord(12);
    T = ReadCatalogWord(16);
    if (N >= 0x80000000u) throw rtl::ERangeError(rtl::LoadResString(&rtl::SRangeError));
    // Both tables must lie inside the catalog, so no lookup reads past it.
    uint64_t tableBytes = kTableEntrySize * N;
    if (uint64_t{O} + tableBytes > FExtent || uint64_t{T} + tableBytes > FExtent)
        throw EGettextIOError(kNotAMoFile + filename);

    startindex = 1;
    while (N && static_cast<uint32_t>(startindex) <= N / 2)
        startindex *= 2;
    if (N == 0) startindex = 0;
    startstep = startindex / 2;

    // Once per catalog, not per lookup; a damaged rule falls back to the
    // Germanic one and never refuses the catalog.
    std::string_view header;
    if (Find("", false, header))
        FPluralForms = TPluralForms::Parse(CatalogHeaderField(header, kPluralFormsField));
}

uint32_t TMoFile::ReadCatalogWord(uint64_t offset) const {
    const uint8_t* p = momemory + offset;
    uint32_t v = rtl::LoadLE32(p);
    return doswap ? rtl::ByteSwap32(v) : v;
}

bool TMoFile::TableString(uint32_t tableOffset, uint32_t i, std::string_view& text) const {
    uint64_t entry = uint64_t{tableOffset} + kTableEntrySize * (i - 1);
    uint32_t length = ReadCatalogWord(entry);
    uint32_t offset = ReadCatalogWord(entry + 4);
    if (uint64_t{offset} + length > FExtent) return false;
    text = std::string_view(reinterpret_cast<const char*>(momemory) + offset, length);
    return true;
}

// The halving search over the sorted identifiers: about log2 N comparisons,
// without the catalog's hash table.
bool TMoFile::Find(std::string_view msgid, bool bySingular, std::string_view& translation) const {
    if (N == 0) return false;
    uint32_t i = static_cast<uint32_t>(startindex);
    uint32_t step = static_cast<uint32_t>(startstep);
    for (;;) {
        std::string_view id;
        // An entry pointing outside the catalog cannot be compared; the lookup
        // then answers "not found" rather than read beyond the file.
        if (!TableString(O, i, id)) return false;
        if (bySingular) id = id.substr(0, id.find('\0'));
        int c = CompareBytes(msgid, id);
        if (c == 0) return TableString(T, i, translation);
        if (step == 0) return false;
        if (c < 0)
            i = i < step + 1 ? 1 : i - step;
        else
            i = std::min(i + step, N);
        step /= 2;
    }
}

std::string TMoFile::gettext(std::string_view msgid, bool& found) const {
    std::string_view translation;
    found = Find(msgid, false, translation);
    return std::string(found ? translation : msgid);
}

// GNU compares a plural entry's identifier as a C string, so the singular
// alone finds it; msgfmt sorts the entries by their singular too.
bool TMoFile::ngettext(std::string_view singular, uint64_t n, std::string& form) const {
    std::string_view forms;
    if (!Find(singular.substr(0, singular.find('\0')), true, forms)) return false;
    const uint32_t count = static_cast<uint32_t>(std::count(forms.begin(), forms.end(), '\0')) + 1;
    uint32_t chosen = FPluralForms.Choose(n, count);
    for (; chosen > 0; --chosen)
        forms.remove_prefix(forms.find('\0') + 1);
    form = std::string(forms.substr(0, forms.find('\0')));
    return !form.empty();
}

} // namespace translator

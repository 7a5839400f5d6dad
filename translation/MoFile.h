#pragma once
// One GNU gettext MO catalog, read in place through a read-only mapped view
// of the file that holds it (a catalog file, or the executable for a catalog
// appended to it).
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/MemoryMap.h"
#include "translation/PluralForms.h"

namespace translator {

// The value of the header line "name: value" of a catalog header (the name
// compared without regard to case), without the blanks and control characters
// around it; empty when there is no such line.
std::string CatalogHeaderField(std::string_view header, std::string_view name);

class TMoFile {
  public:
    // Opens the catalog that starts at Offset in file filename. Size, when
    // positive, is the catalog's length there; otherwise it runs to the end of
    // the file. Raises EGettextIOError when the file cannot be opened or
    // mapped, or does not hold a well-formed catalog there, and
    // rtl::ERangeError for a catalog claiming 2^31 strings or more.
    TMoFile(const std::string& filename, int64_t Offset, int64_t Size);
    TMoFile(const TMoFile&) = delete;
    TMoFile& operator=(const TMoFile&) = delete;

    // The translation of a UTF-8 identifier (found = true), or the identifier
    // itself (found = false). The empty identifier gives the catalog header.
    std::string gettext(std::string_view msgid, bool& found) const;
    // The form that n takes of the plural entry whose singular is the UTF-8
    // text singular: entries are found by their singular alone, whatever
    // plural they were written with. False when there is no such entry or
    // the form chosen is empty (a translator left it out).
    bool ngettext(std::string_view singular, uint64_t n, std::string& form) const;
    // The rule of the header's "Plural-Forms", read when the catalog opens.
    const TPluralForms& PluralForms() const { return FPluralForms; }

    uint32_t Count() const { return N; }
    bool ByteSwapped() const { return doswap; }

    // Number of text domains that hold this catalog; changed only by the file
    // locator under its lock.
    int32_t Users = 0;

  private:
    uint32_t ReadCatalogWord(uint64_t offset) const;
    // String i (counted from 1) of the table at tableOffset; false when the
    // entry points outside the catalog.
    bool TableString(uint32_t tableOffset, uint32_t i, std::string_view& text) const;
    // The halving search; bySingular compares each identifier only up to its
    // first NUL, as a plural entry's singular is compared.
    bool Find(std::string_view msgid, bool bySingular, std::string_view& translation) const;

    bool doswap = false;
    uint32_t N = 0;
    uint32_t O = 0;
    uint32_t T = 0;
    int32_t startindex = 0;
    int32_t startstep = 0;
    platform::ReadOnlyFileMap FMap;    // the open file, its mapping and the view
    const uint8_t* momemory = nullptr; // the catalog's first byte inside the view
    uint64_t FExtent = 0;              // the catalog's length inside the view
    TPluralForms FPluralForms;
};

} // namespace translator

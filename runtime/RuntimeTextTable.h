#pragma once
// The runtime texts of a library above the runtime (the HTTP client, the ZIP
// extractor, ...). Each library keeps its texts in a list of lines
//
//     RUNTIME_TEXT(Name, Id, "English text")
//
// in a file named <Family>Texts.def, the only place the text is written.
// From that list the build makes the library's string table on Windows and
// the catalog template's entries; this header turns each line into
//
//     inline constexpr const char* Name = "English text";   // the source text
//     inline constexpr rtl::TResStringRec NameRes{nullptr, Id}; // its string
//
// and TRuntimeTextTable serves the built-in table on POSIX. A message is
// always loaded through the record (Table.Load(NameRes)), so it passes the
// runtime's replaceable loader and is translated when a catalog holds it;
// the bare text is there for comparisons and for the tests.
//
// Ids are 16-bit string-table ids (below 65536). Each library owns a range
// that starts on a multiple of 16, because Windows keeps strings in blocks
// of 16 ids and two string tables linked into one program must not share a
// block:
//   60000-61999 socket error texts (50000 + the Windows Sockets number)
//   62000-62399 HTTP client
//   62400-62499 archive (top level)   62500-62599 archive/deflate
//   62600-62699 archive/legacy        62700-62799 archive/codecs
//   62800-62899 archive/ppmd
//   63600-63999 netget                64000-64999 the runtime itself
#include <mutex>
#include <span>
#include <string>

#include "runtime/EnglishText.h"
#include "runtime/ResStrings.h"

#define RUNTIME_TEXT_DECLARE(name, id, text)                                                       \
    inline constexpr const char* name = text;                                                      \
    inline constexpr ::rtl::TResStringRec name##Res{nullptr, id};
#define RUNTIME_TEXT_ENTRY(name, id, text) {&name##Res, #name, text},

namespace rtl {

class TRuntimeTextTable {
  public:
    constexpr explicit TRuntimeTextTable(std::span<const RuntimeTextEntry> entries)
        : FEntries(entries) {}

    // The text of one of this table's records, through the current loader.
    std::string Load(const TResStringRec& rec) const;
    // Load, then Format with args.
    std::string Format(const TResStringRec& rec, std::initializer_list<FormatArg> args) const;
    // Load and Format for a message that ends something: with its English
    // text (runtime/EnglishText.h).
    TText Compose(const TResStringRec& rec) const;
    TText Compose(const TResStringRec& rec, std::initializer_list<FormatArg> args) const;

    std::span<const RuntimeTextEntry> Entries() const { return FEntries; }
    // Makes the texts loadable on POSIX (on Windows the string table holds them).
    void Register() const;

  private:
    std::span<const RuntimeTextEntry> FEntries;
    mutable std::once_flag FRegistered;
};

} // namespace rtl

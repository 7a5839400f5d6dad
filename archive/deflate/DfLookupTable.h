#pragma once
// The decoding tables that the inflater's symbol loop reads: literal/length and
// distance codes in a packed two-level layout. TArcDfDecodeHuffmanTree keeps the
// plain one-level layout (symbol, code length, extra bits) for the code-length
// code and for callers that want symbols; this layout instead holds what the
// loop acts on, so that the common case needs one load, one test and one shift:
// a literal's byte, or a length or distance base with its extra-bit count, and
// the number of bits to consume.
//
// A main table indexed by the next kMainBits stream bits resolves every code of
// up to that length. Each main slot whose bits begin longer codes points to a
// subtable indexed by the bits that follow, wide enough for the longest code of
// that group. Building touches 2^kMainBits slots plus the small subtables,
// instead of 2^(longest code) slots: cheap for the many small blocks of real
// archives, and the main table stays in the L1 cache. A code longer than the
// main width thus takes two lookups instead of one; what a single lookup is
// for, a bounded cost per code with no walking of a tree, still holds.
#include <cstdint>

namespace arc {

// Entry layout:
//   bits 0-5    bits consumed by the entry: code length plus extra bits
//   bits 8-11   code length (the extra bits follow it in the stream)
//   bit  12     pointer to a subtable: bits 0-7 hold the subtable's index mask
//               and bits 16-31 its offset in the table
//   bit  13     end of block
//   bit  14     invalid: an empty slot, or a symbol the format does not allow
//   bits 16-31  length or distance base; for a literal the byte (bits 16-23)
//   bit  31     literal (literal/length tables only)
// Every field is relative to the bits the lookup started at: a subtable entry
// counts the main-table bits in its code length.
namespace dfentry {
inline constexpr uint32_t kConsumeMask = 0x3F;
inline constexpr int kCodeLengthShift = 8;
inline constexpr uint32_t kPointer = 0x1000;
inline constexpr uint32_t kEndOfBlock = 0x2000;
inline constexpr uint32_t kInvalid = 0x4000;
inline constexpr uint32_t kLiteral = 0x80000000u;
inline constexpr int kValueShift = 16;
} // namespace dfentry

class TArcDfLookupTable {
  public:
    enum class TKind { ktLiteralLength, ktDistance };

    // aDeflate64 selects the meaning of length symbol 285 and allows distance
    // symbols 30 and 31 (plain deflate decodes them as invalid).
    TArcDfLookupTable(TKind aKind, bool aDeflate64);

    // Builds the canonical code (RFC 1951 section 3.2.2) for symbols 0 to aCount - 1,
    // symbol i having length aCodeLengths[i] (0 = unused, at most 15). An
    // over-subscribed set raises the inflate error; an incomplete one leaves
    // invalid slots, which the decoder rejects when it meets one.
    void Build(const uint8_t* aCodeLengths, int aCount);

    const uint32_t* Entries() const { return FEntries; }
    int MainBits() const { return FMainBits; }

    static constexpr int kLiteralMainBits = 11;
    static constexpr int kDistanceMainBits = 8;
    // Room for the worst case: every code longer than the main width in a group
    // of its own, each group's subtable as wide as the longest code allows.
    static constexpr int kLiteralCapacity =
        (1 << kLiteralMainBits) + 288 * (1 << (15 - kLiteralMainBits));
    static constexpr int kDistanceCapacity =
        (1 << kDistanceMainBits) + 32 * (1 << (15 - kDistanceMainBits));

  private:
    static_assert(kDistanceCapacity <= kLiteralCapacity, "one entry array serves both kinds");
    const uint32_t* FTemplates; // per symbol: value, flags and extra-bit count
    int FMainBits;
    uint32_t FEntries[kLiteralCapacity];
};

// The fixed-code tables (RFC 1951 section 3.2.6), built once and shared by
// every run.
const TArcDfLookupTable& DfFixedLiteralTable(bool aDeflate64);
const TArcDfLookupTable& DfFixedDistanceTable(bool aDeflate64);

} // namespace arc

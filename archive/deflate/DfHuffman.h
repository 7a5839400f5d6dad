#pragma once
// Canonical Huffman decoding tables for deflate and deflate64, and the
// constants of both formats (RFC 1951 sections 3.2.5 to 3.2.7).
#include <cstdint>
#include <memory>
#include <vector>

namespace arc {

// Length symbols 257..285, indexed by symbol - 257.
inline constexpr int kDfLengthSymbolCount = 29;
inline constexpr uint16_t kDfLengthBase[kDfLengthSymbolCount] = {
    3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr uint8_t kDfLengthExtra[kDfLengthSymbolCount] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Deflate64 differs only in symbol 285: base 3 with 16 extra bits (3..65538).
inline constexpr uint16_t kDfLengthBase64[kDfLengthSymbolCount] = {
    3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3};
inline constexpr uint8_t kDfLengthExtra64[kDfLengthSymbolCount] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};

// Distance symbols 0..31; 30 and 31 exist only in deflate64.
inline constexpr int kDfDistanceSymbolCount = 32;
inline constexpr uint32_t kDfDistanceBase[kDfDistanceSymbolCount] = {
    1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
    49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
    2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
inline constexpr uint8_t kDfDistanceExtra[kDfDistanceSymbolCount] = {
    0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};

// Code-length code: alphabet, the order its lengths are sent in, and the extra
// bits of the repeat symbols 16, 17 and 18.
inline constexpr int kDfCodeLengthAlphabet = 19;
inline constexpr uint8_t kDfCodeLengthOrder[kDfCodeLengthAlphabet] = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
inline constexpr uint8_t kDfCodeLengthExtra[3] = {2, 3, 7};

inline constexpr int kDfEndOfBlock = 256;
inline constexpr int kDfFirstLengthSymbol = 257;
inline constexpr int kDfLastLengthSymbol = 285;
inline constexpr int kDfMaxCodeLength = 15;
inline constexpr int kDfMaxCodeLengthCodeLength = 7;
inline constexpr int kDfLiteralAlphabet = 286;      // dynamic literal/length alphabet
inline constexpr int kDfFixedLiteralAlphabet = 288; // fixed table also codes 286 and 287
inline constexpr int kDfDistanceAlphabet = 30;
inline constexpr int kDfDistanceAlphabet64 = 32;

enum class TArcDfHuffmanUsage { huEncoding, huDecoding, huBoth };

// A decoding table that resolves any code with one lookup: 2^FMaxCodeLen
// entries, indexed by the next FMaxCodeLen stream bits (first code bit lowest).
// Entry: bits 0-15 symbol, 16-23 code length, 24-31 extra bits after the code.
class TArcDfDecodeHuffmanTree {
  public:
    static constexpr uint32_t kEmptySlot = 0xFFFFFFFFu; // symbol 0xFFFF, length 255
    // Whatever FMaxCodeLen is, the table is filled out to at least this many index
    // bits (when FDefMaxCodeLen allows): its first 2^kFastLookupBits slots then
    // resolve every code of up to that length, and the decoder's common case can
    // use a fixed mask.
    static constexpr int kFastLookupBits = 10;

    TArcDfDecodeHuffmanTree(int aAlphabetSize, TArcDfHuffmanUsage aUsage, int aDefMaxCodeLen);

    // Builds the canonical code from aCodeLengths[aStartInx .. aStartInx + aCount - 1]
    // (symbol i has length aCodeLengths[aStartInx + i], 0 = unused). Symbols from
    // aExtraOffset on carry aExtraBits[symbol - aExtraOffset] extra bits. An
    // over-subscribed set raises an inflate error; an incomplete one is accepted and
    // leaves empty slots, which the decoder rejects when it meets one.
    void Build(const uint8_t* aCodeLengths, int aStartInx, int aCount, const uint8_t* aExtraBits,
               int aExtraOffset);

    uint32_t Decode(uint32_t aLookupBits) const { return FDecodes[aLookupBits & ~FMask]; }
    int LookupBitLength() const { return FMaxCodeLen; }
    // Low 16 bits: the code as it appears in the stream (bit-reversed); bits 16-23:
    // its length (0 = the symbol has no code). Only for the encoding usages.
    uint32_t Encode(int aSymbol) const { return FEncodes[aSymbol]; }

    const uint32_t* Table() const { return FDecodes.get(); }
    uint32_t LookupMask() const { return ~FMask; }

    static uint32_t EntrySymbol(uint32_t aEntry) { return aEntry & 0xFFFF; }
    static uint32_t EntryCodeLength(uint32_t aEntry) { return (aEntry >> 16) & 0xFF; }
    static uint32_t EntryExtraBits(uint32_t aEntry) { return aEntry >> 24; }

  private:
    int FAlphaSize;
    int FDefMaxCodeLen;
    int FMaxCodeLen = 0;
    TArcDfHuffmanUsage FUsage;
    // Grown on demand: most tables need far fewer than 2^FDefMaxCodeLen slots,
    // and small entries should not pay for filling the largest possible table.
    std::unique_ptr<uint32_t[]> FDecodes;
    size_t FCapacity = 0;
    std::vector<uint32_t> FEncodes;
    uint32_t FMask = ~0u; // the index bits above the lookup width
};

} // namespace arc

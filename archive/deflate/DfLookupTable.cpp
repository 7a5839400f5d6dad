#include "archive/deflate/DfLookupTable.h"

#include <cstring>

#include "archive/deflate/DfErrors.h"
#include "archive/deflate/DfHuffman.h"

namespace arc {

namespace {

using namespace dfentry;

constexpr int kSymbolSlots = 288; // the fixed literal/length alphabet is the largest

// What each symbol decodes to, before the code length is added in: the value
// and flags of the entry, and its extra-bit count in the consume field.
struct TTemplates {
    uint32_t literal[kSymbolSlots];
    uint32_t literal64[kSymbolSlots];
    uint32_t distance[kSymbolSlots];
    uint32_t distance64[kSymbolSlots];
    TTemplates() {
        for (int sym = 0; sym < kSymbolSlots; ++sym)
            literal[sym] = literal64[sym] = distance[sym] = distance64[sym] = kInvalid;
        for (int sym = 0; sym < 256; ++sym)
            literal[sym] = literal64[sym] = kLiteral | uint32_t(sym) << kValueShift;
        literal[kDfEndOfBlock] = literal64[kDfEndOfBlock] = kEndOfBlock;
        for (int i = 0; i < kDfLengthSymbolCount; ++i) {
            literal[kDfFirstLengthSymbol + i] =
                uint32_t(kDfLengthBase[i]) << kValueShift | kDfLengthExtra[i];
            literal64[kDfFirstLengthSymbol + i] =
                uint32_t(kDfLengthBase64[i]) << kValueShift | kDfLengthExtra64[i];
        }
        for (int sym = 0; sym < kDfDistanceAlphabet64; ++sym) {
            uint32_t entry = kDfDistanceBase[sym] << kValueShift | kDfDistanceExtra[sym];
            distance64[sym] = entry;
            if (sym < kDfDistanceAlphabet) distance[sym] = entry;
        }
    }
};

const TTemplates& Templates() {
    static const TTemplates templates;
    return templates;
}

struct TByteReversal {
    uint8_t byte[256] = {};
    constexpr TByteReversal() {
        for (int i = 0; i < 256; ++i)
            for (int b = 0; b < 8; ++b)
                byte[i] |= static_cast<uint8_t>(((i >> b) & 1) << (7 - b));
    }
};
constexpr TByteReversal kReversal;

// The low aLength bits of aCode in reverse order: the stream sends a code's
// first bit lowest, while canonical codes are counted from their first bit.
uint32_t ReverseBits(uint32_t aCode, int aLength) {
    uint32_t r16 =
        uint32_t(kReversal.byte[aCode & 0xFF]) << 8 | kReversal.byte[(aCode >> 8) & 0xFF];
    return r16 >> (16 - aLength);
}

} // namespace

TArcDfLookupTable::TArcDfLookupTable(TKind aKind, bool aDeflate64)
    : FMainBits(aKind == TKind::ktLiteralLength ? kLiteralMainBits : kDistanceMainBits) {
    const TTemplates& t = Templates();
    if (aKind == TKind::ktLiteralLength)
        FTemplates = aDeflate64 ? t.literal64 : t.literal;
    else
        FTemplates = aDeflate64 ? t.distance64 : t.distance;
    // FEntries is left unset: the decoder reads a table only after building it.
}

void TArcDfLookupTable::Build(const uint8_t* aCodeLengths, int aCount) {
    // Neighbouring symbols mostly share a length: two histograms, one for the
    // even and one for the odd symbols, halve the chain of increments of one
    // counter that would each wait for the last.
    int count[kDfMaxCodeLength + 1] = {};
    {
        int odd[kDfMaxCodeLength + 1] = {};
        int sym = 0;
        for (; sym + 1 < aCount; sym += 2) {
            ++count[aCodeLengths[sym]];
            ++odd[aCodeLengths[sym + 1]];
        }
        if (sym < aCount) ++count[aCodeLengths[sym]];
        for (int len = 1; len <= kDfMaxCodeLength; ++len)
            count[len] += odd[len];
    }
    count[0] = 0;
    int maxLen = kDfMaxCodeLength;
    while (maxLen > 0 && count[maxLen] == 0)
        --maxLen;

    // Kraft check: more codes of a length than the space left makes the set
    // over-subscribed, which no prefix code can be.
    int left = 1;
    for (int len = 1; len <= maxLen; ++len) {
        left = left * 2 - count[len];
        if (left < 0) RaiseInflateCause(kDfCauseOverSubscribedRes);
    }

    // Symbols sorted by code length, then by symbol: the canonical order, in
    // which consecutive codes of one length count up by one.
    int offset[kDfMaxCodeLength + 2] = {};
    for (int len = 1; len <= kDfMaxCodeLength; ++len)
        offset[len + 1] = offset[len] + count[len];
    uint16_t sorted[kSymbolSlots];
    {
        int fill[kDfMaxCodeLength + 2];
        std::memcpy(fill, offset, sizeof fill);
        for (int sym = 0; sym < aCount; ++sym)
            if (aCodeLengths[sym]) sorted[fill[aCodeLengths[sym]]++] = static_cast<uint16_t>(sym);
    }
    const int codes = offset[maxLen + 1];
    uint16_t reversed[kSymbolSlots]; // each code as the stream sends it
    {
        uint32_t code = 0;
        for (int len = 1, i = 0; len <= maxLen; ++len, code <<= 1)
            for (; i < offset[len + 1]; ++i)
                reversed[i] = static_cast<uint16_t>(ReverseBits(code++, len));
    }
    auto entryOf = [&](int i, int len) {
        return FTemplates[sorted[i]] + (uint32_t(len) << kCodeLengthShift) + uint32_t(len);
    };

    // The main table grows by doubling: at width len every slot already holds
    // the entry of the shorter code its low bits begin with; copying the lower
    // half into the upper half extends that to width len, and each code of
    // length len then owns exactly one new slot, its bit-reversed code.
    const int mainBits = FMainBits;
    const int mainLen = maxLen < mainBits ? maxLen : mainBits;
    uint32_t* const table = FEntries;
    size_t size = 1;
    table[0] = kInvalid;
    for (int len = 1; len <= mainLen; ++len) {
        std::memcpy(table + size, table, size * sizeof(uint32_t));
        size *= 2;
        for (int i = offset[len]; i < offset[len + 1]; ++i)
            table[reversed[i]] = entryOf(i, len);
    }
    for (; size < (size_t(1) << mainBits); size *= 2)
        std::memcpy(table + size, table, size * sizeof(uint32_t));

    // Longer codes come in runs that share their first mainBits bits (the low
    // bits as sent), because canonical codes are in prefix order; within a run
    // the lengths only grow. Each run gets one subtable as wide as its last
    // code needs, and its main slot points there.
    const uint32_t mainMask = (1u << mainBits) - 1;
    size_t next = size;
    int len = mainLen + 1;
    for (int i = offset[mainLen + 1]; i < codes;) {
        while (offset[len + 1] <= i)
            ++len;
        const uint32_t prefix = reversed[i] & mainMask;
        int end = i + 1;
        while (end < codes && (reversed[end] & mainMask) == prefix)
            ++end;
        int lastLen = len;
        while (offset[lastLen + 1] < end)
            ++lastLen;
        const size_t subSize = size_t(1) << (lastLen - mainBits);
        uint32_t* const sub = table + next;
        for (size_t k = 0; k < subSize; ++k)
            sub[k] = kInvalid;
        // Each code fills every subtable slot whose low bits are its bits
        // after the first mainBits.
        for (; i < end; ++i) {
            while (offset[len + 1] <= i)
                ++len;
            const uint32_t entry = entryOf(i, len);
            for (size_t k = reversed[i] >> mainBits; k < subSize;
                 k += size_t(1) << (len - mainBits))
                sub[k] = entry;
        }
        table[prefix] = kPointer | uint32_t(next) << kValueShift | uint32_t(subSize - 1);
        next += subSize;
    }
}

namespace {

struct TFixedTables {
    TArcDfLookupTable literal{TArcDfLookupTable::TKind::ktLiteralLength, false};
    TArcDfLookupTable literal64{TArcDfLookupTable::TKind::ktLiteralLength, true};
    TArcDfLookupTable distance{TArcDfLookupTable::TKind::ktDistance, false};
    TArcDfLookupTable distance64{TArcDfLookupTable::TKind::ktDistance, true};
    TFixedTables() {
        uint8_t lengths[kDfFixedLiteralAlphabet];
        for (int i = 0; i < kDfFixedLiteralAlphabet; ++i)
            lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        // Symbols 286 and 287 have codes but no meaning; their slots are invalid.
        literal.Build(lengths, kDfFixedLiteralAlphabet);
        literal64.Build(lengths, kDfFixedLiteralAlphabet);
        uint8_t distLengths[kDfDistanceAlphabet64];
        std::memset(distLengths, 5, sizeof distLengths);
        distance.Build(distLengths, kDfDistanceAlphabet64);
        distance64.Build(distLengths, kDfDistanceAlphabet64);
    }
};

const TFixedTables& FixedTables() {
    static const TFixedTables tables;
    return tables;
}

} // namespace

const TArcDfLookupTable& DfFixedLiteralTable(bool aDeflate64) {
    return aDeflate64 ? FixedTables().literal64 : FixedTables().literal;
}

const TArcDfLookupTable& DfFixedDistanceTable(bool aDeflate64) {
    return aDeflate64 ? FixedTables().distance64 : FixedTables().distance;
}

} // namespace arc

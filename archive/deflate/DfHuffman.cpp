#include "archive/deflate/DfHuffman.h"

#include <algorithm>
#include <cstring>

#include "archive/deflate/DfErrors.h"
#include "runtime/Exception.h"

namespace arc {

TArcDfDecodeHuffmanTree::TArcDfDecodeHuffmanTree(int aAlphabetSize, TArcDfHuffmanUsage aUsage,
                                                 int aDefMaxCodeLen)
    : FAlphaSize(aAlphabetSize), FDefMaxCodeLen(aDefMaxCodeLen), FUsage(aUsage) {
    if (aAlphabetSize < 2 || aAlphabetSize > 0xFFFF)
        throw rtl::EArgumentException("Huffman alphabet size out of range");
    if (aDefMaxCodeLen < 1 || aDefMaxCodeLen > kDfMaxCodeLength)
        throw rtl::EArgumentException("Huffman maximum code length out of range");
    // Reserved at full size once, so rebuilding for every dynamic block never allocates.
    if (FUsage != TArcDfHuffmanUsage::huEncoding) {
        FCapacity = size_t(1) << std::min(kFastLookupBits, aDefMaxCodeLen);
        FDecodes.reset(new uint32_t[FCapacity]);
        FDecodes[0] = kEmptySlot; // what Decode finds before the first Build
    }
    if (FUsage != TArcDfHuffmanUsage::huDecoding) FEncodes.assign(aAlphabetSize, 0);
}

void TArcDfDecodeHuffmanTree::Build(const uint8_t* aCodeLengths, int aStartInx, int aCount,
                                    const uint8_t* aExtraBits, int aExtraOffset) {
    if (aCount < 0 || aCount > FAlphaSize)
        throw rtl::EArgumentException("Huffman code count exceeds the alphabet");
    const uint8_t* lengths = aCodeLengths + aStartInx;

    int count[kDfMaxCodeLength + 1] = {};
    for (int sym = 0; sym < aCount; ++sym) {
        if (lengths[sym] > FDefMaxCodeLen)
            throw rtl::EArgumentException("Huffman code length above the maximum");
        ++count[lengths[sym]];
    }
    count[0] = 0;
    int maxLen = 0;
    for (int len = FDefMaxCodeLen; len > 0; --len)
        if (count[len]) {
            maxLen = len;
            break;
        }

    // Kraft check: more codes of a length than the space left makes the set
    // over-subscribed, which no prefix code can be.
    int left = 1;
    for (int len = 1; len <= maxLen; ++len) {
        left = left * 2 - count[len];
        if (left < 0) RaiseInflateCause(kDfCauseOverSubscribedRes);
    }
    FMaxCodeLen = maxLen;

    // First canonical code of each length, and the symbols grouped by length in
    // ascending symbol order.
    uint32_t nextCode[kDfMaxCodeLength + 2] = {};
    int offset[kDfMaxCodeLength + 2] = {};
    uint32_t code = 0;
    for (int len = 1; len <= FMaxCodeLen; ++len) {
        code = (code + count[len - 1]) << 1;
        nextCode[len] = code;
        offset[len + 1] = offset[len] + count[len];
    }
    uint16_t sorted[kDfFixedLiteralAlphabet];
    std::vector<uint16_t> sortedBig;
    uint16_t* order = sorted;
    if (aCount > kDfFixedLiteralAlphabet) {
        sortedBig.resize(aCount);
        order = sortedBig.data();
    }
    {
        int fill[kDfMaxCodeLength + 2];
        std::memcpy(fill, offset, sizeof(fill));
        for (int sym = 0; sym < aCount; ++sym)
            if (lengths[sym]) order[fill[lengths[sym]]++] = static_cast<uint16_t>(sym);
    }

    if (FUsage != TArcDfHuffmanUsage::huDecoding) std::fill(FEncodes.begin(), FEncodes.end(), 0u);

    // The table grows by doubling: at width len every slot already holds the entry
    // of the shorter code that its low bits start with, copying the lower half into
    // the upper half extends that to width len, and each code of length len then
    // owns exactly one new slot (its bit-reversed code). Slots no code reaches stay
    // empty.
    const int fastBits = std::min(kFastLookupBits, FDefMaxCodeLen);
    uint32_t* table = FDecodes.get();
    if (table) {
        size_t needed = size_t(1) << std::max(FMaxCodeLen, fastBits);
        if (needed > FCapacity) {
            FDecodes.reset(new uint32_t[needed]);
            FCapacity = needed;
            table = FDecodes.get();
        }
    }
    size_t size = 1;
    if (table) table[0] = kEmptySlot;
    for (int len = 1; len <= FMaxCodeLen; ++len) {
        if (table) std::memcpy(table + size, table, size * sizeof(uint32_t));
        size *= 2;
        for (int i = offset[len]; i < offset[len + 1]; ++i) {
            int sym = order[i];
            uint32_t c = nextCode[len]++;
            uint32_t reversed = 0;
            for (int b = 0; b < len; ++b, c >>= 1)
                reversed = (reversed << 1) | (c & 1);
            uint32_t extra =
                (aExtraBits && sym >= aExtraOffset) ? aExtraBits[sym - aExtraOffset] : 0;
            if (table) table[reversed] = uint32_t(sym) | uint32_t(len) << 16 | extra << 24;
            if (!FEncodes.empty()) FEncodes[sym] = reversed | uint32_t(len) << 16;
        }
    }
    FMask = ~uint32_t(size - 1);
    if (table) {
        const size_t fastSize = size_t(1) << fastBits;
        for (; size < fastSize; size *= 2)
            std::memcpy(table + size, table, size * sizeof(uint32_t));
    }
}

} // namespace arc

#include "archive/legacy/LegacyDecoders.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "archive/ZipFormat.h"
#include "archive/legacy/LegacyErrors.h"
#include "archive/legacy/SlidingWindowStream.h"
#include "runtime/Bytes.h"

namespace arc {

namespace {

// Match copies move 8 bytes at a time and may write up to 7 bytes past the
// match's end; the output buffer keeps that much room behind its end.
constexpr size_t kCopySlack = 8;

void Copy8(uint8_t* aDest, const uint8_t* aSrc) {
    uint64_t v;
    std::memcpy(&v, aSrc, 8);
    std::memcpy(aDest, &v, 8);
}

// Shrink's code table: codes 0-255 are the bytes, 256 the control code.
constexpr uint32_t kShrinkTableSize = 8192;
constexpr uint32_t kShrinkFirstFree = 257;
// The prefix field of the single bytes (and of codes never defined).
constexpr uint32_t kShrinkNoPrefix = kShrinkTableSize;

// Partial clear (APPNOTE 5.1): every code from 257 up to aNextFree that is
// not the prefix of a code in use is freed. Returns the new next free code,
// the lowest free one. Branch-free loops: a clear comes every few dozen KB.
uint32_t PartialClear(const uint32_t* aTable, uint8_t* aIsFree, uint32_t aNextFree) {
    uint8_t isParent[kShrinkTableSize + 1] = {}; // the last slot absorbs free codes
    for (uint32_t c = kShrinkFirstFree; c < kShrinkTableSize; ++c)
        isParent[aIsFree[c] ? kShrinkNoPrefix : aTable[c] & 0xFFFF] = 1;
    for (uint32_t c = kShrinkFirstFree; c < aNextFree; ++c)
        aIsFree[c] |= isParent[c] ^ 1;
    uint32_t next = kShrinkFirstFree;
    while (next < kShrinkTableSize && !aIsFree[next])
        ++next;
    return next;
}

uint32_t ReverseBits(uint32_t aValue, int aCount) {
    uint32_t result = 0;
    for (int i = 0; i < aCount; ++i, aValue >>= 1)
        result = result << 1 | (aValue & 1);
    return result;
}

} // namespace

// ---------------------------------------------------------------- Shannon-Fano

// The code of one implode tree (APPNOTE 5.3.8) as lookup tables. The values
// are sorted by bit length, then by value; walking from the last entry to the
// first, the first code is 0 and each next one is the previous plus
// 2^(16 - bit length of the previous entry), as 16-bit values aligned left.
// The stream sends a code's first bit first, so a code of length L matches
// when the next L input bits, least significant first, are its top L bits
// reversed.
//
// Decoding gives what a bit-by-bit search would: reading one bit more at a
// time, the first entry (in sorted order) whose code of the current length
// matches wins; when none matches up to the longest length, the value is 0
// and that many bits are consumed. Trees from a real encoder are complete
// prefix codes, where this is ordinary decoding; damaged ones still decode
// the same way everywhere.
class TArcUnzipHelper::TShannonFanoTree {
  public:
    static constexpr int kMaxLength = 16;
    static constexpr int kPrimaryBits = 10;

    // aLengths: the bit length (1 to 16) of each value 0 .. aValues - 1.
    void Build(const uint8_t* aLengths, int aValues);

    // The entry for the next input bits (least significant first): the value
    // in bits 0-7, the bits it takes in bits 8-12.
    uint32_t Lookup(uint64_t aBits) const {
        uint32_t entry = FPrimary[aBits & FPrimaryMask];
        if (entry & kLink)
            entry = FSecondary[(entry & 0xFFFF) + ((aBits >> FPrimaryBits) & FSecondaryMask)];
        return entry;
    }

  private:
    static constexpr uint32_t kLink = 0x80000000u;

    int FPrimaryBits = 1;
    uint32_t FPrimaryMask = 1;
    uint32_t FSecondaryMask = 0;
    std::vector<uint32_t> FPrimary;   // indexed by the first FPrimaryBits bits
    std::vector<uint32_t> FSecondary; // tables for the codes longer than that
};

void TArcUnzipHelper::TShannonFanoTree::Build(const uint8_t* aLengths, int aValues) {
    int order[256];
    std::iota(order, order + aValues, 0);
    std::stable_sort(order, order + aValues,
                     [&](int a, int b) { return aLengths[a] < aLengths[b]; });
    uint32_t codes[256];
    uint32_t code = 0;
    for (int i = aValues - 1; i >= 0; --i) {
        codes[order[i]] = code;
        code = (code + (1u << (kMaxLength - aLengths[order[i]]))) & 0xFFFF;
    }

    const int maxLength = aLengths[order[aValues - 1]];
    FPrimaryBits = std::min(maxLength, kPrimaryBits);
    const int secondaryBits = maxLength - FPrimaryBits;
    FPrimaryMask = (1u << FPrimaryBits) - 1;
    FSecondaryMask = (1u << secondaryBits) - 1;
    const uint32_t unmatched = uint32_t(maxLength) << 8;
    FPrimary.assign(size_t(1) << FPrimaryBits, unmatched);
    FSecondary.clear();

    // Entries are written from the last in sorted order to the first, so the
    // one a bit-by-bit search meets first is written last and wins.
    int i = aValues - 1;
    for (; i >= 0 && aLengths[order[i]] > FPrimaryBits; --i) {
        const int value = order[i], length = aLengths[value];
        const uint32_t bits = ReverseBits(codes[value] >> (kMaxLength - length), length);
        uint32_t& slot = FPrimary[bits & FPrimaryMask];
        if (!(slot & kLink)) {
            slot = kLink | static_cast<uint32_t>(FSecondary.size());
            FSecondary.resize(FSecondary.size() + (size_t(1) << secondaryBits), unmatched);
        }
        uint32_t* table = FSecondary.data() + (slot & 0xFFFF);
        const uint32_t entry = uint32_t(value) | uint32_t(length) << 8;
        for (uint32_t j = bits >> FPrimaryBits; j <= FSecondaryMask;
             j += 1u << (length - FPrimaryBits))
            table[j] = entry;
    }
    for (; i >= 0; --i) {
        const int value = order[i], length = aLengths[value];
        const uint32_t bits = ReverseBits(codes[value] >> (kMaxLength - length), length);
        const uint32_t entry = uint32_t(value) | uint32_t(length) << 8;
        for (uint32_t j = bits; j <= FPrimaryMask; j += 1u << length)
            FPrimary[j] = entry;
    }
}

// ---------------------------------------------------------------- the helper

TArcUnzipHelper::TArcUnzipHelper(rtl::TStream& aZStream, rtl::TStream& aOutStream)
    : FZStream(aZStream), FOutStream(aOutStream), FOutWriter(&aOutStream),
      FOutBuf(new uint8_t[kOutBufSize + kCopySlack]), FInBuf(new uint8_t[kInBufSize]) {}

TArcUnzipHelper::~TArcUnzipHelper() = default;

void TArcUnzipHelper::Execute() {
    std::unique_ptr<TArcSlidingWindowStream> window;
    FOutPos = 0;
    FOutSent = 0;
    WriteOut(); // sets the first write-out point
    switch (static_cast<TArcZipMethod>(FCompressionMethod)) {
    case TArcZipMethod::Shrunk:
        DecodeShrunk();
        break;
    case TArcZipMethod::Reduced1:
    case TArcZipMethod::Reduced2:
    case TArcZipMethod::Reduced3:
    case TArcZipMethod::Reduced4:
        window = std::make_unique<TArcSlidingWindowStream>(FOutStream);
        FOutWriter = window.get();
        DecodeReduced(FCompressionMethod - 1);
        break;
    case TArcZipMethod::Imploded:
        window = std::make_unique<TArcSlidingWindowStream>(FOutStream);
        FOutWriter = window.get();
        DecodeImploded();
        break;
    default:
        throw EArcZipInvalidMethod();
    }
    WriteOut();
}

uint64_t TArcUnzipHelper::LittleEndian64(uint64_t aWord) {
    uint8_t b[8];
    std::memcpy(b, &aWord, 8);
    return rtl::LoadLE64(b);
}

void TArcUnzipHelper::NeedBitsSlow() {
    while (FBitsLeft <= 56) {
        if (FInPos == FInCnt) {
            if (FInEof) return;
            FInPos = 0;
            FInCnt = FZStream.Read(FInBuf.get(), kInBufSize);
            if (FInCnt == 0) {
                FInEof = true;
                return;
            }
        }
        FCurByte |= uint64_t(FInBuf[FInPos++]) << FBitsLeft;
        FBitsLeft += 8;
    }
}

void TArcUnzipHelper::WriteOut() {
    if (FOutPos) FOutWriter->WriteBuffer(FOutBuf.get(), FOutPos);
    FOutSent += static_cast<int64_t>(FOutPos);
    FOutPos = 0;
    const int64_t left = FUnCompressedSize - FOutSent;
    FOutLimit = left > 0 && left < int64_t(kOutBufSize) ? static_cast<size_t>(left) : kOutBufSize;
}

void TArcUnzipHelper::PutBytes(const uint8_t* aData, size_t aCount) {
    while (aCount) {
        size_t n = std::min(aCount, FOutLimit - FOutPos);
        std::memcpy(FOutBuf.get() + FOutPos, aData, n);
        FOutPos += n;
        aData += n;
        aCount -= n;
        if (FOutPos >= FOutLimit) WriteOut();
    }
}

void TArcUnzipHelper::CopyMatch(uint32_t aDist, uint32_t aLen) {
    while (aLen) {
        size_t n = std::min<size_t>(aLen, FOutLimit - FOutPos);
        uint8_t* dest = FOutBuf.get() + FOutPos;
        if (aDist <= FOutPos) {
            const uint8_t* src = dest - aDist;
            if (aDist >= 8) {
                // Each 8-byte piece reads only bytes already final: the
                // source trails the destination by at least 8.
                for (size_t i = 0; i < n; i += 8)
                    Copy8(dest + i, src + i);
            } else if (aDist == 1) {
                std::memset(dest, *src, n);
            } else {
                for (size_t i = 0; i < n; ++i)
                    dest[i] = src[i];
            }
        } else {
            // The match starts in output already written out: those bytes
            // come back from the sliding window (zeros before the first one).
            const size_t older = aDist - FOutPos;
            n = std::min(n, older);
            FOutWriter->Seek(-static_cast<int64_t>(older), rtl::TSeekOrigin::soEnd);
            FOutWriter->ReadBuffer(dest, n);
        }
        FOutPos += n;
        aLen -= static_cast<uint32_t>(n);
        if (FOutPos >= FOutLimit) WriteOut();
    }
}

// ---------------------------------------------------------------- shrink

uint32_t TArcUnzipHelper::ReadWideCode(int aWidth) {
    // Only after more than seven width increases: codes of this width can
    // only be below 8,192 when every bit above the 16th is zero.
    uint32_t code = 0;
    for (int done = 0; done < aWidth && FBitsLeft >= 0;) {
        const int n = std::min(16, aWidth - done);
        NeedBits();
        const uint32_t piece = TakeBits(n);
        if (done == 0)
            code = piece;
        else if (piece)
            code = 0xFFFF;
        done += n;
    }
    return code;
}

// Writes the string of code aCode backwards into aDest[0, aLength), when its
// prefix chain is exactly aLength codes long; false (with aDest scribbled on)
// otherwise.
bool TArcUnzipHelper::WalkString(const uint32_t* aTable, uint32_t aCode, uint8_t* aDest,
                                 uint32_t aLength) {
    uint32_t entry = aTable[aCode];
    for (uint8_t* p = aDest + aLength - 1; p > aDest; --p) {
        if ((entry & 0xFFFF) == kShrinkNoPrefix) return false;
        *p = static_cast<uint8_t>(entry >> 16);
        entry = aTable[entry & 0xFFFF];
    }
    if ((entry & 0xFFFF) != kShrinkNoPrefix) return false;
    *aDest = static_cast<uint8_t>(entry >> 16);
    return true;
}

// LZW with 9- to 13-bit codes and partial clearing (APPNOTE 5.1).
void TArcUnzipHelper::DecodeShrunk() {
    constexpr uint32_t kTableSize = kShrinkTableSize;
    constexpr uint32_t kControlCode = 256;
    constexpr uint32_t kFirstFree = kShrinkFirstFree;
    constexpr uint32_t kNoPrefix = kShrinkNoPrefix;
    constexpr uint32_t kNone = 0xFFFFFFFF;

    // Entry: prefix code in bits 0-15, last byte in bits 16-23. A freed entry
    // keeps its content until it is used again, so codes defined on top of it
    // still stand for what they stood for.
    std::unique_ptr<uint32_t[]> table(new uint32_t[kTableSize]);
    std::unique_ptr<uint8_t[]> isFree(new uint8_t[kTableSize]);
    // The length of each code's string when it was defined: where to start
    // writing it backwards straight into the output. A chain through a freed
    // code that is used again later can change; WalkString notices.
    std::unique_ptr<uint16_t[]> lengths(new uint16_t[kTableSize]);
    for (uint32_t c = 0; c < kTableSize; ++c) {
        table[c] = kNoPrefix | (c < 256 ? c << 16 : 0);
        isFree[c] = c >= kFirstFree;
        lengths[c] = 1;
    }
    // A string is built backwards from its last byte; one byte more for the
    // repeated first byte of an undefined code.
    std::unique_ptr<uint8_t[]> stack(new uint8_t[kTableSize + 2]);
    uint8_t* const stackEnd = stack.get() + kTableSize + 2;
    const uint8_t* const stackLimit = stack.get() + 1;

    uint32_t nextFree = kFirstFree;
    uint32_t prev = kNone, prevLength = 0;
    int width = 9;
    auto readCode = [&](uint32_t& code) {
        if (width > 16) {
            code = ReadWideCode(width);
            return FBitsLeft >= 0;
        }
        NeedBits();
        if (FBitsLeft < width) return false; // no whole code is left
        code = TakeBits(width);
        return true;
    };
    for (;;) {
        uint32_t code;
        if (!readCode(code)) break;
        if (code == kControlCode) {
            uint32_t subcode;
            if (!readCode(subcode)) break;
            if (subcode == 1) {
                ++width;
            } else if (subcode == 2) {
                nextFree = PartialClear(table.get(), isFree.get(), nextFree);
            }
            continue;
        }
        if (code >= kTableSize) throw EArcZipLegacyData(kArcMsgShrinkInvalidCodeRes);

        // A code not yet defined stands for the previous string followed by
        // that string's first byte (the KwKwK case of LZW).
        const bool undefined = isFree[code] != 0;
        if (undefined && prev == kNone) throw EArcZipLegacyData(kArcMsgShrinkInvalidCodeRes);
        const uint32_t base = undefined ? prev : code;
        uint32_t length = lengths[base] + undefined;
        uint8_t* dest = FOutBuf.get() + FOutPos;
        bool direct = length <= FOutLimit - FOutPos;
        if (direct) {
            if (base < 256)
                dest[0] = static_cast<uint8_t>(base);
            else
                direct = WalkString(table.get(), base, dest, length - undefined);
        }
        uint8_t first;
        if (direct) {
            first = dest[0];
            if (undefined) dest[length - 1] = first;
            FOutPos += length;
            if (FOutPos >= FOutLimit) WriteOut();
        } else {
            // Near the buffer's end, or the chain changed under the recorded
            // length: build the string aside, bounded by the table size.
            uint8_t* p = stackEnd;
            uint32_t entry = table[base];
            if (undefined) --p;
            while ((entry & 0xFFFF) != kNoPrefix) {
                if (p == stackLimit) throw EArcZipLegacyData(kArcMsgShrinkChainTooLongRes);
                *--p = static_cast<uint8_t>(entry >> 16);
                entry = table[entry & 0xFFFF];
            }
            *--p = static_cast<uint8_t>(entry >> 16);
            first = *p;
            if (undefined) stackEnd[-1] = first;
            length = static_cast<uint32_t>(stackEnd - p);
            PutBytes(p, length);
        }

        if (prev != kNone && nextFree < kTableSize) {
            table[nextFree] = prev | uint32_t(first) << 16;
            lengths[nextFree] = static_cast<uint16_t>(prevLength + 1);
            isFree[nextFree] = 0;
            do
                ++nextFree;
            while (nextFree < kTableSize && !isFree[nextFree]);
        }
        prevLength = length;
        prev = code;
    }
}

// ---------------------------------------------------------------- reduce

// Follower sets and the 144-escape state machine (APPNOTE 5.2).
void TArcUnzipHelper::DecodeReduced(int aFactor) {
    static constexpr uint32_t kLengthMasks[] = {0, 127, 63, 31, 15};
    constexpr uint32_t kMarker = 144;
    if (aFactor < 1 || aFactor > 4) throw EArcZipInvalidFactor();
    const uint32_t mask = kLengthMasks[aFactor];

    // Each set: a 6-bit count N, then N bytes; an index takes B(N) bits, the
    // bits of N - 1 but at least one. An index past the set's end gives 0.
    struct TFollowers {
        uint8_t count = 0, indexBits = 1;
        uint8_t bytes[64] = {};
    };
    std::unique_ptr<TFollowers[]> sets(new TFollowers[256]);
    for (int v = 255; v >= 0; --v) {
        TFollowers& set = sets[v];
        NeedBits();
        set.count = static_cast<uint8_t>(TakeBits(6));
        while (set.indexBits < 6 && (1u << set.indexBits) < set.count)
            ++set.indexBits;
        for (int i = 0; i < set.count; ++i) {
            NeedBits();
            set.bytes[i] = static_cast<uint8_t>(TakeBits(8));
        }
        if (FBitsLeft < 0) return; // the sets run past the input
    }

    enum { kLiteral, kAfterMarker, kLongLength, kDistance } state = kLiteral;
    uint32_t last = 0, code = 0, length = 0;
    while (Remaining() > 0) {
        NeedBits();
        if (FBitsLeft <= 0) break;
        const TFollowers& set = sets[last];
        uint32_t c;
        if (set.count == 0 || TakeBits(1))
            c = TakeBits(8);
        else
            c = set.bytes[TakeBits(set.indexBits)];
        if (FBitsLeft < 0) break;
        last = c;
        switch (state) {
        case kLiteral:
            if (c == kMarker)
                state = kAfterMarker;
            else
                PutByte(static_cast<uint8_t>(c));
            break;
        case kAfterMarker:
            if (c == 0) {
                PutByte(kMarker);
                state = kLiteral;
            } else {
                code = c;
                length = c & mask;
                state = length == mask ? kLongLength : kDistance;
            }
            break;
        case kLongLength:
            length += c;
            state = kDistance;
            break;
        case kDistance: {
            const uint32_t dist = (code >> (8 - aFactor)) * 256 + c + 1;
            CopyMatch(dist, static_cast<uint32_t>(std::min<int64_t>(length + 3, Remaining())));
            state = kLiteral;
            break;
        }
        }
    }
}

// ---------------------------------------------------------------- implode

bool TArcUnzipHelper::ReadTree(TShannonFanoTree& aTree, int aValues) {
    // A byte count - 1, then per byte: bit length - 1 in the low nibble, the
    // number of consecutive values with that length - 1 in the high nibble.
    uint8_t lengths[256];
    NeedBits();
    const int bytes = static_cast<int>(TakeBits(8)) + 1;
    int filled = 0;
    for (int i = 0; i < bytes; ++i) {
        NeedBits();
        const uint32_t b = TakeBits(8);
        if (FBitsLeft < 0) return false;
        const int count = static_cast<int>(b >> 4) + 1;
        if (filled + count > aValues) throw EArcZipLegacyData(kArcMsgImplodeBadTreeRes);
        std::memset(lengths + filled, static_cast<int>(b & 15) + 1, static_cast<size_t>(count));
        filled += count;
    }
    if (filled != aValues) throw EArcZipLegacyData(kArcMsgImplodeBadTreeRes);
    aTree.Build(lengths, aValues);
    return true;
}

uint32_t TArcUnzipHelper::DecodeSymbol(const TShannonFanoTree& aTree) {
    const uint32_t entry = aTree.Lookup(FCurByte);
    DropBits(static_cast<int>(entry >> 8));
    return entry & 0xFF;
}

// Literals and (distance, length) pairs over a 4 or 8 KiB dictionary
// (APPNOTE 5.3).
void TArcUnzipHelper::DecodeImploded() {
    const bool threeTrees = FShannonFanoTreeCount == 3;
    const int lowBits = FDictionarySize == 8192 ? 7 : 6;
    const uint32_t minMatch = threeTrees ? 3 : 2;
    TShannonFanoTree literals, lengths, distances;
    if (threeTrees && !ReadTree(literals, 256)) return;
    if (!ReadTree(lengths, 64) || !ReadTree(distances, 64)) return;

    // One round takes at most 1 + 7 + 16 + 16 + 8 bits, within what
    // NeedBits provides.
    while (Remaining() > 0) {
        NeedBits();
        if (FBitsLeft <= 0) break;
        if (TakeBits(1)) {
            const uint32_t c = threeTrees ? DecodeSymbol(literals) : TakeBits(8);
            if (FBitsLeft < 0) break;
            PutByte(static_cast<uint8_t>(c));
        } else {
            uint32_t dist = TakeBits(lowBits);
            dist |= DecodeSymbol(distances) << lowBits;
            uint32_t length = DecodeSymbol(lengths);
            if (length == 63) length += TakeBits(8);
            length += minMatch;
            if (FBitsLeft < 0) break;
            CopyMatch(dist + 1, static_cast<uint32_t>(std::min<int64_t>(length, Remaining())));
        }
    }
}

} // namespace arc

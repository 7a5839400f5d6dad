#include "archive/deflate/Inflate.h"

#include "archive/ArcErrors.h"
#include "archive/deflate/DfBitStream.h"
#include "archive/deflate/DfErrors.h"
#include "archive/deflate/DfHuffman.h"
#include "archive/deflate/DfLookupTable.h"
#include "archive/deflate/DfOutputWindow.h"

namespace arc {

// The symbol loop's helpers must be inlined: its state lives in locals that
// they share, which stay in registers only when no helper is called.
#define DF_INLINE __attribute__((always_inline))

// One decoding run: the block loop of RFC 1951 section 3.2.3 over a bit reader
// and an output window.
class TArcDfInflater {
  public:
    TArcDfInflater(rtl::TStream& aSource, rtl::TStream& aDest, const TArcDeflateHelper& aOptions)
        : FDeflate64((aOptions.FOptions & TArcDeflateHelper::kDeflate64) != 0),
          FIn(aSource, aOptions.FStreamSize, aOptions.FOnProgressStep),
          FOut(aDest, FDeflate64, (aOptions.FOptions & TArcDeflateHelper::kUseAdler32) == 0,
               aOptions.FPartSize, (aOptions.FOptions & TArcDeflateHelper::kTestOnly) != 0,
               !aOptions.FSkipChecksum),
          FCodeLengthTree(kDfCodeLengthAlphabet, TArcDfHuffmanUsage::huDecoding,
                          kDfMaxCodeLengthCodeLength),
          FLiteralTable(TArcDfLookupTable::TKind::ktLiteralLength, FDeflate64),
          FDistanceTable(TArcDfLookupTable::TKind::ktDistance, FDeflate64) {}

    uint32_t Run();
    int64_t BytesConsumed() const { return FIn.ByteCount(); }
    int64_t BytesProduced() const { return FOut.Position(); }

  private:
    void InflateStoredBlock();
    void InflateDynamicBlock();
    // aLengths is restrict: its byte stores could otherwise alias the bit
    // reader's fields and force them back to memory after every length.
    void ReadLitDistCodeLengths(uint8_t* __restrict aLengths, int aCount);
    void DecodeData(const TArcDfLookupTable& aLiterals, const TArcDfLookupTable& aDistances);
    template <bool kDeflate64>
    inline DF_INLINE void DecodeSymbols(const TArcDfLookupTable& aLiterals,
                                        const TArcDfLookupTable& aDistances);
    template <bool kDeflate64>
    void DecodeSymbolsPlain(const TArcDfLookupTable& aLiterals,
                            const TArcDfLookupTable& aDistances) {
        DecodeSymbols<kDeflate64>(aLiterals, aDistances);
    }
#if defined(__x86_64__) || defined(__i386__)
    // The same loop compiled for processors with BMI2, whose shifts by a
    // register count and bit-field extracts take one instruction each: most of
    // the loop's work.
    template <bool kDeflate64>
    __attribute__((target("bmi2"))) void DecodeSymbolsBmi2(const TArcDfLookupTable& aLiterals,
                                                           const TArcDfLookupTable& aDistances) {
        DecodeSymbols<kDeflate64>(aLiterals, aDistances);
    }
#endif

    bool FDeflate64;
    TArcDfInBitStream FIn;
    TArcDfOutputWindow FOut;
    TArcDfDecodeHuffmanTree FCodeLengthTree;
    TArcDfLookupTable FLiteralTable;
    TArcDfLookupTable FDistanceTable;
    std::vector<uint8_t> FStoredPiece;
};

void TArcDfInflater::DecodeData(const TArcDfLookupTable& aLiterals,
                                const TArcDfLookupTable& aDistances) {
#if defined(__x86_64__) || defined(__i386__)
    static const bool hasBmi2 = (__builtin_cpu_init(), __builtin_cpu_supports("bmi2"));
    if (hasBmi2) {
        if (FDeflate64)
            DecodeSymbolsBmi2<true>(aLiterals, aDistances);
        else
            DecodeSymbolsBmi2<false>(aLiterals, aDistances);
        return;
    }
#endif
    if (FDeflate64)
        DecodeSymbolsPlain<true>(aLiterals, aDistances);
    else
        DecodeSymbolsPlain<false>(aLiterals, aDistances);
}

uint32_t TArcDfInflater::Run() {
    enum { kStored = 0, kFixed = 1, kDynamic = 2 };
    bool last;
    do {
        last = FIn.ReadBit() != 0;
        switch (FIn.ReadBits(2)) {
        case kStored:
            InflateStoredBlock();
            break;
        case kFixed:
            DecodeData(DfFixedLiteralTable(FDeflate64), DfFixedDistanceTable(FDeflate64));
            break;
        case kDynamic:
            InflateDynamicBlock();
            break;
        default:
            RaiseInflateCause(kDfCauseInvalidBlockTypeRes);
        }
    } while (!last);
    FOut.Flush();
    return FOut.Checksum();
}

void TArcDfInflater::InflateStoredBlock() {
    FIn.AlignToByte();
    uint32_t len = FIn.ReadBits(16);
    uint32_t nlen = FIn.ReadBits(16);
    if ((len ^ 0xFFFFu) != nlen) RaiseInflateCause(kDfCauseStoredLengthRes);
    if (FStoredPiece.empty()) FStoredPiece.resize(TArcDfInBitStream::kBufferSize);
    while (len) {
        size_t n = len < FStoredPiece.size() ? len : FStoredPiece.size();
        FIn.ReadBuffer(FStoredPiece.data(), n);
        FOut.AddBuffer(FStoredPiece.data(), n);
        len -= static_cast<uint32_t>(n);
    }
}

void TArcDfInflater::InflateDynamicBlock() {
    int hlit = static_cast<int>(FIn.ReadBits(5)) + 257;
    int hdist = static_cast<int>(FIn.ReadBits(5)) + 1;
    int hclen = static_cast<int>(FIn.ReadBits(4)) + 4;
    if (hlit > kDfLiteralAlphabet) RaiseInflateCause(kDfCauseTooManyLiteralCodesRes);
    if (!FDeflate64 && hdist > kDfDistanceAlphabet)
        RaiseInflateCause(kDfCauseTooManyDistanceCodesRes);

    uint8_t codeLengthLengths[kDfCodeLengthAlphabet] = {};
    for (int i = 0; i < hclen; ++i)
        codeLengthLengths[kDfCodeLengthOrder[i]] = static_cast<uint8_t>(FIn.ReadBits(3));
    FCodeLengthTree.Build(codeLengthLengths, 0, kDfCodeLengthAlphabet, kDfCodeLengthExtra, 16);

    uint8_t lengths[kDfLiteralAlphabet + kDfDistanceAlphabet64];
    ReadLitDistCodeLengths(lengths, hlit + hdist);
    FLiteralTable.Build(lengths, hlit);
    FDistanceTable.Build(lengths + hlit, hdist);
    DecodeData(FLiteralTable, FDistanceTable);
}

void TArcDfInflater::ReadLitDistCodeLengths(uint8_t* __restrict aLengths, int aCount) {
    const int maxLen = FCodeLengthTree.LookupBitLength();
    int i = 0;
    while (i < aCount) {
        uint32_t peeked = FIn.PeekBits(maxLen + 7);
        uint32_t entry = FCodeLengthTree.Decode(peeked);
        uint32_t symbol = TArcDfDecodeHuffmanTree::EntrySymbol(entry);
        int codeLen = static_cast<int>(TArcDfDecodeHuffmanTree::EntryCodeLength(entry));
        if (symbol > 18) RaiseInflateCause(kDfCauseCodeLengthSymbolRes);
        if (codeLen == 0 || codeLen > maxLen) RaiseInflateCause(kDfCauseCodeLengthRangeRes);
        if (symbol < 16) {
            FIn.DiscardBits(codeLen);
            aLengths[i++] = static_cast<uint8_t>(symbol);
            continue;
        }
        int extra = static_cast<int>(TArcDfDecodeHuffmanTree::EntryExtraBits(entry));
        int repeat = static_cast<int>((peeked >> codeLen) & ((1u << extra) - 1));
        FIn.DiscardBits(codeLen + extra);
        uint8_t value = 0;
        int count;
        if (symbol == 16) {
            // The previous length may be the last literal/length one: both lists
            // form one sequence (RFC 1951 section 3.2.7).
            if (i == 0) RaiseInflateCause(kDfCauseRepeatWithoutPreviousRes);
            value = aLengths[i - 1];
            count = 3 + repeat;
        } else if (symbol == 17) {
            count = 3 + repeat;
        } else {
            count = 11 + repeat;
        }
        if (count > aCount - i) RaiseInflateCause(kDfCauseRepeatPastEndRes);
        while (count--)
            aLengths[i++] = value;
    }
}

// The symbol loop of RFC 1951 section 3.2.5, in two forms over the same state.
//
// The fast loop runs while the input buffer holds at least kInputMargin more
// bytes and the window has room for three more literals before its limit. Then
// every code and its extra bits are known to lie in the buffer, so it refills
// the bit buffer without branches, 64 bits at a time (where the bit reader
// takes 32: the purpose, whole words from the 16 KiB buffer and no reads
// from the source inside the loop, is the same), and checks neither the
// bits it consumes nor the literals it stores. Near either end the careful
// loop takes over, one step at a time: it refills 32 bits at a time from the
// bit reader, checks every consume against the end of the data, and checks the
// limit after every literal, exactly as the bit reader's own operations would.
//
// Both loops decode in the same order and raise the same errors: a literal
// pair, then a length and its distance; an invalid symbol is reported before
// its bits are consumed. The fast loop hands over only between steps, and then
// puts back the bytes it read ahead, so that the bit reader is left as its own
// 32-bit refills would have left it: the source is read at the same points
// either way, and what the engine reports (bytes consumed, progress, errors)
// does not depend on which loop ran.
template <bool kDeflate64>
inline DF_INLINE void TArcDfInflater::DecodeSymbols(const TArcDfLookupTable& aLiterals,
                                                    const TArcDfLookupTable& aDistances) {
    using namespace dfentry;
    // Enough for the reads of one fast step and for handing over after it: up
    // to three 8-byte refills, each at most 11 bytes past the step's start.
    constexpr ptrdiff_t kInputMargin = 32;
    constexpr int kLitBits = TArcDfLookupTable::kLiteralMainBits;
    constexpr int kDistBits = TArcDfLookupTable::kDistanceMainBits;
    const uint32_t* const litTable = aLiterals.Entries();
    const uint32_t* const distTable = aDistances.Entries();
    const rtl::TResStringRec& distanceCause =
        kDeflate64 ? kDfCauseInvalidDistanceSymbol64Res : kDfCauseInvalidDistanceSymbolRes;

    uint64_t bits = FIn.FBitBuffer;
    int bitsLeft = FIn.FBitsLeft;
    const uint8_t* const inBase = FIn.FBuffer.get();
    const uint8_t* inPos = inBase + FIn.FBufPos;
    const uint8_t* inEnd = inBase + FIn.FBufEnd;
    uint8_t* const outBase = FOut.FBuffer;
    uint8_t* cur = FOut.FCurrent;
    uint8_t* limit = FOut.FLimit;

    // A code's entry, resolved through its subtable when it has one. Only the
    // bits of the code itself decide the entry.
    auto lookup = [&](const uint32_t* table, int mainBits) DF_INLINE {
        uint32_t entry = table[bits & ((1u << mainBits) - 1)];
        if (entry & kPointer) [[unlikely]]
            entry = table[(entry >> kValueShift) + ((bits >> mainBits) & (entry & 0xFF))];
        return entry;
    };
    // A length or distance: the base plus the extra bits that follow the code.
    // In a length or distance entry the bits above the code length's four,
    // up to the shift's six, are clear (no pointer, no end of block), so the
    // shift needs no mask of its own.
    auto valueOf = [&](uint32_t entry) DF_INLINE {
        const uint32_t total = entry & kConsumeMask;
        const uint32_t codeLen = (entry >> kCodeLengthShift) & 0x3F;
        return (entry >> kValueShift) +
               static_cast<uint32_t>((bits & ((uint64_t(1) << total) - 1)) >> codeLen);
    };
    auto copyMatch = [&](uint32_t length, uint32_t distance) DF_INLINE {
        // The window holds all output since the last slide kept at least the
        // format's largest distance, so this one check also catches distances
        // reaching before the first byte of output.
        if (distance > static_cast<size_t>(cur - outBase)) [[unlikely]]
            RaiseInflateCause(kDfCauseDistanceTooFarRes);
        TArcDfOutputWindow::CopyMatch(cur, distance, length);
        cur += length;
    };

    // The fast loop's state: the bits above the count held are not zero but
    // the stream's own next bits (a refill counts whole bytes only), so the
    // next refill ORs the same bits in again. The 64-bit refill leaves 56 to 63
    // bits. The count is kept in the low byte of fastLeft only: a consume
    // subtracts the whole entry, whose low byte is the count it consumes
    // (bits 6 and 7 are clear), which saves masking the entry on every symbol;
    // the bits above the low byte are left as they fall.
    uint32_t fastLeft = 0;
    auto refillFast = [&]() DF_INLINE {
        bits |= rtl::LoadLE64(inPos) << (fastLeft & 63);
        inPos += 7 - ((fastLeft >> 3) & 7);
        fastLeft |= 56;
    };
    auto consumeFast = [&](uint32_t entry) DF_INLINE {
        bits >>= entry & kConsumeMask;
        fastLeft -= entry;
    };
    auto enterFast = [&]() DF_INLINE { fastLeft = static_cast<uint32_t>(bitsLeft); };
    // Hand-over to the careful state: from 56-63 bits, put back up to three
    // whole bytes so that the unread bytes of the buffer again number aResidue
    // modulo 4, as 32-bit refills keep them; 32 to 63 bits are then held, the
    // state a 32-bit refill would have reached at this point.
    auto leaveFast = [&](int aResidue) DF_INLINE {
        refillFast();
        bitsLeft = static_cast<int>(fastLeft & 0xFF);
        const int back = (aResidue - static_cast<int>(inEnd - inPos)) & 3;
        inPos -= back;
        bitsLeft -= 8 * back;
        bits &= (uint64_t(1) << bitsLeft) - 1;
    };

    // The careful loop's state is the bit reader's: zeros above bitsLeft.
    auto saveInput = [&]() DF_INLINE {
        FIn.FBitBuffer = bits;
        FIn.FBitsLeft = bitsLeft;
        FIn.FBufPos = static_cast<size_t>(inPos - inBase);
    };
    auto loadInput = [&]() DF_INLINE {
        bits = FIn.FBitBuffer;
        bitsLeft = FIn.FBitsLeft;
        inPos = inBase + FIn.FBufPos;
        inEnd = inBase + FIn.FBufEnd;
    };
    // At least 32 bits afterwards unless the data ends: enough for the longest
    // code with its extra bits (15 + 16 for deflate64's length 285, 15 + 14 for
    // a distance).
    auto refill = [&]() DF_INLINE {
        if (bitsLeft < 32) {
            if (inEnd - inPos >= 4) {
                bits |= uint64_t(rtl::LoadLE32(inPos)) << bitsLeft;
                inPos += 4;
                bitsLeft += 32;
            } else {
                saveInput();
                FIn.FillSlow();
                loadInput();
            }
        }
    };
    auto consume = [&](uint32_t entry) DF_INLINE {
        const int count = static_cast<int>(entry & kConsumeMask);
        if (count > bitsLeft) [[unlikely]]
            RaiseInflateCause(kDfCauseNoMoreDataDiscardRes);
        bits >>= count;
        bitsLeft -= count;
    };
    // The window's limit: slide (or stop at the partial size).
    auto outputLimit = [&]() DF_INLINE {
        FOut.FCurrent = cur;
        FOut.LimitReached();
        cur = FOut.FCurrent;
        limit = FOut.FLimit;
    };
    auto fastRoom = [&]() DF_INLINE { return inEnd - inPos >= kInputMargin && limit - cur > 3; };

    for (;;) {
        if (fastRoom()) {
            const int residue = static_cast<int>(inEnd - inPos) & 3;
            // The same test as fastRoom's, against ends computed once.
            const uint8_t* const inFastEnd = inEnd - kInputMargin;
            uint8_t* outFastEnd = limit - 3;
            // Each step starts with 56 or more bits held and its first entry
            // looked up. The next step's entry is looked up before the refill
            // that ends a step, from the bits still held (at least 16 real
            // ones, as the refill left all 64 real), so that the refill's load
            // does not delay it.
            enterFast();
            refillFast();
            uint32_t entry = lookup(litTable, kLitBits);
            do {
                if (static_cast<int32_t>(entry) < 0) {
                    // Three literals take at most 45 of the 64 real bits, and
                    // the next code's 15 still lie within them.
                    consumeFast(entry);
                    *cur++ = static_cast<uint8_t>(entry >> kValueShift);
                    entry = lookup(litTable, kLitBits);
                    if (static_cast<int32_t>(entry) < 0) {
                        consumeFast(entry);
                        *cur++ = static_cast<uint8_t>(entry >> kValueShift);
                        entry = lookup(litTable, kLitBits);
                        if (static_cast<int32_t>(entry) < 0) {
                            consumeFast(entry);
                            *cur++ = static_cast<uint8_t>(entry >> kValueShift);
                            entry = lookup(litTable, kLitBits);
                            refillFast();
                            continue;
                        }
                    }
                    refillFast();
                }
                if (entry & (kEndOfBlock | kInvalid)) [[unlikely]] {
                    if (entry & kInvalid) RaiseInflateCause(kDfCauseInvalidLengthSymbolRes);
                    leaveFast(residue);
                    consume(entry);
                    FOut.FCurrent = cur;
                    saveInput();
                    return;
                }
                // Deflate: a length takes at most 20 bits and a distance 28, so
                // the 56 bits of one refill hold both; deflate64's lengths take
                // up to 31 and need a refill in between.
                const uint32_t length = valueOf(entry);
                consumeFast(entry);
                if constexpr (kDeflate64) refillFast();
                entry = lookup(distTable, kDistBits);
                if (entry & kInvalid) [[unlikely]]
                    RaiseInflateCause(distanceCause);
                const uint32_t distance = valueOf(entry);
                consumeFast(entry);
                entry = lookup(litTable, kLitBits);
                refillFast();
                copyMatch(length, distance);
                if (cur >= limit) [[unlikely]] {
                    outputLimit();
                    outFastEnd = limit - 3;
                }
            } while (inPos <= inFastEnd && cur < outFastEnd);
            leaveFast(residue);
        }

        // One careful step.
        refill();
        uint32_t entry = lookup(litTable, kLitBits);
        if (static_cast<int32_t>(entry) < 0) {
            // A literal takes at most 15 of the 32 bits held, so a second one
            // can follow without a refill.
            consume(entry);
            *cur++ = static_cast<uint8_t>(entry >> kValueShift);
            entry = lookup(litTable, kLitBits);
            if (static_cast<int32_t>(entry) < 0) {
                consume(entry);
                *cur++ = static_cast<uint8_t>(entry >> kValueShift);
                if (cur >= limit) [[unlikely]] {
                    saveInput();
                    outputLimit();
                }
                continue;
            }
            if (cur >= limit) [[unlikely]] {
                saveInput();
                outputLimit();
                continue;
            }
            // Refilling appends bits above those the entry was found with.
            refill();
        }
        if (entry & kEndOfBlock) {
            consume(entry);
            break;
        }
        if (entry & kInvalid) [[unlikely]]
            RaiseInflateCause(kDfCauseInvalidLengthSymbolRes);
        const uint32_t length = valueOf(entry);
        consume(entry);

        refill();
        entry = lookup(distTable, kDistBits);
        if (entry & kInvalid) [[unlikely]]
            RaiseInflateCause(distanceCause);
        const uint32_t distance = valueOf(entry);
        consume(entry);
        copyMatch(length, distance);
        if (cur >= limit) {
            saveInput();
            outputLimit();
        }
    }
    FOut.FCurrent = cur;
    saveInput();
}

uint32_t Inflate(rtl::TStream& aSource, rtl::TStream& aDest, TArcDeflateHelper& aHelper) {
    const TArcDeflateHelper options = aHelper;
    TArcDfInflater inflater(aSource, aDest, options);
    struct TReportSizes {
        TArcDfInflater& inflater;
        TArcDeflateHelper& helper;
        ~TReportSizes() {
            helper.FSizeCompressed = inflater.BytesConsumed();
            helper.FSizeNormal = inflater.BytesProduced();
        }
    } reportSizes{inflater, aHelper};
    try {
        return inflater.Run();
    } catch (const EArcInternalInflateError& e) {
        throw EArcInflateError(e);
    } catch (const EArcPartSizedInflate&) {
        return 0;
    } catch (const EArcAbortProgress&) {
        return 0;
    }
}

} // namespace arc

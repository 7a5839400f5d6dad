#include "archive/deflate/Inflate.h"

#include "archive/ArcErrors.h"
#include "archive/deflate/DfBitStream.h"
#include "archive/deflate/DfErrors.h"
#include "archive/deflate/DfHuffman.h"
#include "archive/deflate/DfOutputWindow.h"

namespace arc {

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
          FLiteralTree(kDfLiteralAlphabet, TArcDfHuffmanUsage::huDecoding, kDfMaxCodeLength),
          FDistanceTree(FDeflate64 ? kDfDistanceAlphabet64 : kDfDistanceAlphabet,
                        TArcDfHuffmanUsage::huDecoding, kDfMaxCodeLength) {}

    uint32_t Run();
    int64_t BytesConsumed() const { return FIn.ByteCount(); }
    int64_t BytesProduced() const { return FOut.Position(); }

  private:
    void InflateStoredBlock();
    void InflateDynamicBlock();
    void ReadLitDistCodeLengths(uint8_t* aLengths, int aCount);
    void DecodeData(const TArcDfDecodeHuffmanTree& aLiterals,
                    const TArcDfDecodeHuffmanTree& aDistances) {
        if (FDeflate64)
            DecodeSymbols<true>(aLiterals, aDistances);
        else
            DecodeSymbols<false>(aLiterals, aDistances);
    }
    template <bool kDeflate64>
    void DecodeSymbols(const TArcDfDecodeHuffmanTree& aLiterals,
                       const TArcDfDecodeHuffmanTree& aDistances);

    bool FDeflate64;
    TArcDfInBitStream FIn;
    TArcDfOutputWindow FOut;
    TArcDfDecodeHuffmanTree FCodeLengthTree;
    TArcDfDecodeHuffmanTree FLiteralTree;
    TArcDfDecodeHuffmanTree FDistanceTree;
    std::vector<uint8_t> FStoredPiece;
};

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
            DecodeData(DfFixedLiteralTree(FDeflate64), DfFixedDistanceTree());
            break;
        case kDynamic:
            InflateDynamicBlock();
            break;
        default:
            RaiseInflateCause(kDfCauseInvalidBlockType);
        }
    } while (!last);
    FOut.Flush();
    return FOut.Checksum();
}

void TArcDfInflater::InflateStoredBlock() {
    FIn.AlignToByte();
    uint32_t len = FIn.ReadBits(16);
    uint32_t nlen = FIn.ReadBits(16);
    if ((len ^ 0xFFFFu) != nlen) RaiseInflateCause(kDfCauseStoredLength);
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
    if (hlit > kDfLiteralAlphabet) RaiseInflateCause(kDfCauseTooManyLiteralCodes);
    if (!FDeflate64 && hdist > kDfDistanceAlphabet) RaiseInflateCause(kDfCauseTooManyDistanceCodes);

    uint8_t codeLengthLengths[kDfCodeLengthAlphabet] = {};
    for (int i = 0; i < hclen; ++i)
        codeLengthLengths[kDfCodeLengthOrder[i]] = static_cast<uint8_t>(FIn.ReadBits(3));
    FCodeLengthTree.Build(codeLengthLengths, 0, kDfCodeLengthAlphabet, kDfCodeLengthExtra, 16);

    uint8_t lengths[kDfLiteralAlphabet + kDfDistanceAlphabet64];
    ReadLitDistCodeLengths(lengths, hlit + hdist);
    FLiteralTree.Build(lengths, 0, hlit, FDeflate64 ? kDfLengthExtra64 : kDfLengthExtra,
                       kDfFirstLengthSymbol);
    FDistanceTree.Build(lengths, hlit, hdist, kDfDistanceExtra, 0);
    DecodeData(FLiteralTree, FDistanceTree);
}

void TArcDfInflater::ReadLitDistCodeLengths(uint8_t* aLengths, int aCount) {
    const int maxLen = FCodeLengthTree.LookupBitLength();
    int i = 0;
    while (i < aCount) {
        uint32_t peeked = FIn.PeekBits(maxLen + 7);
        uint32_t entry = FCodeLengthTree.Decode(peeked);
        uint32_t symbol = TArcDfDecodeHuffmanTree::EntrySymbol(entry);
        int codeLen = static_cast<int>(TArcDfDecodeHuffmanTree::EntryCodeLength(entry));
        if (symbol > 18) RaiseInflateCause(kDfCauseCodeLengthSymbol);
        if (codeLen == 0 || codeLen > maxLen) RaiseInflateCause(kDfCauseCodeLengthRange);
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
            if (i == 0) RaiseInflateCause(kDfCauseRepeatWithoutPrevious);
            value = aLengths[i - 1];
            count = 3 + repeat;
        } else if (symbol == 17) {
            count = 3 + repeat;
        } else {
            count = 11 + repeat;
        }
        if (count > aCount - i) RaiseInflateCause(kDfCauseRepeatPastEnd);
        while (count--)
            aLengths[i++] = value;
    }
}

// The hot loop. The reader's and window's state lives in locals while it runs
// and goes back to the objects around the rare calls that need it (refilling
// the input buffer, sliding the window).
template <bool kDeflate64>
void TArcDfInflater::DecodeSymbols(const TArcDfDecodeHuffmanTree& aLiterals,
                                   const TArcDfDecodeHuffmanTree& aDistances) {
    const uint32_t* const litTable = aLiterals.Table();
    const uint32_t* const distTable = aDistances.Table();
    constexpr uint32_t kFastBits = TArcDfDecodeHuffmanTree::kFastLookupBits;
    constexpr uint32_t kFastMask = (1u << kFastBits) - 1;
    const uint16_t* const lengthBase = kDeflate64 ? kDfLengthBase64 : kDfLengthBase;
    const uint32_t maxDistanceSymbol = kDeflate64 ? 31 : 29;
    const char* const distanceCause =
        kDeflate64 ? kDfCauseInvalidDistanceSymbol64 : kDfCauseInvalidDistanceSymbol;

    uint64_t bits = FIn.FBitBuffer;
    int bitsLeft = FIn.FBitsLeft;
    const uint8_t* const inBase = FIn.FBuffer.get();
    const uint8_t* inPos = inBase + FIn.FBufPos;
    const uint8_t* inEnd = inBase + FIn.FBufEnd;
    uint8_t* const outBase = FOut.FBuffer;
    uint8_t* cur = FOut.FCurrent;
    uint8_t* limit = FOut.FLimit;

    auto saveInput = [&] {
        FIn.FBitBuffer = bits;
        FIn.FBitsLeft = bitsLeft;
        FIn.FBufPos = static_cast<size_t>(inPos - inBase);
    };
    auto loadInput = [&] {
        bits = FIn.FBitBuffer;
        bitsLeft = FIn.FBitsLeft;
        inPos = inBase + FIn.FBufPos;
        inEnd = inBase + FIn.FBufEnd;
    };
    // At least 32 bits afterwards unless the data ends: enough for the longest
    // code with its extra bits (15 + 16 for deflate64's length 285, 15 + 14 for
    // a distance).
    auto refill = [&] {
        if (bitsLeft < 32) {
            if (inEnd - inPos >= 4) {
                bits |= uint64_t(TArcDfInBitStream::LoadWord(inPos)) << bitsLeft;
                inPos += 4;
                bitsLeft += 32;
            } else {
                saveInput();
                FIn.FillSlow();
                loadInput();
            }
        }
    };
    auto consume = [&](uint32_t count) {
        if (static_cast<int>(count) > bitsLeft) [[unlikely]]
            RaiseInflateCause(kDfCauseNoMoreDataDiscard);
        bits >>= count;
        bitsLeft -= static_cast<int>(count);
    };
    // Every slot of a table holds the entry of the code its low bits begin with,
    // so the first 2^kFastBits slots already resolve every code of up to
    // kFastBits bits: nearly all codes are found there, in a part of the table
    // small enough to stay in the L1 cache. Longer codes (and empty slots) take
    // the slot the full lookup width selects.
    auto lookup = [&](const uint32_t* table, const TArcDfDecodeHuffmanTree& tree) {
        uint32_t entry = table[bits & kFastMask];
        if (((entry >> 16) & 0xFF) > kFastBits) [[unlikely]]
            entry = table[bits & tree.LookupMask()];
        return entry;
    };
    auto outputLimit = [&] {
        FOut.FCurrent = cur;
        saveInput();
        FOut.LimitReached();
        cur = FOut.FCurrent;
        limit = FOut.FLimit;
    };

    for (;;) {
        refill();
        uint32_t entry = lookup(litTable, aLiterals);
        if ((entry & 0xFFFF) < 256) {
            // A literal takes at most 15 of the 32 bits held, so a second one
            // can follow without a refill.
            consume((entry >> 16) & 0xFF);
            *cur++ = static_cast<uint8_t>(entry);
            entry = lookup(litTable, aLiterals);
            if ((entry & 0xFFFF) < 256) {
                consume((entry >> 16) & 0xFF);
                *cur++ = static_cast<uint8_t>(entry);
                if (cur >= limit) [[unlikely]]
                    outputLimit();
                continue;
            }
            if (cur >= limit) [[unlikely]] {
                outputLimit();
                continue;
            }
            // Refilling appends bits above those the entry was found with.
            refill();
        }
        uint32_t symbol = entry & 0xFFFF;
        uint32_t codeLen = (entry >> 16) & 0xFF;
        if (symbol == kDfEndOfBlock) {
            consume(codeLen);
            break;
        }
        if (symbol > kDfLastLengthSymbol) [[unlikely]]
            RaiseInflateCause(kDfCauseInvalidLengthSymbol);
        uint32_t extra = entry >> 24;
        uint32_t length = lengthBase[symbol - kDfFirstLengthSymbol] +
                          static_cast<uint32_t>((bits >> codeLen) & ((1u << extra) - 1));
        consume(codeLen + extra);

        refill();
        entry = lookup(distTable, aDistances);
        symbol = entry & 0xFFFF;
        if (symbol > maxDistanceSymbol) [[unlikely]]
            RaiseInflateCause(distanceCause);
        codeLen = (entry >> 16) & 0xFF;
        extra = entry >> 24;
        uint32_t distance = kDfDistanceBase[symbol] +
                            static_cast<uint32_t>((bits >> codeLen) & ((1u << extra) - 1));
        consume(codeLen + extra);

        // The window holds all output since the last slide kept at least the
        // format's largest distance, so this one check also catches distances
        // reaching before the first byte of output.
        if (distance > static_cast<size_t>(cur - outBase)) [[unlikely]]
            RaiseInflateCause(kDfCauseDistanceTooFar);
        TArcDfOutputWindow::CopyMatch(cur, distance, length);
        cur += length;
        if (cur >= limit) outputLimit();
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
        throw EArcInflateError(e.Message());
    } catch (const EArcPartSizedInflate&) {
        return 0;
    } catch (const EArcAbortProgress&) {
        return 0;
    }
}

} // namespace arc

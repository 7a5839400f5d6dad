#pragma once
// Decoders for the legacy ZIP methods (PKWARE APPNOTE 5.1 to 5.3): shrink
// (method 1), reduce with compression factors 1 to 4 (methods 2 to 5) and
// implode (method 6).
//
// Input is read in 4,096-byte blocks and taken least significant bit first.
// Output collects in a 32,768-byte buffer that is written out when it is full
// and when the output reaches the uncompressed size. Reduce and implode refer
// back into their output; the bytes already written out are read back through
// a TArcSlidingWindowStream.
//
// What bad data does: a shrink code that is not in the code table or a prefix
// chain longer than the table, and an implode tree that describes more or
// fewer values than its alphabet, raise EArcZipLegacyData. Input that ends
// early simply ends the output (the caller's CRC-32 check then fails). Every
// step consumes input, so no input makes the decoders loop without end.
#include <cstdint>
#include <cstring>
#include <memory>

#include "runtime/Streams.h"

namespace arc {

class TArcUnzipHelper {
  public:
    static constexpr size_t kInBufSize = 4096;
    static constexpr size_t kOutBufSize = 32768;

    TArcUnzipHelper(rtl::TStream& aZStream, rtl::TStream& aOutStream);
    ~TArcUnzipHelper();

    // Decodes the whole entry from the source into the destination. A method
    // other than 1 to 6 raises EArcZipInvalidMethod.
    void Execute();

    int64_t FUnCompressedSize = 0;
    uint16_t FCompressionMethod = 0;
    int FDictionarySize = 4096;    // implode: 8192 takes 7 low distance bits, else 6
    int FShannonFanoTreeCount = 2; // implode: 3 adds the literal tree

  private:
    class TShannonFanoTree;

    void DecodeShrunk();
    void DecodeReduced(int aFactor);
    void DecodeImploded();
    bool ReadTree(TShannonFanoTree& aTree, int aValues);
    uint32_t DecodeSymbol(const TShannonFanoTree& aTree);
    uint32_t ReadWideCode(int aWidth);
    static bool WalkString(const uint32_t* aTable, uint32_t aCode, uint8_t* aDest,
                           uint32_t aLength);

    // ---- input: FCurByte holds the unread bits, least significant first.
    // FBitsLeft counts them; it goes below zero only when a symbol needed more
    // bits than the input had (the missing bits read as zeros).

    // Makes at least 57 bits available, unless the input ends first.
    void NeedBits() {
        if (FBitsLeft >= 57) return;
        if (FInCnt - FInPos >= 8) {
            uint64_t word;
            std::memcpy(&word, FInBuf.get() + FInPos, 8);
            word = LittleEndian64(word);
            // Bytes that do not fit are loaded again, at the same place, later.
            FCurByte |= word << FBitsLeft;
            size_t bytes = static_cast<size_t>(63 - FBitsLeft) >> 3;
            FInPos += bytes;
            FBitsLeft += static_cast<int>(bytes * 8);
        } else {
            NeedBitsSlow();
        }
    }
    void NeedBitsSlow();
    uint32_t PeekBits(int aCount) const {
        return static_cast<uint32_t>(FCurByte & ((uint64_t(1) << aCount) - 1));
    }
    void DropBits(int aCount) {
        FCurByte >>= aCount;
        FBitsLeft -= aCount;
    }
    // Up to 57 bits since the last NeedBits.
    uint32_t TakeBits(int aCount) {
        uint32_t value = PeekBits(aCount);
        DropBits(aCount);
        return value;
    }
    static uint64_t LittleEndian64(uint64_t word);

    // ---- output
    int64_t Produced() const { return FOutSent + static_cast<int64_t>(FOutPos); }
    int64_t Remaining() const { return FUnCompressedSize - Produced(); }
    void PutByte(uint8_t aByte) {
        FOutBuf[FOutPos++] = aByte;
        if (FOutPos >= FOutLimit) WriteOut();
    }
    void PutBytes(const uint8_t* aData, size_t aCount);
    // Copies aLen bytes starting aDist bytes back (aDist >= 1).
    void CopyMatch(uint32_t aDist, uint32_t aLen);
    void WriteOut();

    rtl::TStream& FZStream;
    rtl::TStream& FOutStream;
    rtl::TStream* FOutWriter; // FOutStream, or the sliding window over it
    std::unique_ptr<uint8_t[]> FOutBuf;
    size_t FOutPos = 0;
    size_t FOutLimit = kOutBufSize; // FOutPos at which the buffer is written out
    int64_t FOutSent = 0;
    std::unique_ptr<uint8_t[]> FInBuf;
    size_t FInPos = 0;
    size_t FInCnt = 0;
    bool FInEof = false;
    uint64_t FCurByte = 0;
    int FBitsLeft = 0;
};

} // namespace arc

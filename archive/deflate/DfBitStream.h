#pragma once
// The inflate engine's bit reader: bits least significant first, taken in
// 32-bit little-endian words from a 16 KiB buffer over the source stream.
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "archive/deflate/DfErrors.h"
#include "runtime/Bytes.h"
#include "runtime/Exception.h"
#include "runtime/Streams.h"

namespace arc {

class TArcDfInBitStream {
  public:
    static constexpr size_t kBufferSize = 16384;
    using TProgress = std::function<void(int percent, bool& abort)>;

    // aStreamSize (the expected input size) only scales progress; aOnProgress may
    // be empty. Progress is reported as the buffer is refilled; an abort answer
    // raises EArcAbortProgress.
    TArcDfInBitStream(rtl::TStream& aStream, int64_t aStreamSize, TProgress aOnProgress);

    uint32_t ReadBit();
    uint32_t ReadBits(int aCount); // 1 to 16 bits
    // Up to 32 bits; past the end of the data the missing bits read as zeros.
    uint32_t PeekBits(int aCount) {
        if (aCount < 0 || aCount > 32)
            throw rtl::EArgumentException("count of bits to peek must be between 0 and 32");
        Fill();
        return static_cast<uint32_t>(FBitBuffer & ((uint64_t(1) << aCount) - 1));
    }
    // 1 to 32 bits. (Both are inline: the code-length code of every dynamic
    // block is read through them.)
    void DiscardBits(int aCount) {
        if (aCount < 1 || aCount > 32) RaiseInflateCause(kDfCauseDiscardBitsCountRes);
        Consume(aCount, kDfCauseNoMoreDataDiscardRes);
    }
    void AlignToByte();
    // Whole bytes; only on a byte boundary.
    void ReadBuffer(void* aBuffer, size_t aCount);

    // Bytes taken from the source so far (the source's position change).
    int64_t ByteCount() const { return FByteCount; }

    // Makes sure at least 32 bits are held, unless the data ends first.
    void Fill() {
        if (FBitsLeft < 32) {
            if (FBufEnd - FBufPos >= 4) {
                FBitBuffer |= uint64_t(rtl::LoadLE32(FBuffer.get() + FBufPos)) << FBitsLeft;
                FBufPos += 4;
                FBitsLeft += 32;
            } else {
                FillSlow();
            }
        }
    }

  private:
    friend class TArcDfInflater;

    void FillSlow();
    void LoadBuffer();
    void Consume(int aCount, const rtl::TResStringRec& aCauseAtEnd) {
        if (aCount > FBitsLeft) {
            Fill();
            if (aCount > FBitsLeft) RaiseInflateCause(aCauseAtEnd);
        }
        FBitBuffer >>= aCount;
        FBitsLeft -= aCount;
    }

    rtl::TStream& FStream;
    std::unique_ptr<uint8_t[]> FBuffer;
    size_t FBufPos = 0;
    size_t FBufEnd = 0;
    // Holds up to 63 unread bits, so one more 32-bit word can be appended whenever
    // fewer than 32 are left; the bits above FBitsLeft are always zero.
    uint64_t FBitBuffer = 0;
    int FBitsLeft = 0;
    bool FSourceEnded = false;
    int64_t FByteCount = 0;
    int64_t FStreamSize;
    TProgress FOnProgress;
    int FLastPercent = -1;
};

} // namespace arc

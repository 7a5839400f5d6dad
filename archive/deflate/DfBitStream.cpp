#include "archive/deflate/DfBitStream.h"

#include <algorithm>

#include "archive/deflate/DfErrors.h"
#include "runtime/Exception.h"

namespace arc {

TArcDfInBitStream::TArcDfInBitStream(rtl::TStream& aStream, int64_t aStreamSize,
                                     TProgress aOnProgress)
    : FStream(aStream), FBuffer(new uint8_t[kBufferSize]), FStreamSize(aStreamSize),
      FOnProgress(std::move(aOnProgress)) {}

void TArcDfInBitStream::LoadBuffer() {
    // Keep the unread tail (fewer than 4 bytes when called from FillSlow) at the front.
    size_t tail = FBufEnd - FBufPos;
    if (tail && FBufPos) std::memmove(FBuffer.get(), FBuffer.get() + FBufPos, tail);
    FBufPos = 0;
    FBufEnd = tail;
    while (FBufEnd < kBufferSize) {
        size_t got = FStream.Read(FBuffer.get() + FBufEnd, kBufferSize - FBufEnd);
        if (got == 0) {
            FSourceEnded = true;
            break;
        }
        FBufEnd += got;
        FByteCount += static_cast<int64_t>(got);
    }
    if (FOnProgress && FStreamSize > 0) {
        int percent = static_cast<int>(std::min<int64_t>(100, FByteCount * 100 / FStreamSize));
        if (percent != FLastPercent) {
            FLastPercent = percent;
            bool abort = false;
            FOnProgress(percent, abort);
            if (abort) throw EArcAbortProgress();
        }
    }
}

void TArcDfInBitStream::FillSlow() {
    if (FBufEnd - FBufPos < 4 && !FSourceEnded) LoadBuffer();
    if (FBufEnd - FBufPos >= 4) {
        FBitBuffer |= uint64_t(rtl::LoadLE32(FBuffer.get() + FBufPos)) << FBitsLeft;
        FBufPos += 4;
        FBitsLeft += 32;
        return;
    }
    // The last one to three bytes of the data. Only real bits are counted, so
    // peeking beyond them sees zeros and consuming them is an error.
    while (FBufPos < FBufEnd && FBitsLeft <= 56) {
        FBitBuffer |= uint64_t(FBuffer[FBufPos++]) << FBitsLeft;
        FBitsLeft += 8;
    }
}

uint32_t TArcDfInBitStream::ReadBit() {
    Fill();
    uint32_t bit = static_cast<uint32_t>(FBitBuffer & 1);
    Consume(1, kDfCauseNoMoreDataReadBitRes);
    return bit;
}

uint32_t TArcDfInBitStream::ReadBits(int aCount) {
    if (aCount < 1 || aCount > 16) RaiseInflateCause(kDfCauseReadBitsCountRes);
    Fill();
    uint32_t value = static_cast<uint32_t>(FBitBuffer & ((1u << aCount) - 1));
    Consume(aCount, kDfCauseNoMoreDataReadBitsRes);
    return value;
}

void TArcDfInBitStream::AlignToByte() {
    // Words and bytes enter the bit buffer whole, so the bits of a partly read
    // byte are exactly FBitsLeft mod 8.
    int partial = FBitsLeft & 7;
    FBitBuffer >>= partial;
    FBitsLeft -= partial;
}

void TArcDfInBitStream::ReadBuffer(void* aBuffer, size_t aCount) {
    if (FBitsLeft & 7) throw rtl::EArgumentException("ReadBuffer needs a byte boundary");
    auto* out = static_cast<uint8_t*>(aBuffer);
    while (aCount && FBitsLeft) {
        *out++ = static_cast<uint8_t>(FBitBuffer);
        FBitBuffer >>= 8;
        FBitsLeft -= 8;
        --aCount;
    }
    while (aCount) {
        if (FBufPos == FBufEnd) {
            if (!FSourceEnded) LoadBuffer();
            if (FBufPos == FBufEnd) RaiseInflateCause(kDfCauseNoMoreDataReadBufferRes);
        }
        size_t n = std::min(aCount, FBufEnd - FBufPos);
        std::memcpy(out, FBuffer.get() + FBufPos, n);
        FBufPos += n;
        out += n;
        aCount -= n;
    }
}

} // namespace arc

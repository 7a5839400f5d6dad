#include "archive/deflate/DfOutputWindow.h"

#include <algorithm>

#include "archive/Crc32.h"
#include "archive/deflate/DfErrors.h"

namespace arc {

namespace {

// Adler-32 (RFC 1950): two sums modulo 65521, reduced every 5552 bytes, the
// most that cannot overflow 32 bits.
uint32_t UpdateAdler32(uint32_t adler, const uint8_t* data, size_t count) {
    constexpr uint32_t kBase = 65521;
    constexpr size_t kBlock = 5552;
    uint32_t a = adler & 0xFFFF, b = adler >> 16;
    while (count) {
        size_t n = std::min(count, kBlock);
        count -= n;
        while (n--) {
            a += *data++;
            b += a;
        }
        a %= kBase;
        b %= kBase;
    }
    return b << 16 | a;
}

} // namespace

TArcDfOutputWindow::TArcDfOutputWindow(rtl::TStream& aStream, bool aDeflate64, bool aUseCRC32,
                                       int64_t aPartSize, bool aTestOnly, bool aChecksum)
    : FStream(aStream), FWritePoint(aDeflate64 ? kWritePoint64 : kWritePoint),
      FPartSize(aPartSize > 0 ? std::min<int64_t>(aPartSize, FWritePoint) : 0),
      FUseCRC32(aUseCRC32), FChecksumOn(aChecksum), FChecksum(aUseCRC32 ? 0xFFFFFFFFu : 1u),
      FTestOnly(aTestOnly) {
    FStorage.reset(
        new uint8_t[kMoveRoom + FWritePoint + (aDeflate64 ? kMaxMatch64 : kMaxMatch) + kCopySlack]);
    FBuffer = FStorage.get();
    FWriteStart = FBuffer;
    FMoveAt = FBuffer + kMoveRoom;
    FCurrent = FBuffer;
    FLimit = FBuffer + (FPartSize ? static_cast<size_t>(FPartSize) : FWritePoint);
}

void TArcDfOutputWindow::Emit(const uint8_t* aData, size_t aCount) {
    if (FChecksumOn)
        FChecksum = FUseCRC32 ? TArcCrc32::UpdateCrc32(FChecksum, aData, aCount)
                              : UpdateAdler32(FChecksum, aData, aCount);
    if (!FTestOnly) FStream.WriteBuffer(aData, aCount);
    FStreamPos += static_cast<int64_t>(aCount);
}

void TArcDfOutputWindow::LimitReached() {
    if (FPartSize && FCurrent - FWriteStart >= FPartSize) {
        // The partial size never exceeds the write point, so nothing has been
        // written yet.
        Emit(FWriteStart, static_cast<size_t>(FPartSize));
        FCurrent = FWriteStart = FBuffer;
        FLimit = FBuffer + FWritePoint;
        FPartSize = 0;
        throw EArcPartSizedInflate();
    }
    // The slide: the oldest 32 KiB go out each time the unwritten bytes reach
    // the write point; at least the format's window of them stays.
    while (static_cast<size_t>(FCurrent - FWriteStart) >= FWritePoint) {
        Emit(FWriteStart, FSlideCount);
        FWriteStart += FSlideCount;
    }
    if (FWriteStart > FMoveAt) {
        const size_t held = static_cast<size_t>(FCurrent - FWriteStart);
        std::memmove(FBuffer, FWriteStart, held);
        FWriteStart = FBuffer;
        FCurrent = FBuffer + held;
    }
    FLimit = FWriteStart + FWritePoint;
}

void TArcDfOutputWindow::AddLenDist(uint32_t aLen, uint32_t aDist) {
    if (aDist == 0 || aDist > static_cast<size_t>(FCurrent - FBuffer))
        RaiseInflateCause(kDfCauseDistanceTooFarRes);
    CopyMatch(FCurrent, aDist, aLen);
    FCurrent += aLen;
    if (FCurrent >= FLimit) LimitReached();
}

void TArcDfOutputWindow::AddBuffer(const void* aBuffer, size_t aCount) {
    auto* in = static_cast<const uint8_t*>(aBuffer);
    while (aCount) {
        size_t room = static_cast<size_t>(FLimit - FCurrent);
        size_t n = std::min(aCount, room);
        std::memcpy(FCurrent, in, n);
        FCurrent += n;
        in += n;
        aCount -= n;
        if (FCurrent >= FLimit) LimitReached();
    }
}

void TArcDfOutputWindow::Flush() {
    // The destination sees pieces of at most 32 KiB.
    const uint8_t* p = FWriteStart;
    size_t left = static_cast<size_t>(FCurrent - FWriteStart);
    while (left) {
        size_t n = std::min(left, FSlideCount);
        Emit(p, n);
        p += n;
        left -= n;
    }
    FCurrent = FWriteStart = FBuffer;
    FLimit = FBuffer + FWritePoint;
}

uint32_t TArcDfOutputWindow::Checksum() const {
    if (!FChecksumOn) return 0;
    return FUseCRC32 ? ~FChecksum : FChecksum;
}

} // namespace arc

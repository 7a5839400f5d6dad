#include "archive/legacy/SlidingWindowStream.h"

#include <algorithm>
#include <cstring>

#include "archive/legacy/LegacyErrors.h"

namespace arc {

TArcSlidingWindowStream::TArcSlidingWindowStream(rtl::TStream& aTarget)
    : FTarget(aTarget), FWindow(new uint8_t[kWindowSize]) {}

size_t TArcSlidingWindowStream::Read(void* buffer, size_t count) {
    auto* out = static_cast<uint8_t*>(buffer);
    // Writes since the last Seek may have overwritten the bytes asked for.
    if (FReadPos < FWritten - int64_t(kWindowSize))
        throw EArcException(ArcTexts.Load(kArcMsgSlidingWindowSeekRes));
    size_t done = 0;
    if (FReadPos < 0) {
        // Before the first output byte everything is zero (APPNOTE 5.3.9).
        size_t zeros = static_cast<size_t>(std::min<int64_t>(-FReadPos, int64_t(count)));
        std::memset(out, 0, zeros);
        done = zeros;
        FReadPos += static_cast<int64_t>(zeros);
    }
    while (done < count && FReadPos < FWritten) {
        size_t at = static_cast<size_t>(FReadPos % int64_t(kWindowSize));
        size_t n = std::min({count - done, kWindowSize - at, size_t(FWritten - FReadPos)});
        std::memcpy(out + done, FWindow.get() + at, n);
        done += n;
        FReadPos += static_cast<int64_t>(n);
    }
    return done;
}

size_t TArcSlidingWindowStream::Write(const void* buffer, size_t count) {
    const auto* in = static_cast<const uint8_t*>(buffer);
    // Only the last kWindowSize bytes of a long write can ever be read back.
    size_t skip = count > kWindowSize ? count - kWindowSize : 0;
    int64_t end = FWritten + static_cast<int64_t>(skip);
    for (size_t done = skip; done < count;) {
        size_t at = static_cast<size_t>(end % int64_t(kWindowSize));
        size_t n = std::min(count - done, kWindowSize - at);
        std::memcpy(FWindow.get() + at, in + done, n);
        done += n;
        end += static_cast<int64_t>(n);
    }
    FWritten += static_cast<int64_t>(count);
    FTarget.WriteBuffer(buffer, count);
    return count;
}

int64_t TArcSlidingWindowStream::Seek(int64_t offset, rtl::TSeekOrigin origin) {
    int64_t base = origin == rtl::TSeekOrigin::soBeginning ? 0
                   : origin == rtl::TSeekOrigin::soCurrent ? FReadPos
                                                           : FWritten;
    int64_t target = base + offset;
    if (target > FWritten || target < FWritten - int64_t(kWindowSize))
        throw EArcException(ArcTexts.Load(kArcMsgSlidingWindowSeekRes));
    FReadPos = target;
    return FReadPos;
}

} // namespace arc

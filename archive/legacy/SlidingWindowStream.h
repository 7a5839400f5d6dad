#pragma once
// The output of the legacy decoders that refer back into their output
// (reduce and implode): every byte written passes on to the wrapped stream
// and the last 40,960 of them stay readable, so that a back-reference can be
// resolved after the bytes it names have left the decoder's own buffer.
#include <cstdint>
#include <memory>

#include "runtime/Streams.h"

namespace arc {

class TArcSlidingWindowStream : public rtl::TStream {
  public:
    static constexpr size_t kChunkSize = 8192;
    static constexpr size_t kChunkCount = 5;
    static constexpr size_t kWindowSize = kChunkSize * kChunkCount;

    explicit TArcSlidingWindowStream(rtl::TStream& aTarget);

    // Reads from the read position, at most up to the last byte written.
    // Positions before the first byte written read as zero bytes.
    size_t Read(void* buffer, size_t count) override;
    // Appends at the end, whatever the read position, and writes the bytes to
    // the wrapped stream.
    size_t Write(const void* buffer, size_t count) override;
    // Moves the read position. The new position may lie before the first
    // byte (see Read) but neither after the last byte written nor more than
    // kWindowSize bytes before it: those raise EArcException with
    // "TArcSlidingWindowStream.Seek: invalid new position".
    int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override;
    void SetSize(int64_t) override {}
    int64_t Size() override { return FWritten; }

  private:
    rtl::TStream& FTarget;
    // A ring of five 8 KiB chunks: byte n of the output lives at n % kWindowSize.
    std::unique_ptr<uint8_t[]> FWindow;
    int64_t FWritten = 0;
    int64_t FReadPos = 0;
};

} // namespace arc

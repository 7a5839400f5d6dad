#pragma once
// The inflate engine's output window: decoded bytes go straight into one
// buffer that keeps the history matches refer to; whenever the write point is
// reached the oldest 32 KiB not yet written go to the destination.
//
// Written bytes stay where they are until the buffer's end is near; only then
// do the unwritten ones (the history matches need, and never more than the
// write point) move to the front. A buffer of just the write point would move
// 32 KiB after every 32 KiB written, one extra copy of every output byte; the
// extra room makes that a fraction of one. The destination still sees the
// same 32,768-byte writes at the same points of the output, so what a
// destination observes (its writes, the checksum, an error it raises) does not
// depend on the room.
#include <cstdint>
#include <cstring>
#include <memory>

#include "runtime/Streams.h"

namespace arc {

class TArcDfOutputWindow {
  public:
    static constexpr size_t kSlideCount = 32768;
    static constexpr size_t kWritePoint = 65536;   // keeps >= 32 KiB of history after a slide
    static constexpr size_t kWritePoint64 = 98304; // keeps >= 64 KiB for deflate64
    static constexpr size_t kMaxMatch = 258;
    static constexpr size_t kMaxMatch64 = 65538;
    // Match copies move whole 8-byte words, at least 40 bytes, and may write
    // that far past the match's end (bytes that are overwritten before anything
    // reads them): the buffer has this much room beyond the longest match.
    static constexpr size_t kCopySlack = 48;
    // Room beyond the write point, filled before the unwritten bytes move to
    // the front.
    static constexpr size_t kMoveRoom = 131072;

    // aPartSize > 0 stops decoding (EArcPartSizedInflate) once that many bytes
    // exist, capped at the write point. aTestOnly counts the output without
    // writing it. aChecksum = false skips the engine's own checksum.
    TArcDfOutputWindow(rtl::TStream& aStream, bool aDeflate64, bool aUseCRC32, int64_t aPartSize,
                       bool aTestOnly, bool aChecksum);

    void AddLiteral(uint8_t aByte) {
        *FCurrent++ = aByte;
        if (FCurrent >= FLimit) LimitReached();
    }
    // Copies aLen bytes from aDist bytes back; a distance beyond the output so far
    // is an inflate error.
    void AddLenDist(uint32_t aLen, uint32_t aDist);
    void AddBuffer(const void* aBuffer, size_t aCount);
    // Bytes produced so far.
    int64_t Position() const { return FStreamPos + (FCurrent - FWriteStart); }
    // Writes everything not yet written.
    void Flush();
    uint32_t Checksum() const;

    // Copies a match of aLen bytes to aDest from aDist bytes back (aDist >= 1);
    // overlapping copies repeat the pattern, as deflate requires.
    static void CopyMatch(uint8_t* aDest, size_t aDist, size_t aLen) {
        const uint8_t* src = aDest - aDist;
        uint8_t* const end = aDest + aLen;
        if (aDist >= 8) {
            // Each word reads only bytes already final, even when the ranges
            // overlap, because the source trails by at least 8. Five words
            // cover most matches without a loop.
            Copy8(aDest, src);
            Copy8(aDest + 8, src + 8);
            Copy8(aDest + 16, src + 16);
            Copy8(aDest + 24, src + 24);
            Copy8(aDest + 32, src + 32);
            for (aDest += 40, src += 40; aDest < end; aDest += 8, src += 8)
                Copy8(aDest, src);
        } else if (aDist == 1) {
            const uint64_t pattern = *src * uint64_t(0x0101010101010101);
            for (; aDest < end; aDest += 8)
                std::memcpy(aDest, &pattern, 8);
        } else {
            // A word copied aDist bytes back is right in its first aDist bytes,
            // and the next word, aDist further on, reads exactly those.
            for (; aDest < end; aDest += aDist, src += aDist)
                Copy8(aDest, src);
        }
    }

  private:
    friend class TArcDfInflater;

    static void Copy8(uint8_t* d, const uint8_t* s) {
        uint64_t v;
        std::memcpy(&v, s, 8);
        std::memcpy(d, &v, 8);
    }
    void LimitReached();
    void Emit(const uint8_t* aData, size_t aCount);

    rtl::TStream& FStream;
    std::unique_ptr<uint8_t[]> FStorage; // not cleared: nothing is read before it is written
    uint8_t* FBuffer;
    uint8_t* FWriteStart; // the first byte not yet written; before it, history
    uint8_t* FMoveAt;     // a write start beyond this moves the unwritten bytes
    uint8_t* FCurrent;
    uint8_t* FLimit; // the write point past FWriteStart, or the partial size when that comes first
    size_t FWritePoint;
    size_t FSlideCount = kSlideCount;
    int64_t FPartSize;
    bool FUseCRC32;
    bool FChecksumOn;
    uint32_t FChecksum;
    bool FTestOnly;
    int64_t FStreamPos = 0; // bytes already handed to the destination
};

} // namespace arc

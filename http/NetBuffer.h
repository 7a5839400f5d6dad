#pragma once
// A byte queue: appended at the tail, consumed from the head. The owner is
// told of every removal (its count drives the read progress), except a
// whole-buffer Clear.
#include <cstdint>
#include <functional>
#include <vector>

namespace rtl {
class TStream;
}

namespace net {

class TNetBuffer {
  public:
    // Once the head has advanced this far, the live bytes move to the front.
    static constexpr size_t GrowthFactor = 2048;

    std::function<void(int64_t)> OnBytesRemoved;

    size_t Size() const { return FSize; }
    bool IsEmpty() const { return FSize == 0; }
    // The live bytes, Size() of them.
    const uint8_t* Data() const { return FBytes.data() + FHead; }
    uint8_t Peek(size_t index) const { return FBytes[FHead + index]; }

    void Append(const uint8_t* bytes, size_t count);
    // Room for count more bytes at the tail, to be filled in place and then
    // made part of the buffer with CommitAppend (at most count).
    uint8_t* AppendSpace(size_t count);
    void CommitAppend(size_t count) { FSize += count; }
    // Moves count bytes (at most Size()) from the head into dest (appended or
    // replacing its content).
    void ExtractToBytes(std::vector<uint8_t>& dest, size_t count, bool append = true);
    // Moves count bytes (at most Size()) from the head into a stream; none drops them.
    void ExtractToStream(rtl::TStream* stream, size_t count);
    // Moves count bytes (at most Size()) into raw memory.
    void ExtractToMemory(uint8_t* dest, size_t count);
    void Remove(size_t count);
    // Empties the buffer without notifying the owner.
    void Clear();

    // Index of the first byte b at or after start, or -1.
    int64_t IndexOf(uint8_t b, size_t start = 0) const;
    // Index of the first occurrence of a byte sequence at or after start, or -1.
    int64_t IndexOf(const std::vector<uint8_t>& sequence, size_t start = 0) const;

  private:
    void Consumed(size_t count);

    std::vector<uint8_t> FBytes;
    size_t FHead = 0;
    size_t FSize = 0;
};

} // namespace net

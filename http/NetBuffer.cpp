#include "http/NetBuffer.h"

#include <algorithm>
#include <cstring>

#include "runtime/Streams.h"

namespace net {

uint8_t* TNetBuffer::AppendSpace(size_t count) {
    if (FHead > 0 && (FHead >= GrowthFactor || FSize == 0)) {
        // Reclaim the consumed space before growing.
        std::memmove(FBytes.data(), FBytes.data() + FHead, FSize);
        FHead = 0;
    }
    size_t needed = FHead + FSize + count;
    if (FBytes.size() < needed) FBytes.resize(std::max(needed, FBytes.size() + FBytes.size() / 2));
    return FBytes.data() + FHead + FSize;
}

void TNetBuffer::Append(const uint8_t* bytes, size_t count) {
    if (count == 0) return;
    std::memcpy(AppendSpace(count), bytes, count);
    FSize += count;
}

void TNetBuffer::Consumed(size_t count) {
    FHead += count;
    FSize -= count;
    if (FSize == 0) FHead = 0;
    if (count > 0 && OnBytesRemoved) OnBytesRemoved(static_cast<int64_t>(count));
}

void TNetBuffer::ExtractToBytes(std::vector<uint8_t>& dest, size_t count, bool append) {
    count = std::min(count, FSize);
    if (!append) dest.clear();
    dest.insert(dest.end(), Data(), Data() + count);
    Consumed(count);
}

void TNetBuffer::ExtractToStream(rtl::TStream* stream, size_t count) {
    count = std::min(count, FSize);
    if (stream && count > 0) stream->WriteBuffer(Data(), count);
    Consumed(count);
}

void TNetBuffer::ExtractToMemory(uint8_t* dest, size_t count) {
    count = std::min(count, FSize);
    if (count > 0) std::memcpy(dest, Data(), count);
    Consumed(count);
}

void TNetBuffer::Remove(size_t count) {
    Consumed(std::min(count, FSize));
}

void TNetBuffer::Clear() {
    FHead = 0;
    FSize = 0;
}

int64_t TNetBuffer::IndexOf(uint8_t b, size_t start) const {
    if (start >= FSize) return -1;
    const void* hit = std::memchr(Data() + start, b, FSize - start);
    return hit ? static_cast<const uint8_t*>(hit) - Data() : -1;
}

int64_t TNetBuffer::IndexOf(const std::vector<uint8_t>& sequence, size_t start) const {
    if (sequence.empty() || start >= FSize || sequence.size() > FSize - start) return -1;
    const uint8_t* begin = Data() + start;
    const uint8_t* end = Data() + FSize;
    const uint8_t* hit = std::search(begin, end, sequence.begin(), sequence.end());
    return hit == end ? -1 : hit - Data();
}

} // namespace net

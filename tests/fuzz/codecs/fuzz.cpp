// The bzip2, LZMA and WavPack decoders on arbitrary input. Byte 0 chooses the
// decoder (modulo 3: bzip2, LZMA, WavPack); bytes 1 and 2 give the declared
// size (little-endian); the rest is the entry's data. Allowed outcomes:
// success, the decoders' own errors, a short read and the output cap.
// bzip2 and LZMA give exactly the declared size when they succeed, and a
// stream cut in half gives what the whole one gives when both succeed (not
// more: liblzma may reject bytes of the whole stream beyond those that the
// cut one needed for its output, see regressions/).
// WavPack reads from a seekable stream and from one that hands out a few
// bytes at a time and cannot seek; both stay within the cap.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/codecs/CodecErrors.h"
#include "archive/codecs/Codecs.h"
#include "runtime/Exception.h"
#include "runtime/Streams.h"
#include "tests/fuzz/CappedSink.h"

namespace {

constexpr size_t kCap = 4 << 20; // WavPack headers may promise any length

using fuzzing::TCappedSink;

class TTrickleSource : public rtl::TStream {
  public:
    TTrickleSource(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
    size_t Read(void* buffer, size_t count) override {
        size_t n = std::min({count, FSize - FPos, size_t(1 + FPos % 5)});
        std::memcpy(buffer, FData + FPos, n);
        FPos += n;
        return n;
    }
    size_t Write(const void*, size_t) override { return 0; }
    int64_t Seek(int64_t offset, rtl::TSeekOrigin origin) override {
        if (offset != 0 || origin != rtl::TSeekOrigin::soCurrent)
            throw arc::EArcException("cannot seek");
        return static_cast<int64_t>(FPos);
    }
    void SetSize(int64_t) override {}

  private:
    const uint8_t* FData;
    size_t FSize, FPos = 0;
};

enum class Outcome { Done, Failed };

Outcome Run(int decoder, int64_t size, rtl::TStream& source, std::vector<uint8_t>& output) {
    TCappedSink sink(kCap);
    Outcome outcome = Outcome::Done;
    try {
        switch (decoder) {
        case 0:
            arc::DecodeBZip2(source, sink, size);
            break;
        case 1:
            arc::DecodeLZMA(source, sink, size);
            break;
        default:
            arc::DecodeWavPack(source, sink);
            break;
        }
    } catch (const arc::EBZip2Error&) {
        outcome = Outcome::Failed;
    } catch (const arc::EArcException&) { // LZMA and WavPack errors
        outcome = Outcome::Failed;
    } catch (const rtl::EStreamError&) { // short reads, the cap
        outcome = Outcome::Failed;
    }
    output = std::move(sink.FBytes);
    return outcome;
}

Outcome RunMemory(int decoder, int64_t size, const uint8_t* data, size_t count,
                  std::vector<uint8_t>& output) {
    rtl::TMemoryStream source;
    source.WriteBuffer(data, count);
    source.SetPosition(0);
    return Run(decoder, size, source, output);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int decoder = data[0] % 3;
    const int64_t declared = int64_t(data[1] | data[2] << 8);
    data += 3, size -= 3;
    std::vector<uint8_t> full, part;
    Outcome whole = RunMemory(decoder, declared, data, size, full);
    if (decoder == 2) {
        TTrickleSource slow(data, size);
        Run(decoder, declared, slow, part);
        if (full.size() > kCap || part.size() > kCap) std::abort();
        return 0;
    }
    if (whole == Outcome::Done && full.size() != size_t(declared)) std::abort();
    Outcome cut = RunMemory(decoder, declared, data, size / 2, part);
    if (cut == Outcome::Done && whole == Outcome::Done && part != full) std::abort();
    return 0;
}

// The PPMd decoder (method 98) on arbitrary input: the raw entry data, its
// 16-bit header first. The header's memory field is cut to 1 to 4 MiB so
// that the model fills up (and is restarted or cut down) within a few
// kilobytes of input; order and restoration bits are kept, so refused
// headers are tried too. Success, the PPMd data error and the output cap are
// the only allowed outcomes, and a stream cut in half decodes to a prefix of
// what the whole one gives.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive/ppmd/PpmdDecoder.h"
#include "archive/ppmd/PpmdErrors.h"
#include "runtime/Exception.h"
#include "runtime/Streams.h"

namespace {

constexpr size_t kCap = 1 << 20;

class TCappedSink : public rtl::TStream {
  public:
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void* buffer, size_t count) override {
        if (FBytes.size() + count > kCap) throw rtl::EWriteError("output cap");
        const auto* p = static_cast<const uint8_t*>(buffer);
        FBytes.insert(FBytes.end(), p, p + count);
        return count;
    }
    int64_t Seek(int64_t, rtl::TSeekOrigin) override { return static_cast<int64_t>(FBytes.size()); }
    void SetSize(int64_t) override {}
    std::vector<uint8_t> FBytes;
};

enum class Outcome { Done, BadData, Capped };

Outcome Run(const std::vector<uint8_t>& data, size_t count, std::vector<uint8_t>& output) {
    rtl::TMemoryStream src;
    src.WriteBuffer(data.data(), count);
    src.SetPosition(0);
    TCappedSink dst;
    Outcome outcome = Outcome::Done;
    try {
        arc::DecodePpmdEntry(src, dst);
    } catch (const arc::EArcZipPpmdData&) {
        outcome = Outcome::BadData;
    } catch (const rtl::EWriteError&) {
        outcome = Outcome::Capped;
    }
    output = std::move(dst.FBytes);
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> input(data, data + size);
    if (size >= 2) input[0] &= 0x3F, input[1] &= 0xF0; // memory field 0 to 3: 1 to 4 MiB
    std::vector<uint8_t> full, part;
    Outcome whole = Run(input, size, full);
    Run(input, size / 2, part);
    // Blocks are written whole, so the cut run's output is checked only as far
    // as the whole run's output reaches.
    const size_t common = std::min(part.size(), full.size());
    if (!std::equal(part.begin(), part.begin() + common, full.begin())) std::abort();
    if (whole != Outcome::Capped && part.size() > full.size()) std::abort();
    return 0;
}

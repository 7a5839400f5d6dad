// The legacy decoders (shrink, reduce, implode) on arbitrary input. Byte 0
// chooses the method (1 to 6: its low nibble modulo 6, plus 1) and the implode flags
// (0x10: 8 KiB dictionary, 0x20: three trees); bytes 1 and 2 give the
// declared size in units of 4 bytes; the rest is the stream. Success, the
// legacy data error and the output cap are the only allowed outcomes, reduce
// and implode never pass the declared size, and a stream cut in half decodes
// to a prefix of what the whole one gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive/legacy/LegacyErrors.h"
#include "archive/legacy/UnzipHelper.h"
#include "runtime/Exception.h"
#include "runtime/Streams.h"

namespace {

constexpr size_t kCap = 1 << 20; // output cap: shrink may expand a thousandfold

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

Outcome Run(uint8_t selector, int64_t size, const uint8_t* data, size_t count,
            std::vector<uint8_t>& output) {
    rtl::TMemoryStream src;
    src.WriteBuffer(data, count);
    src.SetPosition(0);
    TCappedSink dst;
    arc::TArcUnzipHelper helper(src, dst);
    const int method = (selector & 0x0F) % 6 + 1;
    helper.FCompressionMethod = static_cast<uint16_t>(method);
    helper.FUnCompressedSize = size;
    helper.FDictionarySize = (selector & 0x10) ? 8192 : 4096;
    helper.FShannonFanoTreeCount = (selector & 0x20) ? 3 : 2;
    Outcome outcome = Outcome::Done;
    try {
        helper.Execute();
    } catch (const arc::EArcZipLegacyData&) {
        outcome = Outcome::BadData;
    } catch (const rtl::EWriteError&) {
        outcome = Outcome::Capped;
    }
    output = std::move(dst.FBytes);
    if (method != 1 && output.size() > static_cast<size_t>(size)) std::abort();
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int64_t declared = int64_t(data[1] | data[2] << 8) * 4;
    std::vector<uint8_t> full, part;
    Outcome whole = Run(data[0], declared, data + 3, size - 3, full);
    Outcome cut = Run(data[0], declared, data + 3, (size - 3) / 2, part);
    if (whole == Outcome::Done && cut == Outcome::Done &&
        (part.size() > full.size() || !std::equal(part.begin(), part.end(), full.begin())))
        std::abort();
    if (cut == Outcome::BadData && whole == Outcome::Done) std::abort();
    return 0;
}

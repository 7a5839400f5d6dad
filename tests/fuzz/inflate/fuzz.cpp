// Inflate on arbitrary input: the first byte chooses deflate (even) or
// deflate64 (odd), the rest is the stream. Any outcome other than success or
// the inflate error is a finding; the output is capped so that highly
// compressible inputs stay fast.
#include <cstddef>
#include <cstdint>

#include "archive/ArcErrors.h"
#include "archive/Inflate.h"
#include "runtime/Exception.h"
#include "runtime/Streams.h"

namespace {

class TCappedSink : public rtl::TStream {
  public:
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void* buffer, size_t count) override {
        if (FSize + count > kCap) throw rtl::EWriteError("output cap");
        // Touch the bytes so the sanitizers see every read of the window.
        const auto* p = static_cast<const uint8_t*>(buffer);
        for (size_t i = 0; i < count; ++i)
            FSum += p[i];
        FSize += count;
        return count;
    }
    int64_t Seek(int64_t, rtl::TSeekOrigin) override { return static_cast<int64_t>(FSize); }
    void SetSize(int64_t) override {}
    static constexpr size_t kCap = 4 << 20;
    size_t FSize = 0;
    uint32_t FSum = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    rtl::TMemoryStream src;
    src.WriteBuffer(data + 1, size - 1);
    src.SetPosition(0);
    TCappedSink dst;
    arc::TArcDeflateHelper helper;
    if (data[0] & 1) helper.FOptions |= arc::TArcDeflateHelper::kDeflate64;
    try {
        arc::Inflate(src, dst, helper);
    } catch (const arc::EArcInflateError&) {
    } catch (const rtl::EWriteError&) {
    }
    return 0;
}

// Inflate on arbitrary input: the first byte chooses deflate (even) or
// deflate64 (odd), the rest is the stream. Any outcome other than success or
// the inflate error is a finding. Deflate input is also given to zlib: what
// zlib decodes, the engine must decode to the same bytes. (The reverse need not
// hold: the engine accepts incomplete code sets that never meet an unused code,
// which zlib refuses up front.)
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/ArcErrors.h"
#include "archive/deflate/Inflate.h"
#include "runtime/Exception.h"
#include "runtime/Streams.h"
#include "tests/fuzz/CappedSink.h"

namespace {

constexpr size_t kCap = 1 << 20; // output cap, so highly compressible inputs stay fast

using fuzzing::TCappedSink;

// zlib's raw inflate; false when it fails or the output passes the cap.
bool ZlibInflate(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    static std::vector<uint8_t> buffer(kCap + 1); // filled once, not per input
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = buffer.data();
    z.avail_out = static_cast<uInt>(buffer.size());
    int rc = inflate(&z, Z_FINISH);
    out.assign(buffer.data(), buffer.data() + z.total_out);
    inflateEnd(&z);
    return rc == Z_STREAM_END && out.size() <= kCap;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool deflate64 = data[0] & 1;
    rtl::TMemoryStream src;
    src.WriteBuffer(data + 1, size - 1);
    src.SetPosition(0);
    TCappedSink dst(kCap);
    arc::TArcDeflateHelper helper;
    if (deflate64) helper.FOptions |= arc::TArcDeflateHelper::kDeflate64;
    bool ok = false, capped = false;
    try {
        arc::Inflate(src, dst, helper);
        ok = true;
    } catch (const arc::EArcInflateError&) {
    } catch (const rtl::EWriteError&) {
        capped = true;
    }
    if (!deflate64 && !capped) {
        std::vector<uint8_t> expected;
        if (ZlibInflate(data + 1, size - 1, expected) && (!ok || expected != dst.FBytes))
            std::abort();
    }
    return 0;
}

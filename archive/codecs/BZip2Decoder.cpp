// Method 12: a read stream that decompresses bzip2 data from its source with
// libbz2. Reading copies exactly the entry's size out of it; a stream that ends
// first makes the copy raise "Stream read error".
#include <bzlib.h>

#include <algorithm>

#include "archive/codecs/CodecErrors.h"
#include "archive/codecs/Codecs.h"
#include "archive/codecs/LibraryReadStream.h"
#include "runtime/Format.h"

namespace arc {

EBZCompressionError::EBZCompressionError(int result)
    : EBZip2Error(CodecTexts.Compose(kArcMsgBZCompressionRes, {result})), Result(result) {}

namespace {

class TArcBZDecompressionStream : public TArcLibraryReadStream {
  public:
    explicit TArcBZDecompressionStream(rtl::TStream& source) : TArcLibraryReadStream(source) {
        Check(BZ2_bzDecompressInit(&FState, 0, 0));
        FOpen = true;
    }
    ~TArcBZDecompressionStream() override {
        if (FOpen) BZ2_bzDecompressEnd(&FState);
    }

    // Fills the buffer as far as the stream goes; 0 once it has ended.
    size_t Read(void* buffer, size_t count) override {
        FState.next_out = static_cast<char*>(buffer);
        FState.avail_out = static_cast<unsigned>(std::min<size_t>(count, 1u << 30));
        const unsigned wanted = FState.avail_out;
        while (FState.avail_out > 0 && !FEnded) {
            if (FState.avail_in == 0 && !FSourceDone) Refill();
            const unsigned before = FState.avail_out, inBefore = FState.avail_in;
            int result = Check(BZ2_bzDecompress(&FState));
            if (result == BZ_STREAM_END) FEnded = true;
            // No input left and none of it taken: the stream was cut short.
            if (FSourceDone && FState.avail_in == 0 && before == FState.avail_out && inBefore == 0)
                break;
        }
        return wanted - FState.avail_out;
    }

  private:
    static int Check(int result) {
        if (result < 0) throw EBZCompressionError(result);
        return result;
    }
    void Refill() {
        FState.avail_in = static_cast<unsigned>(FillInput());
        FState.next_in = reinterpret_cast<char*>(FIn.data());
    }

    bz_stream FState{};
    bool FOpen = false, FEnded = false;
};

} // namespace

void DecodeBZip2(rtl::TStream& source, rtl::TStream& dest, int64_t size) {
    TArcBZDecompressionStream stream(source);
    dest.CopyFrom(stream, size);
}

} // namespace arc

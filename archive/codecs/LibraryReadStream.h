#pragma once
// What the bzip2 and LZMA read streams share: they pull the entry's
// compressed bytes from its data stream through one input buffer and hand
// them to a library, and they can only be read.
#include <cstdint>
#include <vector>

#include "runtime/Streams.h"

namespace arc {

class TArcLibraryReadStream : public rtl::TStream {
  public:
    static constexpr size_t kInBufSize = 65536;

    size_t Write(const void*, size_t) override { return 0; }
    int64_t Seek(int64_t, rtl::TSeekOrigin) override { return 0; }
    void SetSize(int64_t) override {}

  protected:
    explicit TArcLibraryReadStream(rtl::TStream& source) : FSource(source), FIn(kInBufSize) {}

    // Reads the next piece of input into FIn; 0, and FSourceDone, once the
    // source has ended.
    size_t FillInput() {
        const size_t n = FSource.Read(FIn.data(), FIn.size());
        if (n == 0) FSourceDone = true;
        return n;
    }

    rtl::TStream& FSource;
    std::vector<uint8_t> FIn;
    bool FSourceDone = false;
};

} // namespace arc

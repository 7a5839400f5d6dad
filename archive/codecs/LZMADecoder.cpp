// Method 14: the ZIP LZMA header, then raw LZMA1 decoding with liblzma.
//
//   entry data = version (2 bytes) | properties size (2 bytes, LE) |
//                properties (lc/lp/pb byte, dictionary size 4 bytes LE) |
//                LZMA1 range-coded data [ | end marker ]          (APPNOTE 5.8)
//
// The decoder is told no size, so an end marker is accepted where it stands;
// reading stops once the entry's size is out, so data without a marker ends
// there too.
#include <lzma.h>

#include <algorithm>
#include <cstdlib>

#include "archive/codecs/CodecErrors.h"
#include "archive/codecs/Codecs.h"
#include "archive/codecs/LibraryReadStream.h"
#include "runtime/Bytes.h"
#include "runtime/Format.h"
#include "archive/ZipFormat.h"

namespace arc {

std::string LZMAResultText(int result) {
    for (const TArcLZMAResultText& entry : kArcLZMAResultTexts)
        if (entry.Result == result) return CodecTexts.Load(*entry.Text);
    return CodecTexts.Format(kArcMsgLZMAUnknownRes, {result});
}

namespace {

constexpr size_t kLZMAHeaderSize = 4;
constexpr uint16_t kLZMAPropertiesSize = 5;
// The smallest dictionary liblzma works with.
constexpr uint32_t kLZMAMinDictionary = 4096;

// liblzma's results in the numbering above; one without a counterpart keeps
// its own number, far from the others, for the "Unknown LZMA error" text.
int MapResult(lzma_ret result) {
    switch (result) {
    case LZMA_DATA_ERROR:
    case LZMA_FORMAT_ERROR:
        return lzmaData;
    case LZMA_MEM_ERROR:
    case LZMA_MEMLIMIT_ERROR:
        return lzmaMemory;
    case LZMA_OPTIONS_ERROR:
        return lzmaUnsupported;
    case LZMA_PROG_ERROR:
        return lzmaParameter;
    case LZMA_BUF_ERROR:
        return lzmaInputEof;
    default:
        return 100 + static_cast<int>(result);
    }
}

class TArcLZMADecompressionStream : public TArcLibraryReadStream {
  public:
    TArcLZMADecompressionStream(rtl::TStream& source, int64_t size)
        : TArcLibraryReadStream(source) {
        uint8_t header[kLZMAHeaderSize];
        source.ReadBuffer(header, sizeof header);
        if (rtl::LoadLE16(header + 2) != kLZMAPropertiesSize)
            throw EArcLZMAException(lzmaUnsupported);
        uint8_t properties[kLZMAPropertiesSize];
        source.ReadBuffer(properties, sizeof properties);
        Start(properties, size);
    }
    ~TArcLZMADecompressionStream() override { lzma_end(&FState); }

    size_t Read(void* buffer, size_t count) override {
        FState.next_out = static_cast<uint8_t*>(buffer);
        FState.avail_out = count;
        while (FState.avail_out > 0 && !FEnded) {
            if (FState.avail_in == 0 && !FSourceDone) Refill();
            lzma_ret result = lzma_code(&FState, FSourceDone ? LZMA_FINISH : LZMA_RUN);
            if (result == LZMA_STREAM_END)
                FEnded = true;
            else if (result != LZMA_OK)
                throw EArcLZMAException(MapResult(result));
        }
        return count - FState.avail_out;
    }

  private:
    void Start(const uint8_t* properties, int64_t size) {
        lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
        lzma_ret result =
            lzma_properties_decode(&filters[0], nullptr, properties, kLZMAPropertiesSize);
        if (result != LZMA_OK) throw EArcLZMAException(MapResult(result));
        // No match reaches further back than the output goes, so a dictionary
        // larger than the entry is never needed: the header's size alone does
        // not decide how much memory is taken.
        auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
        const int64_t needed = std::max<int64_t>(size, kLZMAMinDictionary);
        if (options->dict_size > needed) options->dict_size = static_cast<uint32_t>(needed);
        result = lzma_raw_decoder(&FState, filters);
        free(options); // lzma_properties_decode allocates with malloc
        if (result != LZMA_OK) throw EArcLZMAException(MapResult(result));
    }
    void Refill() {
        FState.avail_in = FillInput();
        FState.next_in = FIn.data();
    }

    lzma_stream FState = LZMA_STREAM_INIT;
    bool FEnded = false;
};

} // namespace

void DecodeLZMA(rtl::TStream& source, rtl::TStream& dest, int64_t size) {
    TArcLZMADecompressionStream stream(source, size);
    dest.CopyFrom(stream, size);
}

} // namespace arc

#pragma once
// The inflate engine for ZIP methods 8 (deflate, RFC 1951) and 9 (deflate64).
#include <cstdint>
#include <functional>
#include <string>

#include "runtime/Streams.h"

namespace arc {

// Options of one inflate run and what it reports back.
class TArcDeflateHelper {
  public:
    static constexpr uint32_t kDefaultOptions = 15;
    static constexpr uint32_t kDeflate64 = 0x10;  // enhanced deflate (ZIP method 9)
    static constexpr uint32_t kUseAdler32 = 0x20; // engine checksum is Adler-32 instead of CRC-32
    static constexpr uint32_t kTestOnly = 0x40000000; // count output without writing it

    uint32_t FOptions = kDefaultOptions;
    int64_t FStreamSize = 0; // size of the compressed input, for progress
    int64_t FPartSize = 0;   // PartialSize: 0 = decode everything
    std::function<void(int percent, bool& abort)> FOnProgressStep;
    std::string FLogFile;        // empty = no log
    int64_t FSizeCompressed = 0; // filled in afterwards: bytes consumed
    int64_t FSizeNormal = 0;     // filled in afterwards: bytes produced
    // Skips the engine's own checksum (Inflate then returns 0): for callers that
    // check the output themselves, as the ZIP extractor does with its CRC-32.
    bool FSkipChecksum = false;
};

// Decodes the deflate (or deflate64) stream at aSource's position into aDest.
// Invalid data raises EArcInflateError; destination write errors pass through.
// Returns the engine's checksum of the output.
uint32_t Inflate(rtl::TStream& aSource, rtl::TStream& aDest, TArcDeflateHelper& aHelper);

} // namespace arc

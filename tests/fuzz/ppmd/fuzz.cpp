// The PPMd decoder (method 98) on arbitrary input. Byte 0 chooses the mode:
// - below 0x80: the rest is raw entry data, its 16-bit header first, given to
//   the entry decoder with the header's memory field cut to 1 to 4 MiB;
//   order and restoration bits are kept, so refused headers are tried too.
// - 0x80 and above: the model itself with 16 to 256 KiB of memory (16 KiB
//   times the low nibble plus one), so that it is restarted or cut down
//   within a few hundred bytes of input; byte 1 gives the order (low nibble
//   plus one, at least 2) and the restoration method (bit 4), the rest is the
//   stream.
// Success, the PPMd data error and the output cap are the only allowed
// outcomes, and a stream cut in half decodes to a prefix of what the whole
// one gives.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive/ppmd/PpmdDecoder.h"
#include "archive/ppmd/PpmdErrors.h"
#include "archive/ppmd/PpmdModel.h"
#include "runtime/Exception.h"
#include "runtime/Streams.h"
#include "tests/fuzz/CappedSink.h"

namespace {

constexpr size_t kCap = 1 << 20;

using fuzzing::TCappedSink;

enum class Outcome { Done, BadData, Capped };

Outcome Run(const std::vector<uint8_t>& data, size_t count, std::vector<uint8_t>& output) {
    rtl::TMemoryStream src;
    src.WriteBuffer(data.data(), count);
    src.SetPosition(0);
    TCappedSink dst(kCap);
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

Outcome RunModel(uint8_t mode, uint8_t setup, const std::vector<uint8_t>& data, size_t count,
                 std::vector<uint8_t>& output) {
    rtl::TMemoryStream src;
    src.WriteBuffer(data.data(), count);
    src.SetPosition(0);
    arc::TArcPpmdModel model;
    if (!model.Allocate((16u << 10) * ((mode & 15) + 1))) std::abort();
    unsigned order = (setup & 15) + 1;
    model.Start(src, order < 2 ? 2 : order, (setup >> 4) & 1);
    try {
        for (;;) {
            int symbol = model.DecodeSymbol();
            if (symbol < 0 || model.InputOverrun()) return Outcome::Done;
            if (output.size() == kCap) return Outcome::Capped;
            output.push_back(static_cast<uint8_t>(symbol));
        }
    } catch (const arc::EArcZipPpmdData&) {
        return Outcome::BadData;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    std::vector<uint8_t> full, part;
    Outcome whole;
    if (data[0] >= 0x80) {
        std::vector<uint8_t> input(data + 2, data + size);
        whole = RunModel(data[0], data[1], input, input.size(), full);
        RunModel(data[0], data[1], input, input.size() / 2, part);
        // Symbol by symbol, the cut run is a prefix of the whole one.
        if (part.size() > full.size() && whole != Outcome::Capped) std::abort();
        if (!std::equal(part.begin(), part.begin() + std::min(part.size(), full.size()),
                        full.begin()))
            std::abort();
        return 0;
    }
    std::vector<uint8_t> input(data + 1, data + size);
    input[0] &= 0x3F, input[1] &= 0xF0; // memory field 0 to 3: 1 to 4 MiB
    whole = Run(input, input.size(), full);
    Run(input, input.size() / 2, part);
    // Blocks are written whole, so the cut run's output is checked only as far
    // as the whole run's output reaches.
    const size_t common = std::min(part.size(), full.size());
    if (!std::equal(part.begin(), part.begin() + common, full.begin())) std::abort();
    if (whole != Outcome::Capped && part.size() > full.size()) std::abort();
    return 0;
}

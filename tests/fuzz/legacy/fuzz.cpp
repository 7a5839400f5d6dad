// The legacy decoders (shrink, reduce, implode) on arbitrary input. Byte 0
// chooses the method (1 to 6: its low nibble modulo 6, plus 1) and the implode flags
// (0x10: 8 KiB dictionary, 0x20: three trees); bytes 1 and 2 give the
// declared size in units of 4 bytes; the rest is the stream. Success, the
// legacy data error and the output cap are the only allowed outcomes, reduce
// and implode never pass the declared size, a stream cut in half decodes to
// a prefix of what the whole one gives, and implode gives what a slow
// decoder written straight from APPNOTE 5.3 gives, which matches its codes
// one bit at a time (so damaged trees decode the same way too).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive/legacy/LegacyErrors.h"
#include "archive/legacy/LegacyDecoders.h"
#include "runtime/Exception.h"
#include "runtime/Streams.h"
#include "tests/fuzz/CappedSink.h"

namespace {

constexpr size_t kCap = 1 << 20; // output cap: shrink may expand a thousandfold

using fuzzing::TCappedSink;

enum class Outcome { Done, BadData, Capped };

// ---- the slow implode decoder

struct TRefBits {
    const uint8_t* data;
    size_t size, pos = 0; // in bits
    bool ended = false;
    bool Any() const { return pos < size * 8; }
    uint32_t Take(int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i, ++pos) {
            if (pos >= size * 8)
                ended = true;
            else
                value |= uint32_t(data[pos >> 3] >> (pos & 7) & 1) << i;
        }
        return value;
    }
};

struct TRefTree {
    int lengths[256], order[256], values = 0, maxLength = 0;
    uint32_t codes[256];
    // 1: read, 0: the input ended, -1: the tree does not describe its values.
    int Read(TRefBits& in, int count) {
        int bytes = int(in.Take(8)) + 1;
        for (int i = 0; i < bytes; ++i) {
            uint32_t b = in.Take(8);
            if (in.ended) return 0;
            for (uint32_t k = 0; k <= b >> 4; ++k) {
                if (values == count) return -1;
                lengths[values++] = int(b & 15) + 1;
            }
        }
        if (values != count) return -1;
        for (int v = 0; v < count; ++v)
            order[v] = v;
        std::stable_sort(order, order + count,
                         [&](int a, int b) { return lengths[a] < lengths[b]; });
        uint32_t code = 0;
        for (int i = count - 1; i >= 0; --i) {
            codes[order[i]] = code;
            code = (code + (1u << (16 - lengths[order[i]]))) & 0xFFFF;
        }
        maxLength = lengths[order[count - 1]];
        return 1;
    }
    uint32_t Decode(TRefBits& in) const {
        uint32_t bits = 0;
        for (int length = 1, i = 0; length <= maxLength; ++length) {
            bits = bits << 1 | in.Take(1);
            for (; i < values && lengths[order[i]] == length; ++i)
                if (codes[order[i]] >> (16 - length) == bits) return uint32_t(order[i]);
        }
        return 0;
    }
};

Outcome ReferenceImplode(bool dict8k, bool threeTrees, int64_t size, const uint8_t* data,
                         size_t count, std::vector<uint8_t>& out) {
    TRefBits in{data, count};
    TRefTree literals, lengths, distances;
    const std::pair<TRefTree*, int> trees[] = {{&literals, 256}, {&lengths, 64}, {&distances, 64}};
    for (auto [tree, values] : trees) {
        if (tree == &literals && !threeTrees) continue;
        int result = tree->Read(in, values);
        if (result <= 0) return result < 0 ? Outcome::BadData : Outcome::Done;
    }
    const int lowBits = dict8k ? 7 : 6;
    while (int64_t(out.size()) < size && in.Any()) {
        if (in.Take(1)) {
            uint32_t c = threeTrees ? literals.Decode(in) : in.Take(8);
            if (in.ended) break;
            out.push_back(uint8_t(c));
            continue;
        }
        uint32_t dist = in.Take(lowBits);
        dist |= distances.Decode(in) << lowBits;
        uint32_t length = lengths.Decode(in);
        if (length == 63) length += in.Take(8);
        length += threeTrees ? 3 : 2;
        if (in.ended) break;
        for (uint32_t i = 0; i < length && int64_t(out.size()) < size; ++i)
            out.push_back(out.size() > dist ? out[out.size() - dist - 1] : 0);
    }
    return Outcome::Done;
}

Outcome Run(uint8_t selector, int64_t size, const uint8_t* data, size_t count,
            std::vector<uint8_t>& output) {
    rtl::TMemoryStream src;
    src.WriteBuffer(data, count);
    src.SetPosition(0);
    TCappedSink dst(kCap);
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
    // The slow decoder only on sizes where it keeps up.
    if ((data[0] & 0x0F) % 6 == 5 && whole != Outcome::Capped && declared <= 65536) {
        std::vector<uint8_t> expected;
        if (ReferenceImplode(data[0] & 0x10, data[0] & 0x20, declared, data + 3, size - 3,
                             expected) != whole ||
            (whole == Outcome::Done && expected != full))
            std::abort();
    }
    return 0;
}

// The symbol loop's fast path stops near the end of the input buffer (16 KiB)
// and near the window's limit (the write point or the partial size), where the
// careful path takes over. These streams put those ends at every position
// relative to the symbols: the results must not depend on which path decoded
// a symbol.
#include <gtest/gtest.h>

#include <string>

#include "archive/deflate/DfErrors.h"
#include "DeflateWriter.h"
#include "InflateSupport.h"

using namespace inflate_test;

namespace {

struct TStream {
    std::string data;     // one fixed block, not final, then an empty final stored block
    std::string expected; // what it decodes to
};

// About 60 KB of fixed-code symbols for 150 KB of output: noise literals,
// matches of every short distance and of far ones, and, for deflate64, long
// ones. The stream starts on a byte boundary, so stored blocks put in front of
// it shift it byte by byte against the input buffer and the window.
TStream MixedStream(bool deflate64) {
    TStream s;
    TDeflateWriter w(deflate64);
    w.BlockHeader(false, 1);
    w.UseFixedCodes();
    uint32_t seed = 1951;
    auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    while (s.expected.size() < 150000) {
        for (int n = 1 + next() % 12; n > 0; --n) {
            const char c = static_cast<char>(next());
            w.Literal(static_cast<uint8_t>(c));
            s.expected += c;
        }
        const uint32_t far = deflate64 ? 65536 : 32768;
        uint32_t dist = next() % 4 ? 1 + next() % 9 : 1 + next() % far;
        uint32_t len = 3 + next() % (deflate64 && next() % 8 == 0 ? 3000 : 60);
        if (dist > s.expected.size()) continue;
        w.Match(len, dist);
        for (uint32_t i = 0; i < len; ++i)
            s.expected += s.expected[s.expected.size() - dist];
    }
    w.EndOfBlock();
    w.Stored(true, "");
    s.data = w.Data();
    return s;
}

std::string StoredPrefix(size_t n) {
    TDeflateWriter w;
    w.Stored(false, std::string(n, 'p'));
    return w.Data();
}

} // namespace

TEST(InflateMargins, BufferEndsAndSlidesAtEveryPositionGiveTheSameOutput) {
    for (bool deflate64 : {false, true}) {
        const TStream s = MixedStream(deflate64);
        for (size_t shift = 0; shift < 40; ++shift) {
            const std::string data = StoredPrefix(shift) + s.data;
            arc::TArcDeflateHelper helper;
            const std::string out = InflateBytes(data, deflate64, &helper);
            ASSERT_TRUE(out == std::string(shift, 'p') + s.expected) << deflate64 << " " << shift;
            EXPECT_EQ(helper.FSizeCompressed, static_cast<int64_t>(data.size()));
        }
    }
}

TEST(InflateMargins, StreamsCutAtTheEndOrAtTheBufferEndFailAlike) {
    const TStream s = MixedStream(false);
    for (size_t cut : {size_t(16384 - 40), size_t(16384), s.data.size() - 60})
        for (size_t n = cut; n < cut + 50; ++n) {
            const std::string cause = InflateCause(s.data.substr(0, n));
            EXPECT_EQ(cause.rfind("no more compressed data in stream [", 0), 0u) << n << cause;
        }
}

TEST(InflateMargins, PartialSizeStopsExactlyWhereverItFalls) {
    const TStream s = MixedStream(false);
    for (int64_t part = 1; part < 65536; part += part < 300 ? 1 : 997) {
        rtl::TMemoryStream src = MemoryOf(s.data);
        rtl::TMemoryStream dst;
        arc::TArcDeflateHelper helper;
        helper.FPartSize = part;
        EXPECT_EQ(arc::Inflate(src, dst, helper), 0u);
        ASSERT_TRUE(ToString(dst.Bytes()) == s.expected.substr(0, part)) << part;
    }
}

TEST(InflateMargins, InvalidSymbolsDeepInTheStreamAndNearItsEnd) {
    // The same fault, met by the fast path (far from the end) and by the
    // careful one (in the last bytes), gives the same cause.
    for (size_t literals : {size_t(20000), size_t(3)}) {
        struct TCase {
            int symbol;
            int distanceCode;
            const char* cause;
        };
        for (const TCase& c : {TCase{286, 0, arc::kDfCauseInvalidLengthSymbol},
                               TCase{257, 30, arc::kDfCauseInvalidDistanceSymbol},
                               TCase{285, 29, arc::kDfCauseDistanceTooFar}}) {
            TDeflateWriter w;
            w.BlockHeader(true, 1);
            w.UseFixedCodes();
            for (size_t i = 0; i < literals; ++i)
                w.Literal(static_cast<uint8_t>(i * 7));
            w.LiteralSymbol(c.symbol);
            w.DistanceCode(c.distanceCode);
            w.Bits(0, 13); // distance 24577 at most: beyond 20003 bytes of output
            w.EndOfBlock();
            EXPECT_EQ(InflateCause(w.Data()), c.cause) << literals << " " << c.symbol;
        }
    }
}

#include <gtest/gtest.h>

#include <string>

#include "archive/Crc32.h"
#include "archive/deflate/DfErrors.h"
#include "DeflateWriter.h"
#include "InflateSupport.h"

using namespace inflate_test;
using arc::TArcDeflateHelper;

namespace {

// Pseudo-random bytes (no long repeats), deterministic.
std::string Noise(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        s[i] = static_cast<char>(seed >> 23);
    }
    return s;
}

TDeflateWriter FixedBlock(bool last, bool deflate64 = false) {
    TDeflateWriter w(deflate64);
    w.BlockHeader(last, 1);
    w.UseFixedCodes();
    return w;
}

// A complete literal/length code over all 286 symbols: 226 codes of 8 bits and
// 60 of 9 bits fill the code space exactly (226/256 + 60/512 = 1).
std::vector<int> CompleteLiteralLengths() {
    std::vector<int> lengths(286, 9);
    for (int i = 0; i < 226; ++i)
        lengths[i] = 8;
    return lengths;
}

} // namespace

TEST(InflateBlocks, StoredBlocksIncludingEmptyOnes) {
    TDeflateWriter w;
    w.Stored(false, "");
    w.Stored(false, "hello, ");
    w.Stored(true, "world");
    EXPECT_EQ(InflateBytes(w.Data()), "hello, world");

    TDeflateWriter empty;
    empty.Stored(true, "");
    EXPECT_EQ(InflateBytes(empty.Data()), "");
}

TEST(InflateBlocks, StoredBlockLargerThanTheInputBufferAndWindow) {
    // Both window sizes; a match after the stored data reads history that the
    // stored copies slid through the window.
    std::string big = Noise(65535, 7);
    for (bool deflate64 : {false, true}) {
        TDeflateWriter w(deflate64);
        w.Stored(false, big);
        w.Stored(false, big);
        w.Stored(false, big);
        w.BlockHeader(true, 1);
        w.UseFixedCodes();
        w.Match(200, 30000);
        w.EndOfBlock();
        std::string expected = big + big + big;
        expected += expected.substr(expected.size() - 30000, 200);
        EXPECT_TRUE(InflateBytes(w.Data(), deflate64) == expected) << deflate64;
    }
}

TEST(InflateBlocks, FixedBlockShortDistanceRepeatsThePattern) {
    TDeflateWriter w = FixedBlock(true);
    w.Literal('a');
    w.Match(10, 1);
    w.Literals("xy");
    w.Match(7, 2);
    w.Literals("0123456789");
    w.Match(20, 10);
    w.EndOfBlock();
    EXPECT_EQ(InflateBytes(w.Data()), "aaaaaaaaaaa"
                                      "xyxyxyxyx"
                                      "0123456789"
                                      "01234567890123456789");
}

TEST(InflateBlocks, MixedBlockTypesShareTheWindow) {
    TDeflateWriter w = FixedBlock(false);
    w.Literals("abcdef");
    w.EndOfBlock();
    w.Stored(false, "ghij");
    w.DynamicHeader(true, CompleteLiteralLengths(), std::vector<int>(30, 5) /* incomplete */);
    w.Match(10, 10); // reaches back into the fixed and the stored block
    w.Literal('!');
    w.EndOfBlock();
    EXPECT_EQ(InflateBytes(w.Data()), "abcdefghij"
                                      "abcdefghij"
                                      "!");
}

TEST(InflateBlocks, TrailingBytesAfterTheFinalBlockAreIgnored) {
    TDeflateWriter w = FixedBlock(true);
    w.Literals("data");
    w.EndOfBlock();
    EXPECT_EQ(InflateBytes(w.Data() + std::string("\xFF\x00garbage", 9)), "data");
}

TEST(InflateLengths, Symbol285IsLength258InDeflateWithoutExtraBits) {
    TDeflateWriter w = FixedBlock(true);
    w.Literal('z');
    w.Match(258, 1);
    w.Literal('q'); // would be misread if 285 consumed extra bits
    w.EndOfBlock();
    EXPECT_EQ(InflateBytes(w.Data()), std::string(259, 'z') + "q");
}

TEST(InflateLengths, Symbol285TakesSixteenExtraBitsInDeflate64) {
    for (uint32_t length : {3u, 258u, 259u, 40000u, 65538u}) {
        TDeflateWriter w = FixedBlock(true, true);
        w.Literals("ab");
        w.LiteralSymbol(285);
        w.Bits(length - 3, 16);
        w.DistanceCode(1); // distance 2
        w.Literal('q');
        w.EndOfBlock();
        std::string expected = "ab";
        while (expected.size() < length + 2)
            expected += expected[expected.size() - 2];
        EXPECT_EQ(InflateBytes(w.Data(), true), expected + "q") << length;
    }
}

TEST(InflateDistances, DeflateRejectsDistanceSymbols30And31Deflate64AcceptsThem) {
    std::string prefix = Noise(65536, 3);
    for (int symbol : {30, 31}) {
        uint32_t extra = 16383;
        uint32_t distance = (symbol == 30 ? 32769u : 49153u) + extra;
        for (bool deflate64 : {false, true}) {
            TDeflateWriter w = FixedBlock(true, deflate64);
            w.Literals(prefix);
            w.LiteralSymbol(257); // length 3
            w.DistanceCode(symbol);
            w.Bits(extra, 14);
            w.EndOfBlock();
            if (deflate64) {
                std::string out = InflateBytes(w.Data(), true);
                EXPECT_EQ(out, prefix + prefix.substr(prefix.size() - distance, 3)) << symbol;
            } else {
                EXPECT_EQ(InflateCause(w.Data()), arc::kDfCauseInvalidDistanceSymbol) << symbol;
            }
        }
    }
}

TEST(InflateDistances, FarDistancesResolveAcrossManySlides) {
    // Deflate: 32768 back, deflate64: 65536 back, with output several times the
    // write point, so every match reads history that has been moved by slides.
    for (bool deflate64 : {false, true}) {
        const uint32_t far = deflate64 ? 65536 : 32768;
        std::string expected = Noise(far, 11);
        TDeflateWriter w = FixedBlock(false, deflate64);
        w.Literals(expected);
        w.EndOfBlock();
        w.BlockHeader(true, 1);
        for (int round = 0; expected.size() < 400000; ++round) {
            uint32_t length = deflate64 ? 1000 + round * 37 : 3 + round % 256;
            w.Match(length, far);
            for (uint32_t i = 0; i < length; ++i)
                expected += expected[expected.size() - far];
            char c = static_cast<char>('A' + round % 26);
            w.Literal(static_cast<uint8_t>(c));
            expected += c;
        }
        w.EndOfBlock();
        std::string out = InflateBytes(w.Data(), deflate64);
        ASSERT_EQ(out.size(), expected.size()) << deflate64;
        EXPECT_TRUE(out == expected) << deflate64;
    }
}

TEST(InflateDistances, DistanceBeforeTheStartOfOutputIsRejected) {
    TDeflateWriter w = FixedBlock(true);
    w.Literal('a');
    w.Match(3, 2);
    w.EndOfBlock();
    EXPECT_EQ(InflateCause(w.Data()), arc::kDfCauseDistanceTooFar);

    TDeflateWriter first = FixedBlock(true);
    first.Match(3, 1); // no output at all yet
    first.EndOfBlock();
    EXPECT_EQ(InflateCause(first.Data()), arc::kDfCauseDistanceTooFar);

    // Also across a block boundary and with deflate64's longest distance.
    TDeflateWriter w64 = FixedBlock(false, true);
    w64.Literals(Noise(65535, 1));
    w64.EndOfBlock();
    w64.BlockHeader(true, 1);
    w64.Match(3, 65536);
    w64.EndOfBlock();
    EXPECT_EQ(InflateCause(w64.Data(), true), arc::kDfCauseDistanceTooFar);
}

TEST(InflateDynamic, DistanceCodeCountAbove30OnlyForDeflate64) {
    for (int hdist : {31, 32}) {
        std::vector<int> dist(hdist, 5);
        for (bool deflate64 : {false, true}) {
            TDeflateWriter w(deflate64);
            w.DynamicHeader(true, CompleteLiteralLengths(), dist);
            w.Literals("abcd");
            w.Match(4, 4);
            w.EndOfBlock();
            if (deflate64)
                EXPECT_EQ(InflateBytes(w.Data(), true), "abcdabcd") << hdist;
            else
                EXPECT_EQ(InflateCause(w.Data()), arc::kDfCauseTooManyDistanceCodes) << hdist;
        }
    }
}

TEST(InflateDynamic, UsesTheLengthsItReads) {
    // Skewed lengths, zero-length symbols, repeat codes 16/17/18 in the header.
    TDeflateWriter w;
    w.BlockHeader(true, 2);
    w.Bits(286 - 257, 5);
    w.Bits(30 - 1, 5);
    w.CodeLengthHeader();
    std::vector<int> lit(286, 0), dist(30, 0);
    lit['a'] = 2;
    lit['b'] = 2;
    lit['c'] = 3;
    lit[256] = 3;
    lit[257] = 4;
    lit['x'] = 4;
    lit['y'] = 4;
    lit[285] = 4; // 2/4 + 2/8 + 4/16 = 1
    for (int s = 0; s < 286;) {
        int l = lit[s];
        int run = 1;
        while (s + run < 286 && lit[s + run] == l)
            ++run;
        if (l == 0 && run >= 11) {
            int n = std::min(run, 138);
            w.CodeLengthSymbol(18, n - 11, 7);
            s += n;
        } else if (l == 0 && run >= 3) {
            w.CodeLengthSymbol(17, std::min(run, 10) - 3, 3);
            s += std::min(run, 10);
        } else {
            w.CodeLengthSymbol(l);
            ++s;
        }
    }
    dist[0] = 1;
    dist[3] = 1; // distances 1 and 4
    w.CodeLengthSymbol(1);
    w.CodeLengthSymbol(0);
    w.CodeLengthSymbol(0);
    w.CodeLengthSymbol(1);
    w.CodeLengthSymbol(18, 26 - 11, 7);
    w.SetCodes(lit, dist);
    w.Literals("abcx");
    w.Match(3, 4);   // "abc"
    w.Match(258, 1); // 285
    w.Literal('y');
    w.EndOfBlock();
    EXPECT_EQ(InflateBytes(w.Data()), "abcxabc" + std::string(258, 'c') + "y");
}

TEST(InflateInvalid, HandmadeStreamsEachWithTheirCause) {
    struct TCase {
        const char* name;
        std::string data;
        const char* cause;
        bool deflate64 = false;
    };
    std::vector<TCase> cases;

    {
        TDeflateWriter w;
        w.BlockHeader(true, 3);
        cases.push_back({"block type 3", w.Data(), arc::kDfCauseInvalidBlockType});
    }
    {
        TDeflateWriter w;
        w.BlockHeader(true, 0);
        w.AlignToByte();
        w.Bits(5, 16);
        w.Bits(0xFFFF ^ 4, 16);
        cases.push_back({"stored NLEN", w.Data() + "abcde", arc::kDfCauseStoredLength});
    }
    {
        TDeflateWriter w;
        w.Stored(true, "abcdef");
        std::string d = w.Data();
        cases.push_back(
            {"stored data cut", d.substr(0, d.size() - 2), arc::kDfCauseNoMoreDataReadBuffer});
    }
    {
        TDeflateWriter w;
        w.BlockHeader(true, 0);
        w.AlignToByte();
        w.Bits(5, 8);
        cases.push_back({"stored header cut", w.Data(), arc::kDfCauseNoMoreDataReadBits});
    }
    {
        // Six 9-bit literals make the block end on a byte boundary, so no padding
        // bits can pass for the next block header.
        TDeflateWriter w = FixedBlock(false);
        w.Literals("\xC8\xC9\xCA\xCB\xCC\xCD");
        w.EndOfBlock();
        cases.push_back({"missing final block", w.Data(), arc::kDfCauseNoMoreDataReadBit});
    }
    {
        TDeflateWriter w = FixedBlock(true);
        w.Literals("never ends");
        std::string d = w.Data();
        cases.push_back({"data ends inside a block", d, arc::kDfCauseNoMoreDataDiscard});
    }
    { cases.push_back({"empty input", std::string(), arc::kDfCauseNoMoreDataReadBit}); }
    for (int symbol : {286, 287}) {
        TDeflateWriter w = FixedBlock(true);
        w.Literal('a');
        w.LiteralSymbol(symbol);
        w.DistanceCode(0);
        w.EndOfBlock();
        cases.push_back(
            {"fixed length symbol 286/287", w.Data(), arc::kDfCauseInvalidLengthSymbol});
        cases.push_back(
            {"fixed length symbol 286/287 (64)", w.Data(), arc::kDfCauseInvalidLengthSymbol, true});
    }
    {
        TDeflateWriter w;
        w.BlockHeader(true, 2);
        w.Bits(287 - 257, 5);
        w.Bits(0, 5);
        w.Bits(0, 4);
        cases.push_back(
            {"HLIT 287", w.Data() + std::string(40, '\0'), arc::kDfCauseTooManyLiteralCodes});
    }
    {
        // Code-length code with a single 1-bit code (symbol 8): the other half of
        // the table is empty and the stream hits it.
        TDeflateWriter w;
        w.BlockHeader(true, 2);
        w.Bits(0, 5);
        w.Bits(0, 5);
        w.Bits(0, 4); // 4 lengths: 16, 17, 18, 0
        w.Bits(0, 3);
        w.Bits(0, 3);
        w.Bits(0, 3);
        w.Bits(1, 3); // symbol 0 has length 1, code 0
        w.Code(1, 1); // the empty slot
        cases.push_back({"empty code-length slot", w.Data() + std::string(8, '\0'),
                         arc::kDfCauseCodeLengthSymbol});
    }
    {
        TDeflateWriter w;
        w.BlockHeader(true, 2);
        w.Bits(0, 5);
        w.Bits(0, 5);
        w.CodeLengthHeader();
        w.CodeLengthSymbol(16, 0, 2);
        cases.push_back({"repeat without previous", w.Data() + std::string(8, '\0'),
                         arc::kDfCauseRepeatWithoutPrevious});
    }
    {
        TDeflateWriter w;
        w.BlockHeader(true, 2);
        w.Bits(0, 5); // 257 + 1 lengths
        w.Bits(0, 5);
        w.CodeLengthHeader();
        w.CodeLengthSymbol(18, 127, 7); // 138
        w.CodeLengthSymbol(18, 108, 7); // 119 -> 257
        w.CodeLengthSymbol(8);          // 258: all given
        // Exactly HLIT + HDIST lengths are accepted; the literal code is then
        // empty, which only matters once the data is decoded.
        cases.push_back({"exact count is fine", w.Data(), arc::kDfCauseInvalidLengthSymbol});
        TDeflateWriter over;
        over.BlockHeader(true, 2);
        over.Bits(0, 5);
        over.Bits(0, 5);
        over.CodeLengthHeader();
        over.CodeLengthSymbol(18, 127, 7);
        over.CodeLengthSymbol(18, 108, 7);
        over.CodeLengthSymbol(16, 0, 2); // 3 more, only 1 left
        cases.push_back({"repeat past HLIT + HDIST", over.Data() + std::string(8, '\0'),
                         arc::kDfCauseRepeatPastEnd});
        TDeflateWriter zeros;
        zeros.BlockHeader(true, 2);
        zeros.Bits(0, 5);
        zeros.Bits(0, 5);
        zeros.CodeLengthHeader();
        zeros.CodeLengthSymbol(18, 127, 7);
        zeros.CodeLengthSymbol(18, 110, 7); // 121 -> 259 > 258
        cases.push_back({"zero run past HLIT + HDIST", zeros.Data() + std::string(8, '\0'),
                         arc::kDfCauseRepeatPastEnd});
    }
    {
        std::vector<int> lit = CompleteLiteralLengths();
        lit[0] = 7; // one code shorter: over-subscribed
        TDeflateWriter w;
        w.DynamicHeader(true, lit, {1, 1});
        cases.push_back({"over-subscribed literals", w.Data() + std::string(8, '\0'),
                         arc::kDfCauseOverSubscribed});
        TDeflateWriter d;
        d.DynamicHeader(true, CompleteLiteralLengths(), {1, 1, 1});
        cases.push_back({"over-subscribed distances", d.Data() + std::string(8, '\0'),
                         arc::kDfCauseOverSubscribed});
    }
    {
        // Incomplete literal code: symbols 'a' and 256 only, each 2 bits.
        std::vector<int> lit(257, 0);
        lit['a'] = 2;
        lit[256] = 2;
        TDeflateWriter w;
        w.DynamicHeader(true, lit, {1});
        w.Literal('a');
        w.Code(3, 2); // no symbol has this code
        w.EndOfBlock();
        cases.push_back({"empty literal slot", w.Data(), arc::kDfCauseInvalidLengthSymbol});
        cases.push_back(
            {"empty literal slot (64)", w.Data(), arc::kDfCauseInvalidLengthSymbol, true});
    }
    for (bool deflate64 : {false, true}) {
        // Only distance symbol 0 has a code (one 1-bit code); code 1 is empty.
        std::vector<int> dist = {1};
        TDeflateWriter w(deflate64);
        w.DynamicHeader(true, CompleteLiteralLengths(), dist);
        w.Literals("aa");
        w.LiteralSymbol(257);
        w.Code(1, 1);
        w.EndOfBlock();
        cases.push_back(
            {"empty distance slot", w.Data() + std::string(8, '\0'),
             deflate64 ? arc::kDfCauseInvalidDistanceSymbol64 : arc::kDfCauseInvalidDistanceSymbol,
             deflate64});
        // No distance codes at all: a literal-only block is fine until a match.
        TDeflateWriter none(deflate64);
        none.DynamicHeader(true, CompleteLiteralLengths(), {0});
        none.Literals("aa");
        none.LiteralSymbol(257);
        cases.push_back(
            {"no distance codes", none.Data() + std::string(8, '\0'),
             deflate64 ? arc::kDfCauseInvalidDistanceSymbol64 : arc::kDfCauseInvalidDistanceSymbol,
             deflate64});
    }

    for (const TCase& c : cases)
        EXPECT_EQ(InflateCause(c.data, c.deflate64), c.cause) << c.name;
}

TEST(InflateInvalid, EveryProperPrefixOfAValidStreamFails) {
    TDeflateWriter w = FixedBlock(false);
    w.Literals("prefix test ");
    w.Match(30, 12);
    w.EndOfBlock();
    w.Stored(false, "raw");
    w.DynamicHeader(true, CompleteLiteralLengths(), {2, 2, 2, 2});
    w.Literals("xyz");
    w.Match(9, 3);
    w.EndOfBlock();
    std::string full = w.Data();
    ASSERT_EQ(InflateBytes(full).size(), 12u + 30 + 3 + 3 + 9);
    for (size_t n = 0; n < full.size(); ++n) {
        std::string cause = InflateCause(full.substr(0, n));
        EXPECT_EQ(cause.rfind("no more compressed data in stream [", 0), 0u) << n << ": " << cause;
    }
}

namespace {

// A destination that refuses writes once a size limit would be passed.
class TLimitedStream : public rtl::TMemoryStream {
  public:
    explicit TLimitedStream(size_t limit) : FLimit(limit) {}
    size_t Write(const void* buffer, size_t count) override {
        if (static_cast<size_t>(Size()) + count > FLimit) throw arc::EArcZipBadCRC();
        return rtl::TMemoryStream::Write(buffer, count);
    }
    size_t FLimit;
};

// A source that hands out data in small uneven pieces.
class TTrickleStream : public rtl::TMemoryStream {
  public:
    size_t Read(void* buffer, size_t count) override {
        FCall = (FCall + 1) % 7;
        return rtl::TMemoryStream::Read(buffer, std::min<size_t>(count, FCall + 1));
    }
    int FCall = 0;
};

// A destination that records the size of every write and may write short.
class TRecordingStream : public rtl::TMemoryStream {
  public:
    size_t Write(const void* buffer, size_t count) override {
        FPieces.push_back(count);
        if (FShortWrite) return count / 2;
        return rtl::TMemoryStream::Write(buffer, count);
    }
    std::vector<size_t> FPieces;
    bool FShortWrite = false;
};

std::string BombStream(size_t outputSize) {
    TDeflateWriter w = FixedBlock(true);
    w.Literal('x');
    for (size_t n = 1; n < outputSize; n += 258)
        w.Match(258, 1);
    w.EndOfBlock();
    return w.Data();
}

} // namespace

TEST(InflateDestination, WriteErrorsPassThroughUnchanged) {
    std::string data = BombStream(1000000);
    rtl::TMemoryStream src = MemoryOf(data);
    TLimitedStream dst(100000);
    TArcDeflateHelper helper;
    EXPECT_THROW(arc::Inflate(src, dst, helper), arc::EArcZipBadCRC);
    EXPECT_LE(dst.Size(), 100000);
    EXPECT_EQ(dst.Size() % 32768, 0);

    src.SetPosition(0);
    TRecordingStream shortDst;
    shortDst.FShortWrite = true;
    try {
        arc::Inflate(src, shortDst, helper);
        ADD_FAILURE() << "short write not reported";
    } catch (const rtl::EWriteError& e) {
        EXPECT_EQ(e.Message(), "Stream write error");
    }
}

TEST(InflateDestination, WritesComeIn32KiBPiecesAndSizesAreReported) {
    std::string data = BombStream(300000);
    data += "trailing";
    rtl::TMemoryStream src = MemoryOf(data);
    TRecordingStream dst;
    TArcDeflateHelper helper;
    uint32_t crc = arc::Inflate(src, dst, helper);
    ASSERT_GE(dst.Size(), 300000);
    for (size_t i = 0; i + 1 < dst.FPieces.size(); ++i)
        EXPECT_EQ(dst.FPieces[i], 32768u);
    EXPECT_EQ(helper.FSizeNormal, dst.Size());
    EXPECT_EQ(helper.FSizeCompressed, static_cast<int64_t>(data.size())); // read ahead in full
    EXPECT_EQ(crc, arc::TArcCrc32::Of(dst.Memory(), dst.Size()));
}

TEST(InflateOptions, ChecksumKindsTestOnlyAndPartialSize) {
    std::string expected = "Wikipedia";
    TDeflateWriter w;
    w.Stored(true, expected);
    std::string data = w.Data();

    rtl::TMemoryStream src = MemoryOf(data);
    rtl::TMemoryStream dst;
    TArcDeflateHelper adler;
    adler.FOptions |= TArcDeflateHelper::kUseAdler32;
    EXPECT_EQ(arc::Inflate(src, dst, adler), 0x11E60398u); // RFC 1950's example value

    src.SetPosition(0);
    TArcDeflateHelper skip;
    skip.FSkipChecksum = true;
    EXPECT_EQ(arc::Inflate(src, dst, skip), 0u);

    std::string big = BombStream(200000);
    rtl::TMemoryStream bigSrc = MemoryOf(big);
    rtl::TMemoryStream none;
    TArcDeflateHelper count;
    count.FOptions |= TArcDeflateHelper::kTestOnly;
    uint32_t crc = arc::Inflate(bigSrc, none, count);
    EXPECT_EQ(none.Size(), 0);
    EXPECT_GE(count.FSizeNormal, 200000);
    std::string xs(static_cast<size_t>(count.FSizeNormal), 'x');
    EXPECT_EQ(crc, arc::TArcCrc32::Of(xs.data(), xs.size()));

    bigSrc.SetPosition(0);
    rtl::TMemoryStream part;
    TArcDeflateHelper partial;
    partial.FPartSize = 1000;
    EXPECT_EQ(arc::Inflate(bigSrc, part, partial), 0u);
    EXPECT_EQ(ToString(part.Bytes()), std::string(1000, 'x'));
    EXPECT_EQ(partial.FSizeNormal, 1000);
}

TEST(InflateOptions, ProgressAbortEndsQuietly) {
    std::string data = Noise(100000, 5);
    TDeflateWriter w;
    w.Stored(false, data.substr(0, 50000));
    w.Stored(true, data.substr(50000));
    std::string stream = w.Data();
    rtl::TMemoryStream src = MemoryOf(stream);
    rtl::TMemoryStream dst;
    TArcDeflateHelper helper;
    helper.FStreamSize = static_cast<int64_t>(stream.size());
    std::vector<int> seen;
    helper.FOnProgressStep = [&](int percent, bool& abort) {
        seen.push_back(percent);
        abort = percent >= 30;
    };
    EXPECT_EQ(arc::Inflate(src, dst, helper), 0u);
    ASSERT_FALSE(seen.empty());
    EXPECT_GE(seen.back(), 30);
    EXPECT_LT(dst.Size(), 100000);
}

TEST(InflateSource, PiecemealReadsGiveTheSameResult) {
    std::string expected = Noise(5000, 8);
    TDeflateWriter w = FixedBlock(false);
    w.Literals(expected);
    w.Match(258, 5000);
    expected += expected.substr(0, 258);
    w.EndOfBlock();
    w.Stored(true, "tail");
    expected += "tail";
    std::string data = w.Data();
    TTrickleStream src;
    src.WriteBuffer(data.data(), data.size());
    src.SetPosition(0);
    rtl::TMemoryStream dst;
    TArcDeflateHelper helper;
    arc::Inflate(src, dst, helper);
    EXPECT_EQ(ToString(dst.Bytes()), expected);
}

// Random data compressed by zlib (a separate implementation) at every level and
// strategy decodes to itself.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "InflateSupport.h"

using namespace inflate_test;

namespace {

std::string RawDeflate(const std::string& data, int level, int strategy) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 9, strategy), Z_OK);
    std::string out(deflateBound(&z, data.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// Data with every kind of redundancy: runs, short and far repeats, text, noise.
std::string RandomData(std::mt19937& rng, size_t size) {
    std::string s;
    while (s.size() < size) {
        switch (rng() % 5) {
        case 0:
            s.append(1 + rng() % 300, static_cast<char>(rng()));
            break;
        case 1:
            if (!s.empty()) {
                size_t back = 1 + rng() % std::min<size_t>(s.size(), 32768);
                size_t len = 3 + rng() % 400;
                for (size_t i = 0; i < len; ++i)
                    s += s[s.size() - back];
            }
            break;
        case 2:
            for (int i = rng() % 200; i > 0; --i)
                s += static_cast<char>('a' + rng() % 6);
            break;
        default:
            for (int i = rng() % 500; i > 0; --i)
                s += static_cast<char>(rng());
        }
    }
    s.resize(size);
    return s;
}

} // namespace

TEST(InflateZlibRoundTrip, RandomDataAtAllLevelsAndStrategies) {
    std::mt19937 rng(1951);
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    for (int round = 0; round < 40; ++round) {
        size_t size = round < 10 ? rng() % 100 : rng() % 400000;
        std::string data = RandomData(rng, size);
        int level = round % 10;
        int strategy = strategies[round % 5];
        std::string compressed = RawDeflate(data, level, strategy);
        std::string out = InflateBytes(compressed);
        ASSERT_EQ(out.size(), data.size()) << round;
        ASSERT_TRUE(out == data) << "round " << round << " level " << level;
    }
}

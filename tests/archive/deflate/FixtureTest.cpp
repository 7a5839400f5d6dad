// Streams made by real compressors (see tests/data/inflate/README.md).
#include <gtest/gtest.h>

#include "archive/Crc32.h"
#include "InflateSupport.h"
#include "tests/TestSupport.h"

using namespace inflate_test;
using testing_support::DataFile;
using testing_support::ReadFileBytes;

TEST(InflateFixtures, ZlibStreamsAtSeveralLevels) {
    std::string original = ReadFileBytes(DataFile("inflate/mixed.bin"));
    ASSERT_EQ(original.size(), 150158u);
    for (const char* name :
         {"inflate/mixed.l1.deflate", "inflate/mixed.l6.deflate", "inflate/mixed.l9.deflate"}) {
        std::string compressed = ReadFileBytes(DataFile(name));
        ASSERT_FALSE(compressed.empty()) << name;
        arc::TArcDeflateHelper helper;
        std::string out = InflateBytes(compressed, false, &helper);
        EXPECT_TRUE(out == original) << name;
        EXPECT_EQ(helper.FSizeNormal, static_cast<int64_t>(original.size())) << name;
        EXPECT_EQ(helper.FSizeCompressed, static_cast<int64_t>(compressed.size())) << name;
    }
}

TEST(InflateFixtures, IncompressibleDataInStoredBlocks) {
    std::string out = InflateBytes(ReadFileBytes(DataFile("inflate/random.l6.deflate")));
    EXPECT_EQ(out.size(), 40000u);
    EXPECT_EQ(arc::TArcCrc32::Of(out.data(), out.size()), 0x7193D2E3u);
}

TEST(InflateFixtures, Deflate64StreamWithLongMatchesAndFarDistances) {
    std::string compressed = ReadFileBytes(DataFile("inflate/d64.deflate64"));
    ASSERT_FALSE(compressed.empty());
    std::string out = InflateBytes(compressed, true);
    EXPECT_EQ(out.size(), 212000u);
    EXPECT_EQ(arc::TArcCrc32::Of(out.data(), out.size()), 0xBA8E0ACBu);
    // The same bits read as plain deflate mean something else and must not
    // decode to the same data.
    std::string cause = InflateCause(compressed, false);
    EXPECT_NE(cause, "no error");
}

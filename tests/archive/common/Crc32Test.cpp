#include <gtest/gtest.h>

#include <string>

#include "archive/Crc32.h"

using arc::TArcCrc32;

TEST(Crc32, KnownValues) {
    EXPECT_EQ(TArcCrc32::Of("", 0), 0u);
    EXPECT_EQ(TArcCrc32::Of("123456789", 9), 0xCBF43926u);
    std::string fox = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(TArcCrc32::Of(fox.data(), fox.size()), 0x414FA339u);
}

TEST(Crc32, PiecewiseUpdatesEqualOneShotAtEveryAlignment) {
    std::string data(1000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 + 7);
    uint32_t whole = TArcCrc32::Of(data.data(), data.size());
    for (size_t split = 0; split < 17; ++split) {
        TArcCrc32 crc;
        crc.Update(data.data(), split);
        crc.Update(data.data() + split, 3);
        crc.Update(data.data() + split + 3, data.size() - split - 3);
        ASSERT_EQ(crc.Value(), whole) << split;
    }
}

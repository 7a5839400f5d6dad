#include "runtime/Bytes.h"

#include <gtest/gtest.h>

namespace {

TEST(BytesTest, LoadsAndStoresInTheirByteOrderAtAnyAlignment) {
    const uint8_t raw[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88, 0xFF};
    // Starting at an odd offset proves nothing relies on alignment; the high
    // bytes prove no sign extension slips in.
    EXPECT_EQ(rtl::LoadLE16(raw + 1), 0x0201);
    EXPECT_EQ(rtl::LoadLE16(raw + 8), 0xFF88);
    EXPECT_EQ(rtl::LoadLE32(raw + 1), 0x04030201u);
    EXPECT_EQ(rtl::LoadLE32(raw + 6), 0xFF880706u);
    EXPECT_EQ(rtl::LoadLE64(raw + 2), 0xFF88070605040302ull);
    EXPECT_EQ(rtl::LoadBE16(raw + 8), 0x88FF);
    EXPECT_EQ(rtl::LoadBE32(raw + 6), 0x060788FFu);
    EXPECT_EQ(rtl::LoadBE64(raw + 2), 0x02030405060788FFull);
    EXPECT_EQ(rtl::ByteSwap32(0x11223344u), 0x44332211u);

    uint8_t out[9] = {};
    rtl::StoreLE64(out + 1, 0x8877665544332211ull);
    EXPECT_EQ(rtl::LoadLE64(out + 1), 0x8877665544332211ull);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 0x11);
    EXPECT_EQ(out[8], 0x88);
}

} // namespace

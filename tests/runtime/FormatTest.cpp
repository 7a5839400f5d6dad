#include <gtest/gtest.h>

#include "runtime/Exception.h"
#include "runtime/Format.h"

using namespace rtl;

TEST(Format, FillsTextAndNumbersInOrder) {
    EXPECT_EQ(Format("Cannot create file \"%s\". %s", {"C:\\x\\main.zip", "Access denied"}),
              "Cannot create file \"C:\\x\\main.zip\". Access denied");
    EXPECT_EQ(Format("%d: %s", {404, "HTTP/1.1 404 Not Found"}), "404: HTTP/1.1 404 Not Found");
    EXPECT_EQ(Format("Socket Error # %d\r\n%s", {10061, "Connection refused."}),
              "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(Format("100%% of %u", {7u}), "100% of 7");
}

TEST(Format, WidthFlagsAndBases) {
    EXPECT_EQ(Format("[%5d][%-5d][%05d][%05d]", {42, 42, 42, -42}), "[   42][42   ][00042][-0042]");
    EXPECT_EQ(Format("%x %X %08X", {255, 255, 0x1F}), "ff FF 0000001F");
    EXPECT_EQ(Format("%d", {INT64_MIN}), "-9223372036854775808");
}

TEST(Format, MismatchedOrMissingArgumentsRaise) {
    EXPECT_THROW(Format("%d", {"text"}), EConvertError);
    EXPECT_THROW(Format("%s", {12}), EConvertError);
    EXPECT_THROW(Format("%s and %s", {"one"}), EConvertError);
    EXPECT_THROW(Format("trailing %", {}), EConvertError);
    try {
        Format("%q", {1});
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Format '%q' invalid or incompatible with argument");
    }
}

TEST(Format, StrToInt64AcceptsOnlyWholeNumbersInRange) {
    int64_t v = 0;
    EXPECT_TRUE(TryStrToInt64("8080", v));
    EXPECT_EQ(v, 8080);
    EXPECT_TRUE(TryStrToInt64("+0080", v));
    EXPECT_EQ(v, 80);
    EXPECT_TRUE(TryStrToInt64("-9223372036854775808", v));
    EXPECT_EQ(v, INT64_MIN);
    EXPECT_TRUE(TryStrToInt64("9223372036854775807", v));
    EXPECT_EQ(v, INT64_MAX);
    for (const char* bad : {"", "+", "-", "9223372036854775808", "-9223372036854775809", "80a", " 80", "8.0"})
        EXPECT_FALSE(TryStrToInt64(bad, v)) << bad;
}

TEST(Format, TrimRemovesBlanksAndControlCharacters) {
    EXPECT_EQ(Trim("\t  value \r\n"), "value");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a \x01"), "  a");
    EXPECT_EQ(Trim("   "), "");
}

#include <gtest/gtest.h>

#include "platform/Unicode.h"

using namespace platform;

TEST(Unicode, RoundTripsEveryPlane) {
    std::string text = "Fran\xC3\xA7" "ais \xE2\x82\xAC \xF0\x9F\x98\x80";
    std::u16string wide = Utf8ToUtf16(text);
    EXPECT_EQ(wide, u"Fran\u00E7ais \u20AC \U0001F600");
    EXPECT_EQ(Utf16ToUtf8(wide), text);
    EXPECT_EQ(Utf8Length(text), 12u);
}

TEST(Unicode, MalformedInputBecomesReplacementCharacters) {
    EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");           // cut sequence
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");     // overlong lead, stray continuation
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");       // encoded surrogate
    EXPECT_EQ(Utf8ToUtf16("\xE2\x82x"), u"\uFFFDx");         // the next character survives
    std::u16string lone = {u'a', 0xD800, u'b'};
    EXPECT_EQ(Utf16ToUtf8(lone), "a\xEF\xBF\xBD" "b");
}

TEST(Unicode, AsciiCaseOnlyTouchesAToZ) {
    EXPECT_EQ(AsciiUpperCase("abc\xC3\xA9xyz"), "ABC\xC3\xA9XYZ");
    EXPECT_TRUE(SameTextAscii("Keep-Alive", "KEEP-ALIVE"));
    EXPECT_FALSE(SameTextAscii("close", "closed"));
}

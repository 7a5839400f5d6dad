#include <gtest/gtest.h>

#include "http/NetCookies.h"

using namespace net;

namespace {

rtl::TDateTime At(int y, int mo, int d, int h, int mi, int s) {
    return rtl::EncodeDate(y, mo, d) + rtl::EncodeTime(h, mi, s, 0);
}

} // namespace

TEST(CookieDate, TheThreeClassicFormatsAndCommonVariants) {
    const rtl::TDateTime expected = At(1994, 11, 6, 8, 49, 37);
    for (const char* text : {
             "Sun, 06 Nov 1994 08:49:37 GMT",  // RFC 1123
             "Sunday, 06-Nov-94 08:49:37 GMT", // RFC 850
             "Sun Nov  6 08:49:37 1994",       // asctime
             "sun, 6-november-1994 08:49:37GMT",
             "06 Nov 1994 8:49:37",
             "1994 Nov 6 08:49:37", // the year cannot be a day of month
             "Sun,06/NOV/1994 08:49:37 +0000",
         }) {
        rtl::TDateTime utc = -1;
        EXPECT_TRUE(TryParseCookieDate(text, utc)) << text;
        EXPECT_EQ(utc, expected) << text;
    }
}

TEST(CookieDate, TwoDigitYears) {
    rtl::TDateTime utc;
    ASSERT_TRUE(TryParseCookieDate("01 Jan 69 00:00:00", utc));
    EXPECT_EQ(utc, At(2069, 1, 1, 0, 0, 0));
    ASSERT_TRUE(TryParseCookieDate("01 Jan 70 00:00:00", utc));
    EXPECT_EQ(utc, At(1970, 1, 1, 0, 0, 0));
    ASSERT_TRUE(TryParseCookieDate("31 Dec 99 23:59:59", utc));
    EXPECT_EQ(utc, At(1999, 12, 31, 23, 59, 59));
    ASSERT_TRUE(TryParseCookieDate("31 Dec 9999 23:59:59", utc));
    EXPECT_EQ(utc, At(9999, 12, 31, 23, 59, 59));
}

TEST(CookieDate, BrokenDatesCountAsAbsent) {
    for (const char* text : {
             "",
             "GMT",
             "Sun, 06 Nov 1994",         // no time
             "Sun, 06 Nov 08:49:37 GMT", // no year
             "Sun, Nov 1994 08:49:37",   // "1994" is no day of month: no year left
             "06 1994 08:49:37",         // no month
             "32 Nov 1994 08:49:37",
             "00 Nov 1994 08:49:37",
             "06 Nov 1994 24:00:00",
             "06 Nov 1994 23:60:00",
             "06 Nov 1994 23:59:60",
             "06 Nov 1600 08:49:37",  // before 1601
             "30 Feb 2021 08:49:37",  // no such day
             "06 Nov 12345 08:49:37", // five-digit year
             "06 Nov 1994 123:49:37", // three-digit hour
             "06 No 1994 08:49:37",
             "06 Nov 1994 08:49",
             "\xff\xfe 06 Nov 1994",
         }) {
        rtl::TDateTime utc = 0;
        EXPECT_FALSE(TryParseCookieDate(text, utc)) << text;
    }
}

#include <gtest/gtest.h>

#include <cmath>

#include "runtime/DateTime.h"
#include "runtime/Exception.h"

using namespace rtl;

TEST(DateTime, KnownDaysEncode) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1970, 1, 1), kUnixDateDelta);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
    EXPECT_EQ(EncodeDate(2000, 3, 1) - EncodeDate(2000, 2, 28), 2.0); // 2000 is a leap year
    EXPECT_EQ(EncodeDate(1900, 3, 1) - EncodeDate(1900, 2, 28), 1.0); // 1900 is not
}

TEST(DateTime, DecodeInvertsEncodeAcrossTheRange) {
    for (int year : {1, 4, 100, 1600, 1899, 1900, 1980, 2000, 2024, 2100, 9999})
        for (int month = 1; month <= 12; ++month)
            for (int day : {1, 15, DaysInMonth(year, month)}) {
                int y, m, d;
                DecodeDate(EncodeDate(year, month, day) + 0.75, y, m, d);
                ASSERT_EQ(y, year);
                ASSERT_EQ(m, month);
                ASSERT_EQ(d, day);
            }
    int h, mi, s, ms;
    DecodeTime(EncodeDate(2026, 12, 8) + EncodeTime(23, 59, 59, 999), h, mi, s, ms);
    EXPECT_EQ(h * 10000000 + mi * 100000 + s * 1000 + ms, 235959999);
}

TEST(DateTime, OutOfRangeValuesRaiseTheConversionErrors) {
    try {
        EncodeDate(1980, 0, 1);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Invalid argument to date encode");
    }
    try {
        EncodeTime(24, 0, 0, 0);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Invalid argument to time encode");
    }
    EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
    EXPECT_THROW(EncodeTime(10, 60, 0, 0), EConvertError);
}

TEST(DateTime, UnixSecondsAndLocalTimeRoundTrip) {
    EXPECT_EQ(DateTimeToUnix(UnixToDateTime(1700000000)), 1700000000);
    TDateTime utc = EncodeDate(2024, 7, 1) + EncodeTime(12, 0, 0, 0);
    EXPECT_NEAR(LocalToUniversal(UniversalToLocal(utc)), utc, 1e-9);
    EXPECT_LT(std::fabs(Now() - UniversalToLocal(UtcNow())), 1.0 / 86400 * 5);
}

// The integer calendar against day counts of another implementation, then
// day by day from 400 years before year 1 to past 9999: each count gives the
// date after the one before it, and that date gives back the count.
TEST(DateTime, UnixDayCountsAreExactAcrossTheRange) {
    struct Case {
        int64_t Year;
        unsigned Month, Day;
        int64_t Days;
    } cases[] = {
        {1, 1, 1, -719162}, {1600, 2, 29, -135081}, {1899, 12, 30, -25569}, {1969, 12, 31, -1},
        {1970, 1, 1, 0},    {2000, 3, 1, 11017},    {2038, 1, 19, 24855},   {9999, 12, 31, 2932896},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DaysFromCivil(c.Year, c.Month, c.Day), c.Days) << c.Year << "-" << c.Month;
        int64_t y;
        unsigned m, d;
        CivilFromDays(c.Days, y, m, d);
        EXPECT_EQ(y * 10000 + m * 100 + d, c.Year * 10000 + c.Month * 100 + c.Day);
    }
    int64_t year = -400;
    unsigned month = 1, day = 1;
    for (int64_t n = DaysFromCivil(-400, 1, 1); year <= 10000; ++n) {
        int64_t y;
        unsigned m, d;
        CivilFromDays(n, y, m, d);
        ASSERT_EQ(y * 10000 + m * 100 + d, year * 10000 + month * 100 + day) << "day " << n;
        ASSERT_EQ(DaysFromCivil(y, m, d), n);
        if (++day >
            static_cast<unsigned>(DaysInMonth(static_cast<int>(year), static_cast<int>(month))))
            day = 1, month = month % 12 + 1, year += month == 1;
    }
}

#include "runtime/DateTime.h"

#include <cmath>

#include "platform/Clock.h"
#include "runtime/Exception.h"
#include "runtime/ResStrings.h"

namespace rtl {

namespace {
// 1899-12-30 counted in days from 0001-01-01, which is day 1.
constexpr int64_t kDateDelta = 693594;

int64_t DaysBeforeYear(int year) {
    int64_t y = year - 1;
    return y * 365 + y / 4 - y / 100 + y / 400;
}
} // namespace

bool IsLeapYear(int year) { return (year % 4 == 0) && ((year % 100 != 0) || (year % 400 == 0)); }

int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    int64_t days = DaysBeforeYear(year);
    for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
    days += day;
    result = static_cast<double>(days - kDateDelta);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        millisecond > 999)
        return false;
    result = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / (kSecondsPerDay * 1000.0);
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime result;
    if (!TryEncodeDate(year, month, day, result)) throw EConvertError(LoadResString(&SDateEncodeError));
    return result;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
    TDateTime result;
    if (!TryEncodeTime(hour, minute, second, millisecond, result))
        throw EConvertError(LoadResString(&STimeEncodeError));
    return result;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    int64_t days = static_cast<int64_t>(std::floor(value)) + kDateDelta - 1; // 0-based from 0001-01-01
    int64_t y = (days * 400 + 146096) / 146097;                           // first estimate
    while (DaysBeforeYear(static_cast<int>(y) + 1) <= days) ++y;
    while (y > 1 && DaysBeforeYear(static_cast<int>(y)) > days) --y;
    year = static_cast<int>(y);
    int64_t rest = days - DaysBeforeYear(year);
    month = 1;
    while (month < 12 && rest >= DaysInMonth(year, month)) rest -= DaysInMonth(year, month++);
    day = static_cast<int>(rest) + 1;
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond) {
    double fraction = value - std::floor(value);
    int64_t ms = std::llround(fraction * kSecondsPerDay * 1000.0);
    if (ms >= 86400000) ms = 86399999;
    hour = static_cast<int>(ms / 3600000);
    minute = static_cast<int>(ms / 60000 % 60);
    second = static_cast<int>(ms / 1000 % 60);
    millisecond = static_cast<int>(ms % 1000);
}

TDateTime UnixToDateTime(int64_t unixSeconds) { return kUnixDateDelta + unixSeconds / kSecondsPerDay; }

int64_t DateTimeToUnix(TDateTime value) {
    return static_cast<int64_t>(std::llround((value - kUnixDateDelta) * kSecondsPerDay));
}

TDateTime UtcNow() { return kUnixDateDelta + platform::UtcNowUnixSeconds() / kSecondsPerDay; }

TDateTime Now() { return UniversalToLocal(UtcNow()); }

TDateTime UniversalToLocal(TDateTime utc) {
    return utc + platform::LocalOffsetSecondsAt(DateTimeToUnix(utc)) / kSecondsPerDay;
}

TDateTime LocalToUniversal(TDateTime local) {
    // The offset depends on the instant: take it at the first estimate, then again.
    TDateTime guess = local - platform::LocalOffsetSecondsAt(DateTimeToUnix(local)) / kSecondsPerDay;
    return local - platform::LocalOffsetSecondsAt(DateTimeToUnix(guess)) / kSecondsPerDay;
}

} // namespace rtl

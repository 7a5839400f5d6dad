#include "runtime/DateTime.h"

#include <cmath>

#include "platform/Clock.h"
#include "runtime/Exception.h"
#include "runtime/ResStrings.h"

namespace rtl {

// The era arithmetic of H. Hinnant's "chrono-compatible low-level date
// algorithms": the year taken to begin on March 1, so that the leap day ends
// it, in eras of 400 years (146097 days), each the same as the last.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

bool IsLeapYear(int year) { return (year % 4 == 0) && ((year % 100 != 0) || (year % 400 == 0)); }

int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    result = kUnixDateDelta + static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month),
                                                                static_cast<unsigned>(day)));
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
    int64_t y;
    unsigned m, d;
    const int64_t days = static_cast<int64_t>(std::floor(value));
    CivilFromDays(days - static_cast<int64_t>(kUnixDateDelta), y, m, d);
    year = static_cast<int>(y);
    month = static_cast<int>(m);
    day = static_cast<int>(d);
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

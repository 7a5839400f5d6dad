#pragma once
// Date-time values as the runtime keeps them: days since 1899-12-30 00:00 as a
// double, the fraction being the time of day. Dates from 0001-01-01 to
// 9999-12-31 are valid.
#include <cstdint>

namespace rtl {

using TDateTime = double;

constexpr double kSecondsPerDay = 86400.0;
// 1970-01-01 00:00 as a TDateTime.
constexpr TDateTime kUnixDateDelta = 25569.0;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Raise EConvertError "Invalid argument to date encode" / "... time encode"
// for a value out of range.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);

// Current local time and current UTC time.
TDateTime Now();
TDateTime UtcNow();
TDateTime UniversalToLocal(TDateTime utc);
TDateTime LocalToUniversal(TDateTime local);

TDateTime UnixToDateTime(int64_t unixSeconds);
int64_t DateTimeToUnix(TDateTime value);

// Whole days since 1970-01-01 of a date of the proleptic Gregorian calendar,
// and the date of such a day count, in integers: exact for instants kept as
// Unix seconds, where a TDateTime's fraction of a day would be rounded. Any
// year is taken (before year 1 too); the date is not checked, so a caller
// validates it first (DaysInMonth).
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);
void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day);

} // namespace rtl

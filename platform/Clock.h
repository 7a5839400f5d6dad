#pragma once
// Wall-clock time and the local time zone.
#include <cstdint>

namespace platform {

// Current time as seconds since 1970-01-01 00:00:00 UTC, with fractions.
double UtcNowUnixSeconds();
// Offset of local time from UTC in seconds (local = UTC + offset) at the given
// UTC instant, daylight saving time included.
int64_t LocalOffsetSecondsAt(int64_t utcUnixSeconds);

} // namespace platform

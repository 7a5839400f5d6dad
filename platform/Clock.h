#pragma once
// Wall-clock time and the local time zone, and the monotonic clock that
// deadlines and elapsed times are measured on.
#include <cstdint>

namespace platform {

// Current time as seconds since 1970-01-01 00:00:00 UTC, with fractions.
double UtcNowUnixSeconds();
// Offset of local time from UTC in seconds (local = UTC + offset) at the given
// UTC instant, daylight saving time included.
int64_t LocalOffsetSecondsAt(int64_t utcUnixSeconds);

// Milliseconds on a clock that only moves forward, from an unspecified start:
// only differences mean anything. Unlike the wall clock it does not jump when
// the system time is set, so a time-out measured on it neither fires early nor
// waits for ever.
int64_t NowMs();

} // namespace platform

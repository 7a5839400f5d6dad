#include "platform/Clock.h"

#include <windows.h>

namespace platform {

namespace {
constexpr int64_t kUnixEpochAsFileTime = 116444736000000000LL; // 100 ns units since 1601

int64_t ToFileTime(const FILETIME& ft) { return (static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }
} // namespace

double UtcNowUnixSeconds() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return static_cast<double>(ToFileTime(ft) - kUnixEpochAsFileTime) / 1e7;
}

int64_t LocalOffsetSecondsAt(int64_t utcUnixSeconds) {
    int64_t value = utcUnixSeconds * 10000000LL + kUnixEpochAsFileTime;
    FILETIME utc{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
    SYSTEMTIME utcSystem, localSystem;
    if (!FileTimeToSystemTime(&utc, &utcSystem)) return 0;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utcSystem, &localSystem)) return 0;
    FILETIME local;
    if (!SystemTimeToFileTime(&localSystem, &local)) return 0;
    return (ToFileTime(local) - value) / 10000000LL;
}

int64_t NowMs() {
    // The performance counter, as the C++ steady clock reads it here: never
    // set back, and fine enough that a deadline ends within a millisecond of
    // its time (the tick count moves in steps of 10 to 16 ms).
    static const int64_t perSecond = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<int64_t>(frequency.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    // Whole seconds and the rest apart, so that the product cannot overflow.
    const int64_t ticks = counter.QuadPart;
    return ticks / perSecond * 1000 + ticks % perSecond * 1000 / perSecond;
}

} // namespace platform

#include "platform/Clock.h"

#include <ctime>
#include <sys/time.h>

namespace platform {

double UtcNowUnixSeconds() {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

int64_t LocalOffsetSecondsAt(int64_t utcUnixSeconds) {
    time_t t = static_cast<time_t>(utcUnixSeconds);
    tm local;
    if (!localtime_r(&t, &local)) return 0;
    return local.tm_gmtoff;
}

int64_t NowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace platform

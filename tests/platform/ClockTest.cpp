#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/Clock.h"

using namespace platform;

// The monotonic clock counts milliseconds: a wrong unit or scale (seconds,
// ticks of the counter, a product that overflows) shows as an elapsed time
// far from the sleep, and a clock that goes back as a negative one.
TEST(Clock, MonotonicMillisecondsFollowTheTimeSlept) {
    for (int sleptMs : {0, 20, 120}) {
        const int64_t before = NowMs();
        std::this_thread::sleep_for(std::chrono::milliseconds(sleptMs));
        const int64_t elapsed = NowMs() - before;
        EXPECT_GE(elapsed, sleptMs) << "slept " << sleptMs << " ms";
        EXPECT_LT(elapsed, sleptMs + 2000) << "slept " << sleptMs << " ms";
    }
}

// How transfer counts map onto a 32-bit progress bar, and how often the
// blocked thread redraws it and looks at its queue.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "setup/ProgressPacer.h"

TEST(ProgressMapperTest, SizesWithinRangeMapOneToOne) {
    setup::TProgressMapper mapper;
    int32_t max = 0;
    ASSERT_TRUE(mapper.WorkBegin(12345, max));
    EXPECT_EQ(max, 12345);
    EXPECT_EQ(mapper.Position(0), 0);
    EXPECT_EQ(mapper.Position(6000), 6000);
    EXPECT_EQ(mapper.Position(12345), 12345);
    int32_t exact = 0;
    ASSERT_TRUE(mapper.WorkBegin(std::numeric_limits<int32_t>::max(), exact));
    EXPECT_EQ(exact, std::numeric_limits<int32_t>::max());
}

TEST(ProgressMapperTest, UnknownSizeKeepsTheMaximumAndTheCountStillMoves) {
    setup::TProgressMapper mapper;
    int32_t max = 777;
    EXPECT_FALSE(mapper.WorkBegin(0, max));
    EXPECT_FALSE(mapper.WorkBegin(-1, max));
    EXPECT_EQ(max, 777);
    EXPECT_EQ(mapper.Position(50), 50);
    EXPECT_EQ(mapper.Position(500), 500); // past the maximum: a full bar
}

TEST(ProgressMapperTest, SizeBeyond32BitsIsScaledInProportion) {
    setup::TProgressMapper mapper;
    const int64_t size = (int64_t{1} << 33) + 12345; // about 8 GiB
    int32_t max = 0;
    ASSERT_TRUE(mapper.WorkBegin(size, max));
    EXPECT_GT(max, 0);
    EXPECT_GE(max, std::numeric_limits<int32_t>::max() / 2);
    EXPECT_EQ(mapper.Position(0), 0);
    int32_t half = mapper.Position(size / 2);
    EXPECT_NEAR(static_cast<double>(half) / max, 0.5, 0.001);
    EXPECT_EQ(mapper.Position(size), max);
    // The low 32 bits of 2^32 are 0: the bar must not drop back there.
    EXPECT_NEAR(static_cast<double>(mapper.Position(int64_t{1} << 32)) / max, 0.5, 0.001);
    // A later small transfer is not scaled any more.
    ASSERT_TRUE(mapper.WorkBegin(1000, max));
    EXPECT_EQ(mapper.Position(999), 999);
}

TEST(ProgressPacerTest, DrawsNewPixelColumnsAtMostEveryIntervalButTheEndsAtOnce) {
    // A bar of 200 pixels over 1,000,000 units: a column is 5,000 units.
    struct Step {
        int32_t position;
        uint64_t ms;
        bool drawn;
        const char* why;
    };
    const uint64_t gap = setup::TProgressPacer::kRedrawIntervalMs;
    const Step steps[] = {
        {0, 1000, true, "the first position of a range is drawn"},
        {4999, 1000 + gap, false, "still the empty column"},
        {5000, 1000 + gap, true, "a new column after the interval"},
        {20000, 1001 + gap, false, "a new column within the interval waits"},
        {20000, 1000 + 2 * gap, true, "and is drawn once the interval has passed"},
        {1000000, 1001 + 2 * gap, true, "the full bar at once"},
        {1200000, 1000 + 4 * gap, false, "past the maximum is still the full bar"},
        {995000, 1000 + 5 * gap, true, "one column back from full"},
        {0, 1001 + 5 * gap, true, "the empty bar at once"},
    };
    setup::TProgressPacer pacer;
    pacer.SetRange(1000000, 200);
    for (const Step& s : steps)
        EXPECT_EQ(pacer.ShouldDraw(s.position, s.ms), s.drawn) << s.why;
    // A new range draws its first position whatever the time.
    pacer.SetRange(1000, 200);
    EXPECT_TRUE(pacer.ShouldDraw(0, 1001 + 5 * gap));

    // The queue is looked at on the first call, then once per interval.
    const uint64_t every = setup::TProgressPacer::kQueueIntervalMs;
    EXPECT_LT(every, 1000u) << "well within the five seconds of a hung window";
    EXPECT_TRUE(pacer.ShouldLookAtQueue(5000));
    EXPECT_FALSE(pacer.ShouldLookAtQueue(5000 + every - 1));
    EXPECT_TRUE(pacer.ShouldLookAtQueue(5000 + every));
}

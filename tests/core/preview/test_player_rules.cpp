// The status display's text, the sliders' arithmetic, the pause blink and the meter's peak hold.
#include <gtest/gtest.h>

#include <climits>

#include "core/preview/preview_rules.h"

using namespace preview;

TEST(StatusText, ElapsedOrRemainingWithHoursWrappingAt24) {
    EXPECT_EQ(time_text(playing, 3725, 5, false), "Play -01:02:00");
    EXPECT_EQ(time_text(playing, 3725, 5, true), "Play  00:00:05");
    EXPECT_EQ(time_text(playing, 100000, 90000, true), "Play  01:00:00");
    EXPECT_EQ(time_text(paused, 60, 15, false), " Pause -00:00:45");
    EXPECT_EQ(time_text(paused, 60, 15, true), " Pause  00:00:15");
    EXPECT_EQ(time_text(stopped, 60, 15, true), "");
    // A position past a total time guessed short never shows a negative clock.
    EXPECT_EQ(time_text(playing, 10, 12, false), "Play -00:00:00");
}

TEST(Sliders, PercentOfTheTotalTruncatedAndTheSeekTarget) {
    EXPECT_EQ(position_percent(5, 3725), 0);
    EXPECT_EQ(position_percent(1, 3), 33);
    EXPECT_EQ(position_percent(2, 3), 66); // 66.67 truncated toward zero
    EXPECT_EQ(position_percent(3, 3), 100);
    EXPECT_EQ(position_percent(5, 0), 0); // no total time: the slider stays at the start
    EXPECT_EQ(position_percent(50, 10), 100);

    EXPECT_EQ(seek_seconds(3725, 50), 1862);
    EXPECT_EQ(seek_seconds(3725, 100), 3725);
    EXPECT_EQ(seek_seconds(INT_MAX, 99), static_cast<int>(static_cast<int64_t>(INT_MAX) * 99 / 100)); // no overflow
    EXPECT_EQ(seek_seconds(0, 50), 0);
}

TEST(PauseBlink, ShowsFor500AndHidesFor300Milliseconds) {
    Blink b; // as the play starts: off, stamped now
    b.stamp = 1000;
    EXPECT_FALSE(b.step(1300)); // 300 is not more than 300
    EXPECT_TRUE(b.step(1301));
    EXPECT_TRUE(b.step(1801)); // shown for 500
    EXPECT_FALSE(b.step(1802));
    EXPECT_FALSE(b.step(2102));
    EXPECT_TRUE(b.step(2103));
    // The millisecond clock wraps.
    Blink w;
    w.stamp = 0xFFFFFF00u;
    EXPECT_FALSE(w.step(0x00000010u)); // 272 ms later
    EXPECT_TRUE(w.step(0x00000040u));  // 320 ms later
}

TEST(Meter, PeakOfTheMagnitudesAndAFallingHold) {
    MeterRow row;
    int samples[256] = {};
    samples[10] = -42;
    samples[200] = 17;
    feed_levels(row, samples, 256, 1000);
    EXPECT_EQ(row.peak, 42);
    EXPECT_EQ(row.held_level, 42);
    EXPECT_EQ(row.held_stamp, 1000u);

    // Quieter: the peak drops at once, the hold falls by one once more than 8 ms have passed.
    samples[10] = 5;
    samples[200] = 0;
    feed_levels(row, samples, 256, 1008);
    EXPECT_EQ(row.peak, 5);
    EXPECT_EQ(row.held_level, 42);
    feed_levels(row, samples, 256, 1009);
    EXPECT_EQ(row.held_level, 41);
    EXPECT_EQ(row.held_stamp, 1009u);

    // Loud and wild values count as 100; INT_MIN has no magnitude of its own in an int.
    samples[3] = INT_MIN;
    feed_levels(row, samples, 256, 1020);
    EXPECT_EQ(row.peak, 100);
    EXPECT_EQ(row.held_level, 100); // held anew: it starts falling only after 8 ms

    // In silence the hold keeps falling, below zero: no mark is drawn then.
    int silence[256] = {};
    MeterRow quiet;
    quiet.held_level = 1;
    feed_levels(quiet, silence, 256, 100);
    EXPECT_EQ(quiet.held_level, 0);
    feed_levels(quiet, silence, 256, 200);
    EXPECT_EQ(quiet.held_level, -1);
}

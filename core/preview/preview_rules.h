// The preview's rules that need no window: the status display's time text, the position
// slider's percent, the blink of a paused display, a seek from the slider, and the level
// meter's falling peak hold. The window code and the monitor thread feed them the decoder's
// answers and the millisecond clock.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

namespace preview {

enum State { stopped = 0, playing = 1, paused = 2 };

// "Play  00:00:05" / "Play -01:02:00", or " Pause ..." with a leading blank: elapsed time
// (a blank as sign) or remaining time ('-'); hours wrap at 24.
std::string time_text(State state, int total_seconds, int position_seconds, bool show_elapsed);

// The position slider in percent of the total time, truncated; 0 without a total time.
int position_percent(int position_seconds, int total_seconds);

// The second a click on the position slider seeks to.
int seek_seconds(int total_seconds, int slider_percent);

// A paused display shows its time for 500 ms and hides it for 300 ms.
struct Blink {
    bool on = false;
    uint32_t stamp = 0;
    // Moves the blink on to `now` (milliseconds, wrapping); true while the time shows.
    bool step(uint32_t now);
};

// One row of the level meter: the level of the latest samples and a peak mark that holds the
// highest level and falls by one every 8 ms or so. The editor's monitor thread feeds it while
// the window thread zeroes and paints it: each value is a single aligned 32-bit one, read and
// written whole, which is all the threads share of it.
struct MeterRow {
    std::atomic<int32_t> peak{0};
    std::atomic<int32_t> held_level{0};
    std::atomic<uint32_t> held_stamp{0};
};
// Feeds one pass of 256 samples (already as the library scales them, full scale about 100).
void feed_levels(MeterRow& row, const int* samples, int count, uint32_t now);

} // namespace preview

#include "core/preview/preview_rules.h"

#include <cstdio>
#include <cstdlib>

namespace preview {

std::string time_text(State state, int total, int position, bool show_elapsed) {
    if (state != playing && state != paused) return "";
    int t = show_elapsed ? position : total - position;
    char sign = show_elapsed ? ' ' : '-';
    // A position past the end (a total time guessed short) shows as 0 left, never as garbage.
    if (t < 0) t = 0;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %c%02d:%02d:%02d", state == playing ? "Play" : " Pause", sign, t / 3600 % 24,
                  t / 60 % 60, t % 60);
    return buf;
}

int position_percent(int position, int total) {
    if (total <= 0 || position <= 0) return 0;
    float p = static_cast<float>(static_cast<double>(position) / total * 100.0);
    int percent = static_cast<int>(p);
    return percent > 100 ? 100 : percent;
}

int seek_seconds(int total, int slider) {
    if (total <= 0 || slider <= 0) return 0;
    return static_cast<int>(static_cast<int64_t>(total) * slider / 100);
}

bool Blink::step(uint32_t now) {
    uint32_t period = on ? 500 : 300;
    if (now - stamp > period) {
        stamp = now;
        on = !on;
    }
    return on;
}

void feed_levels(MeterRow& row, const int* samples, int count, uint32_t now) {
    int32_t peak = 0;
    for (int i = 0; i < count; ++i) {
        int64_t m = std::llabs(static_cast<int64_t>(samples[i])); // INT_MIN has no int magnitude
        if (m > peak) peak = m >= 100 ? 100 : static_cast<int32_t>(m);
    }
    constexpr auto relaxed = std::memory_order_relaxed; // no other memory depends on these
    row.peak.store(peak, relaxed);
    int32_t held = row.held_level.load(relaxed);
    uint32_t stamp = row.held_stamp.load(relaxed);
    if (held < peak) {
        held = peak;
        stamp = now;
    }
    if (now - stamp > 8) {
        stamp = now;
        held -= 1;
    }
    row.held_level.store(held, relaxed);
    row.held_stamp.store(stamp, relaxed);
}

} // namespace preview

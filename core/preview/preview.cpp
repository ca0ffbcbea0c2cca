#include "core/preview/preview.h"

#include <cstring>

namespace preview {

bool Preview::total_seconds(int& total) const {
    unsigned char block[56] = {};
    if (!d_.get_mpeg_info(block)) return false;
    std::memcpy(&total, block + 52, sizeof total);
    return true;
}

// The monitor thread rests while nothing plays; the first pass that sees a play wakes it.
void Preview::note_playing(View& view) {
    if (!was_playing_.exchange(1)) view.wake_monitor();
}

void Preview::start_play(View& view) {
    // A pause right after the start shows its time only after the first 300 ms.
    blink_.stamp = d_.now_ms();
    blink_.on = false;
    view.clear_held_levels();
    d_.play();
}

bool Preview::open_and_play(View& view, const std::string& utf8_path) {
    unsigned char info[272] = {};
    // The one record of an open file: a failed open leaves none, as the library ends its open
    // file before it opens another.
    file_open_ = d_.open(utf8_path, info).ok() ? 1 : 0;
    if (!file_open_) return false;
    start_play(view);
    update_status(view);
    return true;
}

void Preview::update_status(View& view) {
    std::string text;
    if (!d_.ready()) {
        text = "disable";
    } else {
        int position = 0;
        int state = d_.get_state(&position);
        int total = 0;
        const bool elapsed = settings_.show_elapsed_time == 1;
        if (state == stopped) {
            if (was_playing_) { // the stream ended by itself
                d_.stop();
                d_.close();
                file_open_ = 0;
                view.clear_held_levels();
            }
            was_playing_ = 0;
            view.show_position(0);
            text = "Stop";
        } else if (state == playing) {
            note_playing(view);
            if (total_seconds(total)) {
                text = time_text(playing, total, position, elapsed);
                if (!position_dragging_) view.show_position(position_percent(position, total));
            }
        } else if (state == paused) {
            bool shown = blink_.step(d_.now_ms());
            if (total_seconds(total)) text = time_text(paused, total, position, elapsed);
            if (!shown) text.clear();
        }
    }
    view.show_status(text);
}

void Preview::play(View& view, const std::string& utf8_path) {
    if (!d_.ready()) {
        // Marked first: the player's steps run from now on even when the init fails.
        d_.mark_ready();
        static_cast<void>(d_.init(settings_.playback_mode));
    }
    int state = d_.get_state(nullptr);
    if (state == playing) return;
    if (state == paused) {
        d_.restart();
        return;
    }
    open_and_play(view, utf8_path);
}

void Preview::pause() {
    if (!d_.ready()) return;
    int state = d_.get_state(nullptr);
    if (state == playing) d_.pause();
    else if (state == paused) d_.restart();
}

void Preview::stop(View& view) {
    if (!d_.ready()) return;
    int state = d_.get_state(nullptr);
    if (state != playing && state != paused) return;
    d_.stop();
    d_.close();
    file_open_ = 0;
    update_status(view);
}

void Preview::load(View& view, const std::string& utf8_path) {
    if (!d_.ready()) return;
    int state = d_.get_state(nullptr);
    stop(view);
    if (state == playing || state == paused || play_on_load || settings_.auto_play == 1) {
        play_on_load = 0;
        if (open_and_play(view, utf8_path)) note_playing(view);
    }
}

BeforeRename Preview::stop_for_rename(View& view) {
    BeforeRename before;
    if (d_.ready()) before.state = d_.get_state(&before.seconds);
    stop(view);
    return before;
}

// A paused file is left stopped.
void Preview::resume_at(View& view, const BeforeRename& before, const std::string& utf8_path, int seconds) {
    if (!d_.ready() || before.state != playing) return;
    if (!open_and_play(view, utf8_path)) return;
    d_.seek(seconds);
    note_playing(view);
}

void Preview::resume_after_rename(View& view, const BeforeRename& before, const std::string& new_utf8_path) {
    resume_at(view, before, new_utf8_path, before.seconds + 1);
}

void Preview::resume_after_replace(View& view, const BeforeRename& before, const std::string& utf8_path) {
    resume_at(view, before, utf8_path, before.seconds);
}

void Preview::position_press() {
    if (d_.ready() && d_.get_state(nullptr) == playing) position_dragging_ = 1;
}

void Preview::position_release(int slider_percent) {
    // A release always ends a drag, so that a stream that ended or paused meanwhile does not
    // leave the slider held.
    position_dragging_ = 0;
    if (!d_.ready() || d_.get_state(nullptr) != playing) return;
    int total = 0;
    if (total_seconds(total)) d_.seek(seek_seconds(total, slider_percent));
}

void Preview::position_capture_lost() { position_dragging_ = 0; }

void Preview::volume_press() {
    if (d_.ready()) volume_dragging_ = 1;
}

void Preview::volume_move(int slider) {
    if (d_.ready() && volume_dragging_) d_.set_volume(slider, slider);
}

void Preview::volume_release(int slider) {
    if (!d_.ready()) return;
    volume_dragging_ = 0;
    d_.set_volume(slider, slider);
}

} // namespace preview

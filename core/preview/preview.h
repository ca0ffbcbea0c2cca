// The preview's state machine: Play, pause and resume, stop, the end of a stream, the status
// display and the position slider, what a load and a rename do, and the sliders' clicks. It
// reaches the decoder only through a table of its functions (the editor's binding fills it
// from vbmp3.dll, the unit tests from a fake) and its window through a small interface.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "core/preview/preview_rules.h"
#include "core/settings/settings.h"
#include "platform/result.h"

namespace preview {

// The decoder's functions that the preview calls, and the millisecond clock.
struct DecoderCalls {
    // True once the decoder was initialised, or marked ready by a Play whatever its init gave.
    bool (*ready)();
    void (*mark_ready)();
    // Initialises the decoder and sets the options of a playback mode.
    platform::Result (*init)(int playback_mode);
    // The player's state (State) and, when `seconds` is not null, the position in seconds.
    int (*get_state)(int* seconds);
    // The 56-byte stream information of the open file (the total seconds at offset 52); done
    // when it was filled.
    platform::Result (*get_mpeg_info)(void* block56);
    // Opens a file by its UTF-8 path: done when it can be played.
    platform::Result (*open)(const std::string& utf8_path, void* info272);
    void (*play)();
    void (*pause)();
    void (*restart)(); // resumes a paused file
    void (*stop)();
    void (*close)();
    void (*seek)(int seconds);
    void (*set_volume)(int left, int right);
    uint32_t (*now_ms)(); // wraps after 49 days
};

// What the preview asks of its window.
class View {
public:
    virtual void show_status(const std::string& text) = 0;
    virtual void show_position(int percent) = 0; // the position slider
    virtual void clear_held_levels() = 0;        // the level meter's held peaks
    virtual void wake_monitor() = 0;             // a play started: the monitor's pace again

protected:
    ~View() = default;
};

// The state and the position a rename stopped the preview at.
struct BeforeRename {
    int state = stopped;
    int seconds = 0;
};

// The flags below are read by the monitor thread as well, so each is one aligned 32-bit value.
static_assert(sizeof(std::atomic<int32_t>) == 4 && std::atomic<int32_t>::is_always_lock_free);

// All its members run on the window thread; the monitor thread only reads the flags.
class Preview {
public:
    // The settings are read when needed: the elapsed or remaining time, AutoPlay, the
    // playback mode for a late init.
    Preview(const DecoderCalls& calls, const settings::Settings& settings) : d_(calls), settings_(settings) {}
    Preview(const Preview&) = delete;
    Preview& operator=(const Preview&) = delete;

    // Set by the window thread when a file was dropped on the player panel: the next load
    // plays it. Cleared here when a load plays.
    std::atomic<int32_t> play_on_load{0};

    // The status display's text ("disable" without a ready decoder, "Stop", the time while
    // playing, the blinking time while paused) and the position slider while playing or at a
    // stop. A stream that ended by itself is stopped and closed here, once.
    void update_status(View& view);
    // Play: resumes a paused file, or opens `utf8_path` and plays it from the start. A
    // decoder not yet ready is marked ready and initialised first.
    void play(View& view, const std::string& utf8_path);
    // Pause: pauses a playing file, resumes a paused one.
    void pause();
    // Stop: stops and closes a playing or paused file.
    void stop(View& view);
    // After a load: the new file plays when the previous one played or was paused, when it
    // was dropped on the player panel, or when AutoPlay is on.
    void load(View& view, const std::string& utf8_path);
    // A rename moves the file that the decoder holds open: the preview stops first, and after
    // the move a file that was playing goes on under its new name a second after where it was.
    BeforeRename stop_for_rename(View& view);
    void resume_after_rename(View& view, const BeforeRename& before, const std::string& new_utf8_path);
    // An apply in the RMP form puts a new file in the place of the one the decoder holds
    // open: the preview stops as for a rename, and a file that was playing goes on where it was.
    BeforeRename stop_for_replace(View& view) { return stop_for_rename(view); }
    void resume_after_replace(View& view, const BeforeRename& before, const std::string& utf8_path);

    // The position slider: a press while playing starts a drag (the status leaves the slider
    // alone meanwhile); a release ends it and, while playing, seeks to the slider's percent.
    void position_press();
    void position_release(int slider_percent);
    void position_capture_lost();
    // The volume slider: a press starts a drag; a move while dragging and a release set both
    // channels to the slider's position.
    void volume_press();
    void volume_move(int slider);
    void volume_release(int slider);

    bool file_open() const { return file_open_.load() != 0; }
    bool was_playing() const { return was_playing_.load() != 0; }
    bool position_dragging() const { return position_dragging_.load() != 0; }
    bool volume_dragging() const { return volume_dragging_.load() != 0; }

private:
    bool open_and_play(View& view, const std::string& utf8_path);
    void resume_at(View& view, const BeforeRename& before, const std::string& utf8_path, int seconds);
    void start_play(View& view);
    bool total_seconds(int& total) const;
    void note_playing(View& view);

    const DecoderCalls& d_;
    const settings::Settings& settings_;
    Blink blink_;
    // Written by the window thread (here) only; the monitor thread reads was_playing_ to keep
    // its pace and to ask for the status while a file plays.
    std::atomic<int32_t> file_open_{0}; // a file was opened and not closed since
    std::atomic<int32_t> was_playing_{0};
    std::atomic<int32_t> position_dragging_{0}, volume_dragging_{0};
};

} // namespace preview

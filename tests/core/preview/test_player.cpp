// The preview's state machine over a fake decoder: what it asks the decoder to do, in which
// order, and what it shows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/preview/preview.h"

using namespace preview;

namespace {

// A decoder that keeps a state as the library does, and writes down every call that changes
// something. The table holds plain function pointers, so the fake is one object per test.
struct FakeDecoder {
    bool ready = true;
    int init_result = 1;
    int open_result = 1;
    int state = stopped;
    int position = 0;
    int total = 20;
    bool has_info = true; // the stream information answers
    uint32_t now = 1000;
    std::string opened;
    std::vector<std::string> actions; // open, play, pause, restart, stop, close, seek, volume, init
    int queries = 0;                  // get_state, get_mpeg_info and the clock
    int ready_asked = 0;
};
FakeDecoder fake;

// A call's answer as the binding gives it: 1 is done, anything else a failure.
platform::Result library_answer(int answer) {
    return answer == 1 ? platform::Result{} : platform::failure(platform::Fault::refused);
}

const DecoderCalls k_fake_calls{
    .ready =
        [] {
            ++fake.ready_asked;
            return fake.ready;
        },
    .mark_ready =
        [] {
            fake.actions.push_back("mark_ready");
            fake.ready = true;
        },
    .init =
        [](int mode) {
            fake.actions.push_back("init " + std::to_string(mode));
            if (fake.init_result == 1) fake.ready = true;
            return library_answer(fake.init_result);
        },
    .get_state =
        [](int* seconds) {
            ++fake.queries;
            if (seconds) *seconds = fake.position;
            return fake.state;
        },
    .get_mpeg_info =
        [](void* block56) {
            ++fake.queries;
            if (!fake.has_info || fake.opened.empty()) return library_answer(0);
            std::memset(block56, 0, 56);
            std::memcpy(static_cast<unsigned char*>(block56) + 52, &fake.total, sizeof fake.total);
            return library_answer(1);
        },
    .open =
        [](const std::string& path, void*) {
            fake.actions.push_back("open " + path);
            if (fake.open_result == 1) fake.opened = path;
            return library_answer(fake.open_result);
        },
    .play =
        [] {
            fake.actions.push_back("play");
            if (!fake.opened.empty()) fake.state = playing;
            fake.position = 0;
        },
    .pause =
        [] {
            fake.actions.push_back("pause");
            if (fake.state == playing) fake.state = paused;
        },
    .restart =
        [] {
            fake.actions.push_back("restart");
            if (fake.state == paused) fake.state = playing;
        },
    .stop =
        [] {
            fake.actions.push_back("stop");
            fake.state = stopped;
        },
    .close =
        [] {
            fake.actions.push_back("close");
            fake.opened.clear();
        },
    .seek = [](int seconds) { fake.actions.push_back("seek " + std::to_string(seconds)); },
    .set_volume =
        [](int left, int right) {
            fake.actions.push_back("volume " + std::to_string(left) + " " + std::to_string(right));
        },
    .now_ms =
        [] {
            ++fake.queries;
            return fake.now;
        },
};

struct FakeView final : View {
    std::vector<std::string> texts; // every text the status display was given
    std::vector<int> positions;     // every position the slider was given
    int clears = 0, wakes = 0;
    void show_status(const std::string& text) override { texts.push_back(text); }
    void show_position(int percent) override { positions.push_back(percent); }
    void clear_held_levels() override { ++clears; }
    void wake_monitor() override { ++wakes; }
    std::string status() const { return texts.empty() ? "(none)" : texts.back(); }
};

class PreviewTest : public testing::Test {
protected:
    void SetUp() override { fake = FakeDecoder{}; }
    // The decoder's actions since the last look, and a fresh list for the next step.
    std::vector<std::string> actions() {
        std::vector<std::string> a;
        a.swap(fake.actions);
        return a;
    }
    // A file playing from the start, the steps' actions forgotten.
    void playing_file(const std::string& path = "a.mp3") {
        preview.play(view, path);
        ASSERT_EQ(fake.state, playing);
        actions();
    }
    using Actions = std::vector<std::string>;
    // A Stop of a file that played: its own stop and close, then the status update still
    // counts the file as playing and takes the stop for the stream's end, so the decoder
    // hears both once more (harmless to it). The meter's held peaks are cleared then.
    const Actions k_stop_after_play{"stop", "close", "stop", "close"};

    settings::Settings settings;
    Preview preview{k_fake_calls, settings};
    FakeView view;
};

} // namespace

TEST_F(PreviewTest, PlayOpensAStoppedFileResumesAPausedOneAndPauseToggles) {
    preview.play(view, "a.mp3");
    EXPECT_EQ(actions(), (Actions{"open a.mp3", "play"}));
    EXPECT_TRUE(preview.file_open());
    EXPECT_TRUE(preview.was_playing());
    // The start clears the meter's held peaks, wakes the monitor once and shows the time.
    EXPECT_EQ(view.clears, 1);
    EXPECT_EQ(view.wakes, 1);
    EXPECT_EQ(view.status(), "Play -00:00:20");
    EXPECT_EQ(view.positions, (std::vector<int>{0}));

    // Play while playing does nothing.
    preview.play(view, "b.mp3");
    EXPECT_EQ(actions(), Actions{});

    // Pause toggles between pausing and resuming; Play resumes a paused file, not reopens it.
    preview.pause();
    EXPECT_EQ(actions(), (Actions{"pause"}));
    preview.pause();
    EXPECT_EQ(actions(), (Actions{"restart"}));
    preview.pause();
    preview.play(view, "b.mp3");
    EXPECT_EQ(actions(), (Actions{"pause", "restart"}));
    EXPECT_EQ(fake.opened, "a.mp3");

    // Stop stops and closes and shows "Stop"; then Pause and Stop do nothing.
    const int clears_before_stop = view.clears;
    preview.stop(view);
    EXPECT_EQ(actions(), k_stop_after_play);
    EXPECT_EQ(view.clears, clears_before_stop + 1);
    EXPECT_FALSE(preview.was_playing());
    EXPECT_FALSE(preview.file_open());
    EXPECT_EQ(view.status(), "Stop");
    EXPECT_EQ(view.positions.back(), 0);
    preview.pause();
    preview.stop(view);
    EXPECT_EQ(actions(), Actions{});

    // A file the decoder cannot open: nothing plays, nothing is shown, the monitor sleeps on.
    fake.open_result = 0;
    const size_t shown = view.texts.size();
    const int clears = view.clears;
    preview.play(view, "bad.mp3");
    EXPECT_EQ(actions(), (Actions{"open bad.mp3"}));
    EXPECT_FALSE(preview.file_open());
    EXPECT_EQ(view.texts.size(), shown);
    EXPECT_EQ(view.clears, clears);
}

TEST_F(PreviewTest, NothingReachesTheDecoderWhileItIsNotReady) {
    fake.ready = false;
    fake.state = playing; // whatever it would answer
    fake.opened = "a.mp3";
    settings.auto_play = 1;
    preview.play_on_load = 1;

    preview.update_status(view);
    EXPECT_EQ(view.status(), "disable");
    preview.pause();
    preview.stop(view);
    preview.load(view, "b.mp3");
    BeforeRename before = preview.stop_for_rename(view);
    EXPECT_EQ(before.state, stopped);
    EXPECT_EQ(before.seconds, 0);
    preview.resume_after_rename(view, {playing, 5}, "c.mp3");
    preview.position_press();
    preview.position_release(50);
    preview.volume_press();
    preview.volume_move(40);
    preview.volume_release(40);
    EXPECT_EQ(actions(), Actions{});
    EXPECT_EQ(fake.queries, 0);
    EXPECT_GT(fake.ready_asked, 0);
    EXPECT_FALSE(preview.position_dragging());
    EXPECT_FALSE(preview.volume_dragging());
    EXPECT_EQ(view.wakes + view.clears, 0);
    EXPECT_TRUE(view.positions.empty());
    // The drop's wish waits for a decoder that can play it.
    EXPECT_EQ(preview.play_on_load.load(), 1);

    // Play marks the decoder ready before its init, in the playback mode of the settings; a
    // failed init (a missing library) leaves the steps running all the same.
    fake.state = stopped;
    fake.opened.clear();
    fake.init_result = 0;
    settings.playback_mode = 2;
    preview.play(view, "a.mp3");
    EXPECT_EQ(actions(), (Actions{"mark_ready", "init 2", "open a.mp3", "play"}));
    preview.stop(view);
    actions();
    preview.play(view, "a.mp3"); // ready now: no second init
    EXPECT_EQ(actions(), (Actions{"open a.mp3", "play"}));
}

TEST_F(PreviewTest, AStreamThatEndsByItselfIsStoppedAndClosedOnce) {
    playing_file();
    preview.update_status(view);
    EXPECT_EQ(actions(), Actions{});
    const int clears = view.clears;

    fake.state = stopped; // the library reached the end
    preview.update_status(view);
    EXPECT_EQ(actions(), (Actions{"stop", "close"}));
    EXPECT_EQ(view.status(), "Stop");
    EXPECT_EQ(view.positions.back(), 0);
    EXPECT_EQ(view.clears, clears + 1);
    EXPECT_FALSE(preview.was_playing());
    EXPECT_FALSE(preview.file_open());

    preview.update_status(view);
    preview.update_status(view);
    EXPECT_EQ(actions(), Actions{});
    EXPECT_EQ(view.status(), "Stop");
    EXPECT_EQ(view.clears, clears + 1);

    // A stopped decoder that never played shows "Stop" and is not stopped again.
    Preview fresh{k_fake_calls, settings};
    fresh.update_status(view);
    EXPECT_EQ(actions(), Actions{});
    EXPECT_EQ(view.status(), "Stop");

    // The monitor is woken again by the next play, once.
    const int wakes = view.wakes;
    playing_file();
    preview.update_status(view);
    EXPECT_EQ(view.wakes, wakes + 1);
}

TEST_F(PreviewTest, StatusTextsAndThePositionSlider) {
    fake.total = 3725;
    playing_file();
    fake.position = 5;
    preview.update_status(view);
    EXPECT_EQ(view.status(), "Play -01:02:00");
    EXPECT_EQ(view.positions.back(), 0);
    settings.show_elapsed_time = 1;
    fake.total = 20;
    preview.update_status(view);
    EXPECT_EQ(view.status(), "Play  00:00:05");
    EXPECT_EQ(view.positions.back(), 25);
    fake.position = 10;
    preview.update_status(view);
    EXPECT_EQ(view.positions.back(), 50);

    // Without the stream information the time is not known: an empty display, the slider
    // where it was.
    fake.has_info = false;
    const size_t moves = view.positions.size();
    preview.update_status(view);
    EXPECT_EQ(view.status(), "");
    EXPECT_EQ(view.positions.size(), moves);
    fake.has_info = true;

    // A state the preview does not know shows nothing and changes nothing.
    fake.state = 3;
    preview.update_status(view);
    EXPECT_EQ(view.status(), "");
    EXPECT_EQ(view.positions.size(), moves);
    EXPECT_EQ(actions(), Actions{});
}

TEST_F(PreviewTest, APausedDisplayShowsItsTimeFor500MsAndHidesItFor300) {
    fake.now = 1000;
    playing_file();
    fake.position = 5;
    preview.pause();
    const std::string remaining = " Pause -00:00:15";
    fake.now = 1300; // the blink starts hidden with the play
    preview.update_status(view);
    EXPECT_EQ(view.status(), "");
    fake.now = 1301;
    preview.update_status(view);
    EXPECT_EQ(view.status(), remaining);
    fake.now = 1801;
    preview.update_status(view);
    EXPECT_EQ(view.status(), remaining);
    fake.now = 1802;
    preview.update_status(view);
    EXPECT_EQ(view.status(), "");
    fake.now = 2102;
    preview.update_status(view);
    EXPECT_EQ(view.status(), "");
    settings.show_elapsed_time = 1;
    fake.now = 2103;
    preview.update_status(view);
    EXPECT_EQ(view.status(), " Pause  00:00:05");
    // A paused file leaves the slider alone.
    EXPECT_EQ(view.positions, (std::vector<int>{0}));

    // A new play starts the blink afresh at its own time, hidden.
    preview.stop(view);
    fake.now = 5000;
    playing_file();
    preview.pause();
    fake.now = 5300;
    preview.update_status(view);
    EXPECT_EQ(view.status(), "");
    fake.now = 5301;
    preview.update_status(view);
    EXPECT_EQ(view.status(), " Pause  00:00:00");
}

TEST_F(PreviewTest, ALoadGoesOnPlayingAfterAPlayOrPauseAndStartsOnlyWhenAsked) {
    // Nothing played and nothing asked: the file only loads.
    preview.load(view, "b.mp3");
    EXPECT_EQ(actions(), Actions{});

    // Playing: the old file stops and closes, the new one plays.
    playing_file("a.mp3");
    const int wakes = view.wakes;
    preview.load(view, "b.mp3");
    Actions replaced = k_stop_after_play;
    replaced.insert(replaced.end(), {"open b.mp3", "play"});
    EXPECT_EQ(actions(), replaced);
    EXPECT_EQ(fake.opened, "b.mp3");
    EXPECT_EQ(view.status(), "Play -00:00:20");
    EXPECT_EQ(view.wakes, wakes + 1); // the stop ended one play, the new one wakes it once

    // Paused: the same.
    preview.pause();
    actions();
    preview.load(view, "c.mp3");
    replaced = k_stop_after_play;
    replaced.insert(replaced.end(), {"open c.mp3", "play"});
    EXPECT_EQ(actions(), replaced);

    // Stopped, but dropped on the player panel: it plays, once.
    preview.stop(view);
    actions();
    preview.play_on_load = 1;
    preview.load(view, "d.mp3");
    EXPECT_EQ(actions(), (Actions{"open d.mp3", "play"}));
    EXPECT_EQ(preview.play_on_load.load(), 0);
    EXPECT_TRUE(preview.was_playing());
    preview.stop(view);
    actions();
    preview.load(view, "e.mp3");
    EXPECT_EQ(actions(), Actions{});

    // AutoPlay on: every load plays.
    settings.auto_play = 1;
    preview.load(view, "f.mp3");
    EXPECT_EQ(actions(), (Actions{"open f.mp3", "play"}));
    // Only 1 means on.
    preview.stop(view);
    settings.auto_play = 2;
    actions();
    preview.load(view, "g.mp3");
    EXPECT_EQ(actions(), Actions{});

    // A file that does not open after a play leaves the decoder stopped and the monitor asleep.
    settings.auto_play = 1;
    fake.open_result = 0;
    const int before = view.wakes;
    preview.load(view, "h.mp3");
    EXPECT_EQ(actions(), (Actions{"open h.mp3"}));
    EXPECT_EQ(view.wakes, before);
}

TEST_F(PreviewTest, ARenameResumesAPlayingFileASecondOnAReplaceWhereItWasAndAPausedOneStaysStopped) {
    playing_file("old.mp3");
    fake.position = 7;
    BeforeRename before = preview.stop_for_rename(view);
    EXPECT_EQ(before.state, playing);
    EXPECT_EQ(before.seconds, 7);
    EXPECT_EQ(actions(), k_stop_after_play);
    EXPECT_EQ(view.status(), "Stop");
    preview.resume_after_rename(view, before, "new.mp3");
    EXPECT_EQ(actions(), (Actions{"open new.mp3", "play", "seek 8"}));
    EXPECT_TRUE(preview.was_playing());

    // Paused: stopped for the move, and left so.
    preview.pause();
    fake.position = 12;
    actions();
    before = preview.stop_for_rename(view);
    EXPECT_EQ(before.state, paused);
    EXPECT_EQ(before.seconds, 12);
    EXPECT_EQ(actions(), k_stop_after_play);
    preview.resume_after_rename(view, before, "newer.mp3");
    EXPECT_EQ(actions(), Actions{});

    // Stopped: nothing to stop or resume.
    before = preview.stop_for_rename(view);
    EXPECT_EQ(before.state, stopped);
    preview.resume_after_rename(view, before, "newest.mp3");
    EXPECT_EQ(actions(), Actions{});

    // The new name does not open: no seek.
    fake.open_result = 0;
    preview.resume_after_rename(view, {playing, 3}, "gone.mp3");
    EXPECT_EQ(actions(), (Actions{"open gone.mp3"}));

    // An apply in the RMP form stops it the same way; it goes on at the same second.
    fake.open_result = 1;
    playing_file("same.mp3");
    fake.position = 9;
    before = preview.stop_for_replace(view);
    EXPECT_EQ(before.state, playing);
    EXPECT_EQ(actions(), k_stop_after_play);
    preview.resume_after_replace(view, before, "same.mp3");
    EXPECT_EQ(actions(), (Actions{"open same.mp3", "play", "seek 9"}));
    EXPECT_TRUE(preview.was_playing());
}

TEST_F(PreviewTest, TheSlidersSeekWhilePlayingAndSetTheVolumeWhileDragged) {
    fake.total = 3725;
    playing_file();
    fake.position = 100;
    preview.position_press();
    EXPECT_TRUE(preview.position_dragging());
    // While the slider is held the status leaves it where the user drags it.
    const size_t moves = view.positions.size();
    preview.update_status(view);
    EXPECT_EQ(view.positions.size(), moves);
    preview.position_release(50);
    EXPECT_FALSE(preview.position_dragging());
    EXPECT_EQ(actions(), (Actions{"seek 1862"}));
    preview.update_status(view);
    EXPECT_EQ(view.positions.size(), moves + 1);

    // A lost capture ends a drag; a release ends it whatever the state.
    preview.position_press();
    preview.position_capture_lost();
    EXPECT_FALSE(preview.position_dragging());
    preview.position_press();
    preview.pause();
    actions();
    preview.position_release(30);
    EXPECT_FALSE(preview.position_dragging());
    EXPECT_EQ(actions(), Actions{}); // paused: no seek
    preview.position_press();
    EXPECT_FALSE(preview.position_dragging()); // paused: no drag
    preview.pause();
    actions();
    // Without the total time there is nowhere to seek to.
    fake.has_info = false;
    preview.position_press();
    preview.position_release(30);
    EXPECT_EQ(actions(), Actions{});

    // The volume follows the slider while it is held, and at its release.
    preview.volume_move(10);
    EXPECT_EQ(actions(), Actions{});
    preview.volume_press();
    EXPECT_TRUE(preview.volume_dragging());
    preview.volume_move(20);
    preview.volume_move(25);
    preview.volume_release(30);
    EXPECT_FALSE(preview.volume_dragging());
    preview.volume_move(40);
    EXPECT_EQ(actions(), (Actions{"volume 20 20", "volume 25 25", "volume 30 30"}));
    // A click without a drag sets it too.
    preview.volume_release(60);
    EXPECT_EQ(actions(), (Actions{"volume 60 60"}));
}

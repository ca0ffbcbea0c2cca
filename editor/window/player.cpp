// The preview of the file being tagged: Play, pause and resume, stop, the status display, the
// position and volume sliders, and the steps that loading and renaming a file take. Every
// decoder call goes through the binding, which does nothing while vbmp3.dll is missing. The
// status is updated on the window thread only (the monitor thread asks for it by a sent
// message), so two updates never overlap.
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>

#include <cstring>

#include "editor/audio/decoder.h"
#include "editor/resources/resource.h"
#include "editor/window/editor.h"
#include "editor/window/ui.h"

namespace editor {

namespace {

Program::Player& P() { return program.player; }

// The total time in seconds from the 56-byte stream information, or false.
bool total_seconds(int& total) {
    unsigned char block[56] = {};
    if (!audio::decoder_get_mpeg_info(block)) return false;
    std::memcpy(&total, block + 52, sizeof total);
    return true;
}

void clear_held_levels() {
    for (auto& row : program.meter) {
        row.held.store(0, std::memory_order_relaxed);
        row.held_stamp.store(0, std::memory_order_relaxed);
    }
}

void start_play() {
    P().blink.stamp = timeGetTime();
    P().blink.on = false;
    clear_held_levels();
    audio::decoder_play();
}

// Opens a file in the decoder and plays it from the start; true when it plays.
bool open_and_play(HWND dlg, const std::string& utf8_path) {
    unsigned char info[272] = {};
    if (audio::decoder_open(utf8_path, info) != 1) return false;
    P().file_open = 1;
    start_play();
    update_status(dlg);
    return true;
}

LRESULT CALLBACK position_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    // A release always ends a drag, so that a stream that ended or paused meanwhile does not
    // leave the slider held.
    if (msg == WM_LBUTTONUP || msg == WM_CAPTURECHANGED) P().position_dragging = 0;
    if ((msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP) && audio::decoder_ready() &&
        audio::decoder_get_state(nullptr) == player::playing) {
        if (msg == WM_LBUTTONDOWN) {
            P().position_dragging = 1;
        } else {
            P().position_dragging = 0;
            int total = 0;
            if (total_seconds(total))
                audio::decoder_seek(player::seek_seconds(total, static_cast<int>(SendMessageW(h, TBM_GETPOS, 0, 0))));
        }
    }
    return CallWindowProcW(P().former_position, h, msg, wp, lp);
}

LRESULT CALLBACK volume_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (audio::decoder_ready()) {
        // The position is read before the slider moves: each call takes the position that the
        // previous mouse message left.
        if (msg == WM_LBUTTONDOWN) P().volume_dragging = 1;
        if (msg == WM_LBUTTONUP || (msg == WM_MOUSEMOVE && P().volume_dragging)) {
            if (msg == WM_LBUTTONUP) P().volume_dragging = 0;
            int v = static_cast<int>(SendMessageW(h, TBM_GETPOS, 0, 0));
            audio::decoder_set_volume(v, v);
        }
    }
    return CallWindowProcW(P().former_volume, h, msg, wp, lp);
}

WNDPROC replace_proc(HWND control, WNDPROC with) {
    return reinterpret_cast<WNDPROC>(SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(with)));
}

} // namespace

void update_status(HWND dlg) {
    std::string text;
    if (!audio::decoder_ready()) {
        text = "disable";
    } else {
        int position = 0;
        int state = audio::decoder_get_state(&position);
        int total = 0;
        if (state == player::stopped) {
            if (P().was_playing) {  // the stream ended by itself
                audio::decoder_stop();
                audio::decoder_close();
                P().file_open = 0;
                clear_held_levels();
            }
            P().was_playing = 0;
            SendDlgItemMessageW(dlg, IDC_POSITION, TBM_SETPOS, TRUE, 0);
            text = "Stop";
        } else if (state == player::playing) {
            if (!P().was_playing.exchange(1)) wake_monitor();
            if (total_seconds(total)) {
                text = player::time_text(player::playing, total, position, program.settings.show_elapsed_time == 1);
                if (!P().position_dragging)
                    SendDlgItemMessageW(dlg, IDC_POSITION, TBM_SETPOS, TRUE, player::position_percent(position, total));
            }
        } else if (state == player::paused) {
            bool shown = P().blink.step(timeGetTime());
            if (total_seconds(total))
                text = player::time_text(player::paused, total, position, program.settings.show_elapsed_time == 1);
            if (!shown) text.clear();
        }
    }
    // The status is ASCII: digits, colons and blanks.
    if (control_text(dlg, IDC_STATUS, 4095) != text) set_control_text(dlg, IDC_STATUS, text);
}

void on_play(HWND dlg) {
    if (!audio::decoder_ready()) {
        audio::mark_decoder_ready();
        audio::init_decoder(program.settings.playback_mode);
    }
    int state = audio::decoder_get_state(nullptr);
    if (state == player::playing) return;
    if (state == player::paused) {
        audio::decoder_restart();
        return;
    }
    open_and_play(dlg, program.session.current_path);
}

void on_pause(HWND) {
    if (!audio::decoder_ready()) return;
    int state = audio::decoder_get_state(nullptr);
    if (state == player::playing) audio::decoder_pause();
    else if (state == player::paused) audio::decoder_restart();
}

void stop_playback(HWND dlg) {
    if (!audio::decoder_ready()) return;
    if (audio::decoder_get_state(nullptr) != player::playing && audio::decoder_get_state(nullptr) != player::paused)
        return;
    audio::decoder_stop();
    audio::decoder_close();
    P().file_open = 0;
    update_status(dlg);
}

void on_status_click(HWND dlg) {
    program.settings.show_elapsed_time = program.settings.show_elapsed_time == 1 ? 0 : 1;
    SetFocus(GetDlgItem(dlg, IDC_TITLE));
}

// A new file keeps playing when the previous one played or was paused, and starts when it was
// dropped on the player panel or AutoPlay is on.
void play_loaded_file(HWND dlg, const std::string& utf8_path) {
    if (!audio::decoder_ready()) return;
    int state = audio::decoder_get_state(nullptr);
    stop_playback(dlg);
    if (state == player::playing || state == player::paused || P().play_on_load || program.settings.auto_play == 1) {
        P().play_on_load = 0;
        if (open_and_play(dlg, utf8_path)) {
            if (!P().was_playing.exchange(1)) wake_monitor();
        }
    }
}

PlayState pause_for_rename(HWND dlg) {
    PlayState before;
    if (audio::decoder_ready()) before.state = audio::decoder_get_state(&before.seconds);
    stop_playback(dlg);
    return before;
}

// A paused file is left stopped; a playing one goes on a second after where it was.
void resume_after_rename(HWND dlg, const PlayState& before, const std::string& new_utf8_path) {
    if (!audio::decoder_ready() || before.state != player::playing) return;
    if (!open_and_play(dlg, new_utf8_path)) return;
    audio::decoder_seek(before.seconds + 1);
    if (!P().was_playing.exchange(1)) wake_monitor();
}

bool in_player_panel(HWND dlg, POINT at) {
    // The drop point is a client point: the panel is taken in client coordinates too, not from
    // the window's corner, which lies a frame's width away.
    RECT status, volume;
    GetWindowRect(GetDlgItem(dlg, IDC_STATUS), &status);
    GetWindowRect(GetDlgItem(dlg, IDC_VOLUME), &volume);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&status), 2);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&volume), 2);
    return at.x > status.left && at.x < status.right && at.y > status.top && at.y < volume.bottom;
}

void start_player(HWND dlg) {
    start_monitor(dlg);
    int left = 0, right = 0;
    audio::decoder_get_volume(&left, &right);
    SendDlgItemMessageW(dlg, IDC_VOLUME, TBM_SETPOS, TRUE, left > right ? left : right);
    P().former_position = replace_proc(GetDlgItem(dlg, IDC_POSITION), position_proc);
    P().former_volume = replace_proc(GetDlgItem(dlg, IDC_VOLUME), volume_proc);
    update_status(dlg);
}

void end_player(HWND dlg) {
    program.monitor.running = 0;
    if (P().former_position) replace_proc(GetDlgItem(dlg, IDC_POSITION), P().former_position);
    if (P().former_volume) replace_proc(GetDlgItem(dlg, IDC_VOLUME), P().former_volume);
}

// After the window is gone no message of the monitor thread can be in progress (a close may
// run inside one, from a dialog that a hot key opened), so the wait for it is safe here.
void release_player() {
    if (stop_monitor()) audio::release_decoder();
}

} // namespace editor

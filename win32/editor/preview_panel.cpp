// The preview's window side: the clicks on Play, pause, stop and the status display, the two
// sliders' mouse messages, and the drawing of what the core's preview::Preview decides (the
// status text, the position slider, the meter's held peaks). The status is updated on the
// window thread only (the monitor thread asks for it by a sent message), so two updates never
// overlap.
#include <windows.h>
#include <commctrl.h>

#include "win32/decoder/decoder.h"
#include "win32/editor/resources/resource.h"
#include "win32/editor/editor.h"
#include "win32/editor/guard.h"
#include "win32/editor/ui.h"

namespace editor {

namespace {

Program::Player& P() { return program.player; }

// Dialog 142 as the preview's view.
class PlayerWindow final : public preview::View {
public:
    explicit PlayerWindow(HWND dlg) : dlg_(dlg) {}
    void show_status(const std::string& text) override {
        // The status is ASCII: digits, colons and blanks.
        if (control_text(dlg_, IDC_STATUS, 4095) != text) set_control_text(dlg_, IDC_STATUS, text);
    }
    void show_position(int percent) override { SendDlgItemMessageW(dlg_, IDC_POSITION, TBM_SETPOS, TRUE, percent); }
    void clear_held_levels() override {
        for (auto& row : program.meter) {
            row.held.store(0, std::memory_order_relaxed);
            row.held_stamp.store(0, std::memory_order_relaxed);
        }
    }
    void wake_monitor() override { editor::wake_monitor(); }

private:
    HWND dlg_;
};

int slider_position(HWND slider) { return static_cast<int>(SendMessageW(slider, TBM_GETPOS, 0, 0)); }

// The slider's position is read before its own procedure moves it: each step takes the
// position that the previous mouse message left.
LRESULT CALLBACK position_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    return guarded<LRESULT>(0, [&] {
        if (msg == WM_LBUTTONDOWN) P().position_press();
        else if (msg == WM_LBUTTONUP) P().position_release(slider_position(h));
        else if (msg == WM_CAPTURECHANGED) P().position_capture_lost();
        return CallWindowProcW(P().former_position, h, msg, wp, lp);
    });
}

LRESULT CALLBACK volume_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    return guarded<LRESULT>(0, [&] {
        if (msg == WM_LBUTTONDOWN) P().volume_press();
        else if (msg == WM_LBUTTONUP) P().volume_release(slider_position(h));
        else if (msg == WM_MOUSEMOVE && P().volume_dragging()) P().volume_move(slider_position(h));
        return CallWindowProcW(P().former_volume, h, msg, wp, lp);
    });
}

WNDPROC replace_proc(HWND control, WNDPROC with) {
    return reinterpret_cast<WNDPROC>(SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(with)));
}

} // namespace

void update_status(HWND dlg) {
    PlayerWindow view(dlg);
    P().update_status(view);
}

void on_play(HWND dlg) {
    PlayerWindow view(dlg);
    P().play(view, program.session.current_path);
}

void on_pause(HWND) { P().pause(); }

void stop_playback(HWND dlg) {
    PlayerWindow view(dlg);
    P().stop(view);
}

void on_status_click(HWND dlg) {
    program.settings.show_elapsed_time = program.settings.show_elapsed_time == 1 ? 0 : 1;
    SetFocus(GetDlgItem(dlg, IDC_TITLE));
}

void play_loaded_file(HWND dlg, const std::string& utf8_path) {
    PlayerWindow view(dlg);
    P().load(view, utf8_path);
}

PlayState pause_for_rename(HWND dlg) {
    PlayerWindow view(dlg);
    preview::BeforeRename before = P().stop_for_rename(view);
    return {before.state, before.seconds};
}

void resume_after_rename(HWND dlg, const PlayState& before, const std::string& new_utf8_path) {
    PlayerWindow view(dlg);
    P().resume_after_rename(view, {before.state, before.seconds}, new_utf8_path);
}

void stop_for_replace(HWND dlg) {
    PlayerWindow view(dlg);
    P().before_replace = P().stop_for_replace(view);
}

void resume_after_replace(HWND dlg, const std::string& utf8_path) {
    PlayerWindow view(dlg);
    P().resume_after_replace(view, P().before_replace, utf8_path);
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
    static_cast<void>(decoder::decoder_get_volume(&left, &right)); // 0 where it fails
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
    if (stop_monitor()) decoder::release_decoder();
}

} // namespace editor

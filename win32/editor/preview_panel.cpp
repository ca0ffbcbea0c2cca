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
#include "win32/common/toolkit_win32.h"
#include "win32/editor/ui.h"

namespace editor {

namespace {

// Dialog 142 as the preview's view.
class PlayerWindow final : public preview::View {
public:
    explicit PlayerWindow(EditorWindow& w) : w_(w), dlg_(w.main) {}
    void show_status(const std::string& text) override {
        // The status is ASCII: digits, colons and blanks.
        if (control_text(dlg_, IDC_STATUS, 4095) != text) set_control_text(dlg_, IDC_STATUS, text);
    }
    void show_position(int percent) override { SendDlgItemMessageW(dlg_, IDC_POSITION, TBM_SETPOS, TRUE, percent); }
    void clear_held_levels() override {
        for (auto& row : w_.meter) {
            row.held_level.store(0, std::memory_order_relaxed);
            row.held_stamp.store(0, std::memory_order_relaxed);
        }
    }
    void wake_monitor() override { editor::wake_monitor(w_); }

private:
    EditorWindow& w_;
    HWND dlg_;
};

int slider_position(HWND slider) { return static_cast<int>(SendMessageW(slider, TBM_GETPOS, 0, 0)); }

// The slider's position is read before its own procedure moves it: each step takes the
// position that the previous mouse message left.
LRESULT position_mouse(EditorWindow::Player& p, HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_LBUTTONDOWN) p.position_press();
    else if (msg == WM_LBUTTONUP) p.position_release(slider_position(h));
    else if (msg == WM_CAPTURECHANGED) p.position_capture_lost();
    return DefSubclassProc(h, msg, wp, lp);
}

LRESULT volume_mouse(EditorWindow::Player& p, HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_LBUTTONDOWN) p.volume_press();
    else if (msg == WM_LBUTTONUP) p.volume_release(slider_position(h));
    else if (msg == WM_MOUSEMOVE && p.volume_dragging()) p.volume_move(slider_position(h));
    return DefSubclassProc(h, msg, wp, lp);
}

} // namespace

void update_status(EditorWindow& w) {
    PlayerWindow view(w);
    w.player.update_status(view);
}

void on_play(EditorWindow& w) {
    PlayerWindow view(w);
    w.player.play(view, w.session.current_path);
}

void on_pause(EditorWindow& w) { w.player.pause(); }

void stop_playback(EditorWindow& w) {
    PlayerWindow view(w);
    w.player.stop(view);
}

void on_status_click(EditorWindow& w) {
    w.settings.show_elapsed_time = w.settings.show_elapsed_time == 1 ? 0 : 1;
    SetFocus(GetDlgItem(w.main, IDC_TITLE));
}

void play_loaded_file(EditorWindow& w, const std::string& utf8_path) {
    PlayerWindow view(w);
    w.player.load(view, utf8_path);
}

PlayState pause_for_rename(EditorWindow& w) {
    PlayerWindow view(w);
    preview::BeforeRename before = w.player.stop_for_rename(view);
    return {before.state, before.seconds};
}

void resume_after_rename(EditorWindow& w, const PlayState& before, const std::string& new_utf8_path) {
    PlayerWindow view(w);
    w.player.resume_after_rename(view, {before.state, before.seconds}, new_utf8_path);
}

void stop_for_replace(EditorWindow& w) {
    PlayerWindow view(w);
    w.player.before_replace = w.player.stop_for_replace(view);
}

void resume_after_replace(EditorWindow& w, const std::string& utf8_path) {
    PlayerWindow view(w);
    w.player.resume_after_replace(view, w.player.before_replace, utf8_path);
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

void start_player(EditorWindow& w) {
    HWND dlg = w.main;
    start_monitor(w);
    int left = 0, right = 0;
    static_cast<void>(decoder::decoder_get_volume(&left, &right)); // 0 where it fails
    SendDlgItemMessageW(dlg, IDC_VOLUME, TBM_SETPOS, TRUE, left > right ? left : right);
    toolkit::subclass<EditorWindow::Player, position_mouse>(GetDlgItem(dlg, IDC_POSITION), w.player);
    toolkit::subclass<EditorWindow::Player, volume_mouse>(GetDlgItem(dlg, IDC_VOLUME), w.player);
    update_status(w);
}

void end_player(EditorWindow& w) {
    HWND dlg = w.main;
    w.monitor.running = 0;
    toolkit::end_subclass<EditorWindow::Player, position_mouse>(GetDlgItem(dlg, IDC_POSITION));
    toolkit::end_subclass<EditorWindow::Player, volume_mouse>(GetDlgItem(dlg, IDC_VOLUME));
}

// After the window is gone no message of the monitor thread can be in progress (a close may
// run inside one, from a dialog that a hot key opened), so the wait for it is safe here.
void release_player(EditorWindow& w) {
    if (stop_monitor(w)) decoder::release_decoder(w.player.file_open());
}

} // namespace editor

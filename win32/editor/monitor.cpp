// The monitor thread: every 12 ms it watches the player's hot keys while the editor is in
// front, reads the decoder's wave data for the level meter, and keeps the status display
// current while something plays. When the editor is not in front and nothing plays (or the
// meter has fallen), it has nothing to do: it sleeps on its wake event, which the window sets
// when it comes to the front and when a play starts. It never takes a lock. Its start
// parameter is the EditorWindow; of it the thread uses `main` (written before the thread
// starts, never after), `monitor.key_latch` (its own) and these, shared with the window thread:
//   monitor.wake          set by the window thread, waited on here
//   monitor.running       written by the window thread (start, close), read here
//   meter[].peak, .held_level, .held_stamp (preview::MeterRow)
//                         written here each pass; zeroed by the window thread when a play
//                         starts or ends; read by the painting
//   player.was_playing()  the core's preview::Preview flag, written by it on the window
//                         thread (a play seen, a stream's end), read here
//   decoder::repaint_count  counted here, set to 0 by each decoder stop
//   dpi                   the window's scale, written by the window thread (start, a change
//                         of scale), read here for the meter's rectangle (painted_face, which
//                         reads the controls' places and the meter's bitmaps as well)
// It reaches the window only by sent messages (commands, and a request to update the status,
// which therefore runs on the window thread) and by invalidating the meter's rectangle.
//
// The keys are still read only here, but the window thread hurries the reading: when it takes
// the message of a hot key's press (a keyboard hook of its own), it reads that key once itself
// and sets the wake event, so the pass runs at once instead of at the end of its 12 ms. The
// reading matters under Wine, which answers a thread's GetAsyncKeyState for a key it last saw
// up from that thread's copy of the keys for up to 50 ms, unless some thread of the process
// has since seen a key change: the window thread's reading is such a sighting.
#include <windows.h>
#include <mmsystem.h>

#include "win32/decoder/decoder.h"
#include "win32/editor/resources/resource.h"
#include "win32/editor/editor.h"
#include "win32/editor/paint.h"
#include "win32/common/toolkit_win32.h"

namespace editor {

namespace {

// The meter's rectangle where the painting puts it (from the controls' places, which this
// thread may read), invalidated without erasing.
void repaint_meter(const EditorWindow& w, HWND dlg) {
    const face::Box m = painted_face(w).meter;
    const RECT area{m.left, m.top, m.right, m.bottom};
    InvalidateRect(dlg, &area, FALSE);
}

constexpr int k_hot_keys[6] = {VK_F12, VK_F5, VK_F6, VK_F7, VK_ADD, VK_SUBTRACT};

void hot_keys(EditorWindow& w, HWND dlg) {
    static constexpr int commands[4] = {IDC_RENAME, IDC_PLAY, IDC_PAUSE, IDC_STOP};
    for (int i = 0; i < 6; ++i) {
        bool down = (GetAsyncKeyState(k_hot_keys[i]) & 0x8000) != 0;
        int32_t& latch = w.monitor.key_latch[i];
        if (!down) {
            latch = 0;
            continue;
        }
        if (latch) continue; // one action per press, however long the key is held
        latch = 1;
        if (!w.monitor.running.load()) return; // the window is closing
        if (i < 4) {
            SendMessageW(dlg, WM_COMMAND, static_cast<WPARAM>(commands[i]), 0);
        } else if (GetAsyncKeyState(VK_CONTROL) & 0x8000) {
            // Ctrl with the keypad's + or -: back to the title field.
            SendMessageW(dlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dlg, IDC_TITLE)), TRUE);
        }
    }
}

void levels(EditorWindow& w, HWND dlg) {
    int rows[2][256] = {};
    if (decoder::decoder_get_state(nullptr) == preview::playing) {
        static_cast<void>(decoder::decoder_get_wave(rows[0], rows[1])); // rows of zeros where it fails
        uint32_t now = timeGetTime();
        for (int r = 0; r < 2; ++r) preview::feed_levels(w.meter[r], rows[r], 256, now);
        repaint_meter(w, dlg);
    } else {
        for (preview::MeterRow& v : w.meter) {
            v.peak.store(0, std::memory_order_relaxed);
            v.held_level.store(0, std::memory_order_relaxed);
        }
    }
}

DWORD WINAPI monitor_loop(LPVOID param) {
    EditorWindow& w = *static_cast<EditorWindow*>(param);
    HWND dlg = w.main;
    while (w.monitor.running.load()) {
        bool busy = GetForegroundWindow() == dlg || w.player.was_playing() || decoder::repaint_count < 30;
        WaitForSingleObject(w.monitor.wake.get(), busy ? 12 : INFINITE);
        if (!w.monitor.running.load()) break;
        // A pass that meets a failure is left undone; the next one tries again.
        toolkit::guarded(0, [&] {
            if (GetForegroundWindow() == dlg) hot_keys(w, dlg);
            if (!IsWindow(dlg)) return 0;
            levels(w, dlg);
            // After a stop the meter is redrawn for 29 more passes as it falls to zero.
            if (++decoder::repaint_count < 30) repaint_meter(w, dlg);
            if (w.player.was_playing()) SendMessageW(dlg, WM_UPDATE_STATUS, 0, 0);
            return 0;
        });
    }
    return 0;
}

// The window whose monitor the keyboard hook wakes: the program has one main window, and the
// hook runs on its thread.
EditorWindow* hooked_window = nullptr;

LRESULT CALLBACK hot_key_seen(int code, WPARAM key, LPARAM flags) {
    // A press taken from the queue: not a repeat (bit 30) and not a release (bit 31).
    const bool press = code == HC_ACTION && (flags & 0xC0000000) == 0;
    if (press && hooked_window) {
        for (int k : k_hot_keys) {
            if (static_cast<WPARAM>(k) != key) continue;
            static_cast<void>(GetAsyncKeyState(k));
            wake_monitor(*hooked_window);
            break;
        }
    }
    return CallNextHookEx(nullptr, code, key, flags);
}

} // namespace

void start_monitor(EditorWindow& w) {
    if (w.monitor.tid != 0) return;
    w.monitor.wake.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr)); // auto-reset
    if (!w.monitor.wake) return;
    w.monitor.running = 1;
    w.monitor.thread.reset(CreateThread(nullptr, 0, monitor_loop, &w, 0, &w.monitor.tid));
    if (!w.monitor.thread) {
        w.monitor.running = 0;
        w.monitor.tid = 0;
        w.monitor.wake.reset();
        return;
    }
    hooked_window = &w;
    w.monitor.key_hook.reset(SetWindowsHookExW(WH_KEYBOARD, hot_key_seen, nullptr, GetCurrentThreadId()));
}

void wake_monitor(EditorWindow& w) {
    if (w.monitor.wake) SetEvent(w.monitor.wake.get());
}

// Ends the thread before the decoder goes away. The thread may be inside a message sent to
// the window, so the wait keeps handling sent messages.
bool stop_monitor(EditorWindow& w) {
    w.monitor.key_hook.reset();
    hooked_window = nullptr;
    w.monitor.running = 0;
    wake_monitor(w);
    if (!w.monitor.thread) return true;
    for (;;) {
        DWORD r = MsgWaitForMultipleObjects(1, w.monitor.thread.address(), FALSE, INFINITE, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) break;
        if (r != WAIT_OBJECT_0 + 1) return false;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    w.monitor.thread.reset();
    w.monitor.tid = 0;
    w.monitor.wake.reset();
    return true;
}

} // namespace editor

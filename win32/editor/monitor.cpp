// The monitor thread: every 12 ms it watches the player's hot keys while the editor is in
// front, reads the decoder's wave data for the level meter, and keeps the status display
// current while something plays. When the editor is not in front and nothing plays (or the
// meter has fallen), it has nothing to do: it sleeps on its wake event, which the window sets
// when it comes to the front and when a play starts. It never takes a lock. Shared with the
// window thread:
//   monitor.wake          set by the window thread, waited on here
//   monitor.running       written by the window thread (start, close), read here
//   meter[].peak, .held, .held_stamp
//                         written here each pass; zeroed by the window thread when a play
//                         starts or ends; read by the painting
//   player.was_playing()  the core's preview::Preview flag, written by it on the window
//                         thread (a play seen, a stream's end), read here
//   decoder::repaint_count  counted here, set to 0 by each decoder stop
// It reaches the window only by sent messages (commands, and a request to update the status,
// which therefore runs on the window thread) and by invalidating the meter's rectangle.
#include <windows.h>
#include <mmsystem.h>

#include "win32/decoder/decoder.h"
#include "win32/editor/resources/resource.h"
#include "win32/editor/editor.h"
#include "win32/editor/guard.h"

namespace editor {

namespace {

const RECT k_meter{257, 67, 377, 91};

void hot_keys(HWND dlg) {
    static constexpr int keys[6] = {VK_F12, VK_F5, VK_F6, VK_F7, VK_ADD, VK_SUBTRACT};
    static constexpr int commands[4] = {IDC_RENAME, IDC_PLAY, IDC_PAUSE, IDC_STOP};
    for (int i = 0; i < 6; ++i) {
        bool down = (GetAsyncKeyState(keys[i]) & 0x8000) != 0;
        int32_t& latch = program.monitor.key_latch[i];
        if (!down) {
            latch = 0;
            continue;
        }
        if (latch) continue; // one action per press, however long the key is held
        latch = 1;
        if (!program.monitor.running.load()) return; // the window is closing
        if (i < 4) {
            SendMessageW(dlg, WM_COMMAND, static_cast<WPARAM>(commands[i]), 0);
        } else if (GetAsyncKeyState(VK_CONTROL) & 0x8000) {
            // Ctrl with the keypad's + or -: back to the title field.
            SendMessageW(dlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dlg, IDC_TITLE)), TRUE);
        }
    }
}

void levels(HWND dlg) {
    int rows[2][256] = {};
    if (decoder::decoder_get_state(nullptr) == preview::playing) {
        static_cast<void>(decoder::decoder_get_wave(rows[0], rows[1])); // rows of zeros where it fails
        uint32_t now = timeGetTime();
        for (int r = 0; r < 2; ++r) {
            Program::MeterValues& v = program.meter[r];
            preview::MeterRow row{v.peak.load(std::memory_order_relaxed), v.held.load(std::memory_order_relaxed),
                                  v.held_stamp.load(std::memory_order_relaxed)};
            preview::feed_levels(row, rows[r], 256, now);
            v.peak.store(row.peak, std::memory_order_relaxed);
            v.held.store(row.held_level, std::memory_order_relaxed);
            v.held_stamp.store(row.held_stamp, std::memory_order_relaxed);
        }
        InvalidateRect(dlg, &k_meter, FALSE);
    } else {
        for (Program::MeterValues& v : program.meter) {
            v.peak.store(0, std::memory_order_relaxed);
            v.held.store(0, std::memory_order_relaxed);
        }
    }
}

DWORD WINAPI monitor_loop(LPVOID param) {
    HWND dlg = static_cast<HWND>(param);
    while (program.monitor.running.load()) {
        bool busy = GetForegroundWindow() == dlg || program.player.was_playing() || decoder::repaint_count < 30;
        WaitForSingleObject(program.monitor.wake, busy ? 12 : INFINITE);
        if (!program.monitor.running.load()) break;
        // A pass that meets a failure is left undone; the next one tries again.
        guarded(0, [&] {
            if (GetForegroundWindow() == dlg) hot_keys(dlg);
            if (!IsWindow(dlg)) return 0;
            levels(dlg);
            // After a stop the meter is redrawn for 29 more passes as it falls to zero.
            if (++decoder::repaint_count < 30) InvalidateRect(dlg, &k_meter, FALSE);
            if (program.player.was_playing()) SendMessageW(dlg, WM_UPDATE_STATUS, 0, 0);
            return 0;
        });
    }
    return 0;
}

} // namespace

void start_monitor(HWND dlg) {
    if (program.monitor.tid != 0) return;
    program.monitor.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr); // auto-reset
    if (!program.monitor.wake) return;
    program.monitor.running = 1;
    program.monitor.thread = CreateThread(nullptr, 0, monitor_loop, dlg, 0, &program.monitor.tid);
    if (!program.monitor.thread) {
        program.monitor.running = 0;
        program.monitor.tid = 0;
        CloseHandle(program.monitor.wake);
        program.monitor.wake = nullptr;
    }
}

void wake_monitor() {
    if (program.monitor.wake) SetEvent(program.monitor.wake);
}

// Ends the thread before the decoder goes away. The thread may be inside a message sent to
// the window, so the wait keeps handling sent messages.
bool stop_monitor() {
    program.monitor.running = 0;
    wake_monitor();
    if (!program.monitor.thread) return true;
    for (;;) {
        DWORD r = MsgWaitForMultipleObjects(1, &program.monitor.thread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) break;
        if (r != WAIT_OBJECT_0 + 1) return false;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(program.monitor.thread);
    program.monitor.thread = nullptr;
    program.monitor.tid = 0;
    CloseHandle(program.monitor.wake);
    program.monitor.wake = nullptr;
    return true;
}

} // namespace editor

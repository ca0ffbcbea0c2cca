// The editor window's state (EditorWindow): made at start, given to dialog 142 as its
// creation parameter and kept with it (DWLP_USER); the handlers get it from there. Also the
// preview and its monitor thread (preview_panel.cpp, monitor.cpp). Each other window file has
// a header of its own.
#pragma once
#include <windows.h>

#include <array>
#include <atomic>
#include <optional>
#include <cstdint>
#include <string>
#include <vector>

#include "win32/common/dpi_win32.h"
#include "win32/common/toolkit_win32.h"
#include "win32/decoder/decoder.h"
#include "core/preview/preview.h"
#include "core/editing/session.h"
#include "core/settings/settings.h"
#include "core/editing/edit_rules.h"
#include "core/face/face_rules.h"

namespace editor {

struct EditorWindow {
    HINSTANCE instance = nullptr;
    HWND owner = nullptr;      // the hidden owner window of notice menus
    HWND main = nullptr;       // dialog 142
    std::string settings_path; // UTF-8; the file's path is the session's
    editing::Session session;
    settings::Settings settings;
    HBITMAP bitmaps[5] = {}; // 156 to 160
    // The window's dots per inch (read by the monitor thread too); the template's layout, kept
    // for a change of scale, and the dialog font made for a scale the window was moved to (null
    // while the template's own serves).
    std::atomic<UINT> dpi{96};
    std::optional<dialog_font::TemplateLayout> layout;
    HFONT scaled_font = nullptr;
    // The File menu: the names of the folder's MP3 files as its latest opening listed them
    // (sorted; the owner-drawn menus are as wide as the widest of slots 0 to 49), the slot of
    // the file being edited (-1 when not listed), and the pointer's move onto that row when
    // the Home key opened the menu.
    struct FileMenu {
        std::array<std::string, 55> names;
        size_t count = 0;
        int current = -1;
        bool warp_request = false, warp_restore = false;
        POINT saved_cursor{};
    } file_menu;
    // The level meter's two rows, written by the monitor thread while a file plays and
    // zeroed by the window thread when a play starts or ends.
    preview::MeterRow meter[2];
    // The preview: the core's state machine over the binding's table (it names the flags
    // that the monitor thread reads); the sliders are subclassed with it (preview_panel.cpp).
    struct Player : preview::Preview {
        explicit Player(const settings::Settings& s) : preview::Preview(decoder::decoder_calls, s) {}
        preview::BeforeRename before_replace; // where an apply in the RMP form stopped it
    } player{settings};
    // The monitor thread: runs while `running` is 1.
    struct Monitor {
        std::atomic<int32_t> running{0};
        toolkit::HeldHandle thread;
        toolkit::HeldHandle wake; // set to end the monitor's rest
        DWORD tid = 0;
        int32_t key_latch[6] = {}; // monitor thread only
        toolkit::HeldHook key_hook; // the window thread's keyboard hook (hot_key_seen)
    } monitor;
    bool options_open = false; // dialog 136 is open
    face::WindowDrag drag;
    bool right_button = false;
    // What the mode label shows (ui.cpp's WindowUi, the user interface the core speaks to).
    struct ModeShown {
        bool rmp = false;
        int id3v2_major = 0;
        bool id3v2_differs = false;
    } mode_shown;
    // Set while the program itself puts a text into a field: a loaded text longer than the
    // field's limit stays whole, as a limit holds only for what the user types.
    bool program_sets_text = false;
    // Dialog 142's loop looks at its end only after a message that it took itself: the
    // messages of this window in progress, and a close that must wake the loop (main_window.cpp).
    int messages_in_progress = 0;
    bool wake_after_end = false;
    // The owner-drawn menus' look, taken when they are measured (menus.cpp).
    struct MenuLook {
        int icon_width = 16, icon_height = 16;
        COLORREF selection = 0, selected_text = 0;
    } menu_look;
    // The outside tools (outside_tools.cpp): the copy and launch threads, and the chooser's
    // last path (UTF-16), which the dialog proposes the next time. The threads' shares are
    // named at the top of outside_tools.cpp.
    struct Tools {
        std::atomic<int32_t> copy_failed{0};
        std::atomic<int32_t> copy_running{0};
        std::atomic<int32_t> launch_running{0};
        BOOL copy_cancel = FALSE;        // set at the close: a running copy stops
        toolkit::HeldHandle copy_handle; // window thread only
        std::wstring chosen_path;
    } tools;
};

// The window's state, kept with dialog 142 from its WM_INITDIALOG on; null before.
inline EditorWindow* window_of(HWND dlg) { return reinterpret_cast<EditorWindow*>(GetWindowLongPtrW(dlg, DWLP_USER)); }

// The preview (preview_panel.cpp): the status display, the commands Play (13), stop (14),
// pause and resume (15), the status display's click (1040), and the steps a load and a rename
// take.
void update_status(EditorWindow& w);
void on_play(EditorWindow& w);
void on_pause(EditorWindow& w);
void stop_playback(EditorWindow& w);
void on_status_click(EditorWindow& w);
void play_loaded_file(EditorWindow& w, const std::string& utf8_path);
// A rename stops the preview first and starts it again on the new name when it was playing.
struct PlayState {
    int state = 0, seconds = 0;
};
PlayState pause_for_rename(EditorWindow& w);
void resume_after_rename(EditorWindow& w, const PlayState& before, const std::string& new_utf8_path);
// An apply in the RMP form replaces the file: the preview stops around it the same way, and a
// file that was playing goes on where it was.
void stop_for_replace(EditorWindow& w);
void resume_after_replace(EditorWindow& w, const std::string& utf8_path);
// The player's part of the window's creation and close: the two sliders get their
// replacement procedures, the monitor thread starts and, at the close, ends.
void start_player(EditorWindow& w);
void end_player(EditorWindow& w);
// After dialog 142 has ended: waits for the monitor thread, then releases the decoder.
void release_player(EditorWindow& w);
// True when a client point of the main window lies inside the player panel.
bool in_player_panel(HWND dlg, POINT client);
// The monitor thread (monitor.cpp): hot keys, levels, and the status while a file plays.
void start_monitor(EditorWindow& w);
// The window came to the front or a play started: the monitor works at its pace again.
void wake_monitor(EditorWindow& w);
// Ends the thread and waits for it; false when the wait failed (the thread may still run).
bool stop_monitor(EditorWindow& w);
// Sent by the monitor thread so that the status is updated on the window thread.
constexpr UINT WM_UPDATE_STATUS = WM_APP + 1;

} // namespace editor

// The editor's program-wide state and the pieces of its Win32 face that the window files share.
#pragma once
#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "editor/audio/decoder.h"
#include "editor/audio/player.h"
#include "editor/session.h"
#include "editor/settings/settings.h"
#include "editor/window/edit_rules.h"
#include "editor/window/face_rules.h"
#include "platform/file.h"
#include "platform/text.h"

namespace editor {

struct Program {
    HINSTANCE instance = nullptr;
    HWND owner = nullptr;  // the hidden owner window of notice menus
    HWND main = nullptr;   // dialog 142
    std::string settings_path;  // UTF-8; the file's path is the session's
    editing::Session session;
    settings::Settings settings;
    HBITMAP bitmaps[5] = {};  // 156 to 160
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
        WNDPROC former_title = nullptr;
    } file_menu;
    // The level meter's two rows, written by the monitor thread while a file plays and
    // zeroed by the window thread when a play starts or ends.
    struct MeterValues {
        std::atomic<int32_t> peak{0}, held{0};
        std::atomic<uint32_t> held_stamp{0};
    } meter[2];
    // The preview: the core's state machine over the binding's table (it names the flags
    // that the monitor thread reads), and the sliders' former procedures.
    struct Player : player::Preview {
        explicit Player(const settings::Settings& s) : player::Preview(audio::decoder_calls, s) {}
        WNDPROC former_position = nullptr, former_volume = nullptr;
    } player{settings};
    // The monitor thread: runs while `running` is 1.
    struct Monitor {
        std::atomic<int32_t> running{0};
        HANDLE thread = nullptr;
        HANDLE wake = nullptr;  // set to end the monitor's rest
        DWORD tid = 0;
        int32_t key_latch[6] = {};  // monitor thread only
    } monitor;
    bool options_open = false;  // dialog 136 is open
    editing::WindowDrag drag;
    bool right_button = false;
};
extern Program program;

// The window's one text boundary. Inside, texts are cp932 and paths UTF-8; Windows gets and
// gives both as UTF-16, so they are right whatever the system's code page.
inline std::wstring wide(std::string_view cp932) { return platform::cp932_to_utf16(cp932); }
inline std::wstring wide_path(std::string_view utf8) { return platform::utf8_to_utf16(utf8); }
// A character with no cp932 form becomes "?".
inline std::string narrow(std::wstring_view text) { return platform::utf16_to_cp932(text); }
inline std::string utf8_path(std::wstring_view path) { return platform::utf16_to_utf8(path); }
// A kt.dat slot's text (cp932) as a path, and back: false when the path has no cp932 form.
inline std::string slot_path(std::string_view cp932) { return platform::cp932_to_utf8(cp932); }
bool path_for_slot(const std::string& utf8, std::string& cp932);
void set_control_text(HWND dlg, int id, std::string_view cp932);

// The current folder belongs to the platform layer.
using platform::current_folder;
using platform::FolderKept;
using platform::set_current_folder;

// The user interface that the core calls, wired to dialog 142 and the question dialogs.
class WindowUi final : public editing::UserInterface {
public:
    bool ask_clear_read_only(int32_t& no_confirm_readonly) override;
    bool ask_convert_to_rmp(int32_t& no_confirm_rmp) override;
    void notice(editing::Notice what, const std::string& detail) override;
    editing::FieldTexts field_texts() override;
    void show_texts(const editing::FieldTexts& texts) override;
    void set_apply_enabled(bool enabled) override;
    void set_mode_label(bool rmp) override;
    void set_field_limits(bool long_texts) override;
    bool carry_over_on() override;
    void end_carry_over() override;
    void hand_over(tags::FileKind kind, const std::string& path) override;
};
extern WindowUi window_ui;

// The five fields' controls and painted captions, in the order of editing::k_fields.
struct FieldControl {
    int id;
    const char* caption;  // cp932
    int caption_x, caption_y;
    bool combo_box;  // the title is an edit control, the others drop-down lists
};
extern const std::array<FieldControl, 5> k_field_controls;

// A control's text in cp932, cut to at most `max_bytes` bytes at a character boundary.
std::string control_text(HWND dlg, int id, size_t max_bytes);
// The texts of the five edit fields, each of at most `max_bytes` bytes.
editing::FieldTexts read_fields(HWND dlg, size_t max_bytes);
// A field grown past its limit in cp932 bytes (the control counts UTF-16 units) is cut back.
void keep_field_limit(HWND dlg, int id);

// A question dialog (135, 137, 138 or 141) owned by the main window; true for its button 1.
// The rename dialogs show the two names in 1030 and 1029.
bool ask(int dialog, int32_t& never_ask, const std::wstring& old_name = {}, const std::wstring& new_name = {});

// A popup menu of string items that carry no command, at the cursor moved by (dx, dy); an
// empty line is a separator.
void show_notice_menu(HWND owner, const std::vector<std::wstring>& lines, int dx, int dy, UINT item_id);
// "Yes" to go on: asked only while the tag is modified.
bool discard_question();

INT_PTR CALLBACK main_window_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp);
// The open routine: loads a file and shows it; a failed load leaves the window as it was and
// gives false.
bool open_file(HWND dlg, const std::string& utf8_path);
void paint_main_window(HWND dlg);

// The owner-drawn popup menus: the Function menu (command 1064) and the context menu of a
// right click on the window's surface; their items are measured and drawn here as well.
void show_function_menu(HWND dlg);
void show_context_menu(HWND dlg);
void measure_menu_item(MEASUREITEMSTRUCT& item);
void draw_menu_item(const DRAWITEMSTRUCT& item);
// A popup of owner-drawn items (0 for a separator).
HMENU owner_drawn_menu(const std::vector<int>& items);

// The preview (player.cpp): the status display, the commands Play (13), stop (14), pause and
// resume (15), the status display's click (1040), and the steps a load and a rename take.
void update_status(HWND dlg);
void on_play(HWND dlg);
void on_pause(HWND dlg);
void stop_playback(HWND dlg);
void on_status_click(HWND dlg);
void play_loaded_file(HWND dlg, const std::string& utf8_path);
// A rename stops the preview first and starts it again on the new name when it was playing.
struct PlayState {
    int state = 0, seconds = 0;
};
PlayState pause_for_rename(HWND dlg);
void resume_after_rename(HWND dlg, const PlayState& before, const std::string& new_utf8_path);
// The player's part of the window's creation and close: the two sliders get their
// replacement procedures, the monitor thread starts and, at the close, ends.
void start_player(HWND dlg);
void end_player(HWND dlg);
// After dialog 142 has ended: waits for the monitor thread, then releases the decoder.
void release_player();
// True when a client point of the main window lies inside the player panel.
bool in_player_panel(HWND dlg, POINT client);
// The monitor thread (monitor.cpp): hot keys, levels, and the status while a file plays.
void start_monitor(HWND dlg);
// The window came to the front or a play started: the monitor works at its pace again.
void wake_monitor();
// Ends the thread and waits for it; false when the wait failed (the thread may still run).
bool stop_monitor();
// Sent by the monitor thread so that the status is updated on the window thread.
constexpr UINT WM_UPDATE_STATUS = WM_APP + 1;
// Posted by the copy thread when a copy failed: the window shows the notice.
constexpr UINT WM_COPY_FAILED = WM_APP + 2;

// The window's title: the display name and the version.
void set_title();
// Writes kt.dat with the window's position (beside the old file, then in its place).
void save_settings_now();
// The options dialog (136), without a parent; does nothing while it is open already.
void show_options();

// The outside tools (outside_tools.cpp). The program chooser gives the chosen path (UTF-8),
// or an empty text when nothing was chosen; it proposes the last chosen or opened file unless
// told not to. keep_folder leaves the current folder where the dialog left it.
std::string choose_program(HWND owner, const char* title, const wchar_t* filter, const std::string& start_folder,
                           bool keep_folder, bool propose_last = true);
// A file opened from the File menu becomes the chooser's proposal too.
void remember_chosen(const std::string& utf8_path);
// Starts a program from a UTF-8 command line; `activate` false leaves the editor in front.
void start_program(const std::string& command_line, bool activate);
// At the close: a copy still running stops, and its partial file goes.
void end_copy();
bool file_exists(const std::string& utf8_path);
void copy_current_file();           // 4100, in a thread
void show_copy_failure(HWND dlg);   // before every message of the main window not sent by another thread
void open_copy_folder();            // 4101
void start_mpman();                 // 4102
void use_winamp(int command);       // 4104 add to the playlist, 4105 start

// The File menu (file_menu.cpp): the folder's MP3 files, the open-file dialog, the folder in
// the shell; the Home key in the title field opens it with the pointer on the current file.
void show_file_menu(HWND dlg);
void open_listed_file(HWND dlg, int slot);
void open_file_dialog(HWND dlg);
void show_current_folder();
void watch_home_key(HWND dlg);
void unwatch_home_key(HWND dlg);
// Moves the pointer onto the current file's row of the open File menu, when asked to.
void warp_to_current_row(int row);

// Gives the current file the name its tag makes, after the tag has been applied (command 11).
void rename_by_tag(HWND dlg);
// The file box 1001: the current file in the relative form.
void show_file_box(HWND dlg);

} // namespace editor

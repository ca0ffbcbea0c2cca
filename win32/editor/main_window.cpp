// Dialog 142, the one main window: the table of contents of its messages and the commands.
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <cstdio>
#include <ctime>

#include "win32/decoder/decoder.h"
#include "win32/editor/resources/resource.h"
#include "core/editing/apply_tag.h"
#include "core/formats/load.h"
#include "core/editing/load_file.h"
#include "core/formats/text_rules.h"
#include "win32/editor/editor.h"
#include "win32/editor/file_menu.h"
#include "win32/editor/guard.h"
#include "win32/editor/main_window.h"
#include "win32/editor/menus.h"
#include "win32/editor/options.h"
#include "win32/editor/outside_tools.h"
#include "win32/editor/paint.h"
#include "win32/editor/rename.h"
#include "win32/editor/ui.h"
#include "core/editing/paths.h"
#include "win32/editor/texts.h"

namespace editor {

namespace {

editing::Session& S() { return program.session; }

void offer_history(HWND dlg, bool latest_first) {
    editing::DropDowns lists;
    auto read = [&](int id, std::vector<std::string>& items) {
        LRESULT n = SendDlgItemMessageW(dlg, id, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            wchar_t buf[512] = {};
            if (SendDlgItemMessageW(dlg, id, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 511)
                SendDlgItemMessageW(dlg, id, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
            items.push_back(narrow(buf));
        }
    };
    read(IDC_ARTIST, lists.artist);
    read(IDC_ALBUM, lists.album);
    read(IDC_COMMENT, lists.comment);
    size_t had_artist = lists.artist.size(), had_album = lists.album.size(), had_comment = lists.comment.size();
    editing::offer_history_texts(program.settings.tag_history, latest_first, lists);
    auto add = [&](int id, const std::vector<std::string>& items, size_t from) {
        for (size_t i = from; i < items.size(); ++i)
            SendDlgItemMessageW(dlg, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(items[i]).c_str()));
    };
    add(IDC_ALBUM, lists.album, had_album);
    add(IDC_ARTIST, lists.artist, had_artist);
    add(IDC_COMMENT, lists.comment, had_comment);
}

// Runs before every message once the window is up: the core marks the tag modified, and
// switches the apply button on, when a field differs from the loaded tag.
void detect_change() {
    if (S().window_ready) static_cast<void>(editing::detect_change(S(), program.settings, window_ui));
}

void place_window(HWND dlg) {
    RECT r;
    GetWindowRect(dlg, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    POINT p;
    GetCursorPos(&p);
    int x = p.x - 300, y = p.y - 143;
    if (program.settings.fix_window_position == 1) {
        x = program.settings.window_left;
        y = program.settings.window_top;
    }
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    RECT desk;
    GetWindowRect(GetDesktopWindow(), &desk);
    if (x + w > desk.right) x = GetSystemMetrics(SM_CXFULLSCREEN) - w;
    if (y + h > desk.bottom) y = GetSystemMetrics(SM_CYFULLSCREEN) - h;
    MoveWindow(dlg, x, y, w, h, TRUE);
}

// The drop-down lists' heights: the year box 50 wide and 200 high, the history boxes their
// own width and 100 high. Each stays where the template put it.
void size_drop_down_lists(HWND dlg) {
    const struct {
        int id, width, height;
    } boxes[] = {{IDC_YEAR, 50, 200}, {IDC_ARTIST, 0, 100}, {IDC_ALBUM, 0, 100}, {IDC_COMMENT, 0, 100}};
    for (const auto& b : boxes) {
        HWND box = GetDlgItem(dlg, b.id);
        RECT r{};
        GetWindowRect(box, &r);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
        MoveWindow(box, r.left, r.top, b.width ? b.width : r.right - r.left, b.height, FALSE);
    }
}

BOOL on_init(HWND dlg) {
    program.main = dlg;
    DragAcceptFiles(dlg, TRUE);
    place_window(dlg);
    for (int i = 0; i < 5; ++i) program.bitmaps[i] = LoadBitmapW(program.instance, MAKEINTRESOURCEW(IDB_EDGE + i));
    // Preview needs vbmp3.dll beside the program; without it the editor edits all the same.
    static_cast<void>(decoder::load_decoder());
    if (!decoder::decoder_ready()) static_cast<void>(decoder::init_decoder(program.settings.playback_mode));
    start_player(dlg);
    watch_home_key(dlg);
    SendMessageW(dlg, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadIconW(program.instance, MAKEINTRESOURCEW(IDI_TAGZO))));
    set_title();
    size_drop_down_lists(dlg);
    std::time_t now = std::time(nullptr);
    std::tm* local = std::localtime(&now);
    for (const std::string& y : editing::year_list(local ? local->tm_year : 126))
        SendDlgItemMessageW(dlg, IDC_YEAR, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(y).c_str()));
    offer_history(dlg, true);
    show_file_box(dlg);
    editing::window_opened(S(), program.settings, window_ui);
    CheckDlgButton(dlg, IDC_AUTO_PLAY, program.settings.auto_play == 1 ? BST_CHECKED : BST_UNCHECKED);
    set_control_text(dlg, IDC_AUTO_PLAY, program.settings.auto_play == 1 ? texts::auto_play_on : texts::auto_play_off);
    return TRUE;
}

// Dialog 142's loop looks at its end only after a message that it took itself. A close taken
// inside another modal loop (a question opened by a message that the monitor thread sent for
// a hot key) leaves it waiting in its own GetMessage, and the message EndDialog posts has gone
// to that inner loop. So once the outermost message of this window is handled, a posted
// message wakes it.
namespace {
int messages_in_progress = 0;
bool wake_after_end = false;
} // namespace

void on_close(HWND dlg, int command) {
    if (program.options_open) return; // the options dialog is still open
    if (!discard_question()) return;
    EndDialog(dlg, command);
    wake_after_end = true;
    end_player(dlg);
    unwatch_home_key(dlg);
    for (HBITMAP& b : program.bitmaps) {
        if (b) DeleteObject(b);
        b = nullptr;
    }
    save_settings_now();
}

// Applies the tag and enters it into the history (saved when that changed). A failed or
// refused apply keeps the tag modified, leaves the history alone and gives false; its notice
// has been shown.
bool apply_and_remember() {
    bool done = editing::apply_tag(S(), program.settings, window_ui).ok();
    if (!done && S().modified) return false;
    if (editing::add_to_history(program.settings.tag_history, S().current_tag)) save_settings_now();
    return true;
}

void on_apply(HWND dlg, int command) {
    // With renaming after each update the rename path applies the tag itself; the window then
    // closes only when quitting after an apply is set, "OK" included.
    if (program.settings.rename_after_update == 1) {
        SendMessageW(dlg, WM_COMMAND, IDC_RENAME, 0);
        return;
    }
    if (!apply_and_remember()) return;
    if (program.settings.quit_after_apply == 1 || command == IDC_OK) SendMessageW(dlg, WM_COMMAND, IDC_CLOSE_X, 0);
}

void on_undo() { editing::undo(S(), window_ui); }

void on_carry_over(HWND dlg) {
    BOOL on = IsWindowEnabled(GetDlgItem(dlg, IDC_ARTIST));
    for (int id : {IDC_ARTIST, IDC_ALBUM, IDC_YEAR, IDC_COMMENT}) EnableWindow(GetDlgItem(dlg, id), !on);
    SetFocus(GetDlgItem(dlg, IDC_TITLE));
}

void on_mode_menu(HWND dlg) {
    if (S().rmp_texts.is_rmp) {
        char copy[300], eng[300], soft[300];
        std::snprintf(copy, sizeof copy, texts::rmp_copyright, S().rmp_texts.text[formats::ICOP].c_str());
        std::snprintf(eng, sizeof eng, texts::rmp_engineer, S().rmp_texts.text[formats::IENG].c_str());
        std::snprintf(soft, sizeof soft, texts::rmp_software, S().rmp_texts.text[formats::ISFT].c_str());
        show_notice_menu(program.owner, {wide(texts::rmp_other_items), L"", wide(copy), wide(eng), wide(soft)}, -15,
                         -20, IDM_INFO);
    }
    SetFocus(GetDlgItem(dlg, IDC_TITLE));
}

void on_auto_play(HWND dlg) {
    program.settings.auto_play = IsDlgButtonChecked(dlg, IDC_AUTO_PLAY) == BST_CHECKED ? 1 : 0;
    set_control_text(dlg, IDC_AUTO_PLAY, program.settings.auto_play ? texts::auto_play_on : texts::auto_play_off);
    SetFocus(GetDlgItem(dlg, IDC_TITLE));
}

// Apply and rename (command 11, the Function menu's item and F12).
void on_apply_and_rename(HWND dlg) {
    if (S().read_only_media) {
        show_notice_menu(program.owner, {wide(texts::error_head_kana), L"", wide(texts::read_only_file)}, 30, -30,
                         IDM_READ_ONLY);
        return;
    }
    if (!apply_and_remember()) return;
    if (S().current_tag.title.empty()) {
        show_notice_menu(dlg, {wide(texts::no_title_or_artist)}, 30, -30, IDM_INFO);
        return;
    }
    rename_by_tag(dlg);
}

BOOL on_command(HWND dlg, int command, int notification) {
    // Typed or pasted text beyond a field's limit in cp932 bytes is cut back at once.
    for (const FieldControl& c : k_field_controls) {
        if (c.id == command && notification == (c.combo_box ? CBN_EDITCHANGE : EN_CHANGE)) {
            keep_field_limit(dlg, command);
            return TRUE;
        }
    }
    if (command >= IDM_FILE_LIST && command < IDM_FILE_LIST + 60) {
        open_listed_file(dlg, command - IDM_FILE_LIST);
        return TRUE;
    }
    switch (command) {
    case IDC_CLOSE_X:
    case IDC_CANCEL: on_close(dlg, command); return TRUE;
    case IDC_UNDO: on_undo(); return TRUE;
    case IDC_APPLY:
    case IDC_OK: on_apply(dlg, command); return TRUE;
    case IDC_CARRY_OVER: on_carry_over(dlg); return TRUE;
    case IDC_MODE: on_mode_menu(dlg); return TRUE;
    case IDC_AUTO_PLAY: on_auto_play(dlg); return TRUE;
    case IDC_FUNCTION: show_function_menu(dlg); return TRUE;
    case IDC_PLAY: on_play(dlg); return TRUE;
    case IDC_STOP: stop_playback(dlg); return TRUE;
    case IDC_PAUSE: on_pause(dlg); return TRUE;
    case IDC_STATUS: on_status_click(dlg); return TRUE;
    case IDC_FILE_MENU: show_file_menu(dlg); return TRUE;
    case IDC_OPTIONS: show_options(); return TRUE;
    case IDM_COPY: copy_current_file(); return TRUE;
    case IDM_OPEN_COPY_FOLDER: open_copy_folder(); return TRUE;
    case IDM_MPMAN: start_mpman(); return TRUE;
    case IDM_ADD_TO_PLAYLIST:
    case IDM_WINAMP: use_winamp(command); return TRUE;
    case IDM_OPEN_FILE: SendMessageW(dlg, WM_COMMAND, IDC_OPEN_DIALOG, 0); return TRUE;
    case IDC_OPEN_DIALOG: open_file_dialog(dlg); return TRUE;
    case IDM_OPEN_CURRENT_FOLDER: show_current_folder(); return TRUE;
    case IDC_RENAME: on_apply_and_rename(dlg); return TRUE;
    case IDM_OPTIONS: SendMessageW(dlg, WM_COMMAND, IDC_OPTIONS, 0); return TRUE;
    }
    return FALSE;
}

// The window has no caption bar: a press on any free spot of its surface moves it.
void on_left_button(HWND dlg, UINT msg) {
    POINT cursor;
    GetCursorPos(&cursor);
    RECT r;
    GetWindowRect(dlg, &r);
    if (msg == WM_LBUTTONDOWN) {
        program.drag.press(timeGetTime(), {cursor.x, cursor.y}, {r.left, r.top});
        SetCapture(dlg);
    } else if (msg == WM_MOUSEMOVE) {
        face::ScreenMetrics screen{GetSystemMetrics(SM_CXFULLSCREEN), GetSystemMetrics(SM_CYFULLSCREEN),
                                   GetSystemMetrics(SM_CYCAPTION)};
        face::Point to{};
        int w = r.right - r.left, h = r.bottom - r.top;
        if (program.drag.move(timeGetTime(), {cursor.x, cursor.y}, w, h, screen, to))
            MoveWindow(dlg, to.x, to.y, w, h, TRUE);
    } else if (program.drag.release()) {
        ReleaseCapture();
    }
}

void on_right_button(HWND dlg, UINT msg) {
    if (msg == WM_RBUTTONDOWN) {
        SetCapture(dlg);
        program.right_button = true;
        return;
    }
    if (!program.right_button) return;
    program.right_button = false;
    ReleaseCapture();
    show_context_menu(dlg);
}

// Only the first of several dropped files is loaded; a path over 1024 characters is refused
// rather than loaded cut.
void on_drop(HWND dlg, HDROP drop) {
    wchar_t name[1025] = {};
    UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    UINT n = length < 1025 ? DragQueryFileW(drop, 0, name, 1025) : 0;
    POINT at{};
    DragQueryPoint(drop, &at);
    DragFinish(drop);
    if (n == 0 || n != length) return;
    if (!discard_question()) return;
    SetForegroundWindow(dlg);
    // Dropped on the player panel, the file plays as soon as it is loaded.
    if (in_player_panel(dlg, at)) program.player.play_on_load = 1;
    std::string path = utf8_path(std::wstring_view(name, n));
    // The file's folder becomes the current one, as for every load; a file that does not load
    // leaves the editor, and so its folder, as they were.
    FolderKept before;
    std::string folder = editing::folder_of(path);
    if (!folder.empty()) set_current_folder(editing::folder_with_backslash(folder));
    if (open_file(dlg, path)) before.keep_new();
}

} // namespace

void show_file_box(HWND dlg) {
    SetDlgItemTextW(dlg, IDC_FILE_BOX, wide_path(editing::relative_form(S().current_path, current_folder())).c_str());
}

void set_title() {
    char title[4200];
    std::snprintf(title, sizeof title, "%s %s", settings::slot_text(program.settings.display_name).c_str(),
                  texts::version);
    SetWindowTextW(program.main, wide(title).c_str());
}

void save_settings_now() {
    RECT r;
    if (program.main && GetWindowRect(program.main, &r)) {
        program.settings.window_left = r.left;
        program.settings.window_top = r.top;
    }
    // Reported like the other writes that fail; the settings stay in memory for the next save.
    if (platform::Result saved = settings::save_settings(program.settings_path, program.settings); !saved)
        show_write_failure(saved.detail);
}

// The open routine: load, then show the file and take its tag as the undo snapshot.
bool open_file(HWND dlg, const std::string& utf8_path) {
    if (!editing::open_file(S(), program.settings, window_ui, utf8_path).ok()) return false;
    offer_history(dlg, false);
    show_file_box(dlg);
    play_loaded_file(dlg, utf8_path);
    update_status(dlg);
    return true;
}

namespace {

INT_PTR handle_message(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    detect_change();
    // Never inside a message another thread sent (the monitor's status request): that thread
    // would wait in SendMessage for as long as the notice is open.
    if (!InSendMessage()) show_copy_failure(dlg);
    switch (msg) {
    case WM_INITDIALOG: return on_init(dlg);
    case WM_COMMAND: return on_command(dlg, LOWORD(wp), HIWORD(wp));
    case WM_PAINT: paint_main_window(dlg); return TRUE;
    case WM_DROPFILES: on_drop(dlg, reinterpret_cast<HDROP>(wp)); return 0;
    case WM_MEASUREITEM: measure_menu_item(*reinterpret_cast<MEASUREITEMSTRUCT*>(lp)); return TRUE;
    case WM_DRAWITEM: draw_menu_item(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp)); return TRUE;
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP: on_left_button(dlg, msg); return 0;
    case WM_UPDATE_STATUS: update_status(dlg); return TRUE;
    case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE) wake_monitor();
        return FALSE;
    case WM_COPY_FAILED: return TRUE;                         // the notice was shown above
    case WM_CAPTURECHANGED: program.drag.release(); return 0; // a lost capture ends a drag
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: on_right_button(dlg, msg); return 0;
    }
    return FALSE;
}

} // namespace

INT_PTR CALLBACK main_window_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    ++messages_in_progress;
    INT_PTR result = guarded<INT_PTR>(FALSE, [&] { return handle_message(dlg, msg, wp, lp); });
    if (--messages_in_progress == 0 && wake_after_end) {
        wake_after_end = false;
        PostMessageW(dlg, WM_NULL, 0, 0);
    }
    return result;
}

} // namespace editor

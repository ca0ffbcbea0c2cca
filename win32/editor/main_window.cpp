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
#include "win32/common/toolkit_win32.h"
#include "win32/editor/main_window.h"
#include "win32/editor/accessible.h"
#include "win32/editor/menus.h"
#include "win32/editor/options.h"
#include "win32/editor/outside_tools.h"
#include "win32/editor/paint.h"
#include "win32/editor/rename.h"
#include "win32/editor/ui.h"
#include "win32/editor/window.h"
#include "core/editing/paths.h"
#include "win32/editor/texts.h"

namespace editor {

namespace {

// Runs before every message once the window is up: the core marks the tag modified, and
// switches the apply button on, when a field differs from the loaded tag.
void detect_change(EditorWindow& w) {
    WindowUi ui(w);
    if (w.session.window_ready) static_cast<void>(editing::detect_change(w.session, w.settings, ui));
}

// By the pointer, or where the settings fix it, kept inside the screen's full-screen area (the
// screen less the taskbar and a caption), which a window pulled back from an edge meets.
void place_window(const EditorWindow& w) {
    RECT r;
    GetWindowRect(w.main, &r);
    int width = r.right - r.left, height = r.bottom - r.top;
    POINT p;
    GetCursorPos(&p);
    face::Point at{p.x, p.y}, offset{dpi::scale(-300, w.dpi), dpi::scale(-143, w.dpi)};
    if (w.settings.fix_window_position == 1) {
        at = {w.settings.window_left, w.settings.window_top};
        offset = {0, 0};
    }
    face::Point to = face::place_by_cursor(at, offset.x, offset.y, width, height, GetSystemMetrics(SM_CXFULLSCREEN),
                                           GetSystemMetrics(SM_CYFULLSCREEN));
    MoveWindow(w.main, to.x, to.y, width, height, TRUE);
}

// The drop-down lists' heights: the year box 50 wide and 200 high, the history boxes their
// own width and 100 high (at 96 DPI). Each stays where the template put it.
// The year's box is 50 pixels wide (of 96 DPI), or wider where its font needs more for four
// digits whole (a font that stands in for the template's).
int year_box_width(HWND box, UINT dpi) {
    const int width = dpi::scale(50, dpi);
    RECT r{};
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (!GetWindowRect(box, &r) || !GetComboBoxInfo(box, &info)) return width;
    SIZE digits{};
    if (HDC dc = GetDC(box)) {
        {
            toolkit::Selected chosen(dc, reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0)));
            GetTextExtentPoint32W(dc, L"0000", 4, &digits);
        }
        ReleaseDC(box, dc);
    }
    // Besides the text: the button, the borders and the edit's margins, as at the width it has now.
    const int around = (r.right - r.left) - (info.rcItem.right - info.rcItem.left) + dpi::scale(2, dpi);
    return digits.cx + around > width ? digits.cx + around : width;
}

void size_drop_down_lists(HWND dlg, UINT dpi) {
    const struct {
        int id, width, height;
    } boxes[] = {{IDC_YEAR, 50, 200}, {IDC_ARTIST, 0, 100}, {IDC_ALBUM, 0, 100}, {IDC_COMMENT, 0, 100}};
    for (const auto& b : boxes) {
        HWND box = GetDlgItem(dlg, b.id);
        RECT r{};
        GetWindowRect(box, &r);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
        MoveWindow(box, r.left, r.top, b.width ? year_box_width(box, dpi) : r.right - r.left, dpi::scale(b.height, dpi),
                   FALSE);
    }
}

// The Tab key goes through the fields and buttons as they are read, row by row from the top,
// starting at the title (which has the focus first) and coming round to the row above it. The
// order of the child windows is the order of the Tab key; the controls do not overlap, so it
// changes nothing on the screen.
void tab_in_reading_order(HWND dlg) {
    const int order[] = {IDC_TITLE,    IDC_MODE,      IDC_ARTIST, IDC_CARRY_OVER, IDC_ALBUM, IDC_YEAR,
                         IDC_PLAY,     IDC_PAUSE,     IDC_STOP,   IDC_COMMENT,    IDC_UNDO,  IDC_OK,
                         IDC_CANCEL,   IDC_APPLY,     IDC_FUNCTION, IDC_FILE_MENU, IDC_CLOSE_X, IDC_AUTO_PLAY};
    HWND after = HWND_TOP;
    for (int id : order) {
        HWND control = GetDlgItem(dlg, id);
        if (!control) continue;
        SetWindowLongPtrW(control, GWL_STYLE, GetWindowLongPtrW(control, GWL_STYLE) | WS_TABSTOP);
        SetWindowPos(control, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = control;
    }
}

BOOL on_init(EditorWindow& w, HWND dlg) {
    w.main = dlg;
    DragAcceptFiles(dlg, TRUE);
    // On a screen of another scale than 96 DPI the controls go where the template puts them at
    // 96 DPI, scaled; the dialog manager would have sized them by the font alone.
    dpi::keep_system_from_scaling(dlg);
    w.dpi = dpi::of_window(dlg);
    w.layout = dialog_font::template_layout(w.instance, IDD_MAIN);
    if (w.dpi != dpi::k_base && w.layout) dpi::lay_out(dlg, *w.layout, w.dpi, nullptr);
    place_window(w);
    for (int i = 0; i < 5; ++i) w.bitmaps[i] = LoadBitmapW(w.instance, MAKEINTRESOURCEW(IDB_EDGE + i));
    // Preview needs vbmp3.dll beside the program; without it the editor edits all the same.
    static_cast<void>(decoder::load_decoder());
    if (!decoder::decoder_ready()) static_cast<void>(decoder::init_decoder(w.settings.playback_mode));
    start_player(w);
    // Named before the title field's own window procedure goes in (watch_home_key), which the
    // close takes out again.
    const std::pair<int, const char*> captions[] = {{IDC_TITLE, texts::caption_title},
                                                    {IDC_ARTIST, texts::caption_artist},
                                                    {IDC_ALBUM, texts::caption_album},
                                                    {IDC_YEAR, texts::caption_year},
                                                    {IDC_COMMENT, texts::caption_comment}};
    for (const auto& [id, caption] : captions) name_for_screen_readers(GetDlgItem(dlg, id), wide(caption));
    // The sliders and the file box have no caption of their own beside them.
    name_for_screen_readers(GetDlgItem(dlg, IDC_VOLUME), wide(texts::caption_wave_vol));
    name_for_screen_readers(GetDlgItem(dlg, IDC_POSITION), wide(texts::name_position));
    name_for_screen_readers(GetDlgItem(dlg, IDC_FILE_BOX), wide(texts::name_file_box));
    tab_in_reading_order(dlg);
    watch_home_key(w);
    SendMessageW(dlg, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadIconW(w.instance, MAKEINTRESOURCEW(IDI_TAGZO))));
    set_title(w);
    size_drop_down_lists(dlg, w.dpi);
    std::time_t now = std::time(nullptr);
    std::tm* local = std::localtime(&now);
    for (const std::string& y : editing::year_list(local ? local->tm_year : 126))
        SendDlgItemMessageW(dlg, IDC_YEAR, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(y).c_str()));
    offer_history(w, true);
    show_file_box(w);
    WindowUi ui(w);
    editing::window_opened(w.session, w.settings, ui);
    CheckDlgButton(dlg, IDC_AUTO_PLAY, w.settings.auto_play == 1 ? BST_CHECKED : BST_UNCHECKED);
    set_control_text(dlg, IDC_AUTO_PLAY, w.settings.auto_play == 1 ? texts::auto_play_on : texts::auto_play_off);
    return TRUE;
}

// Dialog 142's loop looks at its end only after a message that it took itself. A close taken
// inside another modal loop (a question opened by a message that the monitor thread sent for
// a hot key) leaves it waiting in its own GetMessage, and the message EndDialog posts has gone
// to that inner loop. So once the outermost message of this window is handled, a posted
// message wakes it (main_window_proc).
void on_close(EditorWindow& w, int command) {
    if (w.options_open) return; // the options dialog is still open
    if (!discard_question(w)) return;
    EndDialog(w.main, command);
    w.wake_after_end = true;
    end_player(w);
    unwatch_home_key(w);
    for (HBITMAP& b : w.bitmaps) {
        if (b) DeleteObject(b);
        b = nullptr;
    }
    if (w.scaled_font) DeleteObject(w.scaled_font);
    w.scaled_font = nullptr;
    save_settings_now(w);
}

// Applies the tag and enters it into the history (saved when that changed). A failed or
// refused apply keeps the tag modified, leaves the history alone and gives false; its notice
// has been shown.
bool apply_and_remember(EditorWindow& w) {
    WindowUi ui(w);
    bool done = editing::apply_tag(w.session, w.settings, ui).ok();
    if (!done && w.session.modified) return false;
    if (editing::add_to_history(w.settings.tag_history, w.session.current_tag)) save_settings_now(w);
    return true;
}

void on_apply(EditorWindow& w, int command) {
    HWND dlg = w.main;
    // With renaming after each update the rename path applies the tag itself; the window then
    // closes only when quitting after an apply is set, "OK" included.
    if (w.settings.rename_after_update == 1) {
        SendMessageW(dlg, WM_COMMAND, IDC_RENAME, 0);
        return;
    }
    if (!apply_and_remember(w)) return;
    if (w.settings.quit_after_apply == 1 || command == IDC_OK) SendMessageW(dlg, WM_COMMAND, IDC_CLOSE_X, 0);
}

void on_undo(EditorWindow& w) {
    WindowUi ui(w);
    editing::undo(w.session, ui);
}

void on_carry_over(EditorWindow& w) {
    HWND dlg = w.main;
    WindowUi ui(w);
    editing::set_carry_over(w.session, ui, !w.session.carry_over);
    SetFocus(GetDlgItem(dlg, IDC_TITLE));
}

void on_mode_menu(EditorWindow& w) {
    HWND dlg = w.main;
    if (w.session.rmp_texts.is_rmp) {
        char copy[300], eng[300], soft[300];
        std::snprintf(copy, sizeof copy, texts::rmp_copyright, w.session.rmp_texts.text[formats::ICOP].c_str());
        std::snprintf(eng, sizeof eng, texts::rmp_engineer, w.session.rmp_texts.text[formats::IENG].c_str());
        std::snprintf(soft, sizeof soft, texts::rmp_software, w.session.rmp_texts.text[formats::ISFT].c_str());
        show_notice_menu(w.owner, {wide(texts::rmp_other_items), L"", wide(copy), wide(eng), wide(soft)}, -15, -20,
                         IDM_INFO);
    }
    SetFocus(GetDlgItem(dlg, IDC_TITLE));
}

void on_auto_play(EditorWindow& w) {
    HWND dlg = w.main;
    w.settings.auto_play = IsDlgButtonChecked(dlg, IDC_AUTO_PLAY) == BST_CHECKED ? 1 : 0;
    set_control_text(dlg, IDC_AUTO_PLAY, w.settings.auto_play ? texts::auto_play_on : texts::auto_play_off);
    SetFocus(GetDlgItem(dlg, IDC_TITLE));
}

// Apply and rename (command 11, the Function menu's item and F12).
void on_apply_and_rename(EditorWindow& w) {
    HWND dlg = w.main;
    if (w.session.read_only_media) {
        show_notice_menu(w.owner, {wide(texts::error_head_kana), L"", wide(texts::read_only_file)}, 30, -30,
                         IDM_READ_ONLY);
        return;
    }
    if (!apply_and_remember(w)) return;
    if (w.session.current_tag.title.empty()) {
        show_notice_menu(dlg, {wide(texts::no_title_or_artist)}, 30, -30, IDM_INFO);
        return;
    }
    rename_by_tag(w);
}

BOOL on_command(EditorWindow& w, int command, int notification) {
    HWND dlg = w.main;
    // Typed or pasted text beyond a field's limit in cp932 bytes is cut back at once.
    for (const FieldControl& c : k_field_controls) {
        if (c.id == command && notification == (c.combo_box ? CBN_EDITCHANGE : EN_CHANGE)) {
            keep_field_limit(w, command);
            return TRUE;
        }
    }
    if (command >= IDM_FILE_LIST && command < IDM_FILE_LIST + 60) {
        open_listed_file(w, command - IDM_FILE_LIST);
        return TRUE;
    }
    switch (command) {
    case IDC_CLOSE_X:
    case IDC_CANCEL: on_close(w, command); return TRUE;
    case IDC_UNDO: on_undo(w); return TRUE;
    case IDC_APPLY:
    case IDC_OK: on_apply(w, command); return TRUE;
    case IDC_CARRY_OVER: on_carry_over(w); return TRUE;
    case IDC_MODE: on_mode_menu(w); return TRUE;
    case IDC_AUTO_PLAY: on_auto_play(w); return TRUE;
    case IDC_FUNCTION: show_function_menu(w); return TRUE;
    case IDC_PLAY: on_play(w); return TRUE;
    case IDC_STOP: stop_playback(w); return TRUE;
    case IDC_PAUSE: on_pause(w); return TRUE;
    case IDC_STATUS: on_status_click(w); return TRUE;
    case IDC_FILE_MENU: show_file_menu(w); return TRUE;
    case IDC_OPTIONS: show_options(w); return TRUE;
    case IDM_COPY: copy_current_file(w); return TRUE;
    case IDM_OPEN_COPY_FOLDER: open_copy_folder(w); return TRUE;
    case IDM_MPMAN: start_mpman(w); return TRUE;
    case IDM_ADD_TO_PLAYLIST:
    case IDM_WINAMP: use_winamp(w, command); return TRUE;
    case IDM_OPEN_FILE: SendMessageW(dlg, WM_COMMAND, IDC_OPEN_DIALOG, 0); return TRUE;
    case IDC_OPEN_DIALOG: open_file_dialog(w); return TRUE;
    case IDM_OPEN_CURRENT_FOLDER: show_current_folder(); return TRUE;
    case IDC_RENAME: on_apply_and_rename(w); return TRUE;
    case IDM_OPTIONS: SendMessageW(dlg, WM_COMMAND, IDC_OPTIONS, 0); return TRUE;
    }
    return FALSE;
}

// The window has no caption bar: a press on any free spot of its surface moves it.
void on_left_button(EditorWindow& w, UINT msg) {
    HWND dlg = w.main;
    POINT cursor;
    GetCursorPos(&cursor);
    RECT r;
    GetWindowRect(dlg, &r);
    if (msg == WM_LBUTTONDOWN) {
        w.drag.press(timeGetTime(), {cursor.x, cursor.y}, {r.left, r.top});
        SetCapture(dlg);
    } else if (msg == WM_MOUSEMOVE) {
        face::ScreenMetrics screen{GetSystemMetrics(SM_CXFULLSCREEN), GetSystemMetrics(SM_CYFULLSCREEN),
                                   GetSystemMetrics(SM_CYCAPTION)};
        face::Point to{};
        int width = r.right - r.left, height = r.bottom - r.top;
        if (w.drag.move(timeGetTime(), {cursor.x, cursor.y}, width, height, screen, to))
            MoveWindow(dlg, to.x, to.y, width, height, TRUE);
    } else if (w.drag.release()) {
        ReleaseCapture();
    }
}

void on_right_button(EditorWindow& w, UINT msg) {
    HWND dlg = w.main;
    if (msg == WM_RBUTTONDOWN) {
        SetCapture(dlg);
        w.right_button = true;
        return;
    }
    if (!w.right_button) return;
    w.right_button = false;
    ReleaseCapture();
    show_context_menu(w);
}

// Moved to a screen of another scale: the controls laid out and their font made again for it,
// the window where the system suggests.
void on_dpi_changed(EditorWindow& w, UINT dpi, const RECT& suggested) {
    if (dpi == 0 || dpi == w.dpi) return;
    w.dpi = dpi;
    if (w.layout) {
        HFONT font = dpi::template_font(*w.layout, dpi);
        dpi::lay_out(w.main, *w.layout, dpi, font);
        if (w.scaled_font) DeleteObject(w.scaled_font);
        w.scaled_font = font;
        size_drop_down_lists(w.main, dpi);
    }
    SetWindowPos(w.main, nullptr, suggested.left, suggested.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(w.main, nullptr, TRUE);
}

// Only the first of several dropped files is loaded; a path over 1024 characters is refused
// rather than loaded cut.
void on_drop(EditorWindow& w, HDROP drop) {
    HWND dlg = w.main;
    wchar_t name[1025] = {};
    UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    UINT n = length < 1025 ? DragQueryFileW(drop, 0, name, 1025) : 0;
    POINT at{};
    DragQueryPoint(drop, &at);
    DragFinish(drop);
    if (n == 0 || n != length) return;
    if (!discard_question(w)) return;
    SetForegroundWindow(dlg);
    // Dropped on the player panel, the file plays as soon as it is loaded.
    if (in_player_panel(dlg, at)) w.player.play_on_load = 1;
    std::string path = utf8_path(std::wstring_view(name, n));
    // The file's folder becomes the current one, as for every load; a file that does not load
    // leaves the editor, and so its folder, as they were.
    FolderKept before;
    std::string folder = editing::folder_of(path);
    if (!folder.empty()) set_current_folder(editing::folder_with_backslash(folder));
    if (open_file(w, path)) before.keep_new();
}

INT_PTR handle_message(EditorWindow& w, HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    detect_change(w);
    // Never inside a message another thread sent (the monitor's status request): that thread
    // would wait in SendMessage for as long as the notice is open.
    if (!InSendMessage()) show_copy_failure(w);
    switch (msg) {
    case WM_INITDIALOG: return on_init(w, dlg);
    case WM_COMMAND: return on_command(w, LOWORD(wp), HIWORD(wp));
    case WM_PAINT: paint_main_window(w); return TRUE;
    case WM_DPICHANGED: on_dpi_changed(w, HIWORD(wp), *reinterpret_cast<const RECT*>(lp)); return TRUE;
    case WM_DROPFILES: on_drop(w, reinterpret_cast<HDROP>(wp)); return 0;
    case WM_MEASUREITEM: measure_menu_item(w, *reinterpret_cast<MEASUREITEMSTRUCT*>(lp)); return TRUE;
    case WM_DRAWITEM: draw_menu_item(w, *reinterpret_cast<const DRAWITEMSTRUCT*>(lp)); return TRUE;
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP: on_left_button(w, msg); return 0;
    case WM_UPDATE_STATUS: update_status(w); return TRUE;
    case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE) wake_monitor(w);
        return FALSE;
    case WM_COPY_FAILED: return TRUE;                   // the notice was shown above
    case WM_CAPTURECHANGED: w.drag.release(); return 0; // a lost capture ends a drag
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: on_right_button(w, msg); return 0;
    }
    return FALSE;
}

} // namespace

namespace {
// Counts the messages in progress around each: the last one to end wakes the dialog's loop
// where a close asked for it.
INT_PTR counted_message(EditorWindow& w, HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    ++w.messages_in_progress;
    INT_PTR result = toolkit::guarded<INT_PTR>(FALSE, [&] { return handle_message(w, dlg, msg, wp, lp); });
    if (--w.messages_in_progress == 0 && w.wake_after_end) {
        w.wake_after_end = false;
        PostMessageW(dlg, WM_NULL, 0, 0);
    }
    return result;
}
} // namespace

// The window's state comes as the creation parameter and stays with the window.
INT_PTR CALLBACK main_window_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    return toolkit::dialog_proc<EditorWindow, counted_message>(dlg, msg, wp, lp);
}

} // namespace editor

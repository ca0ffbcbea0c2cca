// The options dialog (136): the behaviour switches, the display name, the rename pattern and
// two folders, worked on the settings in memory and saved with OK; and the folder chooser of
// its two "指定" buttons.
#include <windows.h>
#include <shlobj.h>

#include <climits>
#include <cstdint>
#include <cstring>

#include "win32/common/dialog_font_win32.h"
#include "win32/editor/resources/resource.h"
#include "core/formats/text_rules.h"
#include "win32/editor/editor.h"
#include "win32/common/toolkit_win32.h"
#include "win32/editor/window.h"
#include "win32/editor/options.h"
#include "win32/editor/ui.h"
#include "win32/editor/texts.h"

namespace editor {

namespace {

// The seven switches: the box, its setting, and whether the box shows the inverse (a
// never-ask setting shown as "ask").
struct Switch {
    int control;
    int32_t settings::Settings::*setting;
    bool shows_inverse;
};
constexpr Switch k_switches[] = {
    {IDC_OPT_ASK_RENAME, &settings::Settings::no_confirm_rename, true},
    {IDC_OPT_QUIT_AFTER_APPLY, &settings::Settings::quit_after_apply, false},
    {IDC_OPT_ASK_READ_ONLY, &settings::Settings::no_confirm_readonly, true},
    {IDC_OPT_ASK_CHAR_REPLACE, &settings::Settings::no_confirm_char_replace, true},
    {IDC_OPT_ASK_RMP, &settings::Settings::no_confirm_rmp, true},
    {IDC_OPT_FIX_POSITION, &settings::Settings::fix_window_position, false},
    {IDC_OPT_RENAME_AFTER_UPDATE, &settings::Settings::rename_after_update, false},
};

bool box_checked(const Switch& s, int32_t value) {
    if (s.shows_inverse) return value != 1;
    return s.control == IDC_OPT_QUIT_AFTER_APPLY ? value != 0 : value == 1;
}

int CALLBACK select_start(HWND chooser, UINT msg, LPARAM, LPARAM data) {
    if (msg == BFFM_INITIALIZED) SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

// Lets the user pick a folder (a UTF-8 path), starting at the setting's folder or the
// current one.
bool choose_folder(HWND owner, const std::string& start, std::string& chosen) {
    std::wstring start_at = wide_path(start.empty() ? current_folder() : start);
    wchar_t display[MAX_PATH] = {};
    std::wstring title = wide(texts::choose_folder_title);
    BROWSEINFOW bi{};
    bi.hwndOwner = owner;
    bi.pszDisplayName = display;
    bi.lpszTitle = title.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS;
    bi.lpfn = select_start;
    bi.lParam = reinterpret_cast<LPARAM>(start_at.c_str());
    LPITEMIDLIST item = SHBrowseForFolderW(&bi);
    if (!item) return false;
    wchar_t path[MAX_PATH] = {};
    bool ok = SHGetPathFromIDListW(item, path) != FALSE;
    CoTaskMemFree(item);
    if (ok) chosen = utf8_path(path);
    return ok;
}

void place_dialog(HWND dlg) {
    RECT r, desk;
    GetWindowRect(dlg, &r);
    GetWindowRect(GetDesktopWindow(), &desk);
    POINT cursor;
    GetCursorPos(&cursor);
    int w = r.right - r.left, h = r.bottom - r.top;
    const UINT scale = dpi::of_window(dlg); // the offsets are given at 96 DPI
    face::Point p = face::place_by_cursor({cursor.x, cursor.y}, dpi::scale(-160, scale), dpi::scale(-400, scale), w, h,
                                          desk.right, desk.bottom);
    MoveWindow(dlg, p.x, p.y, w, h, TRUE);
}

// The dialog's data, given at its creation and kept with the window: the editor window (its
// settings are saved with the window's position), the settings it works on and the flag that
// says it is open.
struct OptionsData {
    EditorWindow* window; // saved with the window's position at OK
    settings::Settings* settings;
    bool* open;
};

OptionsData& data_of(HWND dlg) { return *reinterpret_cast<OptionsData*>(GetWindowLongPtrW(dlg, DWLP_USER)); }

BOOL on_init(HWND dlg) {
    *data_of(dlg).open = true;
    place_dialog(dlg);
    settings::Settings& s = *data_of(dlg).settings;
    set_control_text(dlg, IDC_OPT_DISPLAY_NAME, settings::slot_text(s.display_name));
    for (const Switch& sw : k_switches)
        CheckDlgButton(dlg, sw.control, box_checked(sw, s.*sw.setting) ? BST_CHECKED : BST_UNCHECKED);
    set_control_text(dlg, IDC_OPT_COPY_FOLDER, settings::slot_text(s.copy_folder));
    set_control_text(dlg, IDC_OPT_START_FOLDER, settings::slot_text(s.start_folder));
    CheckDlgButton(dlg, s.rename_pattern == 1 ? IDC_OPT_PATTERN_1 : IDC_OPT_PATTERN_0, BST_CHECKED);
    return TRUE;
}

void on_choose(HWND dlg, int button) {
    bool copy = button == IDC_OPT_CHOOSE_COPY;
    settings::Settings& s = *data_of(dlg).settings;
    settings::Slot<4096>& slot = copy ? s.copy_folder : s.start_folder;
    std::string chosen, stored;
    if (!choose_folder(dlg, slot_path(settings::slot_text(slot)), chosen)) return;
    // The setting keeps cp932: a folder whose name has no such form cannot be kept.
    if (!path_for_slot(chosen, stored)) {
        show_notice_menu(dlg, {wide(texts::error_head), L"", wide(texts::path_not_storable), wide_path(chosen)}, 30,
                         -30, IDM_INFO);
        return;
    }
    settings::set_slot_text(slot, stored);
    set_control_text(dlg, copy ? IDC_OPT_COPY_FOLDER : IDC_OPT_START_FOLDER, stored);
    if (!copy) set_current_folder(chosen); // the step's purpose: no guard
}

// A text field holds no more than its setting: 4095 bytes of cp932, cut before a character
// that would not fit. A longer text, typed, pasted or chosen, is cut at once, where the user
// sees it, instead of silently at OK.
void keep_within_setting(HWND dlg, int id) {
    std::string text = control_text(dlg, id, SIZE_MAX);
    std::string cut = formats::cut_to_width(text, 4095);
    if (cut.size() == text.size()) return;
    set_control_text(dlg, id, cut);
    SendDlgItemMessageW(dlg, id, EM_SETSEL, INT_MAX, INT_MAX); // the caret at the end
}

void on_ok(HWND dlg) {
    settings::Settings& s = *data_of(dlg).settings;
    settings::set_slot_text(s.display_name, control_text(dlg, IDC_OPT_DISPLAY_NAME, 4095));
    settings::set_slot_text(s.start_folder, control_text(dlg, IDC_OPT_START_FOLDER, 4095));
    settings::set_slot_text(s.copy_folder, control_text(dlg, IDC_OPT_COPY_FOLDER, 4095));
    save_settings_now(*data_of(dlg).window);
    *data_of(dlg).open = false;
    EndDialog(dlg, 1);
}

// The dialog's data is also kept with it (data_of), where the handlers below find it.
INT_PTR handle_message(OptionsData&, HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_INITDIALOG) return on_init(dlg);
    if (msg != WM_COMMAND) return FALSE;
    int id = LOWORD(wp);
    if (HIWORD(wp) == EN_CHANGE) {
        if (id == IDC_OPT_DISPLAY_NAME || id == IDC_OPT_START_FOLDER || id == IDC_OPT_COPY_FOLDER)
            keep_within_setting(dlg, id);
        return TRUE;
    }
    for (const Switch& sw : k_switches) {
        if (sw.control == id) {
            settings::Settings& s = *data_of(dlg).settings;
            s.*sw.setting = face::flipped(s.*sw.setting);
            return TRUE;
        }
    }
    switch (id) {
    case IDC_OPT_PATTERN_0: data_of(dlg).settings->rename_pattern = 0; return TRUE;
    case IDC_OPT_PATTERN_1: data_of(dlg).settings->rename_pattern = 1; return TRUE;
    case IDC_OPT_CHOOSE_COPY:
    case IDC_OPT_CHOOSE_START: on_choose(dlg, id); return TRUE;
    case IDC_OPT_OK: on_ok(dlg); return TRUE;
    case IDCANCEL:
    case IDC_OPT_CANCEL_OTHER:
        *data_of(dlg).open = false;
        EndDialog(dlg, 0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

void show_options(EditorWindow& w) {
    if (w.options_open) return;
    // No parent: the main window stays usable while the dialog is open.
    OptionsData data{&w, &w.settings, &w.options_open};
    dialog_font::dialog_box(w.instance, IDD_OPTIONS, nullptr, toolkit::dialog_proc<OptionsData, handle_message>, reinterpret_cast<LPARAM>(&data));
    set_title(w); // the display name may have changed
}

} // namespace editor

// The File menu: the MP3 files of the current folder (the edited file's), sorted and with the
// edited one in red, then the open-file dialog and the folder in the shell. Opened by the Home
// key in the title field, it puts the pointer on the edited file's row and back afterwards.
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <vector>

#include "win32/editor/resources/resource.h"
#include "win32/editor/editor.h"
#include "win32/common/toolkit_win32.h"
#include "win32/editor/file_menu.h"
#include "win32/editor/window.h"
#include "win32/editor/menus.h"
#include "win32/editor/outside_tools.h"
#include "win32/editor/ui.h"
#include "core/editing/paths.h"
#include "win32/editor/texts.h"

namespace editor {

namespace {

// The names a search for "*.mp3" finds: ending in ".mp3", in any letter case.
bool has_mp3_ending(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ending = name.substr(name.size() - 4);
    for (char& c : ending)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ending == ".mp3";
}

// The title field's messages, seen first: Home opens the File menu.
LRESULT title_keys(EditorWindow& w, HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_KEYUP && wp == VK_HOME) {
        w.file_menu.warp_request = true;
        SendMessageW(w.main, WM_COMMAND, IDC_FILE_MENU, 0);
        SetFocus(h);
    }
    return DefSubclassProc(h, msg, wp, lp);
}

} // namespace

void show_file_menu(EditorWindow& w) {
    HWND dlg = w.main;
    EditorWindow::FileMenu& menu_state = w.file_menu;
    // The folder's MP3 files sorted by their cp932 forms as the list always was: all of them,
    // or in a folder of more than 52 the 52 around the current file.
    // The folder goes by its full path: one too long for the system's current folder is the
    // program's all the same (platform::current_folder).
    std::vector<std::string> found_names, keys;
    std::vector<platform::FolderEntry> entries;
    static_cast<void>(platform::list_folder(current_folder(), entries)); // none listed: no rows
    for (const platform::FolderEntry& e : entries) {
        if (e.kind == platform::PathKind::directory || !has_mp3_ending(e.name)) continue;
        found_names.push_back(e.name);
        keys.push_back(narrow(wide_path(e.name)));
    }
    std::vector<std::string> sorted;
    for (size_t i : face::file_name_order(keys)) sorted.push_back(std::move(found_names[i]));
    std::wstring current = wide_path(editing::relative_form(w.session.current_path, current_folder()));
    std::optional<size_t> current_at;
    for (size_t i = 0; i < sorted.size() && !current_at; ++i)
        if (CompareStringOrdinal(wide_path(sorted[i]).c_str(), -1, current.c_str(), -1, TRUE) == CSTR_EQUAL)
            current_at = i;
    const size_t first = face::file_menu_first(sorted.size(), current_at);
    const size_t shown = std::min(sorted.size() - first, face::k_file_menu_names);
    std::vector<std::string> names(std::make_move_iterator(sorted.begin() + static_cast<std::ptrdiff_t>(first)),
                                   std::make_move_iterator(sorted.begin() + static_cast<std::ptrdiff_t>(first + shown)));
    std::vector<int> items = {IDM_OPEN_FILE, IDM_OPEN_CURRENT_FOLDER};
    if (!names.empty()) items.push_back(0);
    menu_state.current = -1;
    for (size_t i = 0; i < names.size(); ++i) {
        menu_state.names[i] = names[i];
        items.push_back(IDM_FILE_LIST + static_cast<int>(i));
        if (CompareStringOrdinal(wide_path(names[i]).c_str(), -1, current.c_str(), -1, TRUE) == CSTR_EQUAL)
            menu_state.current = static_cast<int>(i);
    }
    menu_state.count = names.size();
    POINT p;
    GetCursorPos(&p);
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    // The rule counts in pixels of a 96-DPI screen.
    int y = dpi::scale(face::file_menu_y(dpi::unscale(p.y, w.dpi), names.size(), dpi::unscale(desktop.bottom, w.dpi)),
                       w.dpi);
    {
        OwnerDrawnMenu menu(w, items);
        TrackPopupMenu(menu.handle(), TPM_RIGHTALIGN | TPM_BOTTOMALIGN, p.x, y, 0, dlg, nullptr);
    }
    if (menu_state.warp_restore) {
        menu_state.warp_restore = false;
        SetCursorPos(menu_state.saved_cursor.x, menu_state.saved_cursor.y);
    } else {
        SetFocus(GetDlgItem(dlg, IDC_TITLE));
    }
}

void open_listed_file(EditorWindow& w, int slot) {
    if (slot < 0 || static_cast<size_t>(slot) >= w.file_menu.count) return;
    if (!discard_question(w)) return;
    std::string path = face::path_in_folder(current_folder(), w.file_menu.names[static_cast<size_t>(slot)]);
    remember_chosen(w, path);
    open_file(w, path);
}

// The current folder follows the dialog, so the chosen file's folder is current for the load.
void open_file_dialog(EditorWindow& w) {
    if (!discard_question(w)) return;
    // A file that does not load leaves the current folder where it was, as a drop does.
    FolderKept before;
    std::string chosen =
        choose_file(w, w.main, texts::open_mp3_title,
                       wide(std::string_view(texts::open_mp3_filter, sizeof texts::open_mp3_filter)).c_str(), "", true);
    if (!chosen.empty() && open_file(w, chosen)) before.keep_new();
}

void show_current_folder() { start_program("explorer " + current_folder(), true); }

void watch_home_key(EditorWindow& w) {
    toolkit::subclass<EditorWindow, title_keys>(GetDlgItem(w.main, IDC_TITLE), w);
}

void unwatch_home_key(EditorWindow& w) {
    toolkit::end_subclass<EditorWindow, title_keys>(GetDlgItem(w.main, IDC_TITLE));
}

} // namespace editor

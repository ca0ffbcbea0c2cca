// The File menu: the MP3 files of the current folder (the edited file's), sorted and with the
// edited one in red, then the open-file dialog and the folder in the shell. Opened by the Home
// key in the title field, it puts the pointer on the edited file's row and back afterwards.
#include <windows.h>

#include <vector>

#include "editor/resources/resource.h"
#include "editor/window/editor.h"
#include "editor/window/paths.h"
#include "editor/window/texts.h"

namespace editor {

namespace {

Program::FileMenu& F() { return program.file_menu; }

LRESULT CALLBACK title_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_KEYUP && wp == VK_HOME) {
        HWND dlg = GetParent(h);
        F().warp_request = true;
        SendMessageA(dlg, WM_COMMAND, IDC_FILE_MENU, 0);
        SetFocus(h);
    }
    return CallWindowProcA(F().former_title, h, msg, wp, lp);
}

} // namespace

void show_file_menu(HWND dlg) {
    // The folder's MP3 files in the order the search gives them, at most 52.
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("*.mp3", &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
        } while (names.size() < editing::k_file_menu_names && FindNextFileA(search, &found));
        FindClose(search);
    }
    editing::sort_file_names(names);
    std::string current = editing::relative_form(program.current_path, current_folder());
    std::vector<int> items = {IDM_OPEN_FILE, IDM_OPEN_CURRENT_FOLDER};
    if (!names.empty()) items.push_back(0);
    F().current = -1;
    for (size_t i = 0; i < names.size(); ++i) {
        F().names[i] = names[i];
        items.push_back(IDM_FILE_LIST + static_cast<int>(i));
        if (lstrcmpiA(names[i].c_str(), current.c_str()) == 0) F().current = static_cast<int>(i);
    }
    F().count = names.size();
    HMENU menu = owner_drawn_menu(items);
    POINT p;
    GetCursorPos(&p);
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    int y = editing::file_menu_y(p.y, names.size(), desktop.bottom);
    TrackPopupMenu(menu, TPM_RIGHTALIGN | TPM_BOTTOMALIGN, p.x, y, 0, dlg, nullptr);
    DestroyMenu(menu);
    if (F().warp_restore) {
        F().warp_restore = false;
        SetCursorPos(F().saved_cursor.x, F().saved_cursor.y);
    } else {
        SetFocus(GetDlgItem(dlg, IDC_TITLE));
    }
}

// Called while the current row is drawn: the menu's window is then the first at the main
// window's level.
void warp_to_current_row(int row) {
    if (!F().warp_request || !program.main) return;
    HWND first = GetWindow(program.main, GW_HWNDFIRST);
    RECT r;
    if (!first || !GetWindowRect(first, &r)) return;
    int item = GetSystemMetrics(SM_CYSMICON) + 4;
    GetCursorPos(&F().saved_cursor);
    SetCursorPos(r.right - 16, r.top + (row + 2) * item + 16 + item / 2);
    F().warp_request = false;
    F().warp_restore = true;
}

void open_listed_file(HWND dlg, int slot) {
    if (slot < 0 || static_cast<size_t>(slot) >= F().count) return;
    if (!discard_question()) return;
    std::string path = editing::path_in_folder(current_folder(), F().names[static_cast<size_t>(slot)]);
    remember_chosen(path);
    open_file(dlg, path);
}

// The current folder follows the dialog, so the chosen file's folder is current for the load.
void open_file_dialog(HWND dlg) {
    if (!discard_question()) return;
    // A file that does not load leaves the current folder where it was, as a drop does.
    std::string before = current_folder();
    bool loaded = choose_program(dlg, texts::open_mp3_title, texts::open_mp3_filter, "", true) &&
                  open_file(dlg, chosen_program());
    if (!loaded && !before.empty()) SetCurrentDirectoryA(before.c_str());
}

void show_current_folder() {
    std::string command = "explorer " + current_folder();
    WinExec(command.c_str(), SW_SHOW);
}

void watch_home_key(HWND dlg) {
    HWND title = GetDlgItem(dlg, IDC_TITLE);
    F().former_title =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(title, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(title_proc)));
}

void unwatch_home_key(HWND dlg) {
    if (F().former_title)
        SetWindowLongPtrA(GetDlgItem(dlg, IDC_TITLE), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(F().former_title));
}

} // namespace editor

// The File menu and the open-file dialog (file_menu.cpp).
#pragma once
#include <windows.h>

namespace editor {

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

} // namespace editor

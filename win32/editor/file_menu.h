// The File menu and the open-file dialog (file_menu.cpp).
#pragma once
#include <windows.h>

namespace editor {

struct EditorWindow;

// The File menu (file_menu.cpp): the folder's MP3 files, the open-file dialog, the folder in
// the shell; the Home key in the title field opens it with the pointer on the current file.
void show_file_menu(EditorWindow& w);
void open_listed_file(EditorWindow& w, int slot);
void open_file_dialog(EditorWindow& w);
void show_current_folder();
void watch_home_key(EditorWindow& w);
void unwatch_home_key(EditorWindow& w);

} // namespace editor

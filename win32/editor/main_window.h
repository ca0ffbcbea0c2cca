// Dialog 142, the one main window (main_window.cpp).
#pragma once
#include <windows.h>

#include <string>

namespace editor {

struct EditorWindow;

// Dialog 142's procedure; its creation parameter is the EditorWindow.
INT_PTR CALLBACK main_window_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp);
// The open routine: loads a file and shows it; a failed load leaves the window as it was and
// gives false.
bool open_file(EditorWindow& w, const std::string& utf8_path);
// The window's title: the display name and the version.
void set_title(const EditorWindow& w);
// Writes kt.dat with the window's position (beside the old file, then in its place).
void save_settings_now(EditorWindow& w);
// The file box 1001: the current file in the relative form.
void show_file_box(const EditorWindow& w);

} // namespace editor

// The window's services that its features share (window.cpp): opening a file, the title, the
// file box, the history offered in the drop-down lists, and saving the settings. They stand
// below the menus, dialogs and tools that call them, and above the core's user interface.
#pragma once
#include <string>

namespace editor {

struct EditorWindow;

// The open routine: loads a file and shows it (the file box, the history, the preview), its tag
// taken as the undo snapshot; a failed load leaves the window as it was and gives false.
bool open_file(EditorWindow& w, const std::string& utf8_path);
// The window's title: the display name and the version.
void set_title(const EditorWindow& w);
// Writes kt.dat with the window's position (beside the old file, then in its place).
void save_settings_now(EditorWindow& w);
// The file box 1001: the current file in the relative form.
void show_file_box(const EditorWindow& w);
// The tag history's texts added to the artist, album and comment lists, the latest first when
// asked (at the window's opening), after what the lists hold already.
void offer_history(EditorWindow& w, bool latest_first);

} // namespace editor

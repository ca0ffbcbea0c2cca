// Handing files to other programs, and the program chooser (outside_tools.cpp).
#pragma once
#include <windows.h>

#include <string>

namespace editor {

struct EditorWindow;

// Posted by the copy thread when a copy failed: the window shows the notice.
constexpr UINT WM_COPY_FAILED = WM_APP + 2;
// The outside tools (outside_tools.cpp). The file chooser (a program, or the MP3 to open)
// gives the chosen path (UTF-8),
// or an empty text when nothing was chosen; it proposes the last chosen or opened file unless
// told not to. keep_folder makes the chosen file's folder current, as the dialog leaves it.
std::string choose_file(EditorWindow& w, HWND owner, const char* title, const wchar_t* filter,
                           const std::string& start_folder, bool keep_folder, bool propose_last = true);
// A file opened from the File menu becomes the chooser's proposal too.
void remember_chosen(EditorWindow& w, const std::string& utf8_path);
// Starts a program from a UTF-8 command line; `activate` false leaves the editor in front.
void start_program(const std::string& command_line, bool activate);
// At the close: a copy still running stops, and its partial file goes.
void end_copy(EditorWindow& w);
bool file_exists(const std::string& utf8_path);
void copy_current_file(EditorWindow& w);       // 4100, in a thread
void show_copy_failure(EditorWindow& w);       // before every message of the main window not sent by another thread
void open_copy_folder(const EditorWindow& w);  // 4101
void start_mpman(EditorWindow& w);             // 4102
void use_winamp(EditorWindow& w, int command); // 4104 add to the playlist, 4105 start

} // namespace editor

// Dialog 142, the one main window (main_window.cpp).
#pragma once
#include <windows.h>

namespace editor {

struct EditorWindow;

// Dialog 142's procedure; its creation parameter is the EditorWindow.
INT_PTR CALLBACK main_window_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp);

} // namespace editor

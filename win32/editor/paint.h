// The painted face of dialog 142 (paint.cpp).
#pragma once
#include <windows.h>

namespace editor {

struct EditorWindow;

void paint_main_window(const EditorWindow& w);

} // namespace editor

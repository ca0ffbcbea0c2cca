// The options dialog 136 (options.cpp).
#pragma once
#include <windows.h>

namespace editor {

struct EditorWindow;

// The options dialog (136), without a parent; does nothing while it is open already.
void show_options(EditorWindow& w);

} // namespace editor

// The options dialog 136 (options.cpp).
#pragma once
#include <windows.h>

namespace editor {

// The options dialog (136), without a parent; does nothing while it is open already.
void show_options();

} // namespace editor

// The painted face of dialog 142 (paint.cpp).
#pragma once
#include <windows.h>

namespace editor {

void paint_main_window(HWND dlg);

} // namespace editor

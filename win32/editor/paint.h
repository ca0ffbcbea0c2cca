// The painted face of dialog 142 (paint.cpp).
#pragma once
#include <windows.h>

#include "core/face/face_rules.h"

namespace editor {

struct EditorWindow;

void paint_main_window(const EditorWindow& w);
// Where the face is painted, from the controls as they are laid out now.
face::PaintedFace painted_face(const EditorWindow& w);

} // namespace editor

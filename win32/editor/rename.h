// Renaming the current file by its tag (rename.cpp).
#pragma once
#include <windows.h>

namespace editor {

struct EditorWindow;

// Gives the current file the name its tag makes, after the tag has been applied (command 11).
void rename_by_tag(EditorWindow& w);

} // namespace editor

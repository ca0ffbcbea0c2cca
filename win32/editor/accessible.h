// Names for screen readers. The captions of the five fields are painted on the face, so the
// standard accessible object of a field has no name of its own (Windows looks for a label
// beside it, Wine takes the field's text): each field answers with the caption painted beside
// it. The owner-drawn menus carry their texts in their items' data (menus.cpp).
#pragma once
#include <windows.h>

#include <string>

namespace editor {

// Makes the accessible object of `control` (OBJID_CLIENT) give `name` as its own name; every
// other property stays the standard one. For a combo box its edit field is named too. Called
// again, it changes the name.
void name_for_screen_readers(HWND control, const std::wstring& name);

} // namespace editor

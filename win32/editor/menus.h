// The owner-drawn popup menus (menus.cpp).
#pragma once
#include <windows.h>

#include <vector>

namespace editor {

struct EditorWindow;

// The owner-drawn popup menus: the Function menu (command 1064) and the context menu of a
// right click on the window's surface; their items are measured and drawn here as well.
void show_function_menu(const EditorWindow& w);
void show_context_menu(const EditorWindow& w);
void measure_menu_item(EditorWindow& w, MEASUREITEMSTRUCT& item);
void draw_menu_item(EditorWindow& w, const DRAWITEMSTRUCT& item);
// A popup of owner-drawn items (0 for a separator).
HMENU owner_drawn_menu(const std::vector<int>& items);

} // namespace editor

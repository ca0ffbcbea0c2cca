// The owner-drawn popup menus (menus.cpp).
#pragma once
#include <windows.h>
#include <oleacc.h>

#include <memory>
#include <string>
#include <vector>

namespace editor {

struct EditorWindow;

// The owner-drawn popup menus: the Function menu (command 1064) and the context menu of a
// right click on the window's surface; their items are measured and drawn here as well.
void show_function_menu(const EditorWindow& w);
void show_context_menu(const EditorWindow& w);
void measure_menu_item(EditorWindow& w, MEASUREITEMSTRUCT& item);
// The height of an owner-drawn menu row: a small icon and 4 pixels (of 96 DPI), or the menu
// font's full height (its descent too) and 6 pixels where that is more.
int menu_row_height(const EditorWindow& w);
void draw_menu_item(EditorWindow& w, const DRAWITEMSTRUCT& item);
// Moves the pointer onto the current file's row of the open File menu, when asked to (the Home
// key in the title field opened it).
void warp_to_current_row(EditorWindow& w, int row);
// A popup of owner-drawn items (0 for a separator), destroyed with this object. Each item's
// data holds its text for screen readers (MSAAMENUINFO), which cannot read a drawn item.
class OwnerDrawnMenu {
public:
    OwnerDrawnMenu(const EditorWindow& w, const std::vector<int>& items);
    ~OwnerDrawnMenu();
    OwnerDrawnMenu(const OwnerDrawnMenu&) = delete;
    OwnerDrawnMenu& operator=(const OwnerDrawnMenu&) = delete;
    HMENU handle() const { return menu_; }

private:
    struct Item {
        MSAAMENUINFO info; // first: a screen reader finds it at the start of the item's data
        std::wstring text;
    };
    HMENU menu_;
    std::vector<std::unique_ptr<Item>> items_;
};

} // namespace editor

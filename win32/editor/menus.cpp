// The owner-drawn popup menus: each item is a small icon and a text, drawn by the main window
// on WM_DRAWITEM at the size WM_MEASUREITEM gives.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "win32/common/dialog_font_win32.h"
#include "win32/editor/resources/resource.h"
#include "win32/editor/editor.h"
#include "win32/editor/menus.h"
#include "win32/editor/ui.h"
#include "win32/editor/texts.h"

namespace editor {

namespace {

std::wstring item_text(const EditorWindow& w, int id);

} // namespace

OwnerDrawnMenu::OwnerDrawnMenu(const EditorWindow& w, const std::vector<int>& items) : menu_(CreatePopupMenu()) {
    for (int id : items) {
        if (id == 0) {
            AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        auto item = std::make_unique<Item>();
        item->text = item_text(w, id);
        item->info.dwMSAASignature = static_cast<DWORD>(MSAA_MENU_SIG);
        item->info.cchWText = static_cast<DWORD>(item->text.size());
        item->info.pszWText = item->text.data();
        // With MF_OWNERDRAW the last argument is the item's data.
        AppendMenuW(menu_, MF_OWNERDRAW, static_cast<UINT_PTR>(id), reinterpret_cast<LPCWSTR>(item.get()));
        items_.push_back(std::move(item));
    }
}

OwnerDrawnMenu::~OwnerDrawnMenu() {
    if (menu_) DestroyMenu(menu_);
}

namespace {

// The item's icon: a system icon (shared, never destroyed) or a shell icon of a path (ours to
// destroy, `owned` set).
HICON item_icon(const EditorWindow& w, int id, bool& owned) {
    owned = false;
    std::string path; // UTF-8
    switch (id) {
    case IDC_CLOSE_X: return LoadIconW(nullptr, IDI_HAND);
    case IDC_RENAME: return LoadIconW(nullptr, IDI_EXCLAMATION);
    case IDM_OPTIONS: return LoadIconW(nullptr, IDI_ASTERISK);
    case IDM_OPEN_CURRENT_FOLDER:
    case IDM_OPEN_COPY_FOLDER: path = slot_path(texts::drive_c); break;
    case IDM_OPEN_FILE: path = current_folder(); break;
    case IDM_MPMAN: path = slot_path(settings::slot_text(w.settings.mpman_path)); break;
    case IDM_ADD_TO_PLAYLIST:
    case IDM_WINAMP: path = slot_path(settings::slot_text(w.settings.winamp_path)); break;
    default:
        if (id >= IDM_FILE_LIST && static_cast<size_t>(id - IDM_FILE_LIST) < w.file_menu.names.size())
            path = face::path_in_folder(current_folder(), w.file_menu.names[static_cast<size_t>(id - IDM_FILE_LIST)]);
        else return nullptr;
    }
    SHFILEINFOW info{};
    if (!SHGetFileInfoW(wide_path(path).c_str(), 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON)) return nullptr;
    owned = info.hIcon != nullptr;
    return info.hIcon;
}

std::wstring item_text(const EditorWindow& w, int id) {
    switch (id) {
    case IDC_CLOSE_X: return wide(texts::menu_close);
    case IDC_RENAME: return wide(texts::menu_rename);
    case IDM_OPEN_CURRENT_FOLDER: return wide(texts::menu_open_current_folder);
    case IDM_OPEN_FILE: return wide(texts::menu_open_file);
    case IDM_COPY: return wide(texts::menu_copy);
    case IDM_OPEN_COPY_FOLDER: return wide(texts::menu_open_copy_folder);
    case IDM_MPMAN: return wide(texts::menu_mpman);
    case IDM_OPTIONS: return wide(texts::menu_options);
    case IDM_ADD_TO_PLAYLIST: return wide(texts::menu_add_to_playlist);
    case IDM_WINAMP: return wide(texts::menu_winamp);
    }
    if (id >= IDM_FILE_LIST && static_cast<size_t>(id - IDM_FILE_LIST) < w.file_menu.names.size())
        return wide_path(w.file_menu.names[static_cast<size_t>(id - IDM_FILE_LIST)]);
    return L"";
}

} // namespace

namespace {

// The height of the rows' text with its descent (tmHeight) at `dpi`: that of the menu's font, or
// of the Japanese face that draws a text the menu's font has no glyphs for, whichever is taller.
int menu_text_height(UINT dpi) {
    NONCLIENTMETRICSW metrics;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc || !dpi::nonclient_metrics(metrics, dpi)) {
        if (dc) DeleteDC(dc);
        return 0;
    }
    int height = 0;
    auto measure = [&](const LOGFONTW& form) {
        toolkit::HeldFont font(CreateFontIndirectW(&form));
        toolkit::Selected chosen(dc, font.get());
        TEXTMETRICW text{};
        if (font && GetTextMetricsW(dc, &text)) height = std::max(height, static_cast<int>(text.tmHeight));
    };
    LOGFONTW form = metrics.lfMenuFont;
    measure(form);
    if (dialog_font::to_japanese_face(form)) measure(form);
    DeleteDC(dc);
    return height;
}

} // namespace

// The text stands 4 pixels (of 96 DPI) above the row's bottom and at least 2 below its top,
// the icon 2 below the top: a font taller than the icon makes the row taller.
int menu_row_height(const EditorWindow& w) {
    return std::max(dpi::metric(SM_CYSMICON, w.dpi) + dpi::scale(4, w.dpi),
                    menu_text_height(w.dpi) + dpi::scale(6, w.dpi));
}

void measure_menu_item(EditorWindow& w, MEASUREITEMSTRUCT& item) {
    EditorWindow::MenuLook& look = w.menu_look;
    look.icon_width = dpi::metric(SM_CXSMICON, w.dpi);
    look.icon_height = dpi::metric(SM_CYSMICON, w.dpi);
    look.selection = GetSysColor(COLOR_HIGHLIGHT);
    look.selected_text = GetSysColor(COLOR_HIGHLIGHTTEXT);
    std::vector<int> widths;
    if (HDC dc = GetDC(w.owner)) {
        for (size_t i = 0; i < 50; ++i) {
            std::wstring name = wide_path(w.file_menu.names[i]);
            SIZE size{};
            if (!name.empty() && GetTextExtentPoint32W(dc, name.c_str(), static_cast<int>(name.size()), &size))
                widths.push_back(dpi::unscale(size.cx, w.dpi));
        }
        ReleaseDC(w.owner, dc);
    }
    // The rules' widths are those of a 96-DPI screen.
    item.itemWidth = static_cast<UINT>(dpi::scale(face::menu_item_width(widths), w.dpi));
    item.itemHeight = static_cast<UINT>(menu_row_height(w));
}

void draw_menu_item(EditorWindow& w, const DRAWITEMSTRUCT& item) {
    if (item.CtlType != ODT_MENU) return;
    const EditorWindow::MenuLook& look = w.menu_look;
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const COLORREF ground = item.itemState == ODS_SELECTED ? look.selection : GetBkColor(dc);
    FillRect(dc, &r, toolkit::HeldBrush(CreateSolidBrush(ground)).get());
    if (item.itemState == ODS_SELECTED) {
        SetBkColor(dc, look.selection);
        SetTextColor(dc, look.selected_text);
    }
    int id = static_cast<int>(item.itemID);
    // The File menu's row of the file being edited stands out in red unless the mouse is on it.
    int row = id - IDM_FILE_LIST;
    if (row >= 0 && row == w.file_menu.current && item.itemState != ODS_SELECTED) {
        FillRect(dc, &r, toolkit::HeldBrush(CreateSolidBrush(RGB(200, 0, 0))).get());
        SetBkColor(dc, RGB(200, 0, 0));
        SetTextColor(dc, look.selected_text);
        warp_to_current_row(w, row);
    }
    bool owned = false;
    if (HICON icon = item_icon(w, id, owned)) {
        DrawIconEx(dc, r.left, r.top + dpi::scale(2, w.dpi), icon, look.icon_width, look.icon_height, 0, nullptr,
                   DI_NORMAL);
        if (owned) DestroyIcon(icon);
    }
    std::wstring text = item_text(w, id);
    // The menu's font, unless it lacks glyphs for the text (a system without Japanese fonts).
    toolkit::HeldFont japanese(dialog_font::font_with_glyphs(dc, text));
    toolkit::Selected chosen(dc, japanese.get());
    UINT former = SetTextAlign(dc, TA_BOTTOM);
    TextOutW(dc, r.left + look.icon_width + dpi::scale(2, w.dpi), r.bottom - dpi::scale(4, w.dpi), text.c_str(),
             static_cast<int>(text.size()));
    SetTextAlign(dc, former);
}

void show_function_menu(const EditorWindow& w) {
    HWND dlg = w.main;
    OwnerDrawnMenu menu(w, face::function_menu_items(!settings::slot_text(w.settings.copy_folder).empty()));
    POINT p;
    GetCursorPos(&p);
    TrackPopupMenu(menu.handle(), TPM_BOTTOMALIGN | TPM_RIGHTALIGN, p.x, p.y - dpi::scale(7, w.dpi), 0, dlg, nullptr);
    SetFocus(GetDlgItem(dlg, IDC_TITLE));
}

void show_context_menu(const EditorWindow& w) {
    HWND dlg = w.main;
    OwnerDrawnMenu menu(w, {IDM_OPTIONS, 0, IDC_CLOSE_X});
    POINT p;
    GetCursorPos(&p);
    TrackPopupMenu(menu.handle(), TPM_BOTTOMALIGN | TPM_RIGHTALIGN | TPM_RIGHTBUTTON, p.x, p.y, 0, dlg, nullptr);
}

// Called while the current row is drawn: the menu's window is then the first at the main
// window's level.
void warp_to_current_row(EditorWindow& w, int row) {
    EditorWindow::FileMenu& menu_state = w.file_menu;
    if (!menu_state.warp_request || !w.main) return;
    HWND first = GetWindow(w.main, GW_HWNDFIRST);
    RECT r;
    if (!first || !GetWindowRect(first, &r)) return;
    const int item = menu_row_height(w), margin = dpi::scale(16, w.dpi);
    GetCursorPos(&menu_state.saved_cursor);
    SetCursorPos(r.right - margin, r.top + (row + 2) * item + margin + item / 2);
    menu_state.warp_request = false;
    menu_state.warp_restore = true;
}

} // namespace editor

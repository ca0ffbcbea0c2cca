// Japanese texts need a font with Japanese glyphs. The dialog templates and the painted
// captions name the usual fonts of a Japanese system; a system without a font of that name
// (a Windows of another language, a Wine prefix without a replacement for it) would draw every
// Japanese text as empty boxes. These functions keep the named font where the system has it
// and take one with the glyphs where it does not.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace dialog_font {

// The face to ask for in place of `wanted`: `wanted` when the system has a font of that name;
// else a font the system offers for the Japanese character set, the usual Japanese UI fonts
// first (fixed-pitch ones first when `fixed_pitch`); else `wanted` (nothing better is there).
// Called on the thread of the program's windows only.
std::wstring japanese_face(const std::wstring& wanted, bool fixed_pitch);

// A font for drawing `text` into `dc` when the DC's font has no glyph for some of its
// characters: the same size and weight with japanese_face() of the dialogs' face. Nothing
// (nullptr) when the DC's font serves; the caller selects the font and deletes it.
HFONT font_with_glyphs(HDC dc, const std::wstring& text);
// Turns `font` into the one font_with_glyphs() makes of it: the same size and weight in
// japanese_face() of the dialogs' face. False (and `font` as it was) when that face does not fit.
bool to_japanese_face(LOGFONTW& font);

// What a DLGTEMPLATEEX says of its font and of where its controls lie, in dialog units.
struct TemplateLayout {
    std::wstring face; // japanese_face() of the template's face
    int point_size = 0, weight = 0;
    bool italic = false;
    BYTE charset = DEFAULT_CHARSET;
    int cx = 0, cy = 0; // the dialog's client area
    struct Item {
        int id;
        int x, y, cx, cy;
    };
    std::vector<Item> items; // in the template's order, which is the order of the child windows
};
// The layout of dialog template `id` of `instance`; nothing when it is missing, is no extended
// template, has no font or is cut short.
std::optional<TemplateLayout> template_layout(HINSTANCE instance, WORD id);

// DialogBoxParamW from dialog template `id` of `instance`, with the template's font replaced by
// japanese_face() of it when the system lacks it; the template as it is otherwise.
INT_PTR dialog_box(HINSTANCE instance, WORD id, HWND owner, DLGPROC proc, LPARAM param);

} // namespace dialog_font

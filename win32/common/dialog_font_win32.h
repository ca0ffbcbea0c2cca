// Japanese texts need a font with Japanese glyphs. The dialog templates and the painted
// captions name the usual fonts of a Japanese system; a system without a font of that name
// (a Windows of another language, a Wine prefix without a replacement for it) would draw every
// Japanese text as empty boxes. These functions keep the named font where the system has it
// and take one with the glyphs where it does not.
#pragma once
#include <windows.h>

#include <string>

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

// DialogBoxParamW from dialog template `id` of `instance`, with the template's font replaced by
// japanese_face() of it when the system lacks it; the template as it is otherwise.
INT_PTR dialog_box(HINSTANCE instance, WORD id, HWND owner, DLGPROC proc, LPARAM param);

} // namespace dialog_font

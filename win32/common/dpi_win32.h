// The programs are laid out and drawn for a screen of 96 dots per inch. On a screen of another
// scale they draw at the window's own scale: every position and size given at 96 DPI is
// multiplied by dpi / 96, and at 96 DPI nothing changes.
#pragma once
#include <windows.h>

#include "win32/common/dialog_font_win32.h"

namespace dpi {

constexpr UINT k_base = 96;

// The window's dots per inch: GetDpiForWindow where the system has it (a program aware of each
// screen's scale), else the screen's.
UINT of_window(HWND window);

// A length given at 96 DPI, at `dpi`.
inline int scale(int length, UINT dpi) { return MulDiv(length, static_cast<int>(dpi), static_cast<int>(k_base)); }
// A rectangle given at 96 DPI, at `dpi`.
inline RECT scale(const RECT& r, UINT dpi) {
    return {scale(r.left, dpi), scale(r.top, dpi), scale(r.right, dpi), scale(r.bottom, dpi)};
}
// A length at `dpi`, at 96 DPI.
inline int unscale(int length, UINT dpi) { return MulDiv(length, static_cast<int>(k_base), static_cast<int>(dpi)); }
// A system metric at `dpi` (GetSystemMetricsForDpi where the system has it).
int metric(int index, UINT dpi);
// The fonts and sizes of menus, captions and messages at `dpi` (SystemParametersInfoForDpi
// where the system has it, else the screen's); false when the system gives none.
bool nonclient_metrics(NONCLIENTMETRICSW& metrics, UINT dpi);

// Draws the w×h picture at (0, 0) of `source` at (x, y) of `dc` (its pixels), the size given at
// 96 DPI: as it is at 96 DPI; at whole multiples each pixel a square of pixels (sharp), smoothed
// in between.
void blit(HDC dc, int x, int y, int w, int h, HDC source, UINT dpi);
// A copy of `bitmap` at `dpi`, drawn as blit() draws; nullptr at 96 DPI or when it fails (the
// caller keeps the original).
HBITMAP scaled_bitmap(HBITMAP bitmap, UINT dpi);

// Lays out the controls of dialog `dlg`, made from `layout`, at `dpi`: each control where the
// template puts it on a 96-DPI screen, scaled, and the client area likewise. `font` (may be
// null) is given to every control. The window's corner stays where it is.
void lay_out(HWND dlg, const dialog_font::TemplateLayout& layout, UINT dpi, HFONT font);
// The template's font at `dpi`, for lay_out() after a change of scale.
HFONT template_font(const dialog_font::TemplateLayout& layout, UINT dpi);
// Asks the system to leave the dialog's size, layout and fonts alone when its scale changes
// (the program lays it out itself on WM_DPICHANGED); nothing where the system cannot.
void keep_system_from_scaling(HWND dlg);

} // namespace dpi

#include "win32/common/dpi_win32.h"

namespace dpi {

namespace {

// Functions of the newer systems, looked up once: older ones lack them.
template <typename F> F user32_function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

using DpiForWindow = UINT(WINAPI*)(HWND);
using MetricsForDpi = int(WINAPI*)(int, UINT);
using ParametersForDpi = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using DialogChangeBehaviour = BOOL(WINAPI*)(HWND, int, int);

UINT screen_dpi() {
    HDC screen = GetDC(nullptr);
    int found = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return found > 0 ? static_cast<UINT>(found) : k_base;
}

// The dialog base units of the template's font on a 96-DPI screen, as the dialog manager
// measures them: the mean width of the 52 Latin letters and the font's height.
SIZE base_units_at_96(const dialog_font::TemplateLayout& layout) {
    SIZE units{6, 13}; // the system font's, should the measure fail
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = template_font(layout, k_base);
    if (dc && font) {
        HGDIOBJ former = SelectObject(dc, font);
        static const wchar_t letters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        SIZE extent{};
        TEXTMETRICW metrics{};
        if (GetTextExtentPoint32W(dc, letters, 52, &extent) && GetTextMetricsW(dc, &metrics))
            units = {(extent.cx / 26 + 1) / 2, metrics.tmHeight};
        SelectObject(dc, former);
    }
    if (font) DeleteObject(font);
    if (dc) DeleteDC(dc);
    return units;
}

} // namespace

UINT of_window(HWND window) {
    static const DpiForWindow for_window = user32_function<DpiForWindow>("GetDpiForWindow");
    UINT found = for_window && window ? for_window(window) : 0;
    return found ? found : screen_dpi();
}

int metric(int index, UINT dpi) {
    static const MetricsForDpi for_dpi = user32_function<MetricsForDpi>("GetSystemMetricsForDpi");
    return for_dpi ? for_dpi(index, dpi) : GetSystemMetrics(index);
}

bool nonclient_metrics(NONCLIENTMETRICSW& metrics, UINT dpi) {
    static const ParametersForDpi for_dpi = user32_function<ParametersForDpi>("SystemParametersInfoForDpi");
    metrics = NONCLIENTMETRICSW{};
    metrics.cbSize = sizeof metrics;
    return for_dpi ? for_dpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi) != FALSE
                   : SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) != FALSE;
}

void blit(HDC dc, int x, int y, int w, int h, HDC source, UINT dpi) {
    if (dpi == k_base) {
        BitBlt(dc, x, y, w, h, source, 0, 0, SRCCOPY);
        return;
    }
    const RECT to{x, y, x + scale(w, dpi), y + scale(h, dpi)};
    const int former = SetStretchBltMode(dc, dpi % k_base == 0 ? COLORONCOLOR : HALFTONE);
    POINT origin;
    SetBrushOrgEx(dc, 0, 0, &origin);
    StretchBlt(dc, to.left, to.top, to.right - to.left, to.bottom - to.top, source, 0, 0, w, h, SRCCOPY);
    SetBrushOrgEx(dc, origin.x, origin.y, nullptr);
    SetStretchBltMode(dc, former);
}

HBITMAP scaled_bitmap(HBITMAP bitmap, UINT dpi) {
    BITMAP info{};
    if (dpi == k_base || !bitmap || !GetObjectW(bitmap, sizeof info, &info)) return nullptr;
    HDC screen = GetDC(nullptr);
    if (!screen) return nullptr;
    HBITMAP scaled = CreateCompatibleBitmap(screen, scale(info.bmWidth, dpi), scale(info.bmHeight, dpi));
    HDC from = CreateCompatibleDC(screen), to = CreateCompatibleDC(screen);
    if (scaled && from && to) {
        HGDIOBJ former_from = SelectObject(from, bitmap), former_to = SelectObject(to, scaled);
        blit(to, 0, 0, info.bmWidth, info.bmHeight, from, dpi);
        SelectObject(from, former_from);
        SelectObject(to, former_to);
    }
    if (from) DeleteDC(from);
    if (to) DeleteDC(to);
    ReleaseDC(nullptr, screen);
    return scaled;
}

HFONT template_font(const dialog_font::TemplateLayout& layout, UINT dpi) {
    return CreateFontW(-MulDiv(layout.point_size, static_cast<int>(dpi), 72), 0, 0, 0, layout.weight, layout.italic,
                       FALSE, FALSE, layout.charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       FF_DONTCARE, layout.face.c_str());
}

void lay_out(HWND dlg, const dialog_font::TemplateLayout& layout, UINT dpi, HFONT font) {
    // Dialog units to pixels at 96 DPI: a quarter of the base width, an eighth of the height.
    const SIZE units = base_units_at_96(layout);
    auto across = [&](int du) { return scale(MulDiv(du, units.cx, 4), dpi); };
    auto down = [&](int du) { return scale(MulDiv(du, units.cy, 8), dpi); };
    // The children stand in the template's order; one whose number differs is found by it.
    HWND child = GetWindow(dlg, GW_CHILD);
    for (const dialog_font::TemplateLayout::Item& item : layout.items) {
        HWND control = child && static_cast<WORD>(GetDlgCtrlID(child)) == static_cast<WORD>(item.id)
                           ? child
                           : GetDlgItem(dlg, item.id);
        if (child) child = GetWindow(child, GW_HWNDNEXT);
        if (!control) continue;
        // The place and the size each rounded as the dialog manager rounds them, then scaled.
        if (font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SetWindowPos(control, nullptr, across(item.x), down(item.y), across(item.cx), down(item.cy),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT client = {0, 0, across(layout.cx), down(layout.cy)};
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(dlg, GWL_STYLE));
    const DWORD ex_style = static_cast<DWORD>(GetWindowLongPtrW(dlg, GWL_EXSTYLE));
    static const AdjustForDpi adjust_for_dpi = user32_function<AdjustForDpi>("AdjustWindowRectExForDpi");
    if (!adjust_for_dpi || !adjust_for_dpi(&client, style, FALSE, ex_style, dpi))
        AdjustWindowRectEx(&client, style, FALSE, ex_style);
    SetWindowPos(dlg, nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (font) RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void keep_system_from_scaling(HWND dlg) {
    // DDC_DISABLE_ALL for the dialog: no resize, no new fonts, no new layout.
    static const DialogChangeBehaviour set = user32_function<DialogChangeBehaviour>("SetDialogDpiChangeBehavior");
    if (set) set(dlg, 1, 1);
}

} // namespace dpi

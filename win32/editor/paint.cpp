// The painted face of dialog 142: the field captions, the "Wave Vol" caption and the level
// meter made of small bitmaps. Positions and sizes are those of a 96-DPI screen, scaled to the
// window's.
#include "win32/common/dialog_font_win32.h"
#include "win32/editor/editor.h"
#include "win32/editor/paint.h"
#include "win32/editor/ui.h"
#include "win32/editor/texts.h"

namespace editor {

namespace {

HFONT make_font(int height) {
    return CreateFontW(height, 0, 0, 0, 400, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FIXED_PITCH | FF_MODERN,
                       dialog_font::japanese_face(wide(texts::label_font), true).c_str());
}

// White, and black one pixel up and left of it (a pixel of a 96-DPI screen).
void embossed(HDC dc, int x, int y, const char* cp932, UINT dpi) {
    std::wstring text = wide(cp932);
    int n = static_cast<int>(text.size());
    SetTextColor(dc, RGB(255, 255, 255));
    TextOutW(dc, dpi::scale(x, dpi), dpi::scale(y, dpi), text.c_str(), n);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutW(dc, dpi::scale(x - 1, dpi), dpi::scale(y - 1, dpi), text.c_str(), n);
}

// One row of 22 segments and its peak mark; mem[1..4] hold green, dark, yellow and red.
void meter_row(const EditorWindow& w, HDC dc, HDC* mem, int y, const preview::MeterRow& values) {
    BITMAP seg{};
    GetObjectW(w.bitmaps[1], sizeof seg, &seg);
    face::MeterSegments row =
        face::meter_row(values.peak.load(std::memory_order_relaxed), values.held_level.load(std::memory_order_relaxed),
                        w.settings.playback_mode);
    auto bitmap = [&](face::Segment s) {
        switch (s) {
        case face::Segment::green: return mem[1];
        case face::Segment::dark: return mem[2];
        case face::Segment::yellow: return mem[3];
        case face::Segment::red: return mem[4];
        }
        return mem[2];
    };
    for (int i = 0; i < 22; ++i)
        dpi::blit(dc, 258 + i * seg.bmWidth, y, seg.bmWidth, seg.bmHeight, bitmap(row.segments[static_cast<size_t>(i)]),
                  w.dpi);
    if (row.peak_mark >= 0)
        dpi::blit(dc, 258 + row.peak_mark * seg.bmWidth, y, seg.bmWidth, seg.bmHeight, bitmap(row.peak_colour), w.dpi);
}

} // namespace

void paint_main_window(const EditorWindow& w) {
    HWND dlg = w.main;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(dlg, &ps);
    SetBkMode(dc, TRANSPARENT);
    if (w.bitmaps[0] && w.bitmaps[1]) {
        HDC mem[5];
        HGDIOBJ old[5];
        for (int i = 0; i < 5; ++i) {
            mem[i] = CreateCompatibleDC(dc);
            old[i] = SelectObject(mem[i], w.bitmaps[i]);
        }
        BITMAP edge{};
        GetObjectW(w.bitmaps[0], sizeof edge, &edge);
        dpi::blit(dc, 257, 69, edge.bmWidth, edge.bmHeight, mem[0], w.dpi);
        meter_row(w, dc, mem, 69, w.meter[0]);
        meter_row(w, dc, mem, 76, w.meter[1]);
        for (int i = 0; i < 5; ++i) {
            SelectObject(mem[i], old[i]);
            DeleteDC(mem[i]);
        }
    }
    {
        toolkit::HeldFont font(make_font(dpi::scale(12, w.dpi)));
        toolkit::Selected chosen(dc, font.get());
        for (const FieldControl& c : k_field_controls) embossed(dc, c.caption_x, c.caption_y, c.caption, w.dpi);
    }
    {
        toolkit::HeldFont font(make_font(dpi::scale(11, w.dpi)));
        toolkit::Selected chosen(dc, font.get());
        embossed(dc, 262, 136, texts::caption_wave_vol, w.dpi);
    }
    EndPaint(dlg, &ps);
}

} // namespace editor

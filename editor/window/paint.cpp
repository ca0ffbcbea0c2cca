// The painted face of dialog 142: the field captions, the "Wave Vol" caption and the level
// meter made of small bitmaps.
#include "editor/window/editor.h"
#include "editor/window/texts.h"

namespace editor {

namespace {

HFONT make_font(int height) {
    return CreateFontA(height, 0, 0, 0, 400, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FIXED_PITCH | FF_MODERN, texts::label_font);
}

void embossed(HDC dc, int x, int y, const char* text) {
    int n = lstrlenA(text);
    SetTextColor(dc, RGB(255, 255, 255));
    TextOutA(dc, x, y, text, n);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutA(dc, x - 1, y - 1, text, n);
}

// One row of 22 segments and its peak mark; mem[1..4] hold green, dark, yellow and red.
void meter_row(HDC dc, HDC* mem, int y, const Program::MeterValues& values) {
    BITMAP seg{};
    GetObjectA(program.bitmaps[1], sizeof seg, &seg);
    editing::MeterRow row = editing::meter_row(values.peak.load(std::memory_order_relaxed),
                                               values.held.load(std::memory_order_relaxed),
                                               program.settings.playback_mode);
    auto bitmap = [&](editing::Segment s) {
        switch (s) {
        case editing::Segment::green: return mem[1];
        case editing::Segment::dark: return mem[2];
        case editing::Segment::yellow: return mem[3];
        case editing::Segment::red: return mem[4];
        }
        return mem[2];
    };
    for (int i = 0; i < 22; ++i)
        BitBlt(dc, 258 + i * seg.bmWidth, y, seg.bmWidth, seg.bmHeight, bitmap(row.segments[static_cast<size_t>(i)]),
               0, 0, SRCCOPY);
    if (row.peak_mark >= 0)
        BitBlt(dc, 258 + row.peak_mark * seg.bmWidth, y, seg.bmWidth, seg.bmHeight, bitmap(row.peak_colour), 0, 0,
               SRCCOPY);
}

} // namespace

void paint_main_window(HWND dlg) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(dlg, &ps);
    SetBkMode(dc, TRANSPARENT);
    if (program.bitmaps[0] && program.bitmaps[1]) {
        HDC mem[5];
        HGDIOBJ old[5];
        for (int i = 0; i < 5; ++i) {
            mem[i] = CreateCompatibleDC(dc);
            old[i] = SelectObject(mem[i], program.bitmaps[i]);
        }
        BITMAP edge{};
        GetObjectA(program.bitmaps[0], sizeof edge, &edge);
        BitBlt(dc, 257, 69, edge.bmWidth, edge.bmHeight, mem[0], 0, 0, SRCCOPY);
        meter_row(dc, mem, 69, program.meter[0]);
        meter_row(dc, mem, 76, program.meter[1]);
        for (int i = 0; i < 5; ++i) {
            SelectObject(mem[i], old[i]);
            DeleteDC(mem[i]);
        }
    }
    HFONT font = make_font(12);
    HGDIOBJ former = SelectObject(dc, font);
    embossed(dc, 20, 50, texts::caption_title);
    embossed(dc, 8, 70, texts::caption_artist);
    embossed(dc, 14, 90, texts::caption_album);
    embossed(dc, 21, 108, texts::caption_year);
    embossed(dc, 21, 127, texts::caption_comment);
    SelectObject(dc, former);
    DeleteObject(font);
    font = make_font(11);
    former = SelectObject(dc, font);
    embossed(dc, 262, 136, texts::caption_wave_vol);
    SelectObject(dc, former);
    DeleteObject(font);
    EndPaint(dlg, &ps);
}

} // namespace editor

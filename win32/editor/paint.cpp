// The painted face of dialog 142: the field captions, the "Wave Vol" caption and the level
// meter made of small bitmaps, placed from the controls as the dialog's font laid them out
// (face::place_face); sizes are those of a 96-DPI screen, scaled to the window's.
#include "win32/common/dialog_font_win32.h"
#include "win32/editor/editor.h"
#include "win32/editor/paint.h"
#include "win32/editor/ui.h"
#include "win32/editor/texts.h"
#include "win32/editor/resources/resource.h"

namespace editor {

namespace {

HFONT make_font(int height) {
    return CreateFontW(height, 0, 0, 0, 400, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FIXED_PITCH | FF_MODERN,
                       dialog_font::japanese_face(wide(texts::label_font), true).c_str());
}

// White at (x, y), and black one pixel (of a 96-DPI screen) up and left of it.
void embossed(HDC dc, int x, int y, const char* cp932, UINT dpi) {
    std::wstring text = wide(cp932);
    int n = static_cast<int>(text.size());
    SetTextColor(dc, RGB(255, 255, 255));
    TextOutW(dc, x, y, text.c_str(), n);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutW(dc, x - dpi::scale(1, dpi), y - dpi::scale(1, dpi), text.c_str(), n);
}

// One row of 22 segments and its peak mark; mem[1..4] hold green, dark, yellow and red.
void meter_row(const EditorWindow& w, HDC dc, HDC* mem, int x, int y, const preview::MeterRow& values) {
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
        dpi::blit(dc, x + dpi::scale(i * seg.bmWidth, w.dpi), y, seg.bmWidth, seg.bmHeight,
                  bitmap(row.segments[static_cast<size_t>(i)]), w.dpi);
    if (row.peak_mark >= 0)
        dpi::blit(dc, x + dpi::scale(row.peak_mark * seg.bmWidth, w.dpi), y, seg.bmWidth, seg.bmHeight,
                  bitmap(row.peak_colour), w.dpi);
}

} // namespace

face::PaintedFace painted_face(const EditorWindow& w) {
    auto box_of = [&](int id) {
        RECT r{};
        GetWindowRect(GetDlgItem(w.main, id), &r);
        MapWindowPoints(nullptr, w.main, reinterpret_cast<POINT*>(&r), 2);
        return face::Box{r.left, r.top, r.right, r.bottom};
    };
    face::FaceAnchors anchors;
    std::array<int, 5> widths{};
    for (size_t i = 0; i < k_field_controls.size(); ++i) {
        anchors.fields[i] = box_of(k_field_controls[i].id);
        widths[i] = face::caption_width(k_field_controls[i].caption);
    }
    anchors.status = box_of(IDC_STATUS);
    anchors.volume = box_of(IDC_VOLUME);
    BITMAP seg{};
    if (w.bitmaps[1]) GetObjectW(w.bitmaps[1], sizeof seg, &seg);
    return face::place_face(anchors, widths, face::caption_width(texts::caption_wave_vol), seg.bmWidth, seg.bmHeight,
                            w.dpi);
}

void paint_main_window(const EditorWindow& w) {
    HWND dlg = w.main;
    const face::PaintedFace face = painted_face(w);
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
        dpi::blit(dc, face.meter.left, face.meter.top, edge.bmWidth, edge.bmHeight, mem[0], w.dpi);
        const int x = face.meter.left + dpi::scale(1, w.dpi);
        meter_row(w, dc, mem, x, face.meter_rows[0], w.meter[0]);
        meter_row(w, dc, mem, x, face.meter_rows[1], w.meter[1]);
        for (int i = 0; i < 5; ++i) {
            SelectObject(mem[i], old[i]);
            DeleteDC(mem[i]);
        }
    }
    {
        toolkit::HeldFont font(make_font(dpi::scale(12, w.dpi)));
        toolkit::Selected chosen(dc, font.get());
        for (size_t i = 0; i < k_field_controls.size(); ++i)
            embossed(dc, face.captions[i].left, face.captions[i].top, k_field_controls[i].caption, w.dpi);
    }
    {
        toolkit::HeldFont font(make_font(dpi::scale(11, w.dpi)));
        toolkit::Selected chosen(dc, font.get());
        embossed(dc, face.wave_vol.left, face.wave_vol.top, texts::caption_wave_vol, w.dpi);
    }
    EndPaint(dlg, &ps);
}

} // namespace editor

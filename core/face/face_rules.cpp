#include "core/face/face_rules.h"

#include <utility>

#include <algorithm>

#include "core/face/commands.h"
#include "core/editing/paths.h"

#include <cstddef>

namespace face {

Segment lit_segment(int i) { return i < 14 ? Segment::green : i < 19 ? Segment::yellow : Segment::red; }

MeterSegments meter_row(int level, int held, int playback_mode) {
    MeterSegments row;
    // Values come from another thread without a lock; out-of-range ones light nothing odd.
    if (level < 0) level = 0;
    if (level > 100) level = 100;
    int lit = level * 22 / 100;
    for (int i = 0; i < 22; ++i) row.segments[static_cast<std::size_t>(i)] = i < lit ? lit_segment(i) : Segment::dark;
    if (playback_mode == 0 && held >= 1 && held <= 99) {
        row.peak_mark = held * 22 / 100;
        row.peak_colour = lit_segment(row.peak_mark);
    }
    return row;
}

Point snap_to_edges(Point p, int width, int height, const ScreenMetrics& s) {
    if (s.full_width - (p.x + width) < 6) p.x = s.full_width - width;
    if (s.full_height - (p.y + height - s.caption_height) < 6) p.y = s.full_height - height + s.caption_height;
    if (p.x < 6) p.x = 0;
    if (p.y < 6) p.y = 0;
    return p;
}

void WindowDrag::press(uint32_t now, Point cursor, Point corner) {
    active_ = true;
    pressed_at_ = now;
    offset_ = {cursor.x - corner.x, cursor.y - corner.y};
}

bool WindowDrag::move(uint32_t now, Point cursor, int width, int height, const ScreenMetrics& screen, Point& to) const {
    if (!active_ || now - pressed_at_ <= 50) return false;
    to = snap_to_edges({cursor.x - offset_.x, cursor.y - offset_.y}, width, height, screen);
    return true;
}

bool WindowDrag::release() {
    bool was = active_;
    active_ = false;
    return was;
}

Point place_by_cursor(Point cursor, int dx, int dy, int width, int height, int right, int bottom) {
    Point p{cursor.x + dx, cursor.y + dy};
    if (p.x < 0) p.x = 0;
    if (p.y < 0) p.y = 0;
    if (p.x + width > right) p.x = right - width;
    if (p.y + height > bottom) p.y = bottom - height;
    return p;
}

int menu_item_width(const std::vector<int>& name_widths) {
    int width = 200;
    for (int w : name_widths)
        if (w > width) width = w;
    return width > 350 ? 350 : width;
}

std::vector<int> function_menu_items(bool copy_folder_set) {
    std::vector<int> items;
    if (copy_folder_set) items = {IDM_COPY, 0, IDM_OPEN_COPY_FOLDER, IDM_MPMAN, 0};
    for (int id : {IDM_WINAMP, IDM_ADD_TO_PLAYLIST, 0, IDM_OPTIONS, 0, IDC_RENAME}) items.push_back(id);
    return items;
}

std::vector<size_t> file_name_order(const std::vector<std::string>& names) {
    auto folded = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; };
    std::vector<size_t> order(names.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t ia, size_t ib) {
        const std::string &a = names[ia], &b = names[ib];
        size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            unsigned char x = folded(static_cast<unsigned char>(a[i])), y = folded(static_cast<unsigned char>(b[i]));
            if (x != y) return x < y;
        }
        return a.size() < b.size();
    });
    return order;
}

void sort_file_names(std::vector<std::string>& names) {
    std::vector<std::string> sorted;
    for (size_t i : file_name_order(names)) sorted.push_back(names[i]);
    names = std::move(sorted);
}

size_t file_menu_first(size_t count, std::optional<size_t> current) {
    if (count <= k_file_menu_names || !current || *current >= count) return 0;
    const size_t half = k_file_menu_names / 2;
    const size_t last_first = count - k_file_menu_names;
    const size_t first = *current > half ? *current - half : 0;
    return first < last_first ? first : last_first;
}

int file_menu_y(int y, size_t count, int desktop_bottom) {
    y -= 7;
    long long bottom = y + (static_cast<long long>(count) + 5) * 19;
    if (bottom > desktop_bottom) {
        y -= static_cast<int>(bottom - desktop_bottom);
        if (y < 0) y = 5;
    }
    return y;
}

std::string path_in_folder(std::string_view folder, std::string_view name) {
    // UTF-8: every byte 0x5C is a backslash.
    bool ends_in_backslash = !folder.empty() && folder.back() == '\\';
    std::string path(folder);
    if (!ends_in_backslash) path += '\\';
    return path.append(name);
}

namespace {
// A length of a 96-DPI screen at `dpi`, rounded as the window's scaling rounds.
int at_dpi(int length, unsigned dpi) {
    const long long n = static_cast<long long>(length) * dpi;
    return static_cast<int>(n >= 0 ? (n + 48) / 96 : -((-n + 48) / 96));
}
Box box_at(int left, int top, int width, int height) { return {left, top, left + width, top + height}; }
// Each caption's corner from its field's corner, and the caption height, at 96 DPI: the template
// font puts the fields at (48, 47), (47, 66), (47, 84), (47, 103), (47, 121), the captions at
// (20, 50), (8, 70), (14, 90), (21, 108), (21, 127).
constexpr int k_caption_offset[5][2] = {{-28, 3}, {-39, 4}, {-33, 6}, {-26, 5}, {-26, 6}};
constexpr int k_caption_height = 12, k_wave_vol_height = 11;
} // namespace

int caption_width(std::string_view cp932) {
    int width = 0;
    for (size_t i = 0; i < cp932.size(); ++i) {
        const auto b = static_cast<unsigned char>(cp932[i]);
        const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        width += lead && i + 1 < cp932.size() ? 12 : 6;
        if (lead) ++i;
    }
    return width;
}

PaintedFace place_face(const FaceAnchors& a, const std::array<int, 5>& caption_widths, int wave_vol_width,
                       int segment_width, int segment_height, unsigned dpi) {
    PaintedFace face;
    for (size_t i = 0; i < 5; ++i)
        face.captions[i] = box_at(a.fields[i].left + at_dpi(k_caption_offset[i][0], dpi),
                                  a.fields[i].top + at_dpi(k_caption_offset[i][1], dpi),
                                  at_dpi(caption_widths[i], dpi), at_dpi(k_caption_height, dpi));
    // The meter below the status display (at 96 DPI: the edge at 257, the rows at 258 and 69,
    // 76 where the display ends at 66), the volume's caption above its slider (262, 136 over 147).
    const int left = a.status.left + at_dpi(1, dpi), top = a.status.bottom + at_dpi(3, dpi);
    face.meter_rows[0] = top;
    face.meter_rows[1] = top + at_dpi(7, dpi);
    face.meter = {left - at_dpi(1, dpi), top, left + at_dpi(22 * segment_width, dpi),
                  face.meter_rows[1] + at_dpi(segment_height, dpi)};
    face.wave_vol = box_at(a.volume.left + at_dpi(4, dpi), a.volume.top - at_dpi(k_wave_vol_height, dpi),
                           at_dpi(wave_vol_width, dpi), at_dpi(k_wave_vol_height, dpi));
    return face;
}

} // namespace face

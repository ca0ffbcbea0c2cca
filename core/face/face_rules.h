// The rules behind the window's own face that need no window: the level meter's segments,
// snapping a moved window to the screen's edges, the width of owner-drawn menu items and the
// items of the Function menu. The window code feeds them system metrics and draws the result.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace face {

// Which bitmap each of the 22 segments of a meter row shows, and where the peak mark goes.
enum class Segment { dark, green, yellow, red };
struct MeterSegments {
    std::array<Segment, 22> segments{};
    int peak_mark = -1; // the segment drawn lit again as the peak mark; -1 for none
    Segment peak_colour = Segment::dark;
};
// The drawing of one row of the meter (preview::MeterRow holds its values). `level` and
// `held` are the row's peak and falling peak-hold values (0 to 100); the mark
// shows only in the playback mode 0 and for a held value from 1 to 99.
MeterSegments meter_row(int level, int held, int playback_mode);

// The lit colour of segment i: green up to 13, yellow from 14 to 18, red from 19.
Segment lit_segment(int i);

struct ScreenMetrics {
    int full_width;     // SM_CXFULLSCREEN
    int full_height;    // SM_CYFULLSCREEN
    int caption_height; // SM_CYCAPTION
};
struct Point {
    int x, y;
};
// A window moved to `top_left` sticks to an edge of the screen it comes within 6 pixels of;
// the left and top edges win over the right and bottom ones.
Point snap_to_edges(Point top_left, int width, int height, const ScreenMetrics& screen);

// Moving the captionless window by any free spot of its surface: the press notes the time and
// the cursor's offset from the window's corner; a move more than 50 ms after the press gives
// the new corner, snapped; the release ends it. Times are milliseconds of a clock that wraps.
class WindowDrag {
public:
    void press(uint32_t now, Point cursor, Point window_top_left);
    // True with the new corner in `to` while a drag is on and the delay has passed.
    bool move(uint32_t now, Point cursor, int width, int height, const ScreenMetrics& screen, Point& to) const;
    // True when a drag was on.
    bool release();
    bool active() const { return active_; }

private:
    bool active_ = false;
    uint32_t pressed_at_ = 0;
    Point offset_{0, 0};
};

// A window placed by the cursor, moved by (dx, dy): never above or left of the screen, and
// flush with the desktop's right and bottom edges rather than past them.
Point place_by_cursor(Point cursor, int dx, int dy, int width, int height, int desktop_right, int desktop_bottom);

// The never-ask flags and the other switches of the options dialog: a click makes 1 into 0
// and any other value (a hand-edited file may hold one) into 1.
inline int32_t flipped(int32_t setting) { return setting == 1 ? 0 : 1; }

// Width of every owner-drawn menu item: at least 200, the widest File menu name, at most 350.
int menu_item_width(const std::vector<int>& name_widths);

// The items of the Function menu, top to bottom; 0 stands for a separator. The copy items
// show only when a copy folder is set.
std::vector<int> function_menu_items(bool copy_folder_set);

// The File menu lists at most this many of the folder's MP3 files.
inline constexpr size_t k_file_menu_names = 52;
// Which of a folder's `count` sorted names the File menu lists, [first, first + 52): all of
// them in a folder of 52 or fewer; in a larger one the 52 around the current file (`current`,
// its place among them, or none), so that the Home key puts the pointer on it and its
// neighbours are one arrow key away.
size_t file_menu_first(size_t count, std::optional<size_t> current);
// Sorts the names with ASCII letters folded to lower case and the bytes compared unsigned,
// double-byte characters not treated apart, as the file list always has.
void sort_file_names(std::vector<std::string>& names);
// The same order as positions: names[order[0]] comes first. The window sorts UTF-8 file
// names by their cp932 forms with it.
std::vector<size_t> file_name_order(const std::vector<std::string>& names);
// The top edge for the File menu at the pointer's `y`: lowered (to 5 at least) so that the
// menu of `count` names fits above the desktop's bottom edge.
int file_menu_y(int pointer_y, size_t count, int desktop_bottom);
// A rectangle of the window's client area, in pixels; right and bottom lie outside it.
struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool overlaps(const Box& o) const { return left < o.right && o.left < right && top < o.bottom && o.top < bottom; }
};
// The controls the painted face is placed from, as the dialog manager laid them out (its font
// and scale): the five fields in their order, the status display, the volume slider.
struct FaceAnchors {
    std::array<Box, 5> fields;
    Box status, volume;
};
// The painted face: each field's caption, the level meter (its edge and both rows), "Wave Vol".
struct PaintedFace {
    std::array<Box, 5> captions;
    Box meter;
    int meter_rows[2] = {0, 0}; // the top of each row
    Box wave_vol;
};
// The width of a caption of the fixed-pitch caption font at 96 DPI: 6 pixels a single-byte
// character of cp932, 12 a double-byte one.
int caption_width(std::string_view cp932);
// Places the face from its anchors, so that it follows the dialog's font: a caption keeps its
// offset from its field, the meter from the status display, "Wave Vol" from the volume slider,
// each offset a length of a 96-DPI screen scaled to `dpi`. Where the template's font lays the
// controls out at 96 DPI, these are the face's pixels as they always were. `caption_widths`
// and `wave_vol_width` are 96-DPI widths (caption_width); the meter's segments are
// `segment_width` by `segment_height` pixels of 96 DPI, 22 to a row.
PaintedFace place_face(const FaceAnchors& anchors, const std::array<int, 5>& caption_widths, int wave_vol_width,
                       int segment_width, int segment_height, unsigned dpi);

// A file of the current folder: "folder\name", with no doubled backslash after a root
// folder such as "C:\".
std::string path_in_folder(std::string_view folder, std::string_view name);

} // namespace face

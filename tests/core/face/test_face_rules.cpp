// The meter's segments, the painted face's places, edge snapping, menu width and the Function
// menu's items.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <tuple>
#include <vector>

#include "core/face/face_rules.h"

using face::Segment;

namespace {
int count(const face::MeterSegments& r, Segment s) {
    return static_cast<int>(std::count(r.segments.begin(), r.segments.end(), s));
}
} // namespace

TEST(Meter, LevelsLightTheirShareOfSegmentsInTheirColours) {
    face::MeterSegments silent = face::meter_row(0, 0, 0);
    EXPECT_EQ(count(silent, Segment::dark), 22);
    EXPECT_EQ(silent.peak_mark, -1);

    face::MeterSegments full = face::meter_row(100, 0, 0);
    EXPECT_EQ(count(full, Segment::green), 14);
    EXPECT_EQ(count(full, Segment::yellow), 5);
    EXPECT_EQ(count(full, Segment::red), 3);
    EXPECT_EQ(full.segments[13], Segment::green);
    EXPECT_EQ(full.segments[14], Segment::yellow);
    EXPECT_EQ(full.segments[19], Segment::red);

    // 50 * 22 / 100 = 11 lit, by integer division; the rest dark.
    face::MeterSegments half = face::meter_row(50, 0, 0);
    EXPECT_EQ(count(half, Segment::green), 11);
    EXPECT_EQ(half.segments[11], Segment::dark);
    EXPECT_EQ(face::meter_row(4, 0, 0).segments[0], Segment::dark); // 4 * 22 / 100 = 0
    EXPECT_EQ(face::meter_row(5, 0, 0).segments[0], Segment::green);

    // Torn or wild values from the monitor never index outside the row.
    EXPECT_EQ(count(face::meter_row(-5, 0, 0), Segment::dark), 22);
    EXPECT_EQ(count(face::meter_row(1000, 0, 0), Segment::dark), 0);
}

// The controls of the main window laid out in dialog units (x, y, width, height) by a font
// of the given base units: the five fields, the status display, the volume slider, and the
// controls the face must stay clear of (the mode button, the carry-over switch, Play, the
// position slider, the undo button).
std::vector<face::Box> laid_out(int base_x, int base_y) {
    const int dlu[][4] = {{32, 34, 108, 12}, {31, 48, 120, 12}, {31, 61, 120, 12}, {31, 75, 31, 12},
                          {31, 88, 120, 12}, {171, 34, 59, 14}, {172, 107, 59, 16}, {141, 34, 24, 13},
                          {153, 49, 12, 54},  {171, 80, 29, 14}, {171, 63, 60, 16}, {3, 108, 23, 15}};
    auto px = [](int v, int base, int per) { return (v * base * 2 + per) / (2 * per); }; // rounded as MulDiv
    std::vector<face::Box> boxes;
    for (const auto& d : dlu)
        boxes.push_back({px(d[0], base_x, 4), px(d[1], base_y, 8), px(d[0] + d[2], base_x, 4), px(d[1] + d[3], base_y, 8)});
    return boxes;
}

TEST(PaintedFace, PlacedFromTheControlsAsTheFontLaidThemOut) {
    const std::array<int, 5> widths = {face::caption_width("\x8B\xC8\x96\xBC"), face::caption_width("\xB1\xB0\xC3\xA8\xBD\xC4"),
                                       face::caption_width("\xB1\xD9\xCA\xDE\xD1"), face::caption_width("\x94\x4E\x91\xE3"),
                                       face::caption_width("\xBA\xD2\xDD\xC4")};
    EXPECT_EQ(widths, (std::array<int, 5>{24, 36, 30, 24, 24})); // 曲名, half-width ｱｰﾃｨｽﾄ ...
    auto place = [&](const std::vector<face::Box>& c, unsigned dpi) {
        face::FaceAnchors a;
        for (size_t i = 0; i < 5; ++i) a.fields[i] = c[i];
        a.status = c[5];
        a.volume = c[6];
        return face::place_face(a, widths, face::caption_width("Wave Vol"), 4, 7, dpi);
    };
    // The template's font (base units 6 by 11 at 96 DPI): the pixels the face always had.
    const face::PaintedFace at96 = place(laid_out(6, 11), 96);
    const int corners[5][2] = {{20, 50}, {8, 70}, {14, 90}, {21, 108}, {21, 127}};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(std::make_pair(at96.captions[i].left, at96.captions[i].top), std::make_pair(corners[i][0], corners[i][1])) << i;
    EXPECT_EQ(std::make_tuple(at96.meter.left, at96.meter_rows[0], at96.meter_rows[1], at96.meter.right, at96.meter.bottom),
              std::make_tuple(257, 69, 76, 346, 83));
    EXPECT_EQ(std::make_pair(at96.wave_vol.left, at96.wave_vol.top), std::make_pair(262, 136));
    // Fonts that stand in for it, wider or narrower, at three scales: every caption beside its
    // field, nothing painted under a control (the relief reaches a pixel up and left).
    for (auto [bx, by] : {std::pair{6, 11}, std::pair{7, 13}, std::pair{8, 15}, std::pair{5, 10}})
        for (unsigned dpi : {96u, 144u, 192u}) {
            const std::vector<face::Box> c = laid_out(bx * static_cast<int>(dpi) / 96, by * static_cast<int>(dpi) / 96);
            const face::PaintedFace f = place(c, dpi);
            std::vector<face::Box> painted = {f.meter, f.wave_vol};
            for (size_t i = 0; i < 5; ++i) {
                painted.push_back(f.captions[i]);
                EXPECT_LE(f.captions[i].right, c[i].left) << bx << " " << dpi << " " << i;
                EXPECT_GE(f.captions[i].right, c[i].left - static_cast<int>(12 * dpi / 96)) << bx << " " << dpi << " " << i;
            }
            for (face::Box p : painted) {
                p.left -= static_cast<int>(dpi / 96), p.top -= static_cast<int>(dpi / 96);
                for (const face::Box& control : c) EXPECT_FALSE(p.overlaps(control)) << bx << " " << dpi;
            }
        }
}

TEST(Meter, PeakMarkOnlyInModeZeroForHeldValuesOneToNinetyNine) {
    EXPECT_EQ(face::meter_row(10, 0, 0).peak_mark, -1);
    EXPECT_EQ(face::meter_row(10, 100, 0).peak_mark, -1);
    EXPECT_EQ(face::meter_row(10, 50, 1).peak_mark, -1);

    face::MeterSegments low = face::meter_row(0, 1, 0);
    EXPECT_EQ(low.peak_mark, 0);
    EXPECT_EQ(low.peak_colour, Segment::green);
    face::MeterSegments high = face::meter_row(0, 99, 0);
    EXPECT_EQ(high.peak_mark, 21);
    EXPECT_EQ(high.peak_colour, Segment::red);
    EXPECT_EQ(face::meter_row(0, 70, 0).peak_colour, Segment::yellow); // 70 * 22 / 100 = 15
}

TEST(WindowMoving, SticksToEdgesWithinSixPixels) {
    face::ScreenMetrics screen{1024, 740, 19};
    auto at = [&](int x, int y) { return face::snap_to_edges({x, y}, 470, 260, screen); };
    // Free spots stay where the mouse puts them.
    face::Point p = at(100, 100);
    EXPECT_EQ(p.x, 100);
    EXPECT_EQ(p.y, 100);
    // Left and top edges: 5 pixels away sticks, 6 does not; beyond the edge sticks too.
    EXPECT_EQ(at(5, 100).x, 0);
    EXPECT_EQ(at(6, 100).x, 6);
    EXPECT_EQ(at(-40, 100).x, 0);
    EXPECT_EQ(at(100, 3).y, 0);
    // Right edge: 1024 - (550 + 470) = 4 sticks to 554; 1024 - (548 + 470) = 6 does not.
    EXPECT_EQ(at(550, 100).x, 554);
    EXPECT_EQ(at(548, 100).x, 548);
    // Bottom edge counts the caption height: 740 - (500 + 260 - 19) = -1 sticks to 499.
    EXPECT_EQ(at(100, 500).y, 499);
    EXPECT_EQ(at(100, 493).y, 493);
    // A window wider than the screen: the right edge rule puts x below 6, the left one wins.
    face::Point wide = face::snap_to_edges({30, 30}, 1100, 260, screen);
    EXPECT_EQ(wide.x, 0);
}

TEST(OwnerDrawnMenus, WidthBetween200And350AndTheFunctionMenusItems) {
    EXPECT_EQ(face::menu_item_width({}), 200);
    EXPECT_EQ(face::menu_item_width({120, 0, 199}), 200);
    EXPECT_EQ(face::menu_item_width({120, 260, 230}), 260);
    EXPECT_EQ(face::menu_item_width({900}), 350);

    EXPECT_EQ(face::function_menu_items(false), (std::vector<int>{4105, 4104, 0, 4103, 0, 11}));
    EXPECT_EQ(face::function_menu_items(true), (std::vector<int>{4100, 0, 4101, 4102, 0, 4105, 4104, 0, 4103, 0, 11}));
}

TEST(WindowMoving, MovesOnlyAfterFiftyMillisecondsAndUntilTheRelease) {
    face::ScreenMetrics screen{1024, 740, 19};
    face::WindowDrag drag;
    face::Point to{-1, -1};
    EXPECT_FALSE(drag.move(1000, {300, 300}, 470, 260, screen, to)); // no press, no move

    // Pressed 40 pixels into the window at (200, 150).
    drag.press(1000, {240, 190}, {200, 150});
    EXPECT_FALSE(drag.move(1050, {340, 240}, 470, 260, screen, to)); // 50 ms is not more than 50
    ASSERT_TRUE(drag.move(1051, {340, 240}, 470, 260, screen, to));
    EXPECT_EQ(to.x, 300);
    EXPECT_EQ(to.y, 200);
    // Near the left edge the corner sticks there.
    ASSERT_TRUE(drag.move(1100, {44, 240}, 470, 260, screen, to));
    EXPECT_EQ(to.x, 0);
    EXPECT_TRUE(drag.release());
    EXPECT_FALSE(drag.release());
    EXPECT_FALSE(drag.move(2000, {340, 240}, 470, 260, screen, to));

    // The millisecond clock wraps after 49.7 days; the delay still counts from the press.
    drag.press(0xFFFFFFF0u, {240, 190}, {200, 150});
    EXPECT_FALSE(drag.move(0x00000010u, {340, 240}, 470, 260, screen, to)); // 32 ms later
    EXPECT_TRUE(drag.move(0x00000030u, {340, 240}, 470, 260, screen, to));  // 64 ms later
}

TEST(FileMenu, SortsFoldingAsciiCaseAndPlacesTheMenuOnScreen) {
    // 表 is 0x95 0x5C, ア 0x83 0x41: bytes compare unsigned, so both come after ASCII names,
    // and 0x5C ('\\') inside 表 is never folded or taken apart.
    std::vector<std::string> names = {"b.mp3", "\x95\x5C.mp3", "A.mp3", "a.mp3", "\x83\x41.mp3", "Zz.mp3", "_x.mp3"};
    face::sort_file_names(names);
    ASSERT_EQ(names.size(), 7u);
    // Letters fold to lower case, so '_' (0x5F) sorts before every letter, also 'Z' (0x5A).
    EXPECT_EQ(names[0], "_x.mp3");
    EXPECT_TRUE((names[1] == "A.mp3" && names[2] == "a.mp3") || (names[1] == "a.mp3" && names[2] == "A.mp3"));
    EXPECT_EQ(names[3], "b.mp3");
    EXPECT_EQ(names[4], "Zz.mp3");
    EXPECT_EQ(names[5], "\x83\x41.mp3");
    EXPECT_EQ(names[6], "\x95\x5C.mp3");

    // A folder of up to 52 names lists them all; a larger one the 52 around the current file,
    // held inside the list at either end.
    EXPECT_EQ(face::file_menu_first(52, 51), 0u);
    EXPECT_EQ(face::file_menu_first(3000, std::nullopt), 0u);
    EXPECT_EQ(face::file_menu_first(3000, 10), 0u);
    EXPECT_EQ(face::file_menu_first(3000, 1500), 1474u);
    EXPECT_EQ(face::file_menu_first(3000, 2999), 2948u);
    EXPECT_EQ(face::file_menu_first(53, 52), 1u);

    // The menu of n names takes (n + 5) * 19 pixels under y - 7.
    EXPECT_EQ(face::file_menu_y(300, 3, 768), 293);
    EXPECT_EQ(face::file_menu_y(700, 3, 768), 768 - 152); // lowered by the excess
    EXPECT_EQ(face::file_menu_y(100, 52, 768), 5);        // would go off the top: 5

    EXPECT_EQ(face::path_in_folder("C:\\Music", "a.mp3"), "C:\\Music\\a.mp3");
    EXPECT_EQ(face::path_in_folder("C:\\", "a.mp3"), "C:\\a.mp3");
    EXPECT_EQ(face::path_in_folder("C:\\表", "a.mp3"), "C:\\表\\a.mp3");
    EXPECT_EQ(face::path_in_folder("C:\\あ", "a.mp3"), "C:\\あ\\a.mp3");
}

TEST(OptionsDialog, PlacedByTheCursorOnScreenAndFlagsFlipToOneFromAnyOtherValue) {
    // 160 left and 400 up of the cursor; near the top-left corner it opens at (0, 0).
    face::Point p = face::place_by_cursor({500, 600}, -160, -400, 470, 440, 1024, 768);
    EXPECT_EQ(p.x, 340);
    EXPECT_EQ(p.y, 200);
    p = face::place_by_cursor({20, 30}, -160, -400, 470, 440, 1024, 768);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
    // Near the bottom-right corner it sits flush with the desktop's edges.
    p = face::place_by_cursor({1020, 1000}, -160, -400, 470, 440, 1024, 768);
    EXPECT_EQ(p.x, 1024 - 470);
    EXPECT_EQ(p.y, 768 - 440);

    EXPECT_EQ(face::flipped(1), 0);
    EXPECT_EQ(face::flipped(0), 1);
    EXPECT_EQ(face::flipped(7), 1); // shown ticked as "ask", one click means "do not ask"
    EXPECT_EQ(face::flipped(-1), 1);
}

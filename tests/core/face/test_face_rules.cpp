// The meter's segments, edge snapping, menu width and the Function menu's items.
#include <gtest/gtest.h>

#include <algorithm>

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

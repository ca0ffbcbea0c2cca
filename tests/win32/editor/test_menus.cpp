#include "tests/win32/editor/editor_driver.h"

TEST_F(Editor, FunctionMenuIsOwnerDrawnAndShowsTheCopyItemsOnlyWithACopyFolder) {
    for (bool copy_folder : {false, true}) {
        if (copy_folder) { // the settings of the first run, with a copy folder set
            std::string kt = read_file(folder.file("kt.dat"));
            ASSERT_EQ(kt.size(), 45964u);
            kt.replace(29532, 9, std::string("C:\\copy\\", 8) + '\0');
            write_file(folder.file("kt.dat"), kt);
        }
        ASSERT_TRUE(start(""));
        if (!copy_folder) {
            // The painted face, placed from the controls as the dialog's font laid them out: each
            // caption beside its field, nothing of it under a control (at every scale and under
            // both code pages, with the font that stands in for the template's), and on the screen.
            const HWND main = ed.main();
            auto box_of = [&](HWND c) {
                RECT r{};
                GetWindowRect(c, &r);
                MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
                return face::Box{r.left, r.top, r.right, r.bottom};
            };
            const int fields[5] = {IDC_TITLE, IDC_ARTIST, IDC_ALBUM, IDC_YEAR, IDC_COMMENT};
            const char* captions[5] = {"曲名", "ｱｰﾃｨｽﾄ", "ｱﾙﾊﾞﾑ", "年代", "ｺﾒﾝﾄ"};
            face::FaceAnchors anchors;
            std::array<int, 5> widths{};
            for (size_t i = 0; i < 5; ++i) {
                anchors.fields[i] = box_of(GetDlgItem(main, fields[i]));
                widths[i] = face::caption_width(captions[i]);
            }
            anchors.status = box_of(GetDlgItem(main, IDC_STATUS));
            anchors.volume = box_of(GetDlgItem(main, IDC_VOLUME));
            // The meter's segment bitmaps are 4 by 7 pixels.
            const face::PaintedFace painted =
                face::place_face(anchors, widths, face::caption_width("Wave Vol"), 4, 7, screen_dpi());
            const int relief = static_cast<int>(at_scale(1)); // the black one pixel up and left
            std::vector<std::pair<face::Box, std::string>> boxes = {{painted.meter, "meter"},
                                                                    {painted.wave_vol, "Wave Vol"}};
            for (size_t i = 0; i < 5; ++i) {
                const face::Box& c = painted.captions[i];
                const face::Box& f = anchors.fields[i];
                boxes.emplace_back(c, captions[i]);
                EXPECT_LE(c.right, f.left) << captions[i];
                EXPECT_GE(c.right, f.left - at_scale(12)) << captions[i];
                EXPECT_TRUE((c.top + c.bottom) / 2 > f.top && (c.top + c.bottom) / 2 < f.bottom) << captions[i];
            }
            for (HWND c = GetWindow(main, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                if (!IsWindowVisible(c)) continue;
                for (auto [b, what] : boxes) {
                    b.left -= relief, b.top -= relief;
                    EXPECT_FALSE(b.overlaps(box_of(c))) << what << " under control " << GetDlgCtrlID(c);
                }
            }
            struct Caption {
                face::Box at;
                const char* text;
                int height;
            };
            std::vector<Caption> shown_captions = {{painted.wave_vol, "Wave Vol", 11}};
            for (size_t i = 0; i < 5; ++i) shown_captions.push_back({painted.captions[i], captions[i], 12});
            for (const Caption& c : shown_captions) {
                bool shown = false;
                const int x = c.at.left - relief + 1, y = c.at.top - relief + 1;
                for (int w = 0; w < 3000 && !(shown = caption_shown(main, x, y, c.text, static_cast<int>(at_scale(c.height))));
                     w += 100)
                    Sleep(100);
                EXPECT_TRUE(shown) << c.text;
            }
        }
        ed.command(IDC_FUNCTION);
        HWND m = ed.menu();
        ASSERT_TRUE(m);
        std::vector<MenuEntry> entries = menu_entries(ed.thread());
        std::vector<unsigned> want = {IDM_WINAMP, IDM_ADD_TO_PLAYLIST, 0, IDM_OPTIONS, 0, IDC_RENAME};
        if (copy_folder) want.insert(want.begin(), {IDM_COPY, 0, IDM_OPEN_COPY_FOLDER, IDM_MPMAN, 0});
        EXPECT_EQ(ids_of(entries), want) << copy_folder;
        for (const MenuEntry& e : entries) {
            if (e.kind == '-') continue;
            EXPECT_EQ(e.kind, 'O') << e.id;
            EXPECT_EQ(e.height(), GetSystemMetrics(SM_CYSMICON) + at_scale(4)) << e.id;
            EXPECT_GE(e.width(), at_scale(200)) << e.id;
            EXPECT_LE(e.width(), at_scale(350) + 2 * GetSystemMetrics(SM_CXMENUCHECK)) << e.id;
            // Its icon and text were drawn: the item is more than its background. The screen
            // shows the menu a moment after it opens.
            int drawn = 0;
            for (int w = 0; w < 2000 && (drawn = drawn_pixels(e.rect)) <= 30; w += 100) Sleep(100);
            EXPECT_GT(drawn, 30) << e.id;
            EXPECT_EQ(e.greyed, 0) << e.id;
        }
        // A screen reader finds each drawn item's text in its data.
        std::vector<std::string> names;
        for (const MenuEntry& e : entries) names.push_back(e.name);
        std::vector<std::string> want_names = {"WinAMPを起動", "WinAMPのﾌﾟﾚｲﾘｽﾄに追加", "", "ｵﾌﾟｼｮﾝ", "", "ﾌｧｲﾙのﾘﾈｰﾑ [F12]"};
        if (copy_folder)
            want_names.insert(want_names.begin(), {"MP3ﾌｧｲﾙをｺﾋﾟｰする", "", "ｺﾋﾟｰ先ﾃﾞｨﾚｸﾄﾘを開く", "MPManﾏﾈｰｼﾞｬを起動", ""});
        EXPECT_EQ(names, want_names) << copy_folder;
        close_menu(m);
        EXPECT_TRUE(ed.close());
    }
}

TEST_F(Editor, ContextMenuOfARightClickClosesThroughItsItem) {
    ASSERT_TRUE(start(""));
    PostMessageW(ed.main(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(4, 4));
    PostMessageW(ed.main(), WM_RBUTTONUP, 0, MAKELPARAM(4, 4));
    HWND m = ed.menu();
    ASSERT_TRUE(m);
    std::vector<MenuEntry> entries = menu_entries(ed.thread());
    EXPECT_EQ(ids_of(entries), (std::vector<unsigned>{IDM_OPTIONS, 0, IDC_CLOSE_X}));
    EXPECT_EQ(entries.front().greyed, 0);
    EXPECT_EQ(entries.back().greyed, 0);
    for (const MenuEntry& e : entries) EXPECT_TRUE(e.kind == 'O' || e.kind == '-');
    // The last item, "閉じる", closes the editor.
    PostMessageW(m, WM_KEYDOWN, VK_UP, 0);
    PostMessageW(m, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(ed.wait_exit());
}

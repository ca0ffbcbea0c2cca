#include "tests/win32/editor/editor_driver.h"

// Pixels of a screen rectangle in the File menu's red (200, 0, 0).
static int red_pixels(RECT r) {
    HDC screen = GetDC(nullptr);
    int n = 0;
    for (long y = r.top; y < r.bottom; y += 2)
        for (long x = r.left; x < r.right; x += 4) {
            COLORREF c = GetPixel(screen, x, y);
            n += GetRValue(c) > 150 && GetGValue(c) < 60 && GetBValue(c) < 60;
        }
    ReleaseDC(nullptr, screen);
    return n;
}

// The full height of the menu font at the screen's scale, its descent in it (tmHeight); 0 when
// the system gives no menu font.
static long menu_font_height() {
    using ForDpi = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
    const auto for_dpi = reinterpret_cast<ForDpi>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoForDpi")));
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    const UINT dpi = static_cast<UINT>(screen_dpi());
    if (!(for_dpi ? for_dpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)
                  : SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)))
        return 0;
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontIndirectW(&metrics.lfMenuFont);
    HGDIOBJ former = SelectObject(dc, font);
    TEXTMETRICW text{};
    GetTextMetricsW(dc, &text);
    SelectObject(dc, former);
    DeleteObject(font);
    DeleteDC(dc);
    return text.tmHeight;
}

TEST_F(Editor, FileMenuListsTheFolderSortedMarksTheCurrentFileAndOpensTheChosenOne) {
    // Made in an order that is not the sorted one.
    write_file(folder.file("c.mp3"), audio() + record("third"));
    write_file(folder.file("b.mp3"), audio() + record("second"));
    write_file(folder.file("A.mp3"), audio() + record("first"));
    write_file(folder.file("notes.txt"), "not listed");
    CreateDirectoryW(wide(folder.file("folder.mp3")).c_str(), nullptr); // a folder is no file
    ASSERT_TRUE(start("/e " + folder.file("c.mp3")));
    SetCursorPos(600, 500);
    ed.command(IDC_FILE_MENU);
    HWND m = ed.menu();
    ASSERT_TRUE(m);
    std::vector<MenuEntry> entries = menu_entries(ed.thread());
    EXPECT_EQ(ids_of(entries), (std::vector<unsigned>{IDM_OPEN_FILE, IDM_OPEN_CURRENT_FOLDER, 0, IDM_FILE_LIST,
                                                      IDM_FILE_LIST + 1, IDM_FILE_LIST + 2}));
    for (const MenuEntry& e : entries) EXPECT_TRUE(e.kind == '-' || (e.kind == 'O' && e.greyed == 0)) << e.id;
    // Each row holds the whole height of the menu's font, the descent of a name's "_" and "p" too.
    const long font_height = menu_font_height();
    EXPECT_GT(font_height, 0);
    for (const MenuEntry& e : entries) {
        if (e.kind == 'O') {
            EXPECT_GE(e.height(), font_height) << e.id;
        }
    }
    // Sorted A, b, c: the edited c.mp3 is the third row, drawn in red; the others are not.
    ASSERT_EQ(entries.size(), 6u);
    int red = 0;
    for (int w = 0; w < 2000 && (red = red_pixels(entries[5].rect)) < 20; w += 100) Sleep(100);
    EXPECT_GE(red, 20);
    EXPECT_EQ(red_pixels(entries[3].rect), 0);
    EXPECT_EQ(red_pixels(entries[4].rect), 0);
    close_menu(m);

    // The first row is A.mp3.
    ed.command(IDM_FILE_LIST);
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "A.mp3"));
    EXPECT_EQ(ed.text(IDC_TITLE), "first");
    // Unapplied edits: the discard question, and "いいえ" stays.
    ed.set_text(IDC_TITLE, "edited");
    ed.command(IDM_FILE_LIST + 1);
    HWND q = ed.dialog("確認");
    ASSERT_TRUE(q);
    PostMessageW(q, WM_COMMAND, IDNO, 0);
    Sleep(500);
    EXPECT_EQ(ed.text(IDC_FILE_BOX), "A.mp3");
    EXPECT_EQ(ed.text(IDC_TITLE), "edited");
    ed.command(IDC_UNDO);
    ASSERT_TRUE(ed.wait_text(IDC_TITLE, "first"));

    // Home in the title field: the menu opens with the pointer on the edited file's row, and
    // the pointer goes back when the menu closes.
    auto menu_by_home = [&](std::vector<MenuEntry>& rows) -> HWND {
        if (!ed.to_front()) return nullptr;
        SetCursorPos(600, 500);
        key(VK_HOME, 0);
        HWND menu = ed.menu();
        if (menu) rows = menu_entries(ed.thread());
        return menu;
    };
    m = menu_by_home(entries);
    ASSERT_TRUE(m);
    ASSERT_EQ(entries.size(), 6u);
    POINT at{};
    GetCursorPos(&at);
    EXPECT_TRUE(PtInRect(&entries[3].rect, at))
        << at.x << "," << at.y << " row " << entries[3].rect.left << "," << entries[3].rect.top << "-"
        << entries[3].rect.right << "," << entries[3].rect.bottom;
    close_menu(m);
    for (int w = 0; w < 3000; w += 50) {
        GetCursorPos(&at);
        if (at.x == 600 && at.y == 500) break;
        Sleep(50);
    }
    EXPECT_EQ(at.x, 600);
    EXPECT_EQ(at.y, 500);

    // The open-file dialog (the menu's first item sends its command): the file taken there
    // is loaded.
    ed.command(IDC_OPEN_DIALOG);
    HWND chooser = ed.dialog("MP3ﾌｧｲﾙを開く");
    ASSERT_TRUE(chooser);
    ASSERT_TRUE(choose_in(chooser, folder.file("b.mp3")));
    EXPECT_TRUE(ed.wait_text(IDC_FILE_BOX, "b.mp3")) << ed.text(IDC_FILE_BOX);
    EXPECT_EQ(ed.text(IDC_TITLE), "second");

    // A folder of 63 MP3 files: the menu lists 52 of them, every row with room for its name.
    auto write_numbered = [&](const char* prefix, int count) {
        for (int i = 0; i < count; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "%s%02d.mp3", prefix, i);
            write_file(folder.file(name), audio() + record(name));
        }
    };
    write_numbered("z", 60);
    ed.command(IDC_FILE_MENU);
    m = ed.menu();
    ASSERT_TRUE(m);
    entries = menu_entries(ed.thread());
    EXPECT_EQ(entries.size(), 3u + 52u);
    for (size_t i = 3; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].id, IDM_FILE_LIST + i - 3);
        EXPECT_GT(entries[i].width(), 40) << i;
        EXPECT_GT(entries[i].height(), 5) << i;
    }
    close_menu(m);
    // Past the 52nd name the menu lists the 52 around the edited file: with zz00 to zz19 too,
    // z48.mp3 (the 52nd of 83) then stands 27th of z22 to zz13, and Home puts the pointer on it.
    write_numbered("zz", 20);
    ed.command(IDM_FILE_LIST + 51);
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "z48.mp3"));
    m = menu_by_home(entries);
    ASSERT_TRUE(m);
    ASSERT_EQ(entries.size(), 3u + 52u);
    GetCursorPos(&at);
    // A row below the screen's edge is never drawn, so never warped to: at 144 and 192 DPI the
    // test's 768-pixel screen ends above the 27th of 55 rows.
    if (entries[3 + 26].rect.bottom <= GetSystemMetrics(SM_CYSCREEN))
        EXPECT_TRUE(PtInRect(&entries[3 + 26].rect, at)) << at.x << "," << at.y;
    else
        EXPECT_GT(screen_dpi(), 96);
    close_menu(m);
    ed.command(IDM_FILE_LIST + 51);
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "zz13.mp3"));

    // A file 300 characters deep, dropped on the window: its folder is longer than the system
    // takes as a current folder, and the menu lists that folder's two files all the same, and
    // opens the chosen one from there.
    const std::vector<std::wstring> levels = deep_folders(folder);
    ASSERT_FALSE(levels.empty());
    const std::wstring deep = levels.back();
    write_file(deep + L"y.mp3", audio() + record("deep y"));
    write_file(deep + L"x.mp3", audio() + record("deep x"));
    drop_files(ed.thread(), ed.main(), POINT{20, 200}, std::vector<std::wstring>{deep.substr(4) + L"x.mp3"});
    ASSERT_TRUE(ed.wait_text(IDC_TITLE, "deep x"));
    ed.command(IDC_FILE_MENU);
    m = ed.menu();
    ASSERT_TRUE(m);
    entries = menu_entries(ed.thread());
    EXPECT_EQ(ids_of(entries),
              (std::vector<unsigned>{IDM_OPEN_FILE, IDM_OPEN_CURRENT_FOLDER, 0, IDM_FILE_LIST, IDM_FILE_LIST + 1}));
    close_menu(m);
    ed.command(IDM_FILE_LIST + 1);
    EXPECT_TRUE(ed.wait_text(IDC_TITLE, "deep y"));
    EXPECT_TRUE(ed.close());
    DeleteFileW((deep + L"x.mp3").c_str());
    DeleteFileW((deep + L"y.mp3").c_str());
    for (auto level = levels.rbegin(); level != levels.rend(); ++level) RemoveDirectoryW(level->c_str());
    RemoveDirectoryW(wide(folder.file("folder.mp3")).c_str());
}

#include "tests/win32/editor/editor_driver.h"

static int count_windows(DWORD pid, const char* title) {
    const std::wstring wide_title = wide(title);
    driver::WindowQuery q;
    q.pid = pid;
    q.title = wide_title.c_str();
    return driver::count_windows(q);
}
using driver::checked;

TEST_F(Editor, OptionsDialogShowsChangesAndSavesTheSettings) {
    first_start();                 // writes the settings file
    set_setting(folder, 45936, 7); // a hand-edited never-ask flag
    ASSERT_TRUE(start(""));
    ed.command(IDC_OPTIONS);
    HWND o = ed.dialog("ｵﾌﾟ");
    ASSERT_TRUE(o);
    look(o, "options");
    EXPECT_EQ(dialog_text(o, IDC_OPT_DISPLAY_NAME), "kessa");
    EXPECT_TRUE(checked(o, IDC_OPT_ASK_RENAME));        // never-ask 0: "ask" ticked
    EXPECT_TRUE(checked(o, IDC_OPT_ASK_READ_ONLY));     // 7 is not 1: ticked too
    EXPECT_FALSE(checked(o, IDC_OPT_QUIT_AFTER_APPLY)); // quit after apply 0
    EXPECT_TRUE(checked(o, IDC_OPT_PATTERN_0));
    EXPECT_FALSE(checked(o, IDC_OPT_PATTERN_1));
    // While it is open: no second one, and the main window does not close.
    ed.command(IDC_OPTIONS);
    ed.command(IDC_CLOSE_X);
    Sleep(500);
    EXPECT_EQ(count_windows(ed.pid(), "ｵﾌﾟ"), 1);
    EXPECT_TRUE(ed.running());

    // A pasted name longer than its setting is cut at once to 4095 bytes, before a character
    // that would not fit (2047 double-byte characters).
    std::string long_name;
    for (int i = 0; i < 3000; ++i) long_name += "あ";
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const std::wstring pasted = wide(long_name);
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (pasted.size() + 1) * sizeof(wchar_t));
    std::memcpy(GlobalLock(mem), pasted.c_str(), (pasted.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(mem);
    SetClipboardData(CF_UNICODETEXT, mem);
    CloseClipboard();
    SendMessageW(GetDlgItem(o, IDC_OPT_DISPLAY_NAME), EM_SETSEL, 0, -1);
    SendMessageW(GetDlgItem(o, IDC_OPT_DISPLAY_NAME), WM_PASTE, 0, 0);
    EXPECT_EQ(dialog_text(o, IDC_OPT_DISPLAY_NAME), long_name.substr(0, 4094));
    SetDlgItemTextW(o, IDC_OPT_START_FOLDER, wide("C:\\" + long_name).c_str());
    EXPECT_EQ(dialog_text(o, IDC_OPT_START_FOLDER), "C:\\" + long_name.substr(0, 4092));

    SendMessageW(GetDlgItem(o, IDC_OPT_ASK_CHAR_REPLACE), BM_CLICK, 0, 0); // never-ask 1
    SendMessageW(GetDlgItem(o, IDC_OPT_ASK_READ_ONLY), BM_CLICK, 0, 0);
    SendMessageW(GetDlgItem(o, IDC_OPT_PATTERN_1), BM_CLICK, 0, 0);
    SetDlgItemTextW(o, IDC_OPT_DISPLAY_NAME, wide("MyTagger").c_str());
    EditorRun::answer(o, IDC_OPT_OK);
    std::string title;
    for (int w = 0; w < 5000; w += 50) {
        title = cp932(window_text(ed.main()));
        if (title == "MyTagger 0.29") break;
        Sleep(50);
    }
    EXPECT_EQ(title, "MyTagger 0.29");
    std::string kt = read_file(folder.file("kt.dat")); // saved by OK
    ASSERT_EQ(kt.size(), 45964u);
    EXPECT_EQ(std::string(kt.c_str() + 16208), "MyTagger");
    EXPECT_EQ(int_at(kt, 45936), 1); // 7 flipped to 1
    EXPECT_EQ(int_at(kt, 45940), 1);
    EXPECT_EQ(int_at(kt, 45960), 1);

    // A settings file that cannot be written (a folder has its name): the save says so, with the
    // file's name, and the settings stay in memory for the next save.
    ASSERT_TRUE(DeleteFileW(wide(folder.file("kt.dat")).c_str()));
    ASSERT_TRUE(CreateDirectoryW(wide(folder.file("kt.dat")).c_str(), nullptr));
    ed.command(IDC_OPTIONS);
    o = ed.dialog("ｵﾌﾟ");
    ASSERT_TRUE(o);
    EditorRun::answer(o, IDC_OPT_OK);
    HWND refused = ed.menu();
    ASSERT_TRUE(refused);
    std::vector<std::string> items = menu_items(ed.thread());
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0], "<error>");
    EXPECT_EQ(items[2], "設定を保存できません");
    EXPECT_EQ(_stricmp(items[3].c_str(), folder.file("kt.dat").c_str()), 0) << items[3];
    EXPECT_EQ(items[4], "not a regular file");
    close_menu(refused);
    for (int w = 0; w < 5000 && IsWindow(o); w += 50) Sleep(50);
    ASSERT_TRUE(RemoveDirectoryW(wide(folder.file("kt.dat")).c_str()));

    // A tick then Escape: the change stays in memory and reaches the file at the close; the
    // text typed is not taken.
    ed.command(IDC_OPTIONS);
    o = ed.dialog("ｵﾌﾟ");
    ASSERT_TRUE(o);
    EXPECT_TRUE(checked(o, IDC_OPT_PATTERN_1));
    SendMessageW(GetDlgItem(o, IDC_OPT_QUIT_AFTER_APPLY), BM_CLICK, 0, 0);
    SetDlgItemTextW(o, IDC_OPT_DISPLAY_NAME, wide("Not taken").c_str());
    PostMessageW(o, WM_COMMAND, IDCANCEL, 0);
    for (int w = 0; w < 5000 && IsWindow(o); w += 50) Sleep(50);
    EXPECT_FALSE(IsWindow(o));
    EXPECT_TRUE(ed.close());
    kt = read_file(folder.file("kt.dat"));
    EXPECT_EQ(int_at(kt, 45956), 1);
    EXPECT_EQ(std::string(kt.c_str() + 16208), "MyTagger");
}

#include "tests/win32/editor/editor_driver.h"

TEST_F(Editor, RenameItemAppliesAndStopsWithANoticeWithoutATitle) {
    ASSERT_TRUE(open("r.mp3", audio() + record("named", "Someone")));
    ed.set_text(IDC_TITLE, "");
    ed.command(IDC_RENAME);
    HWND m = ed.menu();
    ASSERT_TRUE(m);
    std::vector<std::string> items = menu_items(ed.thread());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0], "曲名もしくはｱｰﾃｨｽﾄ名が入力されていないので処理をｷｬﾝｾﾙしました");
    close_menu(m);
    // The tag was applied all the same; the name stays.
    EXPECT_EQ(read_file(path), audio() + record("", "Someone"));
    EXPECT_FALSE(ed.enabled(IDC_APPLY));
    // A title without an artist stops the same way.
    ed.set_text(IDC_TITLE, "named");
    ed.set_text(IDC_ARTIST, "");
    ed.command(IDC_RENAME);
    m = ed.menu();
    ASSERT_TRUE(m);
    items = menu_items(ed.thread());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0], "曲名もしくはｱｰﾃｨｽﾄ名が入力されていないので処理をｷｬﾝｾﾙしました");
    close_menu(m);
    EXPECT_EQ(read_file(path), audio() + record("named", ""));
    EXPECT_TRUE(ed.close());
}

TEST_F(Editor, ReadOnlyFileOnACdRomIsNeverWrittenAndRenameGivesTheReadOnlyNotice) {
    // The Wine runner makes R: a CD-ROM drive when it boots the prefix.
    if (GetDriveTypeW(L"R:\\") != DRIVE_CDROM) GTEST_SKIP() << "R: is no CD-ROM drive in this Wine prefix";
    path = "R:\\cd " + std::to_string(GetCurrentProcessId()) + ".mp3";
    std::string content = audio() + record("on disc", "Pressed");
    struct Gone {
        std::string path;
        ~Gone() {
            SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(wide(path).c_str());
        }
    } gone{path};
    write_file(path, content);
    SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(start("/e " + path));
    EXPECT_EQ(ed.text(IDC_TITLE), "on disc");
    ed.set_text(IDC_TITLE, "changed");
    EXPECT_FALSE(ed.enabled(IDC_APPLY)); // nothing counts as a change on read-only media
    ed.command(IDC_APPLY);
    ed.command(IDC_RENAME);
    HWND m = ed.menu();
    ASSERT_TRUE(m);
    std::vector<MenuEntry> entries = menu_entries(ed.thread());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].text, "<ｴﾗｰ>");
    EXPECT_EQ(entries[0].id, unsigned{IDM_READ_ONLY});
    EXPECT_EQ(entries[1].kind, '-');
    EXPECT_EQ(entries[2].text, "このﾌｧｲﾙは読み込み専用です");
    EXPECT_EQ(entries[2].id, unsigned{IDM_READ_ONLY});
    close_menu(m);
    EXPECT_TRUE(ed.close()); // no discard question: nothing was modified
    EXPECT_EQ(read_file(path), content);
    EXPECT_TRUE(GetFileAttributesW(wide(path).c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(Editor, RenameByTagAsksThenNamesTheFileFromArtistAndTitle) {
    ASSERT_TRUE(open("track01.mp3", audio() + record("old", "old")));
    ed.set_text(IDC_TITLE, "空手バカ☆一代");
    ed.set_text(IDC_ARTIST, "地獄車");
    ed.command(IDC_RENAME);
    HWND q = rename_dialog(ed, "確認");
    ASSERT_TRUE(q);
    look(q, "rename");
    EXPECT_EQ(dialog_text(q, IDC_OLD_NAME), "track01.mp3");
    EXPECT_EQ(dialog_text(q, IDC_NEW_NAME), "(地獄車)空手バカ☆一代.mp3");
    EditorRun::tick(q); // never ask again
    EditorRun::answer(q, IDC_ANSWER_YES);
    std::string renamed = folder.file("(地獄車)空手バカ☆一代.mp3");
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "(地獄車)空手バカ☆一代.mp3"));
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(read_file(renamed), audio() + record("空手バカ☆一代", "地獄車")); // applied first

    // From now on without the dialog (the box was ticked). A name that differs from the
    // file's only in letter case is no new name: the file keeps its own.
    ed.set_text(IDC_TITLE, "Song");
    ed.set_text(IDC_ARTIST, "Band");
    ed.command(IDC_RENAME);
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "(Band)Song.mp3"));
    ed.set_text(IDC_TITLE, "SONG");
    ed.set_text(IDC_ARTIST, "band");
    ed.command(IDC_RENAME);
    Sleep(500);
    ed.set_text(IDC_TITLE, "A/B"); // a message after the command has run
    EXPECT_EQ(ed.text(IDC_FILE_BOX), "(Band)Song.mp3");
    WIN32_FIND_DATAW found{};
    HANDLE h = FindFirstFileW(wide(folder.file("(band)song.mp3")).c_str(), &found);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FindClose(h);
    EXPECT_EQ(cp932(found.cFileName), "(Band)Song.mp3");
    ed.set_text(IDC_ARTIST, "地獄車");

    // A slash makes the plain name a path that fails; the full-width one is offered instead,
    // and the record keeps the plain slash.
    ed.command(IDC_RENAME);
    q = rename_dialog(ed, "*** ﾀｸﾞ中にﾌｧｲﾙ名には使用できない文字が含まれています ***");
    ASSERT_TRUE(q);
    look(q, "replace-chars");
    EXPECT_EQ(dialog_text(q, IDC_OLD_NAME), "(地獄車)A/B.mp3");
    EXPECT_EQ(dialog_text(q, IDC_NEW_NAME), "(地獄車)A／B.mp3");
    EditorRun::answer(q, IDC_ANSWER_YES);
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "(地獄車)A／B.mp3"));
    EXPECT_EQ(read_file(folder.file("(地獄車)A／B.mp3")), audio() + record("A/B", "地獄車"));

    // A comma renames as it stands unless the plain name fails: here a file of that name
    // exists, the replacement is refused, and the failure notice names the old file.
    write_file(folder.file("(地獄車)x,y.mp3"), "someone else's");
    ed.set_text(IDC_TITLE, "x,y");
    ed.command(IDC_RENAME);
    q = rename_dialog(ed, "*** ﾀｸﾞ中にﾌｧｲﾙ名には使用できない文字が含まれています ***");
    ASSERT_TRUE(q);
    EXPECT_EQ(dialog_text(q, IDC_NEW_NAME), "(地獄車)x，y.mp3");
    EditorRun::answer(q, IDC_ANSWER_NO);
    HWND m = ed.menu();
    ASSERT_TRUE(m);
    std::vector<std::string> items = menu_items(ed.thread());
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[0], "［エラー］");
    EXPECT_EQ(items[2], folder.file("(地獄車)A／B.mp3"));
    EXPECT_EQ(items[4], "のﾘﾈｰﾑに失敗したっす");
    close_menu(m);
    EXPECT_EQ(read_file(folder.file("(地獄車)x,y.mp3")), "someone else's");
    EXPECT_EQ(ed.text(IDC_FILE_BOX), "(地獄車)A／B.mp3");

    // The rename waits while another of our writers holds the file (as tagzo-cli set does
    // through its write), and moves it once that writer is done. The tag was applied above,
    // so the command only renames; the window thread waits meanwhile, so only the files are
    // looked at.
    ASSERT_TRUE(DeleteFileW(wide(folder.file("(地獄車)x,y.mp3")).c_str()));
    {
        platform::WriteLock other_writer;
        other_writer.hold(platform::cp932_to_utf8(folder.file("(地獄車)A／B.mp3")));
        ASSERT_TRUE(other_writer.held());
        ed.command(IDC_RENAME);
        Sleep(1000);
        EXPECT_TRUE(exists(folder.file("(地獄車)A／B.mp3")));
        EXPECT_FALSE(exists(folder.file("(地獄車)x,y.mp3")));
    }
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "(地獄車)x,y.mp3"));
    EXPECT_FALSE(exists(folder.file("(地獄車)A／B.mp3")));
    EXPECT_EQ(read_file(folder.file("(地獄車)x,y.mp3")), audio() + record("x,y", "地獄車"));
    EXPECT_TRUE(ed.close());
    EXPECT_EQ(int_at(read_file(folder.file("kt.dat")), 8012), 1); // the ticked box
}

TEST_F(Editor, RenameAfterUpdateMakesOkRenameAndCloseOnlyWithQuitAfterApply) {
    first_start();                 // writes the settings file
    set_setting(folder, 4, 1);     // rename after each update
    set_setting(folder, 8012, 1);  // without asking
    set_setting(folder, 45960, 1); // "artist-title.mp3"
    ASSERT_TRUE(open("t.mp3", audio() + record("t")));
    ed.set_text(IDC_TITLE, "Song");
    ed.set_text(IDC_ARTIST, "Band");
    ed.command(IDC_OK); // OK renames, but stays open without quit-after-apply
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "Band-Song.mp3"));
    Sleep(300);
    EXPECT_TRUE(ed.running());
    EXPECT_TRUE(ed.close());
    set_setting(folder, 45956, 1); // quit after apply
    ASSERT_TRUE(start("/e " + folder.file("Band-Song.mp3")));
    ed.set_text(IDC_TITLE, "Other");
    ed.press(IDC_APPLY);
    EXPECT_TRUE(ed.wait_exit());
    EXPECT_EQ(read_file(folder.file("Band-Other.mp3")), audio() + record("Other", "Band"));
    // Quitting after an apply waits for a rename that happens: with the same name, or a name
    // another file has, the window stays open.
    write_file(folder.file("Band-Taken.mp3"), "someone else's");
    ASSERT_TRUE(start("/e " + folder.file("Band-Other.mp3")));
    ed.command(IDC_RENAME);
    Sleep(800);
    EXPECT_TRUE(ed.running());
    ed.set_text(IDC_TITLE, "Taken");
    ed.command(IDC_RENAME);
    HWND m = ed.menu();
    ASSERT_TRUE(m);
    close_menu(m);
    Sleep(500);
    EXPECT_TRUE(ed.running());
    EXPECT_EQ(read_file(folder.file("Band-Taken.mp3")), "someone else's");
    EXPECT_TRUE(ed.close());
    // A rename refused at its question keeps the window open too.
    set_setting(folder, 8012, 0);
    ASSERT_TRUE(start("/e " + folder.file("Band-Other.mp3")));
    ed.set_text(IDC_TITLE, "Refused");
    ed.command(IDC_RENAME);
    HWND q = rename_dialog(ed, "確認");
    ASSERT_TRUE(q);
    EditorRun::answer(q, IDC_ANSWER_NO);
    Sleep(800);
    EXPECT_TRUE(ed.running());
    EXPECT_TRUE(exists(folder.file("Band-Other.mp3")));
    EXPECT_TRUE(ed.close());
}

// The shell's folder chooser of a process: the dialog that holds a tree of folders.
static HWND wait_chooser(DWORD pid) {
    driver::WindowQuery q;
    q.pid = pid;
    q.child_class = L"SysTreeView32";
    return driver::wait_window(q, 15000);
}

TEST_F(Editor, RenameStaysInTheFilesFolderAfterTheStartFolderIsChosen) {
    first_start();
    // The file's folder ends in 表, whose second byte is a backslash (0x95 0x5C).
    const std::string own = folder.file("曲表");
    CreateDirectoryW(wide(own).c_str(), nullptr);
    set_setting(folder, 8012, 1);  // never ask before a rename
    set_setting(folder, 45940, 1); // nor before replacing characters: no dialog at all
    // The start folder, where the chooser opens. (Wine's chooser finds no folder whose path
    // holds a blank, like the test folder's; one on C:\ it does.)
    const std::string start_folder = "C:\\tagzo-start-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryW(wide(start_folder).c_str(), nullptr);
    set_text_setting(folder, 37740, start_folder);
    ASSERT_TRUE(open("曲表\\a.mp3", audio() + record("old", "old")));

    // The chooser opens at the start folder; the folder taken there becomes the current folder
    // at once.
    ed.command(IDC_OPTIONS);
    HWND o = ed.dialog("ｵﾌﾟ");
    ASSERT_TRUE(o);
    PostMessageW(GetDlgItem(o, IDC_OPT_CHOOSE_START), BM_CLICK, 0, 0);
    HWND chooser = wait_chooser(ed.pid());
    ASSERT_TRUE(chooser);
    PostMessageW(chooser, WM_COMMAND, IDOK, 0);
    for (int w = 0; w < 5000 && IsWindow(chooser); w += 50) Sleep(50);
    const std::string chosen = dialog_text(o, IDC_OPT_START_FOLDER);
    EXPECT_EQ(chosen, start_folder);
    PostMessageW(o, WM_COMMAND, IDCANCEL, 0);
    for (int w = 0; w < 5000 && IsWindow(o); w += 50) Sleep(50);

    // F12 names the file in its own folder, also when a character must be replaced. The file
    // box shows the path as seen from the current folder.
    auto wait_exists = [](const std::string& f) {
        for (int w = 0; w < 10000 && !exists(f); w += 50) Sleep(50);
        return exists(f);
    };
    ed.set_text(IDC_TITLE, "Song");
    ed.set_text(IDC_ARTIST, "Band");
    ed.command(IDC_RENAME);
    ASSERT_TRUE(wait_exists(own + "\\(Band)Song.mp3"));
    const std::string box = ed.text(IDC_FILE_BOX), tail = "曲表\\(Band)Song.mp3";
    EXPECT_EQ(box.substr(box.size() - std::min(box.size(), tail.size())), tail) << box;
    EXPECT_EQ(read_file(own + "\\(Band)Song.mp3"), audio() + record("Song", "Band"));
    ed.set_text(IDC_TITLE, "A/B");
    ed.command(IDC_RENAME);
    EXPECT_TRUE(wait_exists(own + "\\(Band)A／B.mp3"));
    EXPECT_FALSE(exists(own + "\\(Band)Song.mp3"));
    EXPECT_TRUE(ed.close());
    for (const char* name : {"\\(Band)Song.mp3", "\\(Band)A／B.mp3"}) {
        EXPECT_FALSE(exists(chosen + name)) << chosen;
        DeleteFileW(wide(chosen + name).c_str());
    }
    DeleteFileW(wide(own + "\\(Band)A／B.mp3").c_str());
    RemoveDirectoryW(wide(own).c_str());
    RemoveDirectoryW(wide(start_folder).c_str());
}

#include "tests/win32/editor/editor_driver.h"

TEST_F(Editor, FirstStartWritesTheSettingsFile) {
    ASSERT_TRUE(start(""));
    EXPECT_EQ(cp932(window_text(ed.main())), "kessa 0.29");
    look(ed.main(), "main");
    // The fields and buttons have glyphs for their Japanese texts, also on a system without the
    // fonts the templates name (then another font with the glyphs takes their place).
    for (int id : {IDC_TITLE, IDC_CANCEL, IDC_APPLY}) {
        std::wstring text = id == IDC_TITLE ? wide("曲名ｱｰﾃｨｽﾄｱﾙﾊﾞﾑ年代ｺﾒﾝﾄの音") : window_text(GetDlgItem(ed.main(), id));
        std::string seen = missing_glyphs(ed.thread(), GetDlgItem(ed.main(), id), text);
        EXPECT_EQ(seen.substr(0, seen.find('\t')), "0") << id << ": " << seen;
    }
    // What a screen reader reads: each field is named by the caption painted beside it (a combo
    // box's edit field as well), each button by its text.
    const std::pair<int, const char*> names[] = {
        {IDC_TITLE, "曲名"}, {IDC_ARTIST, "ｱｰﾃｨｽﾄ"}, {IDC_ALBUM, "ｱﾙﾊﾞﾑ"}, {IDC_YEAR, "年代"}, {IDC_COMMENT, "ｺﾒﾝﾄ"},
        {IDC_UNDO, "undo"},  {IDC_OK, "OK"},         {IDC_CANCEL, "ｷｬﾝｾﾙ"},  {IDC_APPLY, "ﾀｸﾞ適用"},
        {IDC_FUNCTION, "Function"}, {IDC_FILE_MENU, "File"}};
    for (const auto& [id, name] : names) {
        HWND control = GetDlgItem(ed.main(), id);
        EXPECT_EQ(accessible_name(control), name) << id;
        if (id == IDC_ARTIST || id == IDC_ALBUM || id == IDC_YEAR || id == IDC_COMMENT) {
            EXPECT_EQ(accessible_name(GetWindow(control, GW_CHILD)), name) << id;
        }
    }
    // The Tab key reaches every field and button, row by row as they are read, from the title
    // (the apply button while it is on; it is off before an edit).
    std::vector<int> tab_order;
    HWND at = GetDlgItem(ed.main(), IDC_TITLE);
    for (int i = 0; i < 30 && at && (tab_order.empty() || at != GetDlgItem(ed.main(), IDC_TITLE)); ++i) {
        tab_order.push_back(GetDlgCtrlID(at));
        at = GetNextDlgTabItem(ed.main(), at, FALSE);
    }
    EXPECT_EQ(tab_order, (std::vector<int>{IDC_TITLE, IDC_MODE, IDC_ARTIST, IDC_CARRY_OVER, IDC_ALBUM, IDC_YEAR,
                                           IDC_PLAY, IDC_PAUSE, IDC_STOP, IDC_COMMENT, IDC_UNDO, IDC_OK, IDC_CANCEL,
                                           IDC_FUNCTION, IDC_FILE_MENU, IDC_CLOSE_X, IDC_AUTO_PLAY}));
    // The drop-down lists open tall enough to choose from: the year box 50 x 200 (wider where its
    // font needs more for four digits whole), the history boxes 100 high.
    for (auto [id, width, height] :
         {std::tuple{IDC_YEAR, 50L, 200L}, std::tuple{IDC_ARTIST, 0L, 100L}, std::tuple{IDC_COMMENT, 0L, 100L}}) {
        RECT r{}, closed{};
        HWND box = GetDlgItem(ed.main(), id);
        SendMessageW(box, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&r));
        GetWindowRect(box, &closed);
        if (width) {
            EXPECT_GE(r.right - r.left, at_scale(width)) << id;
            EXPECT_LE(r.right - r.left, at_scale(width + 12)) << id;
        }
        // Windows counts the edit part in, Wine only the list below it.
        EXPECT_GE(r.bottom - r.top, at_scale(height) - (closed.bottom - closed.top)) << id;
        EXPECT_LE(r.bottom - r.top, at_scale(height)) << id;
    }
    // The fields' limits: 255 bytes while long texts are allowed; 30, and 4 for the year, when
    // the settings turn them off.
    auto limits = [](HWND main) {
        std::vector<LRESULT> out;
        out.push_back(SendMessageW(GetDlgItem(main, IDC_TITLE), EM_GETLIMITTEXT, 0, 0));
        for (int id : {IDC_ARTIST, IDC_ALBUM, IDC_YEAR, IDC_COMMENT})
            out.push_back(SendMessageW(GetWindow(GetDlgItem(main, id), GW_CHILD), EM_GETLIMITTEXT, 0, 0));
        return out;
    };
    EXPECT_EQ(limits(ed.main()), (std::vector<LRESULT>{255, 255, 255, 255, 255}));
    ASSERT_TRUE(ed.close());
    std::string kt = read_file(folder.file("kt.dat"));
    ASSERT_EQ(kt.size(), 45964u);
    EXPECT_EQ(std::string(kt.c_str() + 16208), "kessa");
    EXPECT_EQ(int_at(kt, 45948), 1);
    set_setting(folder, 45948, 0);
    ASSERT_TRUE(start(""));
    EXPECT_EQ(limits(ed.main()), (std::vector<LRESULT>{30, 30, 30, 4, 30}));
    EXPECT_TRUE(ed.close());
}

TEST_F(Editor, RunsWithAndWithoutTheDecoderLibrary) {
    // A folder of its own each time: without the library, then with it. The start file lies in
    // a folder below, beside a stand-in library of the decoder's name, and start-up makes that
    // folder current: the decoder is taken from the program's own folder or not at all.
    for (bool with : {false, true}) {
        Folder own(with);
        const std::string music = own.file("music\\");
        ASSERT_TRUE(CreateDirectoryW(wide(music).c_str(), nullptr));
        ASSERT_TRUE(
            CopyFileW(wide(program_folder() + "stand_in_vbmp3.dll").c_str(), wide(music + "vbmp3.dll").c_str(), FALSE));
        write_file(music + "s.mp3", audio() + record("song"));
        const std::string marker = music + "stand-in loaded";
        {
            EditorRun run(own, "/e " + music + "s.mp3");
            ASSERT_TRUE(run.main()) << with;
            EXPECT_EQ(run.text(IDC_TITLE), "song");
            // The volume slider shows the library's volume, or stays at 0 without it.
            LRESULT volume = SendMessageW(GetDlgItem(run.main(), IDC_VOLUME), TBM_GETPOS, 0, 0);
            EXPECT_EQ(volume > 0, with) << volume;
            // The status display tells whether the preview can play.
            EXPECT_TRUE(run.wait_text(IDC_STATUS, with ? "Stop" : "disable")) << run.text(IDC_STATUS);
            EXPECT_TRUE(run.close()) << with;
        }
        EXPECT_FALSE(exists(marker)) << with;
        for (const char* name : {"s.mp3", "vbmp3.dll", "stand-in loaded"}) DeleteFileW(wide(music + name).c_str());
        RemoveDirectoryW(wide(music).c_str());
    }
}

TEST_F(Editor, StartsWithSwitchAndPathWithBlanksQuotedOrNot) {
    path = folder.file("my song.mp3");
    write_file(path, audio() + record("Blank path", "Artist"));
    const std::string quoted = '"' + path + '"';
    for (const std::string& args : {std::string("/e ") + path, std::string("/e ") + quoted, quoted}) {
        ASSERT_TRUE(start(args)) << args;
        EXPECT_EQ(ed.text(IDC_TITLE), "Blank path") << args;
        EXPECT_EQ(ed.text(IDC_ARTIST), "Artist") << args;
        EXPECT_EQ(ed.text(IDC_FILE_BOX), "my song.mp3") << args;
        EXPECT_EQ(ed.text(IDC_MODE), "ID3");
        EXPECT_TRUE(ed.close());
    }
    // A name with no cp932 form: the file loads, its fields show its Japanese texts, and it
    // takes an apply of a title set through WM_SETTEXT. The texts hold characters whose second
    // byte is a backslash (表, ソ). (The name stays out of the test macros, which would make a
    // cp932 text of it.)
    const std::wstring korean_name = L"한국어.mp3", korean = folder.file(korean_name);
    write_file(korean, audio() + record("表示ソフト", "歌い手"));
    ASSERT_TRUE(start(L"/e \"" + korean + L"\""))
        << "no editor window; a notice open in its place: " << ::testing::PrintToString(menu_items(ed.thread()));
    EXPECT_EQ(ed.text(IDC_TITLE), "表示ソフト");
    EXPECT_EQ(ed.text(IDC_ARTIST), "歌い手");
    EXPECT_TRUE(ed.wide_text(IDC_FILE_BOX) == korean_name) << ed.text(IDC_FILE_BOX);
    ed.set_text(IDC_TITLE, "新しい表題");
    ed.press(IDC_APPLY);
    EXPECT_TRUE(ed.wait_applied());
    EXPECT_EQ(read_file(korean), audio() + record("新しい表題", "歌い手"));
    EXPECT_TRUE(ed.close());
    // No file of another name took the tag.
    for (const std::wstring& name : folder.names())
        EXPECT_TRUE(name == L"tagzo.exe" || name == L"kt.dat" || name == L"my song.mp3" || name == korean_name)
            << cp932(name);
}

TEST_F(Editor, LongTitleConvertedAfterYes) {
    // The record holds the first 30 bytes of the title typed: only the longer text is new, and
    // it is a change all the same.
    ASSERT_TRUE(open("a.mp3", audio() + record(std::string(30, 'T'))));
    std::string title(40, 'T');
    ed.set_text(IDC_TITLE, title);
    EXPECT_TRUE(ed.enabled(IDC_APPLY));
    ed.press(IDC_APPLY);
    HWND q = ed.dialog(k_convert_title);
    ASSERT_TRUE(q);
    look(q, "convert");
    EditorRun::answer(q, IDC_ANSWER_YES);
    ASSERT_TRUE(ed.wait_applied());
    EXPECT_EQ(ed.text(IDC_MODE), "RMP");
    std::string f = read_file(path);
    EXPECT_EQ(f.substr(8, 4), "RMP3");
    EXPECT_EQ(f.substr(f.size() - 128), record(std::string(30, 'T')));
    ASSERT_TRUE(ed.close());
    std::string kt = read_file(folder.file("kt.dat"));
    EXPECT_EQ(int_at(kt, 12), 1); // the history's first entry
    EXPECT_EQ(std::string(kt.c_str() + 16), std::string(30, 'T'));

    // A file with an ID3v2 tag and no record opens with the tag's texts, the mode saying so.
    // A long title goes whole into the tag, with no question and no RMP form; the record holds
    // its first 30 bytes; the picture and the TXXX stay byte for byte. (No question came: the
    // apply would not have ended.)
    using namespace std::string_literals;
    auto be32 = [](size_t n) {
        return std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                           static_cast<char>(n)};
    };
    auto frame = [&](const std::string& id, const std::string& body) { return id + be32(body.size()) + "\0\0"s + body; };
    auto utf16 = [](const std::wstring& w) {
        std::string out = "\x01\xFF\xFE";
        for (wchar_t c : w) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        return out;
    };
    const std::string picture = frame("APIC", "\0image/png\0\x03\0"s + std::string(500, '\x89'));
    const std::string txxx = frame("TXXX", "\0MOOD\0calm"s);
    const std::string frames = frame("TIT2", utf16(L"\x661F\x306B")) + frame("TPE1", utf16(L"Singer")) + picture + txxx;
    const std::string tag = "ID3\3\0\0"s + std::string{0, 0, 8, 0} + frames + std::string(1024 - frames.size(), '\0');
    ASSERT_TRUE(open("v2.mp3", tag + audio()));
    EXPECT_EQ(ed.text(IDC_TITLE), "星に");
    EXPECT_EQ(ed.text(IDC_ARTIST), "Singer");
    EXPECT_EQ(ed.text(IDC_MODE), "ID3+v2");
    EXPECT_EQ(accessible_name(GetDlgItem(ed.main(), IDC_MODE)), "ID3 ID3v2.3ﾀｸﾞあり");
    EXPECT_FALSE(ed.enabled(IDC_APPLY));
    EXPECT_EQ(read_file(path), tag + audio());
    const std::string long_title = "流れ星" + std::string(30, 'L');
    ed.set_text(IDC_TITLE, long_title);
    ed.press(IDC_APPLY);
    ASSERT_TRUE(ed.wait_applied());
    EXPECT_EQ(ed.text(IDC_MODE), "ID3+v2");
    f = read_file(path);
    ASSERT_EQ(f.size(), tag.size() + audio().size() + 128);
    EXPECT_EQ(f.substr(tag.size(), audio().size()), audio());
    EXPECT_EQ(f.substr(f.size() - 128), record(long_title.substr(0, 30), "Singer"));
    EXPECT_NE(f.find(frame("TIT2", utf16(wide(long_title)))), std::string::npos);
    for (const std::string& kept : {picture, txxx, frame("TPE1", utf16(L"Singer"))})
        EXPECT_NE(f.find(kept), std::string::npos);
    ASSERT_TRUE(ed.close());
    // Where the record says otherwise than the tag, the mode says that too.
    f.replace(f.size() - 128, 128, record("Other", "Singer"));
    ASSERT_TRUE(open("v2.mp3", f));
    EXPECT_EQ(ed.text(IDC_TITLE), "Other");
    EXPECT_EQ(ed.text(IDC_MODE), "ID3≠v2");
    EXPECT_EQ(accessible_name(GetDlgItem(ed.main(), IDC_MODE)), "ID3 ID3v2.3ﾀｸﾞあり、欄と違う文字があります");
    ASSERT_TRUE(ed.close());
    // A title with a character that code page 932 lacks shows as it is; an apply of another
    // field keeps its frame byte for byte.
    const std::string cafe = frame("TIT2", utf16(L"Caf\x00E9"));
    ASSERT_TRUE(open("cafe.mp3", "ID3\3\0\0"s + std::string{0, 0, 0, static_cast<char>(cafe.size())} + cafe + audio()));
    wchar_t shown[16] = {};
    GetDlgItemTextW(ed.main(), IDC_TITLE, shown, 16);
    EXPECT_EQ(std::wstring(shown), L"Caf\x00E9");
    EXPECT_FALSE(ed.enabled(IDC_APPLY));
    ed.set_text(IDC_ARTIST, "A");
    ed.press(IDC_APPLY);
    ASSERT_TRUE(ed.wait_applied());
    EXPECT_NE(read_file(path).find(cafe), std::string::npos);
    ASSERT_TRUE(ed.close());
}

TEST_F(Editor, AnRmpFileShowsItsLongTextsAndKeepsItsOtherSubChunksThroughAnApply) {
    auto le32 = [](size_t n) {
        std::string b(4, '\0');
        for (int i = 0; i < 4; ++i) b[static_cast<size_t>(i)] = static_cast<char>((n >> (8 * i)) & 0xFF);
        return b;
    };
    auto chunk = [&](const std::string& id, const std::string& data) {
        return id + le32(data.size()) + data + (data.size() % 2 ? std::string(1, '\0') : "");
    };
    std::string title;
    for (int i = 0; i < 5; ++i) title += "長い題名"; // 40 bytes
    std::string subs = chunk("INAM", title + '\0') + chunk("IART", std::string("Artist\0", 7)) +
                       chunk("ICOP", std::string("(c) me\0", 7)) + chunk("IENG", std::string("Engineer\0", 9)) +
                       chunk("ISFT", std::string("Soft\0", 5)) + chunk("IXYZ", std::string("kept\0", 5)) +
                       chunk("IID3", record(title.substr(0, 30), "Artist"));
    std::string body = "RMP3" + chunk("data", audio()) + "LIST" + le32(4 + subs.size()) + "INFO" + subs;

    ASSERT_TRUE(open("long.rmp.mp3", "RIFF" + le32(body.size()) + body));
    EXPECT_EQ(ed.text(IDC_MODE), "RMP");
    EXPECT_EQ(ed.text(IDC_TITLE), title);
    EXPECT_EQ(ed.text(IDC_ARTIST), "Artist");
    // Changes are told against the long texts, not against the record's.
    ed.set_text(IDC_TITLE, title.substr(0, 30));
    EXPECT_TRUE(ed.enabled(IDC_APPLY));
    ed.command(IDC_UNDO); // undo brings the long text back
    EXPECT_TRUE(ed.wait_text(IDC_TITLE, title));
    EXPECT_FALSE(ed.enabled(IDC_APPLY));
    // The mode label shows the other texts.
    ed.command(IDC_MODE);
    HWND m = ed.menu();
    ASSERT_TRUE(m);
    std::vector<std::string> items = menu_items(ed.thread());
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0], "RMPその他の項目");
    EXPECT_EQ(items[2], "著作者 : (c) me ");
    EXPECT_EQ(items[3], "作成者 : Engineer ");
    EXPECT_EQ(items[4], "ｿﾌﾄｳｪｱ : Soft ");
    close_menu(m);
    // An apply rewrites the file in the RMP form and keeps the sub-chunk it does not know.
    ed.set_text(IDC_TITLE, title + "!");
    ed.press(IDC_APPLY);
    ASSERT_TRUE(ed.wait_applied());
    EXPECT_EQ(ed.text(IDC_MODE), "RMP");
    std::string f = read_file(path);
    EXPECT_EQ(f.substr(0, 4), "RIFF");
    EXPECT_EQ(f.substr(8, 4), "RMP3");
    EXPECT_NE(f.find(chunk("IXYZ", std::string("kept\0", 5))), std::string::npos);
    EXPECT_NE(f.find(title + "!"), std::string::npos);
    EXPECT_NE(f.find(audio()), std::string::npos);
    EXPECT_EQ(f.substr(f.size() - 128), record(title.substr(0, 30), "Artist"));
    EXPECT_TRUE(ed.close());
    // Read-only, the file is edited by its record. A longer title applied with consent
    // rewrites it in the RMP form, and the mode label then shows the texts it kept.
    SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(start("/e " + path));
    EXPECT_EQ(ed.text(IDC_MODE), "ID3");
    ed.set_text(IDC_TITLE, title + "!!");
    ed.press(IDC_APPLY);
    HWND q = ed.dialog(k_read_only_title);
    ASSERT_TRUE(q);
    EditorRun::answer(q, IDC_ANSWER_YES);
    ASSERT_TRUE(ed.wait_applied());
    EXPECT_EQ(ed.text(IDC_MODE), "RMP");
    ed.command(IDC_MODE);
    m = ed.menu();
    ASSERT_TRUE(m);
    items = menu_items(ed.thread());
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[2], "著作者 : (c) me ");
    EXPECT_EQ(items[4], "ｿﾌﾄｳｪｱ : Soft ");
    close_menu(m);
    EXPECT_NE(read_file(path).find(title + "!!"), std::string::npos);
    EXPECT_TRUE(ed.close());
}

TEST_F(Editor, NoKeepsId3AndTheBoxFlipsTheSettingAnyway) {
    ASSERT_TRUE(open("b.mp3", audio() + record("old")));
    ed.set_text(IDC_TITLE, std::string(40, 'N'));
    ed.press(IDC_APPLY);
    HWND q = ed.dialog(k_convert_title);
    ASSERT_TRUE(q);
    EditorRun::tick(q);
    EditorRun::answer(q, IDC_ANSWER_NO);
    ASSERT_TRUE(ed.wait_applied());
    EXPECT_EQ(read_file(path), audio() + record(std::string(30, 'N')));
    EXPECT_EQ(ed.text(IDC_MODE), "ID3");
    ASSERT_TRUE(ed.close());
    EXPECT_EQ(int_at(read_file(folder.file("kt.dat")), 45952), 1);
}

TEST_F(Editor, ReadOnlyFileUntouchedAfterNoWithANotice) {
    path = folder.file("ro.mp3");
    // A record with a title and a genre alone: the start file keeps its genre (13) through the
    // apply, nothing is carried over into it.
    std::string content = audio() + record("locked", "", 13);
    write_file(path, content);
    SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(start("/e " + path));
    ed.set_text(IDC_TITLE, "changed");
    ed.press(IDC_APPLY);
    HWND q = ed.dialog(k_read_only_title);
    ASSERT_TRUE(q);
    look(q, "read-only");
    EditorRun::answer(q, IDC_ANSWER_NO);
    HWND m = ed.menu();
    ASSERT_TRUE(m);
    std::vector<std::string> items = menu_items(ed.thread());
    ASSERT_GE(items.size(), 3u);
    EXPECT_EQ(items[0], "<error>");
    EXPECT_EQ(items[2], "処理をｷｬﾝｾﾙしました");
    close_menu(m);
    EXPECT_EQ(read_file(path), content);
    EXPECT_TRUE(GetFileAttributesW(wide(path).c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(ed.enabled(IDC_APPLY)); // still modified
    // Now "はい": the attribute goes and the tag is written.
    ed.press(IDC_APPLY);
    q = ed.dialog(k_read_only_title);
    ASSERT_TRUE(q);
    EditorRun::answer(q, IDC_ANSWER_YES);
    ASSERT_TRUE(ed.wait_applied());
    EXPECT_FALSE(GetFileAttributesW(wide(path).c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(read_file(path), audio() + record("changed", "", 13));
    EXPECT_TRUE(ed.close());
}

TEST_F(Editor, UndoAndTheSameTagTwiceSavesNothing) {
    // An artist that is no cp932 text and a comment with a duplicate code of the NEC rows: the
    // fields cannot hold these bytes, yet they are no change, and an apply of the title writes
    // them as they were.
    std::string odd = record("first", "Beyonc\xE9");
    odd.replace(97, 2, "\x87\x90");
    ASSERT_TRUE(open("u.mp3", audio() + odd));
    SendMessageW(ed.main(), WM_NULL, 0, 0); // change detection runs before every message
    EXPECT_FALSE(ed.enabled(IDC_APPLY));
    ed.set_text(IDC_TITLE, "typed");
    EXPECT_TRUE(ed.enabled(IDC_APPLY));
    ed.command(IDC_UNDO);
    for (int w = 0; w < 5000 && ed.text(IDC_TITLE) != "first"; w += 50) Sleep(50);
    EXPECT_EQ(ed.text(IDC_TITLE), "first");
    EXPECT_FALSE(ed.enabled(IDC_APPLY));

    ed.set_text(IDC_TITLE, "second");
    ed.press(IDC_APPLY);
    ASSERT_TRUE(ed.wait_applied());
    EXPECT_EQ(read_file(path).substr(audio().size()), std::string(odd).replace(3, 30, record("second").substr(3, 30)));
    ASSERT_TRUE(exists(folder.file("kt.dat"))); // the history changed: saved
    DeleteFileW(wide(folder.file("kt.dat")).c_str());
    ed.set_text(IDC_TITLE, "SECOND"); // letter case only: no change
    EXPECT_FALSE(ed.enabled(IDC_APPLY));
    ed.command(IDC_OK); // OK: apply and close; the same tag leaves the history alone
    ASSERT_TRUE(ed.wait_exit());
    std::string kt = read_file(folder.file("kt.dat")); // written by the close only
    ASSERT_EQ(kt.size(), 45964u);
    EXPECT_EQ(std::string(kt.c_str() + 16), "second");
    EXPECT_EQ(std::string(kt.c_str() + 50), "Beyonc\xE9");
    EXPECT_EQ(int_at(kt, 12 + 160), 0);
}

TEST_F(Editor, CloseWithUnappliedEditsAnsweredNoKeepsTheWindow) {
    ASSERT_TRUE(open("c.mp3", audio() + record("keep")));
    ed.set_text(IDC_TITLE, "unsaved");
    ed.command(IDC_CLOSE_X);
    HWND q = ed.dialog("確認");
    ASSERT_TRUE(q);
    look(q, "close-question");
    PostMessageW(q, WM_COMMAND, IDNO, 0);
    Sleep(500);
    EXPECT_TRUE(ed.running());
    EXPECT_EQ(ed.text(IDC_TITLE), "unsaved");
    ed.command(IDC_CLOSE_X);
    q = ed.dialog("確認");
    ASSERT_TRUE(q);
    PostMessageW(q, WM_COMMAND, IDYES, 0);
    EXPECT_TRUE(ed.wait_exit());
    EXPECT_EQ(read_file(path), audio() + record("keep"));
}

TEST_F(Editor, NoMp3GivesTheNoticeAndAnEmptyEditor) {
    write_file(folder.file("notes.txt"), "just some words");
    ed.start(folder, "/e " + folder.file("notes.txt")); // the notice comes before the window
    HWND m = ed.menu();
    ASSERT_TRUE(m);
    std::vector<std::string> items = menu_items(ed.thread());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0], "たぶんmp3ﾌｧｲﾙじゃねぇっす");
    close_menu(m);
    ASSERT_TRUE(ed.main());
    EXPECT_EQ(ed.text(IDC_TITLE), "");
    EXPECT_EQ(ed.text(IDC_FILE_BOX), ""); // the file that did not load is not named as the editor's
    // Undo with no file loaded leaves the empty fields as they are.
    ed.set_text(IDC_TITLE, "typed");
    ed.command(IDC_UNDO);
    EXPECT_TRUE(ed.wait_text(IDC_TITLE, ""));
    // The year list: 50 years and a "----" after every fifth, which can be chosen like a year.
    HWND year = GetDlgItem(ed.main(), IDC_YEAR);
    EXPECT_EQ(SendMessageW(year, CB_GETCOUNT, 0, 0), 60);
    LRESULT dashes = SendMessageW(year, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"----"));
    ASSERT_GE(dashes, 1);
    // Read in UTF-16: Wine hands a list item of another process to an ANSI buffer cut short.
    wchar_t before_dashes[16] = {};
    SendMessageW(year, CB_GETLBTEXT, static_cast<WPARAM>(dashes - 1), reinterpret_cast<LPARAM>(before_dashes));
    EXPECT_EQ(_wtoi(before_dashes) % 5, 0) << _wtoi(before_dashes);
    SendMessageW(year, CB_SETCURSEL, static_cast<WPARAM>(dashes), 0);
    SendMessageW(ed.main(), WM_COMMAND, MAKEWPARAM(IDC_YEAR, CBN_SELCHANGE), reinterpret_cast<LPARAM>(year));
    EXPECT_EQ(ed.text(IDC_YEAR), "----");
    EXPECT_TRUE(ed.close());
}

TEST_F(Editor, CarryOverSwitchAndUndoEndsIt) {
    ASSERT_TRUE(open("1.mp3", audio() + record("one", "Carried artist")));
    // The editor switches the four fields one after another: wait for the last of them.
    auto wait_carried_fields = [&](bool enabled) {
        for (int w = 0; w < 5000 && ed.enabled(IDC_COMMENT) != enabled; w += 50) Sleep(50);
    };
    ed.command(IDC_CARRY_OVER);
    wait_carried_fields(false);
    for (int id : {IDC_ARTIST, IDC_ALBUM, IDC_YEAR, IDC_COMMENT}) EXPECT_FALSE(ed.enabled(id)) << id;
    EXPECT_TRUE(ed.enabled(IDC_TITLE));
    ed.command(IDC_UNDO); // undo ends carry-over mode
    wait_carried_fields(true);
    for (int id : {IDC_ARTIST, IDC_ALBUM, IDC_YEAR, IDC_COMMENT}) EXPECT_TRUE(ed.enabled(id)) << id;
    ASSERT_TRUE(ed.close());
}

TEST_F(Editor, WindowMovesByItsSurfaceAndSticksToTheLeftEdge) {
    // The editor opens by the cursor, its corner 300 by 143 pixels of 96 DPI up and left of it:
    // here 100 pixels from the screen's left and top edges, with room to move right at any scale.
    SetCursorPos(static_cast<int>(at_scale(300)) + 100, static_cast<int>(at_scale(143)) + 100);
    ASSERT_TRUE(start(""));
    RECT opened = ed.rect();
    ASSERT_GT(opened.left, 50);
    auto captured = [&](bool want) {
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        for (int w = 0; w < 5000; w += 50) {
            if (GetGUIThreadInfo(ed.thread(), &gui) && (gui.hwndCapture == ed.main()) == want) return true;
            Sleep(50);
        }
        return false;
    };
    auto wait_left = [&](long want) {
        for (int w = 0; w < 5000 && ed.rect().left != want; w += 50) Sleep(50);
        return ed.rect().left;
    };
    ASSERT_TRUE(ed.put_cursor(opened.left + 5, opened.top + 5));
    PostMessageW(ed.main(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    ASSERT_TRUE(captured(true));
    Sleep(100); // moves within 50 ms of the press do not count
    ASSERT_TRUE(ed.put_cursor(opened.left + 45, opened.top + 35));
    PostMessageW(ed.main(), WM_MOUSEMOVE, MK_LBUTTON, 0);
    EXPECT_EQ(wait_left(opened.left + 40), opened.left + 40);
    EXPECT_EQ(ed.rect().top, opened.top + 30);
    // Three pixels from the screen's left edge: it sticks to the edge.
    ASSERT_TRUE(ed.put_cursor(8, opened.top + 35));
    PostMessageW(ed.main(), WM_MOUSEMOVE, MK_LBUTTON, 0);
    EXPECT_EQ(wait_left(0), 0);
    PostMessageW(ed.main(), WM_LBUTTONUP, 0, 0);
    ASSERT_TRUE(captured(false));
    // Released: the mouse moves alone (sent, so the editor has taken it when the call returns).
    ASSERT_TRUE(ed.put_cursor(300, 300));
    SendMessageW(ed.main(), WM_MOUSEMOVE, 0, 0);
    EXPECT_EQ(ed.rect().left, 0);
    EXPECT_EQ(ed.rect().right - ed.rect().left, opened.right - opened.left);
    EXPECT_TRUE(ed.close());

    // A fixed position opens the window where it was saved; beyond the screen's right edge it
    // is pulled back to the edge, above the top edge down to 0.
    const long width = opened.right - opened.left;
    set_setting(folder, 33628, 1);
    for (auto [left, top, want_left, want_top] :
         {std::tuple{100L, 120L, 100L, 120L}, std::tuple{5000L, -50L, GetSystemMetrics(SM_CXFULLSCREEN) - width, 0L}}) {
        set_setting(folder, 33632, static_cast<int32_t>(left));
        set_setting(folder, 33636, static_cast<int32_t>(top));
        ASSERT_TRUE(start(""));
        EXPECT_EQ(ed.rect().left, want_left) << left;
        EXPECT_EQ(ed.rect().top, want_top) << top;
        EXPECT_TRUE(ed.close());
    }
}

// Where the window's client area (0) and its controls lie, in client coordinates; as text a
// line each: "ID LEFT TOP RIGHT BOTTOM".
static std::map<int, RECT> layout_of(HWND main) {
    std::map<int, RECT> out;
    GetClientRect(main, &out[0]);
    for (int id : {IDC_TITLE, IDC_ARTIST, IDC_ALBUM, IDC_YEAR, IDC_COMMENT, IDC_UNDO, IDC_PLAY, IDC_STOP, IDC_VOLUME,
                   IDC_POSITION, IDC_PAUSE, IDC_STATUS, IDC_APPLY, IDC_FILE_BOX, IDC_CLOSE_X, IDC_FILE_MENU,
                   IDC_FUNCTION, IDC_CARRY_OVER, IDC_MODE, IDC_OK, IDC_CANCEL, IDC_AUTO_PLAY}) {
        RECT& r = out[id];
        GetWindowRect(GetDlgItem(main, id), &r);
        MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
    }
    return out;
}
static std::string layout_text(const std::map<int, RECT>& layout) {
    std::string out;
    for (const auto& [id, r] : layout)
        out += std::to_string(id) + " " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
               std::to_string(r.right) + " " + std::to_string(r.bottom) + "\n";
    return out;
}
static std::map<int, RECT> layout_from(const std::string& text) {
    std::map<int, RECT> out;
    std::istringstream in(text);
    int id;
    RECT r;
    while (in >> id >> r.left >> r.top >> r.right >> r.bottom) out[id] = r;
    return out;
}
// Each edge of `seen` at `dpi` within a pixel of that of `base` at `base_dpi`, scaled. A
// drop-down list's closed height comes from its font, not from the layout: its bottom is left
// out.
static void expect_scaled(const std::map<int, RECT>& seen, int dpi, const std::map<int, RECT>& base, int base_dpi,
                   const char* what) {
    ASSERT_EQ(seen.size(), base.size()) << what;
    for (const auto& [id, b] : base) {
        const RECT& r = seen.at(id);
        const bool combo = id == IDC_ARTIST || id == IDC_ALBUM || id == IDC_YEAR || id == IDC_COMMENT;
        const long want[4] = {MulDiv(b.left, dpi, base_dpi), MulDiv(b.top, dpi, base_dpi),
                              MulDiv(b.right, dpi, base_dpi), MulDiv(b.bottom, dpi, base_dpi)};
        const long got[4] = {r.left, r.top, r.right, r.bottom};
        // A base at another scale than 96 DPI carries its own rounding, multiplied.
        const long slack = base_dpi == 96 ? 1 : 1 + dpi / base_dpi;
        // The year box's width follows its font (four digits whole), at least 50 pixels of 96 DPI.
        for (int i = 0; i < (id == IDC_YEAR ? 2 : combo ? 3 : 4); ++i)
            EXPECT_NEAR(got[i], want[i], slack) << what << ": control " << id << " edge " << i;
        if (id == IDC_YEAR) {
            EXPECT_GE(r.right - r.left, MulDiv(50, dpi, 96) - 1) << what;
        }
    }
}
// Tells the editor that its screen's scale changed (as Windows does when the window moves to
// another screen), through the probe.
static bool change_dpi(DWORD thread, HWND main, int dpi) {
    write_file(temp_folder() + "tagzo-dpi.txt", std::to_string(dpi) + "\n");
    return ask_probe(thread, L"tagzo-dpi-probe", reinterpret_cast<WPARAM>(main), "tagzo-dpi-probe.txt").has_value();
}
// A press and release of the left button on a point of the screen, through the system's input.
static void mouse_click(EditorRun& ed, POINT at) {
    ASSERT_TRUE(ed.put_cursor(at.x, at.y));
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    Sleep(50);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    Sleep(200);
}

// The window at the screen's scale (TAGZO_WINE_DPI, which the runner's prefix has): the client
// area and every control where the 96-DPI layout puts them, times the scale. A run at 96 DPI
// keeps its layout in TAGZO_LAYOUT_DIR for the runs at other scales to compare with. A change
// of scale while the window is open lays it out again, and back at the first scale it is as
// it was.
TEST_F(Editor, ScreenScaleLaysOutTheWindowAndItsControls) {
    const int dpi = screen_dpi();
    const std::string keep = environment(L"TAGZO_LAYOUT_DIR");
    ASSERT_TRUE(open("a.mp3", audio() + record("one", "Artist A")));
    // Compared with the 96-DPI run's layout where there is one, else with its own.
    const std::map<int, RECT> seen = layout_of(ed.main());
    std::map<int, RECT> base = seen;
    int base_dpi = dpi;
    if (!keep.empty() && dpi == 96) write_file(keep + "\\layout-96.txt", layout_text(seen));
    if (!keep.empty() && dpi != 96) {
        ASSERT_TRUE(exists(keep + "\\layout-96.txt")) << "the run at 96 DPI keeps its layout there first";
        base = layout_from(read_file(keep + "\\layout-96.txt"));
        base_dpi = 96;
        expect_scaled(seen, dpi, base, base_dpi, "at the screen's scale");
    }
    // A click at the scaled place of the carry-over switch lands on it: the artist's field
    // turns off, and on again with the next click.
    const RECT sw = base.at(IDC_CARRY_OVER);
    POINT at{MulDiv((sw.left + sw.right) / 2, dpi, base_dpi), MulDiv((sw.top + sw.bottom) / 2, dpi, base_dpi)};
    ClientToScreen(ed.main(), &at);
    mouse_click(ed, at);
    EXPECT_TRUE(ed.wait_enabled(IDC_ARTIST, false));
    mouse_click(ed, at);
    EXPECT_TRUE(ed.wait_enabled(IDC_ARTIST, true));
    // Moved to a screen of twice the scale, and back.
    ASSERT_TRUE(change_dpi(ed.thread(), ed.main(), dpi * 2));
    expect_scaled(layout_of(ed.main()), dpi * 2, base, base_dpi, "after a change to twice the scale");
    const RECT drop_list = [&] {
        RECT r{};
        SendMessageW(GetDlgItem(ed.main(), IDC_YEAR), CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&r));
        return r;
    }();
    EXPECT_NEAR(drop_list.right - drop_list.left, MulDiv(50, dpi * 2, 96), 1);
    ASSERT_TRUE(change_dpi(ed.thread(), ed.main(), dpi));
    EXPECT_EQ(layout_text(layout_of(ed.main())), layout_text(seen));
    EXPECT_EQ(ed.text(IDC_TITLE), "one");
    EXPECT_TRUE(ed.close());
}

TEST_F(Editor, DropLoadsTheFirstFileAndCarriesOverWithAndWithoutRecords) {
    write_file(folder.file("b.mp3"), audio() + record("two", "Artist B"));
    write_file(folder.file("c.mp3"), audio());                  // no record
    write_file(folder.file("d.mp3"), audio() + record("four")); // a record with blank artist
    ASSERT_TRUE(open("a.mp3", audio() + record("one", "Artist A")));
    POINT spot{20, 200};

    // Two files dropped: the first is loaded, the second ignored.
    drop_files(ed.thread(), ed.main(), spot, {folder.file("b.mp3"), folder.file("c.mp3")});
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "b.mp3"));
    EXPECT_EQ(ed.text(IDC_TITLE), "two");
    EXPECT_EQ(ed.text(IDC_ARTIST), "Artist B");

    // Unapplied edits: the drop asks first, and "いいえ" keeps them.
    ed.set_text(IDC_TITLE, "edited");
    drop_files(ed.thread(), ed.main(), spot, {folder.file("a.mp3")});
    HWND q = ed.dialog("確認");
    ASSERT_TRUE(q);
    PostMessageW(q, WM_COMMAND, IDNO, 0);
    Sleep(500);
    EXPECT_EQ(ed.text(IDC_FILE_BOX), "b.mp3");
    EXPECT_EQ(ed.text(IDC_TITLE), "edited");
    ed.command(IDC_UNDO); // undo
    ASSERT_TRUE(ed.wait_text(IDC_TITLE, "two"));

    // Carry-over: a file without a record takes the artist over and has an empty title.
    ed.command(IDC_CARRY_OVER);
    ASSERT_TRUE(ed.wait_enabled(IDC_ARTIST, false));
    drop_files(ed.thread(), ed.main(), spot, {folder.file("c.mp3")});
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "c.mp3"));
    EXPECT_EQ(ed.text(IDC_TITLE), "");
    EXPECT_EQ(ed.text(IDC_ARTIST), "Artist B");
    EXPECT_FALSE(ed.enabled(IDC_ARTIST));
    // The carried texts reach the file with the next apply.
    ed.set_text(IDC_TITLE, "three");
    ed.press(IDC_APPLY);
    ASSERT_TRUE(ed.wait_applied());
    EXPECT_EQ(read_file(folder.file("c.mp3")), audio() + record("three", "Artist B"));

    // A record with blank artist, album, year and comment also takes them over.
    drop_files(ed.thread(), ed.main(), spot, {folder.file("d.mp3")});
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "d.mp3"));
    EXPECT_EQ(ed.text(IDC_TITLE), "four");
    EXPECT_EQ(ed.text(IDC_ARTIST), "Artist B");
    EXPECT_FALSE(ed.enabled(IDC_ARTIST));

    // A record with an artist of its own ends carry-over mode.
    drop_files(ed.thread(), ed.main(), spot, {folder.file("a.mp3")});
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "a.mp3"));
    EXPECT_EQ(ed.text(IDC_TITLE), "one");
    EXPECT_EQ(ed.text(IDC_ARTIST), "Artist A");
    EXPECT_TRUE(ed.enabled(IDC_ARTIST));
    EXPECT_EQ(read_file(folder.file("d.mp3")), audio() + record("four")); // loading writes nothing

    // A file of another folder that does not load leaves the current folder as it was: the
    // rename dialog still names the loaded file relative to it.
    std::string sub = folder.file("other folder");
    CreateDirectoryW(wide(sub).c_str(), nullptr);
    write_file(sub + "\\notes.txt", "just words");
    drop_files(ed.thread(), ed.main(), spot, {sub + "\\notes.txt"});
    HWND notice = ed.menu();
    ASSERT_TRUE(notice);
    EXPECT_EQ(menu_items(ed.thread()), std::vector<std::string>{"たぶんmp3ﾌｧｲﾙじゃねぇっす"});
    close_menu(notice);
    ed.command(IDC_RENAME);
    HWND asked = wait_window(ed.pid(), "確認", "#32770", IDC_OLD_NAME);
    ASSERT_TRUE(asked);
    EXPECT_EQ(cp932(window_text(GetDlgItem(asked, IDC_OLD_NAME))), "a.mp3");
    EditorRun::answer(asked, IDC_ANSWER_NO);
    DeleteFileW(wide(sub + "\\notes.txt").c_str());

    // A file of another folder: that folder becomes the current one, so the box shows its name.
    write_file(sub + "\\e.mp3", audio() + record("five"));
    drop_files(ed.thread(), ed.main(), spot, {sub + "\\e.mp3"});
    EXPECT_TRUE(ed.wait_text(IDC_TITLE, "five"));
    EXPECT_EQ(ed.text(IDC_FILE_BOX), "e.mp3");

    // A file with a Japanese name and Japanese texts: the fields show them, and a title typed
    // character by character (half-width kana, and double-byte characters whose second byte is
    // a backslash) reaches the file as its cp932 bytes.
    const std::string japanese = sub + "\\表の曲.mp3";
    write_file(japanese, audio() + record("表題のある曲", "歌い手"));
    drop_files(ed.thread(), ed.main(), spot, {japanese});
    EXPECT_TRUE(ed.wait_text(IDC_TITLE, "表題のある曲"));
    EXPECT_EQ(ed.text(IDC_ARTIST), "歌い手");
    EXPECT_EQ(ed.text(IDC_FILE_BOX), "表の曲.mp3");
    ed.type(IDC_TITLE, "ソ表示ﾃｽﾄ");
    EXPECT_EQ(ed.text(IDC_TITLE), "ソ表示ﾃｽﾄ");
    ed.press(IDC_APPLY);
    EXPECT_TRUE(ed.wait_applied());
    EXPECT_EQ(read_file(japanese), audio() + record("ソ表示ﾃｽﾄ", "歌い手"));
    // The fields' limits count cp932 bytes, while the controls count UTF-16 units: of 130
    // double-byte characters typed into a field of 255 bytes the first 127 stay, whole.
    std::string many;
    for (int i = 0; i < 130; ++i) many += "表";
    ed.type(IDC_TITLE, many);
    EXPECT_EQ(ed.text(IDC_TITLE), many.substr(0, 254));
    ed.set_text(IDC_ARTIST, "");
    ed.type(IDC_ARTIST, many);
    EXPECT_EQ(ed.text(IDC_ARTIST), many.substr(0, 254));
    ed.command(IDC_UNDO); // undo
    ASSERT_TRUE(ed.wait_text(IDC_TITLE, "ソ表示ﾃｽﾄ"));
    EXPECT_TRUE(ed.close());
    DeleteFileW(wide(sub + "\\e.mp3").c_str());
    DeleteFileW(wide(japanese).c_str());
    RemoveDirectoryW(wide(sub).c_str());
}

#include "tests/win32/editor/editor_driver.h"

// What the stand-in program was started with, once it has run.
static std::string started_with(const std::string& stand_in_folder) {
    std::string file = stand_in_folder + "args.txt";
    for (int w = 0; w < 10000 && !exists(file); w += 50) Sleep(50);
    std::string args = read_file(file);
    DeleteFileW(wide(file).c_str());
    return args;
}
static std::string started_with(const Folder& folder) { return started_with(folder.path); }
// A recorded command line with the quotes that Wine puts around a program path holding blanks
// taken away, so that it reads as the editor gave it.
static std::string as_given(std::string line) {
    size_t end = line.size() > 1 && line[0] == '"' ? line.find('"', 1) : std::string::npos;
    if (end != std::string::npos) line = line.substr(1, end - 1) + line.substr(end + 1);
    return line;
}
// The text of a slot of the folder's kt.dat, up to its first zero byte.
static std::string setting_text(const Folder& folder, size_t offset) {
    std::string kt = read_file(folder.file("kt.dat"));
    if (kt.size() != 45964u) return "(kt.dat of " + std::to_string(kt.size()) + " bytes)";
    return kt.substr(offset, kt.find('\0', offset) - offset);
}

TEST_F(Editor, OutsideToolsCopyTheFileAndStartTheirProgramsWithIt) {
    first_start(); // writes the settings file
    std::string stand_in = folder.file("stand-in.exe");
    ASSERT_TRUE(CopyFileW(wide(program_folder() + "record_args.exe").c_str(), wide(stand_in).c_str(), FALSE));
    std::string copies = folder.file("copies\\");
    CreateDirectoryW(wide(copies).c_str(), nullptr);
    set_text_setting(folder, 29532, copies);   // copy folder, ending in a backslash
    set_text_setting(folder, 8016, stand_in);  // WinAMP
    set_text_setting(folder, 21340, stand_in); // the ZIP program
    const std::string content = audio() + record("copied");
    ASSERT_TRUE(open("my song.mp3", content));
    // A copy into the copy folder; a second one finds the file there and says so.
    ed.command(IDM_COPY);
    for (int w = 0; w < 5000 && !exists(copies + "my song.mp3"); w += 50) Sleep(50);
    EXPECT_EQ(read_file(copies + "my song.mp3"), content);
    ed.command(IDM_COPY);
    Sleep(500);
    SendMessageW(ed.main(), WM_NULL, 0, 0); // the notice waits for the window's next message
    HWND m = ed.menu();
    ASSERT_TRUE(m);
    std::vector<std::string> items = menu_items(ed.thread());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0], "ｺﾋﾟｰに失敗しました");
    close_menu(m);

    // WinAMP: the playlist gets the quoted path; the start passes nothing.
    ed.command(IDM_ADD_TO_PLAYLIST);
    std::string args = started_with(folder);
    EXPECT_NE(args.find(" /add \"" + path + "\""), std::string::npos) << args;
    ed.command(IDM_WINAMP);
    args = started_with(folder);
    EXPECT_EQ(args.find("/add"), std::string::npos) << args;
    EXPECT_NE(args.find("stand-in.exe"), std::string::npos) << args;

    // The shell is started on the copy folder and on the current folder: a stand-in named
    // explorer.exe beside the editor is the one that starts.
    ASSERT_TRUE(CopyFileW(wide(stand_in).c_str(), wide(folder.file("explorer.exe")).c_str(), FALSE));
    ed.command(IDM_OPEN_COPY_FOLDER);
    EXPECT_EQ(started_with(folder), "explorer " + copies);
    ed.command(IDM_OPEN_CURRENT_FOLDER);
    EXPECT_EQ(started_with(folder), "explorer " + folder.path.substr(0, folder.path.size() - 1));

    // The MPMan manager: its path (the default) names no file, so the chooser asks for it; the
    // choice is saved before the question, and "はい" starts it and the shell on the copy folder.
    const std::string manager_folder = folder.file("manager\\");
    CreateDirectoryW(wide(manager_folder).c_str(), nullptr);
    const std::string manager = manager_folder + "MPMan.exe";
    ASSERT_TRUE(CopyFileW(wide(stand_in).c_str(), wide(manager).c_str(), FALSE));
    EXPECT_EQ(setting_text(folder, 33644), "C:\\Program Files\\MPMan-F20\\Mpman.exe");
    ed.command(IDM_MPMAN);
    HWND chooser = ed.dialog("MPﾏﾈｰｼﾞｬを指定して下さい");
    ASSERT_TRUE(chooser);
    ASSERT_TRUE(choose_in(chooser, manager));
    HWND q = ed.dialog("確認");
    ASSERT_TRUE(q);
    EXPECT_EQ(setting_text(folder, 33644), manager);
    EXPECT_EQ(
        cp932(window_text(GetDlgItem(q, 0xFFFF))),
        "MPﾏﾈｰｼﾞｬを起動します。よろしいですか？\n\n*** 予め MPManに接続ｹｰﾌﾞﾙを差して、電源を入れておいて下さい ***");
    EXPECT_FALSE(exists(manager_folder + "args.txt"));
    PostMessageW(q, WM_COMMAND, IDYES, 0);
    EXPECT_EQ(as_given(started_with(manager_folder)), manager);
    EXPECT_EQ(started_with(folder), "explorer " + copies);
    // Now the path names the manager: no chooser, the question at once; "いいえ" starts nothing.
    ed.command(IDM_MPMAN);
    q = ed.dialog("確認");
    ASSERT_TRUE(q);
    PostMessageW(q, WM_COMMAND, IDNO, 0);
    for (int w = 0; w < 5000 && IsWindow(q); w += 50) Sleep(50);
    SendMessageW(ed.main(), WM_NULL, 0, 0);
    Sleep(500);
    EXPECT_FALSE(exists(manager_folder + "args.txt"));
    DeleteFileW(wide(manager).c_str());
    RemoveDirectoryW(wide(manager_folder).c_str());

    // WinAMP's path names no file: the default path is taken when that file is there, and
    // saved; without it the chooser asks.
    const std::string default_folder = "C:\\Program Files\\winamp\\";
    const std::string default_winamp = "c:\\program files\\winamp\\winamp.exe";
    ASSERT_FALSE(exists(default_winamp)) << "a WinAMP in this Wine prefix";
    CreateDirectoryW(wide(default_folder).c_str(), nullptr);
    struct Gone { // the stand-in at the default path goes also when an assertion ends the test
        std::wstring file, folder;
        ~Gone() {
            DeleteFileW(file.c_str());
            DeleteFileW((folder + L"args.txt").c_str());
            RemoveDirectoryW(folder.c_str());
        }
    } gone{wide(default_winamp), wide(default_folder)};
    ASSERT_TRUE(CopyFileW(wide(stand_in).c_str(), wide(default_winamp).c_str(), FALSE));
    DeleteFileW(wide(stand_in).c_str());
    ed.command(IDM_WINAMP);
    EXPECT_EQ(as_given(started_with(default_folder)), default_winamp);
    EXPECT_EQ(setting_text(folder, 8016), default_winamp);
    DeleteFileW(wide(default_winamp).c_str());
    RemoveDirectoryW(wide(default_folder).c_str());
    ASSERT_TRUE(CopyFileW(wide(folder.file("explorer.exe")).c_str(), wide(stand_in).c_str(), FALSE));
    ed.command(IDM_ADD_TO_PLAYLIST);
    chooser = ed.dialog("WINAMP.EXEを指定して下さい");
    ASSERT_TRUE(chooser);
    ASSERT_TRUE(choose_in(chooser, stand_in));
    EXPECT_EQ(as_given(started_with(folder)), stand_in + " /add \"" + path + "\"");
    EXPECT_EQ(setting_text(folder, 8016), stand_in);

    // A file 300 characters deep, dropped on the window: it is copied, and goes to the playlist.
    const std::vector<std::wstring> levels = deep_folders(folder);
    ASSERT_FALSE(levels.empty());
    const std::wstring deep = levels.back();
    const std::string deep_content = audio() + record("deep");
    write_file(deep + L"deep.mp3", deep_content);
    drop_files(ed.thread(), ed.main(), POINT{20, 200}, std::vector<std::wstring>{deep.substr(4) + L"deep.mp3"});
    ASSERT_TRUE(ed.wait_text(IDC_TITLE, "deep"));
    ed.command(IDM_COPY);
    for (int w = 0; w < 5000 && !exists(copies + "deep.mp3"); w += 50) Sleep(50);
    EXPECT_EQ(read_file(copies + "deep.mp3"), deep_content);
    ed.command(IDM_ADD_TO_PLAYLIST);
    args = started_with(folder);
    EXPECT_NE(args.find(" /add \"" + cp932(deep.substr(4)) + "deep.mp3\""), std::string::npos) << args;
    EXPECT_TRUE(ed.close());
    DeleteFileW((deep + L"deep.mp3").c_str());
    for (auto level = levels.rbegin(); level != levels.rend(); ++level) RemoveDirectoryW(level->c_str());
    DeleteFileW(wide(copies + "deep.mp3").c_str());

    // An archive is no file to tag: it goes to the ZIP program, quoted.
    std::string zip = folder.file("songs.zip");
    write_file(zip, std::string("PK\x03\x04", 4) + std::string(100, '\0'));
    ed.start(folder, "/e " + zip); // the program is started before the window opens
    args = started_with(folder);
    EXPECT_NE(args.find(" \"" + zip + "\""), std::string::npos) << args;
    ASSERT_TRUE(ed.main());
    EXPECT_EQ(ed.text(IDC_TITLE), "");
    EXPECT_TRUE(ed.close());
    EXPECT_EQ(read_file(path), content);
    DeleteFileW(wide(copies + "my song.mp3").c_str());

    // A copy folder written without the backslash at its end: the copy goes into it all the same.
    const std::string bare = copies.substr(0, copies.size() - 1);
    set_text_setting(folder, 29532, bare);
    ASSERT_TRUE(start("/e " + path));
    ed.command(IDM_COPY);
    for (int w = 0; w < 5000 && !exists(copies + "my song.mp3"); w += 50) Sleep(50);
    EXPECT_EQ(read_file(copies + "my song.mp3"), content);
    EXPECT_FALSE(exists(bare + "my song.mp3"));
    EXPECT_TRUE(ed.close());
    DeleteFileW(wide(copies + "my song.mp3").c_str());
    DeleteFileW(wide(bare + "my song.mp3").c_str());
    RemoveDirectoryW(wide(copies).c_str());
}

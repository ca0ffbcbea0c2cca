// The preview, run with a sound server of the tests' own (tests/vbmp3/run_audio.sh, which
// also makes the MP3 files and names their folder in TAGZO_AUDIO_DIR).
#include "tests/win32/editor/editor_driver.h"

static std::string audio_file(const char* name) {
    const std::string dir = environment(L"TAGZO_AUDIO_DIR");
    return dir.empty() ? dir : dir + name;
}
// Waits until the status display's text starts with `prefix`.
static bool wait_status(EditorRun& ed, const std::string& prefix, int ms = 10000) {
    for (int w = 0; w < ms; w += 25) {
        if (ed.text(IDC_STATUS).compare(0, prefix.size(), prefix) == 0) return true;
        Sleep(25);
    }
    return false;
}
// Lit green segments of the level meter (below the status display: from its left edge and its
// bottom, 120 by 24 pixels at 96 DPI, scaled) on the screen.
static int lit_meter_pixels(HWND main) {
    RECT status{};
    GetWindowRect(GetDlgItem(main, IDC_STATUS), &status);
    POINT at{status.left, status.bottom};
    HDC screen = GetDC(nullptr);
    int n = 0;
    for (int y = 0; y < at_scale(24); y += 2)
        for (int x = 0; x < at_scale(120); x += 2) {
            COLORREF c = GetPixel(screen, at.x + x, at.y + y);
            n += GetGValue(c) > 200 && GetRValue(c) < 100;
        }
    ReleaseDC(nullptr, screen);
    return n;
}
// The client point `from_left` pixels right of the player panel's left edge, at half the
// status display's height.
static POINT panel_point(HWND main, int from_left) {
    RECT status;
    GetWindowRect(GetDlgItem(main, IDC_STATUS), &status);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&status), 2);
    return {status.left + from_left, (status.top + status.bottom) / 2};
}

// The editor on copies of those files, in a folder that has the decoder library too.
class Player : public Editor {
protected:
    Player() : Editor(true) {}
    void SetUp() override {
        if (audio_file("").empty()) GTEST_SKIP() << "run through tests/vbmp3/run_audio.sh editor";
    }
    // Copies one of the MP3 files into the folder as `name`.
    [[nodiscard]] bool copy_audio(const char* file, const std::wstring& name) {
        return CopyFileW(wide(audio_file(file)).c_str(), folder.file(name).c_str(), FALSE) != 0;
    }
    [[nodiscard]] bool copy_audio(const char* file, const std::string& name) { return copy_audio(file, wide(name)); }
    // Copies one of them as the folder's file `name`, which `path` then names, and starts the
    // editor on it.
    [[nodiscard]] bool open_audio(const char* file, const std::string& name) {
        path = folder.file(name);
        return copy_audio(file, name) && start("/e " + path);
    }
};

TEST_F(Player, PlayPauseStopTheStatusDisplayAndTheMeter) {
    first_start();
    const std::string copies = folder.file("copies\\");
    CreateDirectoryW(wide(copies).c_str(), nullptr);
    set_text_setting(folder, 29532, copies);
    ASSERT_TRUE(open_audio("cbr44s_20.mp3", "tone.mp3"));
    EXPECT_TRUE(wait_status(ed, "Stop"));
    EXPECT_EQ(lit_meter_pixels(ed.main()), 0);

    ed.command(IDC_PLAY);
    // Remaining time first; a click on the display switches to the elapsed time.
    ASSERT_TRUE(wait_status(ed, "Play -00:00:1")) << ed.text(IDC_STATUS);
    ed.command(IDC_STATUS);
    ASSERT_TRUE(wait_status(ed, "Play  00:00:0")) << ed.text(IDC_STATUS);
    ASSERT_TRUE(wait_status(ed, "Play  00:00:02")) << ed.text(IDC_STATUS);
    EXPECT_GE(SendMessageW(GetDlgItem(ed.main(), IDC_POSITION), TBM_GETPOS, 0, 0), 5);
    // A tone at half of full scale lights about half of the meter's segments.
    int lit = 0;
    for (int w = 0; w < 3000 && (lit = lit_meter_pixels(ed.main())) == 0; w += 100) Sleep(100);
    EXPECT_GT(lit, 20);

    // Paused: the time holds and blinks (shown 500 ms, hidden 300 ms).
    ed.command(IDC_PAUSE);
    ASSERT_TRUE(wait_status(ed, " Pause  00:00:0")) << ed.text(IDC_STATUS);
    std::string paused = ed.text(IDC_STATUS);
    EXPECT_TRUE(ed.wait_text(IDC_STATUS, "", 2000));
    EXPECT_TRUE(ed.wait_text(IDC_STATUS, paused, 2000));
    Sleep(1200);
    EXPECT_TRUE(ed.wait_text(IDC_STATUS, paused, 1000));
    ed.command(IDC_PAUSE);
    ASSERT_TRUE(wait_status(ed, "Play  00:00:0")) << ed.text(IDC_STATUS);

    // A copy that fails (the file is in the copy folder already) opens its notice; the
    // preview's time goes on while the notice is open.
    ed.command(IDM_COPY);
    for (int w = 0; w < 5000 && !exists(copies + "tone.mp3"); w += 50) Sleep(50);
    ed.command(IDM_COPY);
    HWND m = ed.menu();
    ASSERT_TRUE(m);
    std::string during = ed.text(IDC_STATUS);
    Sleep(2500);
    EXPECT_NE(ed.text(IDC_STATUS), during);
    close_menu(m);

    ed.command(IDC_STOP);
    ASSERT_TRUE(wait_status(ed, "Stop"));
    EXPECT_EQ(SendMessageW(GetDlgItem(ed.main(), IDC_POSITION), TBM_GETPOS, 0, 0), 0);
    for (int w = 0; w < 3000 && lit_meter_pixels(ed.main()) > 0; w += 100) Sleep(100);
    EXPECT_EQ(lit_meter_pixels(ed.main()), 0); // after a stop the meter falls to zero
    EXPECT_TRUE(ed.close());
    DeleteFileW(wide(copies + "tone.mp3").c_str());
    RemoveDirectoryW(wide(copies).c_str());

    // A file whose name has no cp932 form plays too: its name reaches the library in UTF-16.
    // (The name stays out of the test macros, which would make a cp932 text of it.)
    const std::wstring korean = L"한국어.mp3";
    ASSERT_TRUE(copy_audio("cbr44s_20.mp3", korean));
    ASSERT_TRUE(start(L"/e \"" + folder.file(korean) + L"\""));
    EXPECT_TRUE(ed.wide_text(IDC_FILE_BOX) == korean) << ed.text(IDC_FILE_BOX);
    ASSERT_TRUE(wait_status(ed, "Stop")) << ed.text(IDC_STATUS);
    ed.command(IDC_PLAY);
    ASSERT_TRUE(wait_status(ed, "Play")) << ed.text(IDC_STATUS);
    // The time moves.
    const std::string first = ed.text(IDC_STATUS);
    std::string later = first;
    for (int w = 0; w < 3000 && later == first; w += 50) {
        Sleep(50);
        later = ed.text(IDC_STATUS);
    }
    EXPECT_NE(later, first);
    EXPECT_EQ(later.compare(0, 4, "Play"), 0) << later;
    EXPECT_TRUE(ed.close());
}

TEST_F(Player, EndOfStreamStopsAndDropsOnThePanelOrWithAutoPlayPlay) {
    ASSERT_TRUE(copy_audio("cbr44s_20.mp3", "tone.mp3"));
    ASSERT_TRUE(open_audio("silence.mp3", "quiet.mp3"));
    // Four seconds of silence play to their end; the display goes back to "Stop" by itself.
    ed.command(IDC_PLAY);
    ASSERT_TRUE(wait_status(ed, "Play"));
    EXPECT_EQ(lit_meter_pixels(ed.main()), 0); // silence lights nothing
    EXPECT_TRUE(wait_status(ed, "Stop", 10000)) << ed.text(IDC_STATUS);

    // Dropped elsewhere with AutoPlay off, the file only loads.
    drop_files(ed.thread(), ed.main(), {20, 200}, {folder.file("tone.mp3")});
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "tone.mp3"));
    Sleep(500);
    EXPECT_EQ(ed.text(IDC_STATUS), "Stop");
    // On the player panel's left edge the drop lies outside it: the file only loads. Just
    // inside the edge it plays.
    drop_files(ed.thread(), ed.main(), panel_point(ed.main(), 0), {folder.file("quiet.mp3")});
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "quiet.mp3"));
    Sleep(500);
    EXPECT_EQ(ed.text(IDC_STATUS), "Stop");
    drop_files(ed.thread(), ed.main(), panel_point(ed.main(), 1), {folder.file("quiet.mp3")});
    EXPECT_TRUE(wait_status(ed, "Play"));
    // A file loaded while one plays goes on playing.
    drop_files(ed.thread(), ed.main(), {20, 200}, {folder.file("tone.mp3")});
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "tone.mp3"));
    EXPECT_TRUE(wait_status(ed, "Play -00:00:"));
    ed.command(IDC_STOP);
    ASSERT_TRUE(wait_status(ed, "Stop"));
    // AutoPlay on: any loaded file plays.
    ed.press(IDC_AUTO_PLAY);
    ASSERT_TRUE(ed.wait_text(IDC_AUTO_PLAY, "AutoPlay ON"));
    drop_files(ed.thread(), ed.main(), {20, 200}, {folder.file("quiet.mp3")});
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "quiet.mp3"));
    EXPECT_TRUE(wait_status(ed, "Play"));
    EXPECT_TRUE(ed.close());
    EXPECT_EQ(int_at(read_file(folder.file("kt.dat")), 41836), 1); // AutoPlay saved
}

TEST_F(Player, HotKeysActOncePerPressAndARenameKeepsTheFilePlaying) {
    ASSERT_TRUE(open_audio("cbr44s_20.mp3", "tone.mp3"));
    ASSERT_TRUE(wait_status(ed, "Stop"));
    ASSERT_TRUE(ed.to_front());
    key(VK_F5, 100);
    ASSERT_TRUE(wait_status(ed, "Play")) << ed.text(IDC_STATUS);
    // F6 held for half a second pauses once, not on and off.
    key(VK_F6, 500);
    ASSERT_TRUE(wait_status(ed, " Pause")) << ed.text(IDC_STATUS);
    Sleep(300);
    EXPECT_TRUE(ed.text(IDC_STATUS).empty() || ed.text(IDC_STATUS).compare(0, 6, " Pause") == 0) << ed.text(IDC_STATUS);
    key(VK_F6, 100);
    ASSERT_TRUE(wait_status(ed, "Play")) << ed.text(IDC_STATUS);

    // F12 renames; the file goes on playing under its new name.
    ed.set_text(IDC_TITLE, "Tone");
    ed.set_text(IDC_ARTIST, "Maker");
    ed.command(IDC_STATUS); // elapsed time
    ASSERT_TRUE(wait_status(ed, "Play  00:00:0"));
    ASSERT_TRUE(ed.to_front());
    key(VK_F12, 100);
    HWND q = rename_dialog(ed, "確認");
    ASSERT_TRUE(q);
    EditorRun::answer(q, IDC_ANSWER_YES);
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "(Maker)Tone.mp3"));
    EXPECT_TRUE(wait_status(ed, "Play  00:00:0")) << ed.text(IDC_STATUS);
    EXPECT_FALSE(exists(path));

    // An apply that converts the playing file to the RMP form: the preview stops around the
    // replace (the library holds the file open, and Windows puts no file in the place of an
    // open one), the conversion succeeds, and the new file plays on from the second the old
    // one was at.
    auto shown_seconds = [&] {
        std::string t = ed.text(IDC_STATUS);
        return t.size() >= 2 ? std::atoi(t.c_str() + t.size() - 2) : -1;
    };
    ed.set_text(IDC_TITLE, std::string(40, 'T'));
    ed.press(IDC_APPLY);
    HWND convert = ed.dialog(k_convert_title);
    ASSERT_TRUE(convert);
    // The rename went on a second after where it was: past the first status of its new play.
    for (int w = 0; w < 3000 && shown_seconds() < 2; w += 50) Sleep(50);
    const int before_apply = shown_seconds();
    EditorRun::answer(convert, IDC_ANSWER_YES);
    ASSERT_TRUE(ed.wait_applied());
    EXPECT_EQ(read_file(folder.file("(Maker)Tone.mp3")).substr(8, 4), "RMP3");
    EXPECT_TRUE(wait_status(ed, "Play  00:00:")) << ed.text(IDC_STATUS);
    // A play's first start under Wine can take seconds on a busy machine.
    for (int w = 0; w < 10000 && shown_seconds() < before_apply; w += 50) Sleep(50);
    EXPECT_GE(shown_seconds(), before_apply) << ed.text(IDC_STATUS);
    EXPECT_LE(shown_seconds(), before_apply + 3) << ed.text(IDC_STATUS);
    // It is the new file that plays: the library holds it open, so no one may open it alone.
    // (Wine, unlike Windows, lets the replace through while the old file is open; the old one
    // would play on, and this open would succeed.)
    HANDLE alone = CreateFileW(wide(folder.file("(Maker)Tone.mp3")).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(alone, INVALID_HANDLE_VALUE);
    if (alone != INVALID_HANDLE_VALUE) CloseHandle(alone);

    // A paused file is stopped for the rename and stays stopped.
    ed.command(IDC_PAUSE);
    ASSERT_TRUE(wait_status(ed, " Pause")) << ed.text(IDC_STATUS);
    ed.set_text(IDC_TITLE, "Paused");
    ed.command(IDC_RENAME);
    q = rename_dialog(ed, "確認");
    ASSERT_TRUE(q);
    EditorRun::answer(q, IDC_ANSWER_YES);
    ASSERT_TRUE(ed.wait_text(IDC_FILE_BOX, "(Maker)Paused.mp3"));
    EXPECT_TRUE(wait_status(ed, "Stop")) << ed.text(IDC_STATUS);
    Sleep(500);
    EXPECT_EQ(ed.text(IDC_STATUS), "Stop");

    ASSERT_TRUE(ed.to_front()) << GetForegroundWindow();
    key(VK_F7, 100);
    EXPECT_TRUE(wait_status(ed, "Stop")) << ed.text(IDC_STATUS);
    EXPECT_TRUE(ed.close());
}

TEST_F(Player, ClosingWhileAHotKeysDialogIsOpenDoesNotFreeze) {
    ASSERT_TRUE(open_audio("cbr44s_20.mp3", "tone.mp3"));
    ed.set_text(IDC_TITLE, "Tone");
    ed.set_text(IDC_ARTIST, "Maker");
    ASSERT_TRUE(ed.to_front());
    // F12 reaches the window from the monitor thread, which waits while the rename asks.
    key(VK_F12, 100);
    HWND q = rename_dialog(ed, "確認");
    ASSERT_TRUE(q);
    HWND main = ed.main();
    ed.command(IDC_CLOSE_X); // a close from outside while the question is open
    // The question's loop takes the close: the window goes, the question stays to be answered.
    for (int w = 0; w < 10000 && IsWindowVisible(main); w += 50) Sleep(50);
    EXPECT_FALSE(IsWindowVisible(main));
    EXPECT_TRUE(IsWindowVisible(q));
    EditorRun::answer(q, IDC_ANSWER_NO);
    EXPECT_TRUE(ed.wait_exit());
    EXPECT_TRUE(exists(path)); // cancelled: the name stays
}

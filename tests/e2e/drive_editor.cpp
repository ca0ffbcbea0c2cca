// Drives the real tagzo.exe like a user would: starts it in a folder of its own, finds dialog
// 142 and the question dialogs, types, presses buttons, reads the notice menus, and then
// checks the MP3 files and kt.dat byte for byte.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const char* const k_convert_title = "*** 使用文字数がID3の制限を越えています ***";
const char* const k_read_only_title = "*** このﾌｧｲﾙは [読み込み専用] になっています ***";

std::string program_folder() {
    char buf[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, buf, MAX_PATH);
    std::string p(buf);
    return p.substr(0, p.find_last_of('\\') + 1);
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}
void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string record(const std::string& title, const std::string& artist = "", unsigned char genre = 255) {
    auto field = [](std::string s, size_t w) {
        s = s.substr(0, w);
        return s + std::string(w - s.size(), ' ');
    };
    return "TAG" + field(title, 30) + field(artist, 30) + field("", 30) + field("", 4) + field("", 30) +
           std::string(1, static_cast<char>(genre));
}
std::string audio() { return std::string("\xFF\xFB\x90\x64", 4) + std::string(1200, '\x11'); }
int32_t int_at(const std::string& s, size_t at) {
    return static_cast<int32_t>(static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8 |
                                static_cast<unsigned char>(s[at + 2]) << 16 |
                                static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24);
}

// A folder of its own with a copy of tagzo.exe, so that its kt.dat is the test's.
struct Folder {
    std::string path;
    explicit Folder(bool with_decoder = false) {
        char tmp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, tmp);
        char name[64];
        std::snprintf(name, sizeof name, "tagzo e2e %lu %lu\\", GetCurrentProcessId(), GetTickCount());
        path = std::string(tmp) + name;
        CreateDirectoryA(path.c_str(), nullptr);
        CopyFileA((program_folder() + "tagzo.exe").c_str(), (path + "tagzo.exe").c_str(), FALSE);
        if (with_decoder) CopyFileA((program_folder() + "vbmp3.dll").c_str(), (path + "vbmp3.dll").c_str(), FALSE);
    }
    ~Folder() {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((path + "*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::string f = path + fd.cFileName;
                SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(f.c_str());
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryA(path.c_str());
    }
    std::string file(const std::string& name) const { return path + name; }
};

struct Found {
    DWORD pid;
    const char* title;
    const char* cls;
    int control;
    HWND hwnd;
};
BOOL CALLBACK find_proc(HWND h, LPARAM lp) {
    auto* f = reinterpret_cast<Found*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (f->pid && pid != f->pid) return TRUE;
    if (!IsWindowVisible(h)) return TRUE;
    char buf[512] = {};
    if (f->title) {
        GetWindowTextA(h, buf, sizeof buf);
        if (std::string(buf) != f->title) return TRUE;
    }
    if (f->cls) {
        GetClassNameA(h, buf, sizeof buf);
        if (std::string(buf) != f->cls) return TRUE;
    }
    if (f->control && !GetDlgItem(h, f->control)) return TRUE;
    f->hwnd = h;
    return FALSE;
}
HWND wait_window(DWORD pid, const char* title, const char* cls, int control, int ms = 15000) {
    for (int waited = 0; waited < ms; waited += 50) {
        Found f{pid, title, cls, control, nullptr};
        EnumWindows(find_proc, reinterpret_cast<LPARAM>(&f));
        if (f.hwnd) return f.hwnd;
        Sleep(50);
    }
    return nullptr;
}

// One run of the editor.
class Editor {
public:
    Editor(const Folder& folder, const std::string& args) {
        std::string cmd = "\"" + folder.file("tagzo.exe") + "\"" + (args.empty() ? "" : " " + args);
        STARTUPINFOA si{};
        si.cb = sizeof si;
        std::vector<char> line(cmd.begin(), cmd.end());
        line.push_back(0);
        started_ = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.path.c_str(), &si,
                                  &pi_) != 0;
    }
    ~Editor() {
        if (!started_) return;
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 1);
        CloseHandle(pi_.hProcess);
        CloseHandle(pi_.hThread);
    }
    HWND main() {
        if (!main_) main_ = wait_window(pi_.dwProcessId, nullptr, "#32770", 1000);
        return main_;
    }
    HWND dialog(const char* title) { return wait_window(pi_.dwProcessId, title, "#32770", 0); }
    HWND menu() { return wait_window(0, nullptr, "#32768", 0); }
    void set_text(int id, const std::string& text) {
        SendMessageA(GetDlgItem(main(), id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        SendMessageA(main(), WM_NULL, 0, 0);  // change detection runs before every message
    }
    std::string text(int id) {
        char buf[512] = {};
        SendMessageA(GetDlgItem(main(), id), WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf));
        return buf;
    }
    bool enabled(int id) { return IsWindowEnabled(GetDlgItem(main(), id)) != 0; }
    // Posted, so that a question dialog that opens does not block the driver.
    void press(int id) { PostMessageA(GetDlgItem(main(), id), BM_CLICK, 0, 0); }
    void command(int id) { PostMessageA(main(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    static void answer(HWND dialog, int button) { PostMessageA(GetDlgItem(dialog, button), BM_CLICK, 0, 0); }
    static void tick(HWND dialog) { SendMessageA(GetDlgItem(dialog, 1028), BM_CLICK, 0, 0); }
    // Waits until the apply button is disabled again: the apply has run.
    bool wait_applied(int ms = 10000) {
        for (int w = 0; w < ms; w += 50) {
            SendMessageA(main(), WM_NULL, 0, 0);
            if (!enabled(9)) return true;
            Sleep(50);
        }
        return false;
    }
    bool wait_exit(int ms = 15000) { return WaitForSingleObject(pi_.hProcess, static_cast<DWORD>(ms)) == WAIT_OBJECT_0; }
    bool running() { return WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }
    // The close button "X", then the end of the process.
    bool close() {
        command(2);
        return wait_exit();
    }
    bool started() const { return started_; }
    DWORD thread() const { return pi_.dwThreadId; }

private:
    PROCESS_INFORMATION pi_{};
    bool started_ = false;
    HWND main_ = nullptr;
};

// A menu lives in its process: the probe library, hooked into the editor's thread, writes the
// items of the open popup menu to a file on our signal.
std::vector<std::string> menu_items(DWORD thread) {
    std::vector<std::string> out;
    char tmp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, tmp);
    std::string file = std::string(tmp) + "tagzo-menu-probe.txt";
    DeleteFileA(file.c_str());
    HMODULE dll = LoadLibraryA((program_folder() + "menu_probe.dll").c_str());
    auto proc = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(dll, "probe_hook")));
    if (!proc) return out;
    HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, proc, dll, thread);
    UINT signal = RegisterWindowMessageA("tagzo-menu-probe");
    for (int w = 0; w < 10000 && !exists(file); w += 100) {
        PostThreadMessageA(thread, signal, 0, 0);
        Sleep(100);
    }
    if (hook) UnhookWindowsHookEx(hook);
    std::string text = read_file(file);
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        out.push_back(text.substr(start, nl - start));
    return out;
}
void close_menu(HWND menu_window) {
    PostMessageA(menu_window, WM_KEYDOWN, VK_ESCAPE, 0);
    for (int w = 0; w < 5000 && IsWindowVisible(menu_window); w += 50) Sleep(50);
}

} // namespace

TEST(Editor, FirstStartWritesTheSettingsFile) {
    Folder folder;
    Editor ed(folder, "");
    ASSERT_TRUE(ed.main());
    char title[256] = {};
    GetWindowTextA(ed.main(), title, sizeof title);
    EXPECT_STREQ(title, "kessa 0.29");
    ASSERT_TRUE(ed.close());
    std::string kt = read_file(folder.file("kt.dat"));
    ASSERT_EQ(kt.size(), 45964u);
    EXPECT_EQ(std::string(kt.c_str() + 16208), "kessa");
    EXPECT_EQ(int_at(kt, 45948), 1);
}

TEST(Editor, RunsWithAndWithoutTheDecoderLibrary) {
    for (bool with : {false, true}) {
        Folder folder(with);
        write_file(folder.file("s.mp3"), audio() + record("song"));
        Editor ed(folder, "/e " + folder.file("s.mp3"));
        ASSERT_TRUE(ed.main()) << with;
        EXPECT_EQ(ed.text(1000), "song");
        // The volume slider shows the library's volume, or stays at 0 without it.
        LRESULT volume = SendMessageA(GetDlgItem(ed.main(), 1036), TBM_GETPOS, 0, 0);
        EXPECT_EQ(volume > 0, with) << volume;
        EXPECT_TRUE(ed.close()) << with;
    }
}

TEST(Editor, StartsWithSwitchAndPathWithBlanksQuotedOrNot) {
    Folder folder;
    write_file(folder.file("my song.mp3"), audio() + record("Blank path", "Artist"));
    for (std::string args : {"/e " + folder.file("my song.mp3"), "/e \"" + folder.file("my song.mp3") + "\"",
                             "\"" + folder.file("my song.mp3") + "\""}) {
        Editor ed(folder, args);
        ASSERT_TRUE(ed.main()) << args;
        EXPECT_EQ(ed.text(1000), "Blank path") << args;
        EXPECT_EQ(ed.text(1012), "Artist") << args;
        EXPECT_EQ(ed.text(1001), "my song.mp3") << args;
        EXPECT_EQ(ed.text(1066), "ID3");
        EXPECT_TRUE(ed.close());
    }
}

TEST(Editor, LongTitleConvertedAfterYes) {
    Folder folder;
    std::string path = folder.file("a.mp3");
    write_file(path, audio() + record("old"));
    Editor ed(folder, "/e " + path);
    ASSERT_TRUE(ed.main());
    std::string title(40, 'T');
    ed.set_text(1000, title);
    EXPECT_TRUE(ed.enabled(9));
    ed.press(9);
    HWND q = ed.dialog(k_convert_title);
    ASSERT_TRUE(q);
    Editor::answer(q, 1);
    ASSERT_TRUE(ed.wait_applied());
    EXPECT_EQ(ed.text(1066), "RMP");
    std::string f = read_file(path);
    EXPECT_EQ(f.substr(8, 4), "RMP3");
    EXPECT_EQ(f.substr(f.size() - 128), record(std::string(30, 'T')));
    ASSERT_TRUE(ed.close());
    std::string kt = read_file(folder.file("kt.dat"));
    EXPECT_EQ(int_at(kt, 12), 1);  // the history's first entry
    EXPECT_EQ(std::string(kt.c_str() + 16), std::string(30, 'T'));
}

TEST(Editor, NoKeepsId3AndTheBoxFlipsTheSettingAnyway) {
    Folder folder;
    std::string path = folder.file("b.mp3");
    write_file(path, audio() + record("old"));
    Editor ed(folder, "/e " + path);
    ASSERT_TRUE(ed.main());
    ed.set_text(1000, std::string(40, 'N'));
    ed.press(9);
    HWND q = ed.dialog(k_convert_title);
    ASSERT_TRUE(q);
    Editor::tick(q);
    Editor::answer(q, 2);
    ASSERT_TRUE(ed.wait_applied());
    EXPECT_EQ(read_file(path), audio() + record(std::string(30, 'N')));
    EXPECT_EQ(ed.text(1066), "ID3");
    ASSERT_TRUE(ed.close());
    EXPECT_EQ(int_at(read_file(folder.file("kt.dat")), 45952), 1);
}

TEST(Editor, ReadOnlyFileUntouchedAfterNoWithANotice) {
    Folder folder;
    std::string path = folder.file("ro.mp3");
    std::string content = audio() + record("locked");
    write_file(path, content);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    Editor ed(folder, "/e " + path);
    ASSERT_TRUE(ed.main());
    ed.set_text(1000, "changed");
    ed.press(9);
    HWND q = ed.dialog(k_read_only_title);
    ASSERT_TRUE(q);
    Editor::answer(q, 2);
    HWND m = ed.menu();
    ASSERT_TRUE(m);
    std::vector<std::string> items = menu_items(ed.thread());
    ASSERT_GE(items.size(), 3u);
    EXPECT_EQ(items[0], "<error>");
    EXPECT_EQ(items[2], "処理をｷｬﾝｾﾙしました");
    close_menu(m);
    EXPECT_EQ(read_file(path), content);
    EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(ed.enabled(9));  // still modified
    // Now "はい": the attribute goes and the tag is written.
    ed.press(9);
    q = ed.dialog(k_read_only_title);
    ASSERT_TRUE(q);
    Editor::answer(q, 1);
    ASSERT_TRUE(ed.wait_applied());
    EXPECT_FALSE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(read_file(path), audio() + record("changed"));
    EXPECT_TRUE(ed.close());
}

TEST(Editor, UndoAndTheSameTagTwiceSavesNothing) {
    Folder folder;
    std::string path = folder.file("u.mp3");
    write_file(path, audio() + record("first"));
    Editor ed(folder, "/e " + path);
    ASSERT_TRUE(ed.main());
    ed.set_text(1000, "typed");
    EXPECT_TRUE(ed.enabled(9));
    ed.command(8);
    for (int w = 0; w < 5000 && ed.text(1000) != "first"; w += 50) Sleep(50);
    EXPECT_EQ(ed.text(1000), "first");
    EXPECT_FALSE(ed.enabled(9));

    ed.set_text(1000, "second");
    ed.press(9);
    ASSERT_TRUE(ed.wait_applied());
    ASSERT_TRUE(exists(folder.file("kt.dat")));  // the history changed: saved
    DeleteFileA(folder.file("kt.dat").c_str());
    ed.set_text(1000, "SECOND");  // letter case only: no change
    EXPECT_FALSE(ed.enabled(9));
    ed.command(16);  // OK: apply and close; the same tag leaves the history alone
    ASSERT_TRUE(ed.wait_exit());
    std::string kt = read_file(folder.file("kt.dat"));  // written by the close only
    ASSERT_EQ(kt.size(), 45964u);
    EXPECT_EQ(std::string(kt.c_str() + 16), "second");
    EXPECT_EQ(int_at(kt, 12 + 160), 0);
}

TEST(Editor, CloseWithUnappliedEditsAnsweredNoKeepsTheWindow) {
    Folder folder;
    std::string path = folder.file("c.mp3");
    write_file(path, audio() + record("keep"));
    Editor ed(folder, "/e " + path);
    ASSERT_TRUE(ed.main());
    ed.set_text(1000, "unsaved");
    ed.command(2);
    HWND q = ed.dialog("確認");
    ASSERT_TRUE(q);
    PostMessageA(q, WM_COMMAND, IDNO, 0);
    Sleep(500);
    EXPECT_TRUE(ed.running());
    EXPECT_EQ(ed.text(1000), "unsaved");
    ed.command(2);
    q = ed.dialog("確認");
    ASSERT_TRUE(q);
    PostMessageA(q, WM_COMMAND, IDYES, 0);
    EXPECT_TRUE(ed.wait_exit());
    EXPECT_EQ(read_file(path), audio() + record("keep"));
}

TEST(Editor, NoMp3GivesTheNoticeAndAnEmptyEditor) {
    Folder folder;
    write_file(folder.file("notes.txt"), "just some words");
    Editor ed(folder, "/e " + folder.file("notes.txt"));
    HWND m = ed.menu();
    ASSERT_TRUE(m);
    std::vector<std::string> items = menu_items(ed.thread());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0], "たぶんmp3ﾌｧｲﾙじゃねぇっす");
    close_menu(m);
    ASSERT_TRUE(ed.main());
    EXPECT_EQ(ed.text(1000), "");
    EXPECT_TRUE(ed.close());
}

TEST(Editor, CarryOverSwitchAndUndoEndsIt) {
    Folder folder;
    std::string first = folder.file("1.mp3");
    write_file(first, audio() + record("one", "Carried artist"));
    Editor ed(folder, "/e " + first);
    ASSERT_TRUE(ed.main());
    ed.command(1046);
    for (int w = 0; w < 5000 && ed.enabled(1012); w += 50) Sleep(50);
    for (int id : {1012, 1018, 1019, 1020}) EXPECT_FALSE(ed.enabled(id)) << id;
    EXPECT_TRUE(ed.enabled(1000));
    ed.command(8);  // undo ends carry-over mode
    for (int w = 0; w < 5000 && !ed.enabled(1012); w += 50) Sleep(50);
    for (int id : {1012, 1018, 1019, 1020}) EXPECT_TRUE(ed.enabled(id)) << id;
    ASSERT_TRUE(ed.close());
}

// Drives the real tagzo.exe like a user would: starts it in a folder of its own, finds dialog
// 142 and the question dialogs, types, presses buttons, reads the notice menus, and then
// checks the MP3 files and kt.dat byte for byte.
// The driver's texts are cp932 byte strings, as the editor's are (its literals are compiled
// so), and every one that goes to or comes from Windows passes the two converters below and a
// W call: what the driver sends and reads is the same whatever the system's code page is, so
// the tests show whether the editor itself depends on it.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "win32/editor/resources/resource.h"
#include "core/face/face_rules.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/window_driver_win32.h"


// cp932 to UTF-16; bytes that are no cp932 text fail the test that sent them.
inline std::wstring wide(const std::string& cp932) {
    if (cp932.empty()) return {};
    int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932.data(), static_cast<int>(cp932.size()), nullptr, 0);
    if (n <= 0) {
        ADD_FAILURE() << "no cp932 text: " << cp932;
        return {};
    }
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932.data(), static_cast<int>(cp932.size()), w.data(), n);
    return w;
}
// UTF-16 to cp932. A character with no cp932 form becomes "{U+XXXX}", never a look-alike or a
// question mark that a wrong text could match.
inline std::string cp932(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        int units = IS_HIGH_SURROGATE(text[i]) && i + 1 < text.size() ? 2 : 1;
        char bytes[8];
        BOOL lossy = FALSE;
        int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, text.data() + i, units, bytes, sizeof bytes, nullptr,
                                    &lossy);
        if (n > 0 && !lossy) {
            out.append(bytes, static_cast<size_t>(n));
        } else {
            char mark[16];
            std::snprintf(mark, sizeof mark, "{U+%04X}", static_cast<unsigned>(text[i]));
            out += mark;
        }
        i += static_cast<size_t>(units);
    }
    return out;
}
// The files that the driver and the probe library in the editor exchange hold UTF-8.
inline std::string utf8(const std::wstring& w) { return platform::utf16_to_utf8(w); }
inline std::wstring from_utf8(const std::string& s) { return platform::utf8_to_utf16(s); }

const char* const k_convert_title = "*** 使用文字数がID3の制限を越えています ***";
const char* const k_read_only_title = "*** このﾌｧｲﾙは [読み込み専用] になっています ***";

// Paths are cp932 texts like the others, except those of files whose names have no cp932 form,
// which the driver keeps in UTF-16; each file function takes either.
inline std::string program_folder() {
    wchar_t buf[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::string p = cp932(buf);
    return p.substr(0, p.find_last_of('\\') + 1);
}

using driver::read_file;
inline std::string read_file(const std::string& path) { return read_file(wide(path)); }
inline void write_file(const std::wstring& path, const std::string& bytes) {
    ASSERT_TRUE(driver::write_file(path, bytes)) << cp932(path);
}
inline void write_file(const std::string& path, const std::string& bytes) { write_file(wide(path), bytes); }
inline std::string temp_folder() {
    wchar_t tmp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tmp);
    return cp932(tmp);
}
inline bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
inline bool exists(const std::string& path) { return exists(wide(path)); }
// An environment variable, empty when unset.
inline std::string environment(const wchar_t* name) {
    wchar_t buf[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableW(name, buf, MAX_PATH);
    return n > 0 && n < MAX_PATH ? cp932(buf) : std::string();
}
// The screen's dots per inch, as the runner's prefix has them (TAGZO_WINE_DPI, 96 unless set),
// and a length given at 96 DPI at that scale.
inline int screen_dpi() {
    static const int dpi = [] {
        const std::string set = environment(L"TAGZO_WINE_DPI");
        return set.empty() ? 96 : std::atoi(set.c_str());
    }();
    return dpi;
}
inline long at_scale(long length) { return MulDiv(static_cast<int>(length), screen_dpi(), 96); }

inline std::string record(const std::string& title, const std::string& artist = "", unsigned char genre = 255) {
    auto field = [](std::string s, size_t w) {
        s = s.substr(0, w);
        return s + std::string(w - s.size(), ' ');
    };
    return "TAG" + field(title, 30) + field(artist, 30) + field("", 30) + field("", 4) + field("", 30) +
           std::string(1, static_cast<char>(genre));
}
inline std::string audio() { return std::string("\xFF\xFB\x90\x64", 4) + std::string(1200, '\x11'); }
inline int32_t int_at(const std::string& s, size_t at) {
    return static_cast<int32_t>(static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8 |
                                static_cast<unsigned char>(s[at + 2]) << 16 |
                                static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24);
}

// A folder of its own with a copy of tagzo.exe, so that its kt.dat is the test's.
struct Folder {
    std::string path;
    explicit Folder(bool with_decoder = false) {
        char name[64];
        std::snprintf(name, sizeof name, "tagzo e2e %lu %lu\\", GetCurrentProcessId(), GetTickCount());
        path = temp_folder() + name;
        CreateDirectoryW(wide(path).c_str(), nullptr);
        CopyFileW(wide(program_folder() + "tagzo.exe").c_str(), wide(path + "tagzo.exe").c_str(), FALSE);
        if (with_decoder)
            CopyFileW(wide(program_folder() + "vbmp3.dll").c_str(), wide(path + "vbmp3.dll").c_str(), FALSE);
    }
    ~Folder() {
        // Every file goes, whatever its name.
        WIN32_FIND_DATAW fd;
        const std::wstring folder = wide(path);
        HANDLE h = FindFirstFileW((folder + L"*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::wstring f = folder + fd.cFileName;
                SetFileAttributesW(f.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(f.c_str());
            } while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryW(folder.c_str());
    }
    std::string file(const std::string& name) const { return path + name; }
    std::wstring file(const std::wstring& name) const { return wide(path) + name; }
    // The names of the folder's files, in UTF-16.
    std::vector<std::wstring> names() const {
        std::vector<std::wstring> out;
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW(wide(path + "*").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return out;
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) out.push_back(fd.cFileName);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
        return out;
    }
};

// Folders nested under the test's folder until the one deepest down is 300 characters long:
// each level in the extended-length form (\\?\), the deepest last; empty when one cannot be
// made.
inline std::vector<std::wstring> deep_folders(const Folder& folder) {
    const std::wstring long_form = L"\\\\?\\";
    std::wstring deep = long_form + wide(folder.path);
    std::vector<std::wstring> levels;
    for (wchar_t letter = L'a'; deep.size() < long_form.size() + 300; ++letter) {
        deep += std::wstring(60, letter) + L"\\";
        if (!CreateDirectoryW(deep.c_str(), nullptr)) return {};
        levels.push_back(deep);
    }
    return levels;
}

using driver::window_text;

// A visible window of a process (any when pid is 0) with the title, class and control given
// (any when null or 0).
inline HWND wait_window(DWORD pid, const char* title, const char* cls, int control, int ms = 15000) {
    const std::wstring wide_title = title ? wide(title) : std::wstring(), wide_cls = cls ? wide(cls) : std::wstring();
    driver::WindowQuery q;
    q.pid = pid;
    q.title = title ? wide_title.c_str() : nullptr;
    q.cls = cls ? wide_cls.c_str() : nullptr;
    q.control = control;
    return driver::wait_window(q, ms);
}

// With TAGZO_LOOK naming a folder, a picture of a window as the screen shows it goes there as
// NAME.bmp, to be looked at (tools/screenshot.sh dialogs); otherwise nothing happens.
void look(HWND window, const char* name);

// One run of the editor: its process, started in a folder with a command line, and its main
// window. A run that is still going at the end is ended.
class EditorRun {
public:
    EditorRun() = default;
    EditorRun(const Folder& folder, const std::string& args) { start(folder, wide(args)); }
    EditorRun(const EditorRun&) = delete;
    EditorRun& operator=(const EditorRun&) = delete;
    ~EditorRun() { end(); }
    // Starts the editor; a run started before by this object is ended first.
    void start(const Folder& folder, const std::string& args) { start(folder, wide(args)); }
    void start(const Folder& folder, const std::wstring& args) {
        end();
        process_.start(wide(folder.file("tagzo.exe")), args, wide(folder.path));
    }
    HWND main() {
        if (!main_) main_ = wait_window(process_.pid(), nullptr, "#32770", IDC_TITLE);
        return main_;
    }
    HWND dialog(const char* title) { return wait_window(process_.pid(), title, "#32770", 0); }
    HWND menu() { return wait_window(0, nullptr, "#32768", 0); }
    void set_text(int id, const std::string& text) {
        const std::wstring w = wide(text);
        SendMessageW(GetDlgItem(main(), id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str()));
        SendMessageW(main(), WM_NULL, 0, 0); // change detection runs before every message
    }
    // Types a text into an edit field over what it holds, one UTF-16 character after another,
    // as a keyboard or an input method hands them to the field.
    void type(int id, const std::string& text) {
        HWND edit = GetDlgItem(main(), id);
        SendMessageW(edit, EM_SETSEL, 0, -1);
        for (wchar_t c : wide(text)) SendMessageW(edit, WM_CHAR, c, 1);
        SendMessageW(main(), WM_NULL, 0, 0);
    }
    std::wstring wide_text(int id) { return window_text(GetDlgItem(main(), id)); }
    std::string text(int id) { return cp932(wide_text(id)); }
    bool enabled(int id) { return IsWindowEnabled(GetDlgItem(main(), id)) != 0; }
    // Waits until a control shows a text; true when it does.
    bool wait_text(int id, const std::string& want, int ms = 10000) {
        for (int w = 0; w < ms; w += 50) {
            if (text(id) == want) return true;
            Sleep(50);
        }
        return text(id) == want;
    }
    bool wait_enabled(int id, bool want, int ms = 5000) {
        for (int w = 0; w < ms && enabled(id) != want; w += 50) Sleep(50);
        return enabled(id) == want;
    }
    RECT rect() {
        RECT r{};
        GetWindowRect(main(), &r);
        return r;
    }
    // Puts the pointer on a point of the screen and waits until it stays there for the editor.
    // Wine gives the server the pointer position of each X event the editor takes: an event of
    // an earlier position (the window appearing under the pointer) that a busy editor takes
    // late puts the pointer back there. So the pointer is set again until the editor has taken
    // its pending events and the position holds.
    bool put_cursor(int x, int y) {
        for (int w = 0; w < 5000; w += 50) {
            SetCursorPos(x, y);
            for (int held = 0; held < 2; ++held) {
                DWORD_PTR ignored = 0;
                SendMessageTimeoutW(main(), WM_NULL, 0, 0, SMTO_NORMAL, 2000, &ignored);
                POINT at{};
                if (!GetCursorPos(&at) || at.x != x || at.y != y) break;
                if (held == 1) return true;
                Sleep(50);
            }
            Sleep(50);
        }
        return false;
    }
    // Brings the editor to the front for keys. Wine sets its key states from the X server's
    // when a window gains the focus; a key sent before that settles is forgotten.
    bool to_front() {
        SetForegroundWindow(main());
        for (int w = 0; w < 5000 && GetForegroundWindow() != main(); w += 50) Sleep(50);
        Sleep(500);
        return GetForegroundWindow() == main();
    }
    // Posted, so that a question dialog that opens does not block the driver.
    void press(int id) { driver::click(main(), id); }
    void command(int id) { driver::command(main(), id); }
    static void answer(HWND dialog, int button) { driver::click(dialog, button); }
    static void tick(HWND dialog) { SendMessageW(GetDlgItem(dialog, IDC_NEVER_ASK), BM_CLICK, 0, 0); }
    // Waits until the apply button is disabled again: the apply has run.
    bool wait_applied(int ms = 10000) {
        for (int w = 0; w < ms; w += 50) {
            SendMessageW(main(), WM_NULL, 0, 0);
            if (!enabled(IDC_APPLY)) return true;
            Sleep(50);
        }
        return false;
    }
    bool wait_exit(int ms = 15000) { return process_.wait_end(ms); }
    bool running() { return process_.running(); }
    // The close button "X", then the end of the process.
    bool close() {
        command(IDC_CLOSE_X);
        return wait_exit();
    }
    bool started() const { return process_.started(); }
    DWORD thread() const { return process_.thread(); }
    DWORD pid() const { return process_.pid(); }

private:
    void end() {
        if (!process_.started()) return;
        process_.end();
        main_ = nullptr;
    }
    driver::Process process_;
    HWND main_ = nullptr;
};

// A menu lives in its process: the probe library, hooked into the editor's thread, does the
// work that must happen inside the editor (reading its open menu, making a drop handle).
class Probe {
public:
    explicit Probe(DWORD thread) : thread_(thread) {
        dll_ = LoadLibraryW(wide(program_folder() + "menu_probe.dll").c_str());
        auto proc = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(dll_, "probe_hook")));
        if (proc) hook_ = SetWindowsHookExW(WH_GETMESSAGE, proc, dll_, thread);
    }
    ~Probe() {
        if (hook_) UnhookWindowsHookEx(hook_);
    }
    bool ready() const { return hook_ != nullptr; }
    void signal(const wchar_t* name, WPARAM wp = 0) {
        PostThreadMessageW(thread_, RegisterWindowMessageW(name), wp, 0);
    }

private:
    DWORD thread_;
    HMODULE dll_ = nullptr;
    HHOOK hook_ = nullptr;
};

struct MenuEntry {
    unsigned id;
    char kind; // 'S' string, 'O' owner-drawn, '-' separator
    int greyed;
    RECT rect; // on the screen
    std::string name; // an owner-drawn item's text for screen readers
    std::string text;
    long width() const { return rect.right - rect.left; }
    long height() const { return rect.bottom - rect.top; }
};
// Signals the probe in the editor's thread until its answer file is there (up to 10 s), and
// reads it; nullopt without a probe.
inline std::optional<std::string> ask_probe(DWORD thread, const wchar_t* signal, WPARAM wp, const char* answer) {
    std::string file = temp_folder() + answer;
    DeleteFileW(wide(file).c_str());
    Probe probe(thread);
    if (!probe.ready()) return std::nullopt;
    for (int w = 0; w < 10000 && !exists(file); w += 100) {
        probe.signal(signal, wp);
        Sleep(100);
    }
    return read_file(file);
}
inline std::vector<MenuEntry> menu_entries(DWORD thread) {
    std::vector<MenuEntry> out;
    std::optional<std::string> answer = ask_probe(thread, L"tagzo-menu-probe", 0, "tagzo-menu-probe.txt");
    if (!answer) return out;
    const std::string& text = *answer;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
        std::string line = text.substr(start, nl - start);
        MenuEntry e{};
        char kind = 0;
        if (std::sscanf(line.c_str(), "%u\t%c\t%d\t%ld\t%ld\t%ld\t%ld", &e.id, &kind, &e.greyed, &e.rect.left,
                        &e.rect.top, &e.rect.right, &e.rect.bottom) < 7)
            continue;
        e.kind = kind;
        // The name and the text follow the seventh tab (either may be empty).
        size_t at = 0;
        for (int tabs = 0; tabs < 8 && at != std::string::npos; ++tabs) at = line.find('\t', at + (tabs > 0));
        if (at == std::string::npos) continue;
        size_t name_at = line.rfind('\t', at - 1) + 1;
        e.name = cp932(from_utf8(line.substr(name_at, at - name_at)));
        e.text = cp932(from_utf8(line.substr(at + 1)));
        out.push_back(e);
    }
    return out;
}
inline std::vector<std::string> menu_items(DWORD thread) {
    std::vector<std::string> texts;
    for (const MenuEntry& e : menu_entries(thread)) texts.push_back(e.text);
    return texts;
}
// The name of a window's accessible object (OBJID_CLIENT), asked from this process as a screen
// reader asks: "<none: HRESULT>" without an object, "<no name: HRESULT>" without a name. (The
// interface's identity comes from __uuidof: the import library's IID_IAccessible links to a
// jump thunk of oleacc.dll, not to the GUID.)
std::string accessible_name(HWND window);

// How many characters of `text` the font of `control` has no glyph for, and the font's face:
// "COUNT\tFACE" ("-1" when the count failed), measured inside the editor.
inline std::string missing_glyphs(DWORD thread, HWND control, const std::wstring& text) {
    write_file(temp_folder() + "tagzo-glyph.txt", utf8(text));
    std::optional<std::string> answer =
        ask_probe(thread, L"tagzo-glyph-probe", reinterpret_cast<WPARAM>(control), "tagzo-glyph-probe.txt");
    if (!answer) return "no probe";
    std::string line = *answer;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
}
// Drops files on the window at a client point, as the shell would.
inline void drop_files(DWORD thread, HWND target, POINT at, const std::vector<std::wstring>& paths) {
    std::string list = std::to_string(at.x) + " " + std::to_string(at.y) + "\n";
    for (const std::wstring& p : paths) list += utf8(p) + "\n";
    std::string file = temp_folder() + "tagzo-drop.txt";
    write_file(file, list);
    Probe probe(thread);
    ASSERT_TRUE(probe.ready());
    probe.signal(L"tagzo-drop-probe", reinterpret_cast<WPARAM>(target));
    for (int w = 0; w < 10000 && exists(file); w += 50) Sleep(50); // the probe takes the list away
    EXPECT_FALSE(exists(file)) << "the drop never reached the editor";
}
inline void drop_files(DWORD thread, HWND target, POINT at, const std::vector<std::string>& paths) {
    std::vector<std::wstring> wide_paths;
    for (const std::string& p : paths) wide_paths.push_back(wide(p));
    drop_files(thread, target, at, wide_paths);
}
// Settings of the folder's kt.dat, which a first start has written: a text, a number.
inline void set_text_setting(const Folder& folder, size_t offset, const std::string& text) {
    std::string kt = read_file(folder.file("kt.dat"));
    ASSERT_EQ(kt.size(), 45964u);
    kt.replace(offset, text.size() + 1, text + '\0');
    write_file(folder.file("kt.dat"), kt);
}
inline void set_setting(const Folder& folder, size_t offset, int32_t value) {
    std::string kt = read_file(folder.file("kt.dat"));
    ASSERT_EQ(kt.size(), 45964u);
    for (int i = 0; i < 4; ++i) kt[offset + static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    write_file(folder.file("kt.dat"), kt);
}
// A key pressed, held and released, as a user's hand would.
inline void key(BYTE vk, int hold_ms) {
    keybd_event(vk, 0, 0, 0);
    Sleep(static_cast<DWORD>(hold_ms));
    keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
    Sleep(100);
}
inline void close_menu(HWND menu_window) {
    PostMessageW(menu_window, WM_KEYDOWN, VK_ESCAPE, 0);
    driver::wait_hidden(menu_window, 5000);
}

// The editor on a file: each test has a folder of its own with a copy of tagzo.exe, and in it
// one run of the editor at a time, `ed`; starting another ends the one before.
class Editor : public ::testing::Test {
protected:
    explicit Editor(bool with_decoder = false) : folder(with_decoder) {}
    // Starts the editor with a command line; true once its main window is there.
    [[nodiscard]] bool start(const std::string& args) { return start(wide(args)); }
    [[nodiscard]] bool start(const std::wstring& args) {
        ed.start(folder, args);
        return ed.main() != nullptr;
    }
    // Writes `content` as the folder's file `name`, which `path` then names, and starts the
    // editor on it.
    [[nodiscard]] bool open(const std::string& name, const std::string& content) {
        path = folder.file(name);
        write_file(path, content);
        return !HasFatalFailure() && start("/e " + path);
    }
    // A first start and close, which writes the folder's settings file.
    void first_start() {
        ASSERT_TRUE(start(""));
        ASSERT_TRUE(ed.close());
    }

    Folder folder;
    std::string path; // the file the editor was opened on
    EditorRun ed;     // after the folder: the run ends before the folder goes
};

// Counts the pixels of a screen rectangle that differ from its top-left pixel (an item's
// background): something was drawn there.
int drawn_pixels(RECT r);

// Whether a caption that the main window paints embossed (white, and black one pixel up and
// left) at client point x, y with the given font height is on the screen: where no control
// covers it, the black pixels of the screen there are those of the same text drawn here in
// the same font, and there are some. (In Wine's layout of the dialog the carry-over button
// lies over the middle of "Wave Vol".)
bool caption_shown(HWND main, int x, int y, const char* text, int height);

inline std::vector<unsigned> ids_of(const std::vector<MenuEntry>& entries) {
    std::vector<unsigned> ids;
    for (const MenuEntry& e : entries) ids.push_back(e.kind == '-' ? 0 : e.id);
    return ids;
}

// The rename dialogs: 137 is titled like the discard question, so look for its name fields.
HWND rename_dialog(EditorRun& ed, const char* title);
inline std::string dialog_text(HWND dialog, int id) { return cp932(window_text(GetDlgItem(dialog, id))); }

// Takes a file in an open-file dialog of the editor: its name typed into the name box, then OK.
inline bool choose_in(HWND chooser, const std::string& file) {
    const std::wstring w = wide(file);
    for (int box : {0x47c, 0x480}) // the name box, in either form of the dialog
        if (HWND h = GetDlgItem(chooser, box)) SendMessageW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str()));
    driver::click(chooser, IDOK);
    for (int w2 = 0; w2 < 10000 && IsWindow(chooser); w2 += 50) Sleep(50);
    return !IsWindow(chooser);
}

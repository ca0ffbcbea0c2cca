// Drives the real tagzo.exe like a user would: starts it in a folder of its own, finds dialog
// 142 and the question dialogs, types, presses buttons, reads the notice menus, and then
// checks the MP3 files and kt.dat byte for byte.
// The driver's texts are cp932 byte strings, as the editor's are (its literals are compiled
// so), and every one that goes to or comes from Windows passes the two converters below and a
// W call: what the driver sends and reads is the same whatever the system's code page is, so
// the tests show whether the editor itself depends on it.
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

namespace {

// cp932 to UTF-16; bytes that are no cp932 text fail the test that sent them.
std::wstring wide(const std::string& cp932) {
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
std::string cp932(const std::wstring& text) {
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
std::string utf8(const std::wstring& w) { return platform::utf16_to_utf8(w); }
std::wstring from_utf8(const std::string& s) { return platform::utf8_to_utf16(s); }

const char* const k_convert_title = "*** 使用文字数がID3の制限を越えています ***";
const char* const k_read_only_title = "*** このﾌｧｲﾙは [読み込み専用] になっています ***";

// Paths are cp932 texts like the others, except those of files whose names have no cp932 form,
// which the driver keeps in UTF-16; each file function takes either.
std::string program_folder() {
    wchar_t buf[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::string p = cp932(buf);
    return p.substr(0, p.find_last_of('\\') + 1);
}

using driver::read_file;
std::string read_file(const std::string& path) { return read_file(wide(path)); }
void write_file(const std::wstring& path, const std::string& bytes) {
    ASSERT_TRUE(driver::write_file(path, bytes)) << cp932(path);
}
void write_file(const std::string& path, const std::string& bytes) { write_file(wide(path), bytes); }
std::string temp_folder() {
    wchar_t tmp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tmp);
    return cp932(tmp);
}
bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
bool exists(const std::string& path) { return exists(wide(path)); }
// The driver reads and sets the editor's places in the screen's own pixels, as the editor
// does: a program unaware of the screen's scale would get and give them at 96 DPI.
const bool g_aware_of_the_scale = SetProcessDPIAware() != FALSE;
// An environment variable, empty when unset.
std::string environment(const wchar_t* name) {
    wchar_t buf[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableW(name, buf, MAX_PATH);
    return n > 0 && n < MAX_PATH ? cp932(buf) : std::string();
}
// The screen's dots per inch, as the runner's prefix has them (TAGZO_WINE_DPI, 96 unless set),
// and a length given at 96 DPI at that scale.
int screen_dpi() {
    static const int dpi = [] {
        const std::string set = environment(L"TAGZO_WINE_DPI");
        return set.empty() ? 96 : std::atoi(set.c_str());
    }();
    return dpi;
}
long at_scale(long length) { return MulDiv(static_cast<int>(length), screen_dpi(), 96); }

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
std::vector<std::wstring> deep_folders(const Folder& folder) {
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
HWND wait_window(DWORD pid, const char* title, const char* cls, int control, int ms = 15000) {
    const std::wstring wide_title = title ? wide(title) : std::wstring(), wide_cls = cls ? wide(cls) : std::wstring();
    driver::WindowQuery q;
    q.pid = pid;
    q.title = title ? wide_title.c_str() : nullptr;
    q.cls = cls ? wide_cls.c_str() : nullptr;
    q.control = control;
    return driver::wait_window(q, ms);
}

// The pixels of a screen rectangle, top row first, each 0x00RRGGBB.
std::vector<uint32_t> screen_pixels(RECT r) {
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return {};
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof bi.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<uint32_t> px(static_cast<size_t>(w) * static_cast<size_t>(h));
    GetDIBits(mem, bmp, 0, static_cast<UINT>(h), px.data(), &bi, DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return px;
}

// With TAGZO_LOOK naming a folder, a picture of a window as the screen shows it goes there as
// NAME.bmp, to be looked at (tools/screenshot.sh dialogs); otherwise nothing happens.
void look(HWND window, const char* name) {
    const std::string folder = environment(L"TAGZO_LOOK");
    if (folder.empty() || !window) return;
    Sleep(300); // drawn
    RECT r{};
    GetWindowRect(window, &r);
    std::vector<uint32_t> px = screen_pixels(r);
    for (uint32_t& p : px) p |= 0xFF000000u; // opaque, for viewers that read the fourth byte
    // A top-down 32-bit bitmap file.
    BITMAPINFOHEADER info{sizeof info, r.right - r.left, -(r.bottom - r.top), 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    DWORD bytes = static_cast<DWORD>(px.size() * 4);
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof info + bytes), 0, 0,
                          static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof info)};
    write_file(folder + "\\" + name + ".bmp", std::string(reinterpret_cast<const char*>(&file), sizeof file) +
                                                  std::string(reinterpret_cast<const char*>(&info), sizeof info) +
                                                  std::string(reinterpret_cast<const char*>(px.data()), bytes));
}

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
std::optional<std::string> ask_probe(DWORD thread, const wchar_t* signal, WPARAM wp, const char* answer) {
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
std::vector<MenuEntry> menu_entries(DWORD thread) {
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
std::vector<std::string> menu_items(DWORD thread) {
    std::vector<std::string> texts;
    for (const MenuEntry& e : menu_entries(thread)) texts.push_back(e.text);
    return texts;
}
// The name of a window's accessible object (OBJID_CLIENT), asked from this process as a screen
// reader asks: "<none: HRESULT>" without an object, "<no name: HRESULT>" without a name. (The
// interface's identity comes from __uuidof: the import library's IID_IAccessible links to a
// jump thunk of oleacc.dll, not to the GUID.)
std::string accessible_name(HWND window) {
    static const bool com = SUCCEEDED(CoInitialize(nullptr));
    (void)com;
    IAccessible* object = nullptr;
    HRESULT found = AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                               reinterpret_cast<void**>(&object));
    char code[48];
    if (FAILED(found) || !object) {
        std::snprintf(code, sizeof code, "<none: %08lx>", static_cast<unsigned long>(found));
        return code;
    }
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    HRESULT got = object->get_accName(self, &name);
    object->Release();
    std::string out;
    if (got == S_OK && name) {
        out = cp932(std::wstring(name, SysStringLen(name)));
    } else {
        std::snprintf(code, sizeof code, "<no name: %08lx>", static_cast<unsigned long>(got));
        out = code;
    }
    SysFreeString(name);
    return out;
}

// How many characters of `text` the font of `control` has no glyph for, and the font's face:
// "COUNT\tFACE" ("-1" when the count failed), measured inside the editor.
std::string missing_glyphs(DWORD thread, HWND control, const std::wstring& text) {
    write_file(temp_folder() + "tagzo-glyph.txt", utf8(text));
    std::optional<std::string> answer =
        ask_probe(thread, L"tagzo-glyph-probe", reinterpret_cast<WPARAM>(control), "tagzo-glyph-probe.txt");
    if (!answer) return "no probe";
    std::string line = *answer;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return line;
}
// Drops files on the window at a client point, as the shell would.
void drop_files(DWORD thread, HWND target, POINT at, const std::vector<std::wstring>& paths) {
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
void drop_files(DWORD thread, HWND target, POINT at, const std::vector<std::string>& paths) {
    std::vector<std::wstring> wide_paths;
    for (const std::string& p : paths) wide_paths.push_back(wide(p));
    drop_files(thread, target, at, wide_paths);
}
// Settings of the folder's kt.dat, which a first start has written: a text, a number.
void set_text_setting(const Folder& folder, size_t offset, const std::string& text) {
    std::string kt = read_file(folder.file("kt.dat"));
    ASSERT_EQ(kt.size(), 45964u);
    kt.replace(offset, text.size() + 1, text + '\0');
    write_file(folder.file("kt.dat"), kt);
}
void set_setting(const Folder& folder, size_t offset, int32_t value) {
    std::string kt = read_file(folder.file("kt.dat"));
    ASSERT_EQ(kt.size(), 45964u);
    for (int i = 0; i < 4; ++i) kt[offset + static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    write_file(folder.file("kt.dat"), kt);
}
// A key pressed, held and released, as a user's hand would.
void key(BYTE vk, int hold_ms) {
    keybd_event(vk, 0, 0, 0);
    Sleep(static_cast<DWORD>(hold_ms));
    keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
    Sleep(100);
}
void close_menu(HWND menu_window) {
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

} // namespace

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

// Counts the pixels of a screen rectangle that differ from its top-left pixel (an item's
// background): something was drawn there.
int drawn_pixels(RECT r) {
    std::vector<uint32_t> px = screen_pixels(r);
    int n = 0;
    for (uint32_t p : px) n += (p & 0xFFFFFF) != (px[0] & 0xFFFFFF);
    return n;
}

// Whether a caption that the main window paints embossed (white, and black one pixel up and
// left) at client point x, y with the given font height is on the screen: where no control
// covers it, the black pixels of the screen there are those of the same text drawn here in
// the same font, and there are some. (In Wine's layout of the dialog the carry-over button
// lies over the middle of "Wave Vol".)
bool caption_shown(HWND main, int x, int y, const char* text, int height) {
    HFONT font =
        CreateFontW(height, 0, 0, 0, 400, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FIXED_PITCH | FF_MODERN, wide("ＭＳ ゴシック").c_str());
    const std::wstring w = wide(text);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old_font = SelectObject(mem, font);
    SIZE size{};
    GetTextExtentPoint32W(mem, w.c_str(), static_cast<int>(w.size()), &size);
    const int cx = size.cx + 1, cy = size.cy + 1;
    HBITMAP bmp = CreateCompatibleBitmap(screen, cx, cy);
    HGDIOBJ old_bmp = SelectObject(mem, bmp);
    RECT all{0, 0, cx, cy};
    HBRUSH grey = CreateSolidBrush(RGB(128, 128, 128));
    FillRect(mem, &all, grey);
    DeleteObject(grey);
    SetBkMode(mem, TRANSPARENT);
    SetTextColor(mem, RGB(255, 255, 255));
    TextOutW(mem, 1, 1, w.c_str(), static_cast<int>(w.size()));
    SetTextColor(mem, RGB(0, 0, 0));
    TextOutW(mem, 0, 0, w.c_str(), static_cast<int>(w.size()));
    // The controls over the face, in client points: the caption shows where none covers it.
    std::vector<RECT> covered;
    for (HWND c = GetWindow(main, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r{};
        if (!IsWindowVisible(c) || !GetWindowRect(c, &r)) continue;
        MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
        covered.push_back(r);
    }
    POINT at{x - 1, y - 1};
    ClientToScreen(main, &at);
    int black = 0, differ = 0;
    for (int j = 0; j < cy; ++j)
        for (int i = 0; i < cx; ++i) {
            const POINT client{x - 1 + i, y - 1 + j};
            bool under_control = false;
            for (const RECT& r : covered) under_control = under_control || PtInRect(&r, client);
            if (under_control) continue;
            bool want = (GetPixel(mem, i, j) & 0xFFFFFF) == 0;
            bool got = (GetPixel(screen, at.x + i, at.y + j) & 0xFFFFFF) == 0;
            black += want;
            differ += want != got;
        }
    SelectObject(mem, old_bmp);
    SelectObject(mem, old_font);
    DeleteObject(bmp);
    DeleteObject(font);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return black >= 10 && differ == 0;
}

std::vector<unsigned> ids_of(const std::vector<MenuEntry>& entries) {
    std::vector<unsigned> ids;
    for (const MenuEntry& e : entries) ids.push_back(e.kind == '-' ? 0 : e.id);
    return ids;
}

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

namespace {

// Where the window's client area (0) and its controls lie, in client coordinates; as text a
// line each: "ID LEFT TOP RIGHT BOTTOM".
std::map<int, RECT> layout_of(HWND main) {
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
std::string layout_text(const std::map<int, RECT>& layout) {
    std::string out;
    for (const auto& [id, r] : layout)
        out += std::to_string(id) + " " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
               std::to_string(r.right) + " " + std::to_string(r.bottom) + "\n";
    return out;
}
std::map<int, RECT> layout_from(const std::string& text) {
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
void expect_scaled(const std::map<int, RECT>& seen, int dpi, const std::map<int, RECT>& base, int base_dpi,
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
        if (id == IDC_YEAR) EXPECT_GE(r.right - r.left, MulDiv(50, dpi, 96) - 1) << what;
    }
}
// Tells the editor that its screen's scale changed (as Windows does when the window moves to
// another screen), through the probe.
bool change_dpi(DWORD thread, HWND main, int dpi) {
    write_file(temp_folder() + "tagzo-dpi.txt", std::to_string(dpi) + "\n");
    return ask_probe(thread, L"tagzo-dpi-probe", reinterpret_cast<WPARAM>(main), "tagzo-dpi-probe.txt").has_value();
}
// A press and release of the left button on a point of the screen, through the system's input.
void mouse_click(EditorRun& ed, POINT at) {
    ASSERT_TRUE(ed.put_cursor(at.x, at.y));
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    Sleep(50);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    Sleep(200);
}

} // namespace

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

namespace {
// The rename dialogs: 137 is titled like the discard question, so look for its name fields.
HWND rename_dialog(EditorRun& ed, const char* title) { return wait_window(ed.pid(), title, "#32770", IDC_OLD_NAME); }
std::string dialog_text(HWND dialog, int id) { return cp932(window_text(GetDlgItem(dialog, id))); }
} // namespace

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

// The preview, run with a sound server of the tests' own (tests/vbmp3/run_audio.sh, which
// also makes the MP3 files and names their folder in TAGZO_AUDIO_DIR).
namespace {
std::string audio_file(const char* name) {
    const std::string dir = environment(L"TAGZO_AUDIO_DIR");
    return dir.empty() ? dir : dir + name;
}
// Waits until the status display's text starts with `prefix`.
bool wait_status(EditorRun& ed, const std::string& prefix, int ms = 10000) {
    for (int w = 0; w < ms; w += 25) {
        if (ed.text(IDC_STATUS).compare(0, prefix.size(), prefix) == 0) return true;
        Sleep(25);
    }
    return false;
}
// Lit green segments of the level meter (below the status display: from its left edge and its
// bottom, 120 by 24 pixels at 96 DPI, scaled) on the screen.
int lit_meter_pixels(HWND main) {
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
POINT panel_point(HWND main, int from_left) {
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
} // namespace

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

namespace {
// Pixels of a screen rectangle in the File menu's red (200, 0, 0).
int red_pixels(RECT r) {
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
// Takes a file in an open-file dialog of the editor: its name typed into the name box, then OK.
bool choose_in(HWND chooser, const std::string& file) {
    const std::wstring w = wide(file);
    for (int box : {0x47c, 0x480}) // the name box, in either form of the dialog
        if (HWND h = GetDlgItem(chooser, box)) SendMessageW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str()));
    driver::click(chooser, IDOK);
    for (int w2 = 0; w2 < 10000 && IsWindow(chooser); w2 += 50) Sleep(50);
    return !IsWindow(chooser);
}
} // namespace

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

namespace {
int count_windows(DWORD pid, const char* title) {
    const std::wstring wide_title = wide(title);
    driver::WindowQuery q;
    q.pid = pid;
    q.title = wide_title.c_str();
    return driver::count_windows(q);
}
using driver::checked;
} // namespace

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

namespace {
// What the stand-in program was started with, once it has run.
std::string started_with(const std::string& stand_in_folder) {
    std::string file = stand_in_folder + "args.txt";
    for (int w = 0; w < 10000 && !exists(file); w += 50) Sleep(50);
    std::string args = read_file(file);
    DeleteFileW(wide(file).c_str());
    return args;
}
std::string started_with(const Folder& folder) { return started_with(folder.path); }
// A recorded command line with the quotes that Wine puts around a program path holding blanks
// taken away, so that it reads as the editor gave it.
std::string as_given(std::string line) {
    size_t end = line.size() > 1 && line[0] == '"' ? line.find('"', 1) : std::string::npos;
    if (end != std::string::npos) line = line.substr(1, end - 1) + line.substr(end + 1);
    return line;
}
// The text of a slot of the folder's kt.dat, up to its first zero byte.
std::string setting_text(const Folder& folder, size_t offset) {
    std::string kt = read_file(folder.file("kt.dat"));
    if (kt.size() != 45964u) return "(kt.dat of " + std::to_string(kt.size()) + " bytes)";
    return kt.substr(offset, kt.find('\0', offset) - offset);
}
} // namespace

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

namespace {
// The shell's folder chooser of a process: the dialog that holds a tree of folders.
HWND wait_chooser(DWORD pid) {
    driver::WindowQuery q;
    q.pid = pid;
    q.child_class = L"SysTreeView32";
    return driver::wait_window(q, 15000);
}
} // namespace

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

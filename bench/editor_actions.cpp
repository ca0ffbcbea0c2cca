// Times the editor's actions as a user meets them under Wine: from the input the driver sends
// to the moment the file on disk holds the result (read back) and the window shows it (read
// by WM_GETTEXT), both seen in one look. Between the input and that moment the driver looks
// every 0.5 ms; the clock is QueryPerformanceCounter. Used by bench/editor_actions.sh.
//   editor_actions ROUNDS ACTIONS NAME TAGZO_EXE [NAME TAGZO_EXE]...
// Each TAGZO_EXE is copied into a folder of its own for each action, and the editors take
// their rounds in turns. ROUNDS is the number of times each action is timed on each editor;
// ACTIONS is "all" or a comma-separated list of apply, yes, no, load, rename, discard. For
// each editor and row it prints the times in the order of the rounds and a summary,
//   samples NAME ROW T1 T2 ...
//   result NAME ROW MEDIAN MAX P25 P75 COUNT FAILED
// in milliseconds. The rows are the actions, and: ask141 and ask_discard, the time from the
// input that opens a question until it shows (the actions' own rows start at the answer);
// renamed, the rename from the editor taking the key; look, the cost of one look at the file
// and the window. The exit code is 0 when every round ended as it should, 1 otherwise.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "win32/editor/resources/resource.h"
#include "tests/support/window_driver_win32.h"

namespace {

using driver::window_text;

// Sleep's steps are whole milliseconds; Wine's NtDelayExecution sleeps for the time asked.
using DelayFn = LONG(NTAPI*)(BOOLEAN, const LARGE_INTEGER*);
DelayFn nt_delay = nullptr;
void nap() {
    if (!nt_delay) {
        Sleep(0);
        return;
    }
    LARGE_INTEGER half_ms;
    half_ms.QuadPart = -5000; // 100 ns units, relative
    nt_delay(FALSE, &half_ms);
}

double now_ms() {
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

// Looks until `done` holds: the milliseconds from `start` to the look that saw it, or -1 after
// `limit_ms`.
template <class Done> double until(double start, Done done, double limit_ms = 10000) {
    for (;;) {
        if (done()) return now_ms() - start;
        if (now_ms() - start > limit_ms) return -1;
        nap();
    }
}

std::wstring temp_folder() {
    wchar_t tmp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tmp);
    return tmp;
}

using driver::read_file;
using driver::write_file;
bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// An MP3 file of a frame header, some audio bytes and an ID3v1 record.
std::string record(const std::string& title, const std::string& artist) {
    auto field = [](std::string s, size_t w) {
        s = s.substr(0, w);
        return s + std::string(w - s.size(), ' ');
    };
    return "TAG" + field(title, 30) + field(artist, 30) + field("", 30) + field("", 4) + field("", 30) +
           std::string(1, '\xFF');
}
std::string mp3(const std::string& title, const std::string& artist = "Band") {
    return std::string("\xFF\xFB\x90\x64", 4) + std::string(1200, '\x11') + record(title, artist);
}
// The title the file's ID3v1 record holds, without the padding.
std::string record_title(const std::string& file) {
    if (file.size() < 128 || file.compare(file.size() - 128, 3, "TAG") != 0) return {};
    std::string t = file.substr(file.size() - 125, 30);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\0')) t.pop_back();
    return t;
}
bool is_rmp_with(const std::string& file, const std::string& text) {
    return file.size() > 12 && file.compare(8, 4, "RMP3") == 0 && file.find(text) != std::string::npos;
}

// A folder of its own for one action, with a copy of the editor (its kt.dat is the action's).
struct Folder {
    std::wstring path;
    Folder(const std::wstring& exe, const char* action) {
        path = temp_folder() + L"tagzo actions " + std::to_wstring(GetCurrentProcessId()) + L" " + wide(action) + L"\\";
        CreateDirectoryW(path.c_str(), nullptr);
        CopyFileW(exe.c_str(), (path + L"tagzo.exe").c_str(), FALSE);
    }
    ~Folder() {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((path + L"*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((path + fd.cFileName).c_str());
            } while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryW(path.c_str());
    }
    std::wstring file(const std::string& name) const { return path + wide(name); }
};

// One run of the editor in a folder, found and driven as tests/win32/editor/drive_editor does.
struct Editor {
    driver::Process process;
    HWND main = nullptr;

    bool start(const Folder& folder, const std::wstring& args) {
        main = nullptr;
        if (!process.start(folder.path + L"tagzo.exe", args, folder.path)) return false;
        driver::WindowQuery q;
        q.pid = process.pid();
        q.cls = L"#32770";
        q.control = IDC_TITLE;
        main = driver::wait_window(q, 15000, process.handle());
        return main != nullptr;
    }
    void close() {
        if (!process.started()) return;
        if (main) driver::command(main, IDC_CLOSE_X);
        if (!process.wait_end(10000)) std::printf("note: the editor did not close; ended\n");
        process.end();
        main = nullptr;
    }
    HWND item(int id) const { return GetDlgItem(main, id); }
    // A control's text; what a control of a hung editor would never give back is no text.
    std::wstring text(int id) const {
        wchar_t buf[600] = {};
        DWORD_PTR n = 0;
        if (!SendMessageTimeoutW(item(id), WM_GETTEXT, 600, reinterpret_cast<LPARAM>(buf), SMTO_NORMAL, 5000, &n))
            return L"\x1";
        return std::wstring(buf, std::min<size_t>(n, 599));
    }
    // As the tests set a field: the text, then a message so that change detection runs.
    void set_text(int id, const std::string& text) {
        const std::wstring w = wide(text);
        SendMessageW(item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str()));
        SendMessageW(main, WM_NULL, 0, 0);
    }
    bool applied() const { return !IsWindowEnabled(item(IDC_APPLY)); }
    // A file loaded: its name in the file box, its title in the title field, nothing to apply.
    bool shows(const std::string& name, const std::string& title) const {
        return text(IDC_FILE_BOX) == wide(name) && text(IDC_TITLE) == wide(title) && applied();
    }
    // Brings the editor to the front, where a user's editor is when they act. For keys, the
    // wait is longer: Wine sets its key states after the focus comes (as EditorRun::to_front).
    bool to_front(bool for_keys = false) {
        if (GetForegroundWindow() != main) {
            SetForegroundWindow(main);
            for (int w = 0; w < 5000 && GetForegroundWindow() != main; w += 10) Sleep(10);
            Sleep(for_keys ? 500 : 60);
        }
        return GetForegroundWindow() == main;
    }
    // Waits, untimed, until the editor has taken what was sent before and drawn it.
    void settle() {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
        Sleep(60);
    }
    // A visible dialog of the editor with this title, or null.
    HWND dialog(const wchar_t* title) const {
        for (HWND h = nullptr; (h = FindWindowExW(nullptr, h, L"#32770", title));) {
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (pid == process.pid() && IsWindowVisible(h)) return h;
        }
        return nullptr;
    }
    // The File menu, open with its selection on the listed file `slot` (menu rows: open file,
    // open folder, a separator, then the files in order); the menu's window, or null.
    HWND file_menu_at(int slot) {
        driver::WindowQuery q;
        q.pid = process.pid();
        q.cls = L"#32768";
        for (int w = 0; w < 5000 && driver::find_window(q); w += 10) Sleep(10); // the last one closed
        driver::command(main, IDC_FILE_MENU);
        HWND m = driver::wait_window(q, 5000);
        if (!m) return nullptr;
        for (int i = 0; i < slot + 3; ++i) PostMessageW(m, WM_KEYDOWN, VK_DOWN, 0);
        Sleep(100); // the selection moved, untimed
        return m;
    }
};

const wchar_t* const k_convert_title = L"*** 使用文字数がID3の制限を越えています ***"; // dialog 141
const wchar_t* const k_confirm_title = L"確認";                                         // the discard question

struct Series {
    std::vector<double> ms; // in the order of the rounds
    int failed = 0;
    void add(double t) {
        if (t < 0) ++failed;
        else ms.push_back(t);
    }
};
// By the editor's name, then by the row.
std::map<std::string, std::map<std::string, Series>> results;
std::vector<std::string> rows;
bool trouble = false; // a round that could not be set up

// One of the editors compared: a name for the output and its program.
struct Side {
    std::string name;
    std::wstring exe;
};

// What an action does on one editor: `ready` once its folder and its editor are set up, and a
// round of it timed by `round`.
struct Action {
    const Side& side;
    const char* name;
    Folder folder;
    Editor ed;
    bool ready = false;
    Action(const Side& s, const char* action) : side(s), name(action), folder(s.exe, (s.name + " " + action).c_str()) {}
    virtual ~Action() { ed.close(); }
    virtual void round(int i) = 0;
    Series& series(const std::string& row) {
        if (std::find(rows.begin(), rows.end(), row) == rows.end()) rows.push_back(row);
        return results[side.name][row];
    }
    void fail(int i, const char* what) {
        trouble = true;
        std::printf("note: %s, %s, round %d: %s\n", side.name.c_str(), name, i, what);
        std::fflush(stdout);
    }
    bool start(const std::string& file) {
        ready = ed.start(folder, L"/e \"" + folder.file(file) + L"\"");
        if (!ready) fail(0, "no editor window");
        return ready;
    }
};

// 1. The title changed, the apply button pressed.
struct Apply : Action {
    explicit Apply(const Side& s) : Action(s, "apply") {
        write_file(folder.file("a.mp3"), mp3("start"));
        start("a.mp3");
    }
    void round(int i) override {
        ed.to_front();
        char title[32];
        std::snprintf(title, sizeof title, "Apply %02d", i);
        ed.set_text(IDC_TITLE, title);
        ed.settle();
        auto done = [&] {
            return record_title(read_file(folder.file("a.mp3"))) == title && ed.applied() &&
                   ed.text(IDC_TITLE) == wide(title);
        };
        double start = now_ms();
        driver::click(ed.main, IDC_APPLY);
        double t = until(start, done);
        if (t < 0) fail(i, "not applied");
        series("apply").add(t);
        // What one look costs, once all is done: the resolution of the times above.
        if (t >= 0) series("look").add(until(now_ms(), done));
    }
};

// Loads the listed file `slot` through the File menu, outside the times, once more if the
// first pick did not take.
bool load_listed(Editor& ed, int slot, const std::string& name) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        HWND m = ed.file_menu_at(slot);
        if (!m) return false;
        PostMessageW(m, WM_CHAR, L'\r', 0);
        if (until(now_ms(), [&] { return ed.text(IDC_FILE_BOX) == wide(name); }, 3000) >= 0) return true;
        std::printf("note: picked %s in the File menu, the file box shows %ls\n", name.c_str(),
                    ed.text(IDC_FILE_BOX).c_str());
        ed.settle();
    }
    return false;
}

// 2 and 3. A title longer than the record holds: dialog 141 asks whether the file is to take
// the RMP form. "はい" converts the file; "いいえ" writes the record's 30 bytes.
struct ConvertQuestion : Action {
    bool yes;
    ConvertQuestion(const Side& s, bool answer_yes, int rounds) : Action(s, answer_yes ? "yes" : "no"), yes(answer_yes) {
        // "はい" changes the form of each file it answers for: a file for each round.
        for (int i = 0; i < (yes ? rounds : 1); ++i) write_file(folder.file(file(i)), mp3("short"));
        start(file(0));
    }
    std::string file(int i) const {
        char n[16];
        std::snprintf(n, sizeof n, "%s%02d.mp3", yes ? "y" : "n", yes ? i : 0);
        return n;
    }
    void round(int i) override {
        ed.to_front();
        if (yes && i > 0 && !load_listed(ed, i, file(i))) { // untimed
            fail(i, "the round's file did not load");
            series(name).add(-1);
            return;
        }
        char title[48];
        std::snprintf(title, sizeof title, "Long title %s %02d ", name, i);
        std::string long_title = title;
        long_title += std::string(40 - long_title.size(), 'x');
        ed.set_text(IDC_TITLE, long_title);
        ed.settle();
        double start = now_ms();
        driver::click(ed.main, IDC_APPLY);
        HWND q = nullptr;
        double shown = until(start, [&] { return (q = ed.dialog(k_convert_title)) != nullptr; });
        series("ask141").add(shown);
        if (shown < 0) {
            fail(i, "no dialog 141");
            series(name).add(-1);
            return;
        }
        const std::wstring path = folder.file(file(i));
        double answered = now_ms();
        driver::click(q, yes ? IDC_ANSWER_YES : IDC_ANSWER_NO);
        double t = until(answered, [&] {
            std::string f = read_file(path);
            bool on_disk = yes ? is_rmp_with(f, long_title) : record_title(f) == long_title.substr(0, 30);
            return on_disk && ed.applied() && ed.text(IDC_MODE) == (yes ? L"RMP" : L"ID3");
        });
        if (t < 0) fail(i, "not applied");
        series(name).add(t);
        ed.settle();
    }
};

// 4. Another file of the folder, picked in the File menu (Return on its row).
struct Load : Action {
    const char* names[2] = {"l0.mp3", "l1.mp3"};
    const char* titles[2] = {"First of two", "Second of two"};
    explicit Load(const Side& s) : Action(s, "load") {
        for (int k = 0; k < 2; ++k) write_file(folder.file(names[k]), mp3(titles[k]));
        start(names[0]);
    }
    void round(int i) override {
        ed.to_front();
        int next = (i + 1) % 2;
        HWND m = ed.file_menu_at(next);
        if (!m) {
            fail(i, "no File menu");
            series("load").add(-1);
            return;
        }
        double start = now_ms();
        PostMessageW(m, WM_CHAR, L'\r', 0);
        double t = until(start, [&] {
            return ed.shows(names[next], titles[next]);
        });
        if (t < 0) fail(i, "not loaded");
        series("load").add(t);
        ed.settle();
    }
};

// 5. F12: the tag applied and the file named "(artist)title.mp3". The question before a
// rename is turned off in the settings (as its box "never ask" does), so the key alone acts.
// The editor's monitor thread reads the key with GetAsyncKeyState every 12 ms; Wine keeps a
// thread's "not pressed" answer for up to 50 ms before it asks its server again, so the time
// until the key is taken is shown apart, as the time from its first effect on disk.
struct Rename : Action {
    std::string current = "r.mp3";
    explicit Rename(const Side& s) : Action(s, "rename") {
        // A first start writes kt.dat; its flag at 8012 stops the question before a rename.
        if (!ed.start(folder, L"")) {
            fail(0, "no editor window");
            return;
        }
        ed.close();
        std::string kt = read_file(folder.path + L"kt.dat");
        if (kt.size() != 45964) {
            fail(0, "no settings file of the known size");
            return;
        }
        kt[8012] = 1;
        kt[8013] = kt[8014] = kt[8015] = 0;
        write_file(folder.path + L"kt.dat", kt);
        write_file(folder.file(current), mp3("start"));
        start(current);
    }
    void round(int i) override {
        if (!ed.to_front(true)) fail(i, "the editor did not come to the front");
        char title[32], name_now[48];
        std::snprintf(title, sizeof title, "Song %02d", i);
        std::snprintf(name_now, sizeof name_now, "(Band)%s.mp3", title);
        ed.set_text(IDC_TITLE, title);
        ed.settle();
        // The first sign that the editor took the key: the title written into the file under
        // its old name (the apply comes before the rename), or that name gone.
        double taken = -1;
        double start = now_ms();
        keybd_event(VK_F12, 0, 0, 0);
        double t = until(start, [&] {
            const bool old_gone = !exists(folder.file(current));
            if (taken < 0 && (old_gone || record_title(read_file(folder.file(current))) == title)) taken = now_ms();
            return old_gone && record_title(read_file(folder.file(name_now))) == title &&
                   ed.text(IDC_FILE_BOX) == wide(name_now);
        });
        keybd_event(VK_F12, 0, KEYEVENTF_KEYUP, 0);
        if (t < 0) fail(i, "not renamed");
        else current = name_now;
        series("rename").add(t);
        series("renamed").add(t < 0 ? -1 : start + t - taken);
        ed.settle(); // the monitor thread sees the key up
    }
};

// 6. A field changed, another file picked in the File menu, the discard question answered
// "はい": the other file shows.
struct Discard : Action {
    const char* names[2] = {"d0.mp3", "d1.mp3"};
    const char* titles[2] = {"Kept one", "Kept two"};
    explicit Discard(const Side& s) : Action(s, "discard") {
        for (int k = 0; k < 2; ++k) write_file(folder.file(names[k]), mp3(titles[k]));
        start(names[0]);
    }
    ~Discard() override {
        ed.close();
        for (int k = 0; k < 2; ++k)
            if (read_file(folder.file(names[k])) != mp3(titles[k])) fail(-1, "a file was written");
    }
    void round(int i) override {
        ed.to_front();
        int next = (i + 1) % 2;
        ed.set_text(IDC_TITLE, "Edited, not applied");
        HWND m = ed.file_menu_at(next);
        if (!m) {
            fail(i, "no File menu");
            series("discard").add(-1);
            return;
        }
        double start = now_ms();
        PostMessageW(m, WM_CHAR, L'\r', 0);
        HWND q = nullptr;
        double shown = until(start, [&] { return (q = ed.dialog(k_confirm_title)) != nullptr; });
        series("ask_discard").add(shown);
        if (shown < 0) {
            fail(i, "no discard question");
            series("discard").add(-1);
            return;
        }
        double answered = now_ms();
        PostMessageW(q, WM_COMMAND, IDYES, 0);
        double t = until(answered, [&] {
            return ed.shows(names[next], titles[next]);
        });
        if (t < 0) fail(i, "the other file did not load");
        series("discard").add(t);
        ed.settle();
    }
};

// The rounds of one action on every editor in turns, so that what else the machine does
// falls on all of them alike.
template <class Make> void time_action(const std::vector<Side>& sides, int rounds, Make make) {
    std::vector<std::unique_ptr<Action>> runs;
    for (const Side& s : sides) runs.push_back(make(s));
    for (int i = 0; i < rounds; ++i)
        for (auto& r : runs)
            if (r->ready) r->round(i);
}

double at(const std::vector<double>& v, double q) { // a quantile, v sorted
    if (v.empty()) return -1;
    double pos = q * static_cast<double>(v.size() - 1);
    size_t lo = static_cast<size_t>(pos);
    size_t hi = std::min(lo + 1, v.size() - 1);
    return v[lo] + (v[hi] - v[lo]) * (pos - static_cast<double>(lo));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: editor_actions ROUNDS ACTIONS NAME TAGZO_EXE [NAME TAGZO_EXE]...\n");
        return 2;
    }
    nt_delay = reinterpret_cast<DelayFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDelayExecution")));
    int rounds = std::max(1, _wtoi(argv[1]));
    const std::wstring actions = L"," + std::wstring(argv[2]) + L",";
    auto asked = [&](const wchar_t* a) {
        return actions == L",all," || actions.find(L"," + std::wstring(a) + L",") != std::wstring::npos;
    };
    std::vector<Side> sides;
    for (int i = 3; i + 1 < argc; i += 2) {
        std::string name;
        for (const wchar_t* c = argv[i]; *c; ++c) name += static_cast<char>(*c < 128 ? *c : '?');
        sides.push_back({name, argv[i + 1]});
    }
    // The menus open at the pointer; the test driver's spot keeps it off their rows.
    SetCursorPos(600, 500);
    using Made = std::unique_ptr<Action>;
    if (asked(L"apply")) time_action(sides, rounds, [](const Side& s) -> Made { return std::make_unique<Apply>(s); });
    if (asked(L"yes"))
        time_action(sides, rounds,
                    [&](const Side& s) -> Made { return std::make_unique<ConvertQuestion>(s, true, rounds); });
    if (asked(L"no"))
        time_action(sides, rounds,
                    [&](const Side& s) -> Made { return std::make_unique<ConvertQuestion>(s, false, rounds); });
    if (asked(L"load")) time_action(sides, rounds, [](const Side& s) -> Made { return std::make_unique<Load>(s); });
    if (asked(L"rename")) time_action(sides, rounds, [](const Side& s) -> Made { return std::make_unique<Rename>(s); });
    if (asked(L"discard"))
        time_action(sides, rounds, [](const Side& s) -> Made { return std::make_unique<Discard>(s); });

    bool all_ok = !trouble;
    for (const Side& side : sides) {
        for (const std::string& row : rows) {
            Series& s = results[side.name][row];
            std::printf("samples %s %s", side.name.c_str(), row.c_str());
            for (double t : s.ms) std::printf(" %.2f", t);
            std::printf("\n");
            std::vector<double> v = s.ms;
            std::sort(v.begin(), v.end());
            std::printf("result %s %s %.2f %.2f %.2f %.2f %d %d\n", side.name.c_str(), row.c_str(), at(v, 0.5),
                        v.empty() ? -1 : v.back(), at(v, 0.25), at(v, 0.75), static_cast<int>(v.size()), s.failed);
            all_ok = all_ok && s.failed == 0;
        }
    }
    std::fflush(stdout);
    return all_ok ? 0 : 1;
}

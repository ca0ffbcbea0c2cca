// The editor's entry: defaults, the hidden owner window, the settings, the start file from
// the command line, and dialog 142 as the one modal loop.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <memory>

#include "win32/common/dialog_font_win32.h"
#include "win32/editor/resources/resource.h"
#include "core/editing/load_file.h"
#include "core/formats/load.h"
#include "win32/editor/editor.h"
#include "win32/editor/main_window.h"
#include "win32/editor/outside_tools.h"
#include "win32/editor/ui.h"
#include "core/editing/paths.h"
#include "win32/editor/texts.h"
#include "platform/process.h"
#include "platform/text.h"

namespace editor {

namespace {

// The text after the program's own name (which may be quoted) and the blanks behind it.
std::string command_tail() {
    const wchar_t* p = GetCommandLineW();
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p == L'"') ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return utf8_path(p);
}

std::string program_folder() {
    wchar_t buf[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring path(buf, n);
    auto slash = path.find_last_of(L"\\/");
    return utf8_path(path.substr(0, slash == std::wstring::npos ? 0 : slash + 1));
}

// The full path with the long form of every component (the shell may pass 8.3 names, a
// user a name relative to the current folder); unchanged on failure.
std::string long_path(const std::string& utf8) {
    std::wstring given = wide_path(utf8);
    DWORD n = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    std::wstring full(n, L'\0');
    n = n ? GetFullPathNameW(given.c_str(), n, full.data(), nullptr) : 0;
    std::wstring path = n > 0 && n < full.size() ? full.substr(0, n) : given;
    n = GetLongPathNameW(path.c_str(), nullptr, 0);
    std::wstring longer(n, L'\0');
    n = n ? GetLongPathNameW(path.c_str(), longer.data(), n) : 0;
    return utf8_path(n > 0 && n < longer.size() ? longer.substr(0, n) : path);
}

HWND create_owner_window(HINSTANCE instance) {
    wchar_t name[100] = {};
    LoadStringW(instance, IDS_OWNER_CLASS, name, 100);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.cbWndExtra = 30;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_SCROLLBAR + 1);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
    POINT p;
    GetCursorPos(&p);
    return CreateWindowExW(0, name, L"", 0, p.x - 50, p.y - 100, 0, 0, nullptr, nullptr, instance, nullptr);
}

} // namespace

int start_up(HINSTANCE instance) {
    // The window's state for the program's life; dialog 142 gets it as its creation parameter.
    auto window = std::make_unique<EditorWindow>();
    EditorWindow& w = *window;
    w.instance = instance;
    // The shell's folder chooser and icons want COM on this thread.
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    w.owner = create_owner_window(instance);
    if (!w.owner) return 0;

    w.settings_path = program_folder() + "kt.dat";
    w.settings = settings::start_up_settings(w.settings_path, slot_path(texts::setup_dat));

    std::string tail = command_tail();
    editing::Session& s = w.session;
    if (tail.empty()) {
        set_current_folder(slot_path(settings::slot_text(w.settings.start_folder)));
    } else {
        s.current_path = long_path(editing::start_file_from_tail(tail));
        // The file's folder becomes current, a long one too: set_current_folder takes every
        // folder that exists, keeping one the system refuses. It fails only where the folder is
        // not there, and then the file is not either: the load's notice says so.
        std::string folder = editing::folder_of(s.current_path);
        static_cast<void>(set_current_folder(folder.empty() ? "\\" : editing::folder_with_backslash(folder)));
        // A start file that does not load has had its notice, or went to the program of its
        // kind: the editor opens empty, holding no path of a file it has not loaded, so that
        // nothing later (AutoPlay, a copy, a rename) acts on it.
        WindowUi ui(w);
        if (!editing::load_file(s, w.settings, ui, s.current_path).ok()) s.current_path.clear();
    }
    formats::clear_blank_fields(s.current_tag);

    dialog_font::dialog_box(instance, IDD_MAIN, nullptr, main_window_proc, reinterpret_cast<LPARAM>(&w));
    release_player(w);
    end_copy(w);
    DestroyWindow(w.owner);
    CoUninitialize();
    return 0;
}

} // namespace editor

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    platform::limit_library_search();
    ExitProcess(static_cast<UINT>(editor::start_up(instance)));
}

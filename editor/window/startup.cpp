// The editor's entry: defaults, the hidden owner window, the settings, the start file from
// the command line, and dialog 142 as the one modal loop.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "editor/resources/resource.h"
#include "editor/tags/load_file.h"
#include "editor/tags/load.h"
#include "editor/window/editor.h"
#include "editor/window/paths.h"
#include "editor/window/texts.h"
#include "platform/text.h"

namespace editor {

namespace {

// The text after the program's own name (which may be quoted) and the blanks behind it.
std::string command_tail() {
    const char* p = GetCommandLineA();
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

std::string program_folder() {
    wchar_t buf[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring path(buf, n);
    auto slash = path.find_last_of(L"\\/");
    return platform::utf16_to_utf8(path.substr(0, slash == std::wstring::npos ? 0 : slash + 1));
}

// The full path with the long form of every component (the shell may pass 8.3 names, a
// user a name relative to the current folder); unchanged on failure.
std::string long_path(const std::string& cp932) {
    char full[4096] = {};
    DWORD n = GetFullPathNameA(cp932.c_str(), sizeof full, full, nullptr);
    std::string path = n > 0 && n < sizeof full ? std::string(full, n) : cp932;
    char buf[4096] = {};
    n = GetLongPathNameA(path.c_str(), buf, sizeof buf);
    return n > 0 && n < sizeof buf ? std::string(buf, n) : path;
}

HWND create_owner_window(HINSTANCE instance) {
    char name[100] = {};
    LoadStringA(instance, IDS_OWNER_CLASS, name, sizeof name);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.cbWndExtra = 30;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_SCROLLBAR + 1);
    wc.lpszClassName = name;
    RegisterClassExA(&wc);
    POINT p;
    GetCursorPos(&p);
    return CreateWindowExA(0, name, "", 0, p.x - 50, p.y - 100, 0, 0, nullptr, nullptr, instance, nullptr);
}

} // namespace

int start_up(HINSTANCE instance) {
    program.instance = instance;
    // The shell's folder chooser and icons want COM on this thread.
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    program.owner = create_owner_window(instance);
    if (!program.owner) return 0;

    program.settings_path = program_folder() + "kt.dat";
    program.settings = settings::start_up_settings(program.settings_path, file_path(texts::setup_dat));

    std::string tail = command_tail();
    editing::Session& s = program.session;
    if (tail.empty()) {
        SetCurrentDirectoryA(settings::slot_text(program.settings.start_folder).c_str());
    } else {
        std::string start = long_path(editing::start_file_from_tail(tail));
        program.current_path = start;
        s.current_path = file_path(start);
        size_t slash = editing::find_last_backslash(start);
        SetCurrentDirectoryA(slash == std::string::npos ? "\\" : start.substr(0, slash + 1).c_str());
        static_cast<void>(editing::load_file(s, program.settings, window_ui, s.current_path));
    }
    tags::clear_blank_fields(s.current_tag);

    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, main_window_proc, 0);
    release_player();
    end_copy();
    DestroyWindow(program.owner);
    CoUninitialize();
    return 0;
}

} // namespace editor

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    ExitProcess(static_cast<UINT>(editor::start_up(instance)));
}

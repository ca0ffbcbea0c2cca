// Handing files to other programs: WinAMP (start it, or add the file to its playlist), the
// MPMan manager, the shell on the copy folder, a copy of the file into the copy folder, and
// the programs that open archives and pictures. Two short-lived threads (one copy, one
// launch at a time) work on their own copies of their texts. Shared with the window thread:
//   copy_failed       written by the copy thread, which then posts WM_COPY_FAILED; read and
//                     cleared by the window thread
//   copy_running, launch_running
//                     set by the window thread when it starts a thread, cleared by that thread
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include <atomic>
#include <cstring>

#include "editor/resources/resource.h"
#include "editor/window/editor.h"
#include "editor/window/paths.h"
#include "editor/window/texts.h"
#include "platform/text.h"

namespace editor {

namespace {

std::atomic<int32_t> copy_failed{0};
std::atomic<int32_t> copy_running{0};
std::atomic<int32_t> launch_running{0};
// Set at the close: a copy still running stops and removes its partial file.
BOOL copy_cancel = FALSE;
HANDLE copy_handle = nullptr;  // window thread only
// Receives the chooser's path; kept between uses, so the dialog proposes the last one.
char chosen_path[4096] = {};

struct CopyJob {
    std::string source, destination;
    HWND window;  // told of a failure
};

DWORD WINAPI copy_thread(LPVOID param) {
    auto* job = static_cast<CopyJob*>(param);
    if (!CopyFileExA(job->source.c_str(), job->destination.c_str(), nullptr, nullptr, &copy_cancel,
                     COPY_FILE_FAIL_IF_EXISTS)) {
        copy_failed = 1;
        PostMessageA(job->window, WM_COPY_FAILED, 0, 0);
    }
    delete job;
    copy_running = 0;
    return 0;
}

DWORD WINAPI launch_thread(LPVOID param) {
    auto* command = static_cast<std::string*>(param);
    WinExec(command->c_str(), SW_SHOWNA);
    delete command;
    launch_running = 0;
    return 0;
}

// Starts a worker on its own copy of its text, unless one of its kind runs; the thread's
// handle goes to `keep` when asked for.
template <class Job>
void start_worker(std::atomic<int32_t>& running, LPTHREAD_START_ROUTINE proc, Job* job, HANDLE* keep = nullptr) {
    if (running.exchange(1)) {
        delete job;
        return;
    }
    HANDLE h = CreateThread(nullptr, 0, proc, job, 0, nullptr);
    if (!h) {
        delete job;
        running = 0;
        return;
    }
    if (keep) {
        if (*keep) CloseHandle(*keep);
        *keep = h;
    } else {
        CloseHandle(h);
    }
}

// The choosers and questions of the tools are owned by the hidden window; the main window
// waits meanwhile, so that no second chooser opens inside the first.
struct MainWaits {
    MainWaits() {
        if (program.main) EnableWindow(program.main, FALSE);
    }
    ~MainWaits() {
        if (program.main) EnableWindow(program.main, TRUE);
    }
};

} // namespace

bool choose_program(HWND owner, const char* title, const char* filter, const char* start_folder, bool keep_folder) {
    std::string saved = current_folder();
    const char* initial = nullptr;
    if (start_folder && *start_folder) {
        SetCurrentDirectoryA(start_folder);
        initial = start_folder;
    }
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = chosen_path;
    ofn.nMaxFile = sizeof chosen_path;
    ofn.lpstrInitialDir = initial;
    ofn.lpstrTitle = title;
    ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    bool chosen = GetOpenFileNameA(&ofn) != FALSE;
    if (!keep_folder && !saved.empty()) SetCurrentDirectoryA(saved.c_str());
    return chosen;
}

const char* chosen_program() { return chosen_path; }

void remember_chosen(const std::string& path) {
    std::memcpy(chosen_path, path.data(), path.size() < sizeof chosen_path ? path.size() : sizeof chosen_path - 1);
    chosen_path[path.size() < sizeof chosen_path ? path.size() : sizeof chosen_path - 1] = 0;
}

bool file_exists(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

void copy_current_file() {
    auto* job = new CopyJob;
    job->window = program.main;
    job->source = program.current_path;
    // The file's own name: the current folder may have moved since the load (a chosen start
    // folder, a cancelled dialog), and a relative form would then be the whole path.
    size_t slash = editing::find_last_backslash(job->source);
    std::string name = slash == std::string::npos ? job->source : job->source.substr(slash + 1);
    job->destination = editing::path_in_folder(settings::slot_text(program.settings.copy_folder), name);
    start_worker(copy_running, copy_thread, job, &copy_handle);
}

void end_copy() {
    if (!copy_handle) return;
    copy_cancel = TRUE;
    WaitForSingleObject(copy_handle, 10000);
    CloseHandle(copy_handle);
    copy_handle = nullptr;
}

void show_copy_failure(HWND dlg) {
    // While a popup menu is open no second one can show: the notice waits for its close.
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    if (GetGUIThreadInfo(GetCurrentThreadId(), &gui) && (gui.flags & GUI_INMENUMODE)) return;
    if (!copy_failed.exchange(0)) return;
    const char* lines[] = {texts::copy_failed};
    show_notice_menu(dlg, lines, 1, 30, -30, IDM_INFO);
}

void open_copy_folder() {
    std::string command = "explorer " + settings::slot_text(program.settings.copy_folder);
    WinExec(command.c_str(), SW_SHOW);
}

void start_mpman() {
    MainWaits waits;
    std::string path = settings::slot_text(program.settings.mpman_path);
    if (!file_exists(path) &&
        choose_program(program.owner, texts::choose_mpman, texts::mpman_filter, texts::program_files, false))
        settings::set_slot_text(program.settings.mpman_path, chosen_path);
    save_settings_now();
    if (MessageBoxA(nullptr, texts::start_mpman, texts::confirm_caption, MB_YESNO) != IDYES) return;
    WinExec(settings::slot_text(program.settings.mpman_path).c_str(), SW_SHOWNA);
    open_copy_folder();
}

void use_winamp(int command) {
    MainWaits waits;
    if (!file_exists(settings::slot_text(program.settings.winamp_path))) {
        if (file_exists(texts::winamp_default))
            settings::set_slot_text(program.settings.winamp_path, texts::winamp_default);
        else if (choose_program(program.owner, texts::choose_winamp, texts::winamp_filter, texts::program_files, false))
            settings::set_slot_text(program.settings.winamp_path, chosen_path);
    }
    save_settings_now();
    std::string winamp = settings::slot_text(program.settings.winamp_path);
    std::string line;
    if (command == IDM_ADD_TO_PLAYLIST) {
        if (!file_exists(program.current_path)) return;
        line = winamp + " /add \"" + program.current_path + "\"";
    } else {
        line = winamp;
    }
    start_worker(launch_running, launch_thread, new std::string(line));
}

// An archive or a picture goes to the program stored for its kind; the shell's association
// or the user's choice finds one the first time.
void WindowUi::hand_over(tags::FileKind kind, const std::string& utf8_path) {
    settings::Slot<4096>* setting = nullptr;
    const char* sample = nullptr;
    const char* title = nullptr;
    switch (kind) {
    case tags::FileKind::zip: setting = &program.settings.zip_program, sample = "a.zip", title = texts::choose_zip; break;
    case tags::FileKind::lzh: setting = &program.settings.lzh_program, sample = "a.lzh", title = texts::choose_lzh; break;
    case tags::FileKind::jpeg: setting = &program.settings.jpeg_program, sample = "a.jpg", title = texts::choose_jpeg; break;
    default: return;
    }
    std::string path, bad;
    if (!platform::utf8_to_cp932(utf8_path, path, bad)) return;
    if (settings::slot_text(*setting).empty()) {
        MainWaits waits;
        char found[MAX_PATH] = {};
        if (reinterpret_cast<INT_PTR>(FindExecutableA(sample, nullptr, found)) > 32 && found[0]) {
            settings::set_slot_text(*setting, found);
        } else {
            chosen_path[0] = 0;  // no file name proposed
            if (choose_program(program.owner, title, texts::programs_filter, texts::program_files, false))
                settings::set_slot_text(*setting, chosen_path);
        }
    }
    std::string command = settings::slot_text(*setting) + " \"" + path + "\"";
    WinExec(command.c_str(), SW_SHOWNA);
}

} // namespace editor

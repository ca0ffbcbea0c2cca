// Handing files to other programs: WinAMP (start it, or add the file to its playlist), the
// MPMan manager, the shell on the copy folder, a copy of the file into the copy folder, and
// the programs that open archives and pictures. Two short-lived threads (one copy, one
// launch at a time) work on their own copies of their texts; each gets, as its start
// parameter, a job that points at the EditorWindow's tools. Shared with the window thread
// (members of EditorWindow::tools):
//   copy_failed       written by the copy thread, which then posts WM_COPY_FAILED; read and
//                     cleared by the window thread
//   copy_running, launch_running
//                     set by the window thread when it starts a thread, cleared by that thread
//   copy_cancel       set by the window thread at the close, read by the copy in progress
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "win32/editor/resources/resource.h"
#include "win32/editor/editor.h"
#include "win32/common/toolkit_win32.h"
#include "win32/editor/window.h"
#include "win32/editor/outside_tools.h"
#include "win32/editor/ui.h"
#include "core/editing/paths.h"
#include "win32/editor/texts.h"
#include "platform/process.h"
#include "platform/text.h"

namespace editor {

namespace {

struct CopyJob {
    std::string source, destination;
    HWND window; // told of a failure
    EditorWindow::Tools* tools;
};

struct LaunchJob {
    std::string command;
    EditorWindow::Tools* tools;
};

DWORD WINAPI copy_thread(LPVOID param) {
    auto* job = static_cast<CopyJob*>(param);
    EditorWindow::Tools& tools = *job->tools;
    const bool copied = toolkit::guarded(false, [&] {
        return CopyFileExW(platform::system_path(job->source).c_str(), platform::system_path(job->destination).c_str(),
                           nullptr, nullptr, &tools.copy_cancel, COPY_FILE_FAIL_IF_EXISTS) != 0;
    });
    if (!copied) {
        tools.copy_failed = 1;
        PostMessageW(job->window, WM_COPY_FAILED, 0, 0);
    }
    delete job;
    tools.copy_running = 0;
    return 0;
}

DWORD WINAPI launch_thread(LPVOID param) {
    auto* job = static_cast<LaunchJob*>(param);
    EditorWindow::Tools& tools = *job->tools;
    toolkit::guarded(0, [&] {
        start_program(job->command, false);
        return 0;
    });
    delete job;
    tools.launch_running = 0;
    return 0;
}

// Starts a worker on its own copy of its text, unless one of its kind runs; the thread's
// handle goes to `keep` when asked for.
template <class Job>
void start_worker(std::atomic<int32_t>& running, LPTHREAD_START_ROUTINE proc, Job* job,
                  toolkit::HeldHandle* keep = nullptr) {
    if (running.exchange(1)) {
        delete job;
        return;
    }
    toolkit::HeldHandle thread(CreateThread(nullptr, 0, proc, job, 0, nullptr));
    if (!thread) {
        delete job;
        running = 0;
        return;
    }
    if (keep) *keep = std::move(thread);
}

// The choosers and questions of the tools are owned by the hidden window; the main window
// waits meanwhile, so that no second chooser opens inside the first.
class MainWaits {
public:
    explicit MainWaits(HWND main) : main_(main) {
        if (main_) EnableWindow(main_, FALSE);
    }
    ~MainWaits() {
        if (main_) EnableWindow(main_, TRUE);
    }
    MainWaits(const MainWaits&) = delete;
    MainWaits& operator=(const MainWaits&) = delete;

private:
    HWND main_;
};

} // namespace

void start_program(const std::string& command_line, bool activate) {
    // A program that does not start shows nothing, as it always was: the user sees no window.
    static_cast<void>(platform::start_process(command_line, activate));
}

std::string choose_file(EditorWindow& w, HWND owner, const char* title, const wchar_t* filter,
                           const std::string& start_folder, bool keep_folder, bool propose_last) {
    FolderKept saved;
    std::wstring initial = wide_path(start_folder);
    if (!start_folder.empty()) set_current_folder(start_folder);
    std::vector<wchar_t> file(32768, L'\0');
    const std::wstring& chosen_path = w.tools.chosen_path;
    if (propose_last && chosen_path.size() < file.size())
        std::copy(chosen_path.begin(), chosen_path.end(), file.begin());
    std::wstring caption = wide(title);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = start_folder.empty() ? nullptr : initial.c_str();
    ofn.lpstrTitle = caption.c_str();
    ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    bool chosen = GetOpenFileNameW(&ofn) != FALSE;
    if (!chosen) return {};
    w.tools.chosen_path = file.data();
    const std::string path = utf8_path(w.tools.chosen_path);
    // The dialog moves the system's folder, not one the program keeps: the chosen file's
    // folder is made the program's here.
    if (keep_folder) {
        const std::string folder = editing::folder_of(path);
        if (!folder.empty() && set_current_folder(editing::folder_with_backslash(folder))) saved.keep_new();
    }
    return path;
}

void remember_chosen(EditorWindow& w, const std::string& path) { w.tools.chosen_path = wide_path(path); }

bool file_exists(const std::string& path) {
    HANDLE h = CreateFileW(platform::system_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

namespace {
// Asks for a program and keeps it in a setting; a path with no cp932 form cannot be kept
// there, and the user is told so.
void choose_into(EditorWindow& w, settings::Slot<4096>& slot, const char* title, const wchar_t* filter,
                 bool propose_last) {
    std::string chosen =
        choose_file(w, w.owner, title, filter, slot_path(texts::program_files), false, propose_last);
    if (chosen.empty()) return;
    std::string stored;
    if (!path_for_slot(chosen, stored)) {
        show_notice_menu(w.owner, {wide(texts::error_head), L"", wide(texts::path_not_storable), wide_path(chosen)}, 30,
                         -30, IDM_INFO);
        return;
    }
    settings::set_slot_text(slot, stored);
}

std::wstring filter_of(const char* cp932, size_t size) { return wide(std::string_view(cp932, size)); }
} // namespace

void copy_current_file(EditorWindow& w) {
    auto* job = new CopyJob;
    job->window = w.main;
    job->tools = &w.tools;
    job->source = w.session.current_path;
    // The file's own name: the current folder may have moved since the load (a chosen start
    // folder, a cancelled dialog), and a relative form would then be the whole path.
    size_t slash = job->source.find_last_of('\\');
    std::string name = slash == std::string::npos ? job->source : job->source.substr(slash + 1);
    job->destination = face::path_in_folder(slot_path(settings::slot_text(w.settings.copy_folder)), name);
    start_worker(w.tools.copy_running, copy_thread, job, &w.tools.copy_handle);
}

void end_copy(EditorWindow& w) {
    if (!w.tools.copy_handle) return;
    w.tools.copy_cancel = TRUE;
    WaitForSingleObject(w.tools.copy_handle.get(), 10000);
    w.tools.copy_handle.reset();
}

void show_copy_failure(EditorWindow& w) {
    HWND dlg = w.main;
    // While a popup menu is open no second one can show: the notice waits for its close.
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    if (GetGUIThreadInfo(GetCurrentThreadId(), &gui) && (gui.flags & GUI_INMENUMODE)) return;
    if (!w.tools.copy_failed.exchange(0)) return;
    show_notice_menu(dlg, {wide(texts::copy_failed)}, 30, -30, IDM_INFO);
}

void open_copy_folder(const EditorWindow& w) {
    start_program("explorer " + slot_path(settings::slot_text(w.settings.copy_folder)), true);
}

void start_mpman(EditorWindow& w) {
    MainWaits waits(w.main);
    if (!file_exists(slot_path(settings::slot_text(w.settings.mpman_path))))
        choose_into(w, w.settings.mpman_path, texts::choose_mpman,
                    filter_of(texts::mpman_filter, sizeof texts::mpman_filter).c_str(), true);
    save_settings_now(w);
    if (MessageBoxW(nullptr, wide(texts::start_mpman).c_str(), wide(texts::confirm_caption).c_str(), MB_YESNO) != IDYES)
        return;
    start_program(slot_path(settings::slot_text(w.settings.mpman_path)), false);
    open_copy_folder(w);
}

void use_winamp(EditorWindow& w, int command) {
    MainWaits waits(w.main);
    if (!file_exists(slot_path(settings::slot_text(w.settings.winamp_path)))) {
        if (file_exists(slot_path(texts::winamp_default)))
            settings::set_slot_text(w.settings.winamp_path, texts::winamp_default);
        else
            choose_into(w, w.settings.winamp_path, texts::choose_winamp,
                        filter_of(texts::winamp_filter, sizeof texts::winamp_filter).c_str(), true);
    }
    save_settings_now(w);
    std::string winamp = slot_path(settings::slot_text(w.settings.winamp_path));
    std::string line;
    if (command == IDM_ADD_TO_PLAYLIST) {
        if (!file_exists(w.session.current_path)) return;
        line = winamp + " /add \"" + w.session.current_path + "\"";
    } else {
        line = winamp;
    }
    start_worker(w.tools.launch_running, launch_thread, new LaunchJob{line, &w.tools});
}

// An archive or a picture goes to the program stored for its kind; the shell's association
// or the user's choice finds one the first time.
void WindowUi::hand_over(formats::FileKind kind, const std::string& path) {
    settings::Slot<4096>* setting = nullptr;
    const wchar_t* sample = nullptr;
    const char* title = nullptr;
    switch (kind) {
    case formats::FileKind::zip:
        setting = &w_.settings.zip_program, sample = L"a.zip", title = texts::choose_zip;
        break;
    case formats::FileKind::lzh:
        setting = &w_.settings.lzh_program, sample = L"a.lzh", title = texts::choose_lzh;
        break;
    case formats::FileKind::jpeg:
        setting = &w_.settings.jpeg_program, sample = L"a.jpg", title = texts::choose_jpeg;
        break;
    default: return;
    }
    if (settings::slot_text(*setting).empty()) {
        MainWaits waits(w_.main);
        wchar_t found[MAX_PATH] = {};
        std::string stored;
        if (reinterpret_cast<INT_PTR>(FindExecutableW(sample, nullptr, found)) > 32 && found[0] &&
            path_for_slot(utf8_path(found), stored))
            settings::set_slot_text(*setting, stored);
        else
            choose_into(w_, *setting, title, filter_of(texts::programs_filter, sizeof texts::programs_filter).c_str(),
                        false);
    }
    start_program(slot_path(settings::slot_text(*setting)) + " \"" + path + "\"", false);
}

} // namespace editor

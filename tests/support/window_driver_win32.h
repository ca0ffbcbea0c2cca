// What the programs that drive our windows under Wine share (tests/win32/editor/drive_editor
// and tests/win32/install/drive_install): finding and waiting for windows of another process,
// reading their controls, pressing their buttons, starting and ending the programs, and the
// files they work on.
// Every text here is UTF-16; each driver converts its own texts at its edge.
#pragma once
#include <windows.h>

#include <string>

namespace driver {

// What a window to find must be: visible, top-level, and each criterion given (a field left at
// its default asks nothing).
struct WindowQuery {
    DWORD pid = 0;                        // of this process
    DWORD not_pid = 0;                    // of any process but this one
    const wchar_t* title = nullptr;       // with this title
    const wchar_t* cls = nullptr;         // of this window class ("#32770" for a dialog)
    int control = 0;                      // holding this control
    const wchar_t* child_class = nullptr; // holding a child of this class
    HWND skip = nullptr;                  // not this one
};

// A window's text: the title of a top-level window, or a control's text by WM_GETTEXT (a
// control of another process answers no GetWindowText).
std::wstring window_text(HWND h);

// The first window that answers the query, or null.
HWND find_window(const WindowQuery& query);
// The windows that answer the query.
int count_windows(const WindowQuery& query);
// Looks every 50 ms until a window answers the query, for up to `ms`; null when none came, or
// at once when `process` (if given) has ended.
HWND wait_window(const WindowQuery& query, int ms, HANDLE process = nullptr);
// Waits up to `ms` until the window is hidden or gone.
void wait_hidden(HWND h, int ms);

// A button of a dialog pressed. Posted, so that a question dialog that it opens does not block
// the driver.
void click(HWND dialog, int id);
// A command as a button of the window sends it, posted.
void command(HWND window, int id);
bool checked(HWND dialog, int id);

// A whole file's bytes; empty when it cannot be opened. Others may write or delete it meanwhile.
std::string read_file(const std::wstring& path);
// Writes a whole file anew; false when it could not be written in full.
bool write_file(const std::wstring& path, const std::string& bytes);

// One run of a program, started in a folder. A run still going when the object ends, or when
// another run is started through it, is ended.
class Process {
public:
    Process() = default;
    // Starts `exe` with `args` in `folder`, by default the program's own folder.
    explicit Process(const std::wstring& exe, const std::wstring& args = L"", const std::wstring& folder = L"") {
        start(exe, args, folder);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() { end(); }

    // True when the program started.
    bool start(const std::wstring& exe, const std::wstring& args = L"", const std::wstring& folder = L"");
    // Ends the program if it is still running, and lets go of it.
    void end();

    bool started() const { return started_; }
    // The system's error code of the last start that failed.
    DWORD start_error() const { return last_error_; }
    bool running() const;
    // True once the program has ended, waiting up to `ms`.
    bool wait_end(int ms) const;
    // The exit code once the program has ended, or -1 when it is still running after `ms`.
    long exit_code(int ms) const;
    HANDLE handle() const { return pi_.hProcess; }
    DWORD pid() const { return pi_.dwProcessId; }
    DWORD thread() const { return pi_.dwThreadId; }

private:
    PROCESS_INFORMATION pi_{};
    bool started_ = false;
    DWORD last_error_ = 0;
};

} // namespace driver

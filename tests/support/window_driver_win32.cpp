#include "tests/support/window_driver_win32.h"

#include <cwchar>
#include <vector>

namespace driver {

namespace {

// What a run that the driver ends itself exits with.
constexpr UINT k_ended_by_driver = 99;

bool answers(HWND h, const WindowQuery& q) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if ((q.pid && pid != q.pid) || (q.not_pid && pid == q.not_pid) || h == q.skip) return false;
    if (!IsWindowVisible(h)) return false;
    if (q.cls) {
        wchar_t cls[256] = {};
        GetClassNameW(h, cls, 256);
        if (std::wcscmp(cls, q.cls) != 0) return false;
    }
    if (q.title && window_text(h) != q.title) return false;
    if (q.control && !GetDlgItem(h, q.control)) return false;
    if (q.child_class && !FindWindowExW(h, nullptr, q.child_class, nullptr)) return false;
    return true;
}

struct Search {
    const WindowQuery& query;
    HWND found = nullptr;
    int count = 0;
    bool all = false; // count every window that answers, else stop at the first
};

BOOL CALLBACK search_proc(HWND h, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    if (!answers(h, s->query)) return TRUE;
    ++s->count;
    if (!s->found) s->found = h;
    return s->all ? TRUE : FALSE;
}

} // namespace

std::wstring window_text(HWND h) {
    auto n = static_cast<size_t>(SendMessageW(h, WM_GETTEXTLENGTH, 0, 0));
    std::wstring s(n + 1, L'\0');
    SendMessageW(h, WM_GETTEXT, n + 1, reinterpret_cast<LPARAM>(s.data()));
    s.resize(std::wcslen(s.c_str()));
    return s;
}

HWND find_window(const WindowQuery& query) {
    Search s{query};
    EnumWindows(search_proc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

int count_windows(const WindowQuery& query) {
    Search s{query};
    s.all = true;
    EnumWindows(search_proc, reinterpret_cast<LPARAM>(&s));
    return s.count;
}

HWND wait_window(const WindowQuery& query, int ms, HANDLE process) {
    for (int waited = 0; waited < ms; waited += 50) {
        if (HWND h = find_window(query)) return h;
        if (process && WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return nullptr;
        Sleep(50);
    }
    return nullptr;
}

void wait_hidden(HWND h, int ms) {
    for (int waited = 0; waited < ms && IsWindow(h) && IsWindowVisible(h); waited += 50) Sleep(50);
}

void click(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void command(HWND window, int id) { PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

bool checked(HWND dialog, int id) { return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

bool Process::start(const std::wstring& exe, const std::wstring& args, const std::wstring& folder) {
    end();
    const std::wstring in = folder.empty() ? exe.substr(0, exe.find_last_of(L'\\') + 1) : folder;
    std::wstring cmd = L"\"" + exe + L"\"";
    if (!args.empty()) cmd += L' ' + args;
    std::vector<wchar_t> line(cmd.begin(), cmd.end());
    line.push_back(0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    // A start that fails for a reason other than a missing file is tried once more: under a
    // loaded Wine a start can fail once where the next succeeds. What failed is said either way.
    for (int attempt = 0; attempt < 2 && !started_; ++attempt) {
        started_ = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, in.c_str(), &si, &pi_) != 0;
        if (started_) break;
        last_error_ = GetLastError();
        fwprintf(stderr, L"CreateProcess %ls: error %lu\n", cmd.c_str(), static_cast<unsigned long>(last_error_));
        if (last_error_ == ERROR_FILE_NOT_FOUND || last_error_ == ERROR_PATH_NOT_FOUND) break;
        Sleep(500);
    }
    return started_;
}

void Process::end() {
    if (!started_) return;
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, k_ended_by_driver);
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
    pi_ = {};
    started_ = false;
}

bool Process::running() const { return WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }

bool Process::wait_end(int ms) const {
    return WaitForSingleObject(pi_.hProcess, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
}

long Process::exit_code(int ms) const {
    if (!wait_end(ms)) return -1;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return static_cast<long>(code);
}

std::string read_file(const std::wstring& path) {
    std::string bytes;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
    CloseHandle(h);
    return bytes;
}

bool write_file(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(h);
    return ok && put == bytes.size();
}

} // namespace driver

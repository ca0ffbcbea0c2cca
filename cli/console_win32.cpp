#include <windows.h>
#include <shellapi.h>

#include "cli/console.h"
#include "platform/file.h"
#include "platform/text.h"

namespace cli {

std::vector<std::string> utf8_arguments(int, char**) {
    std::vector<std::string> out;
    int n = 0;
    wchar_t** w = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!w) return out;
    for (int i = 1; i < n; ++i) out.push_back(platform::utf16_to_utf8(w[i]));
    LocalFree(w);
    return out;
}

namespace {
size_t progress_width = 0; // the length of the progress line on stderr, 0 when none stands
std::string out_failure;   // the first failed write to stdout

bool is_console(HANDLE h) {
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && h != nullptr && GetConsoleMode(h, &mode);
}

// A failed write to stdout is kept, for the exit status.
void note_failure(HANDLE h) {
    if (h == GetStdHandle(STD_OUTPUT_HANDLE) && out_failure.empty()) out_failure = platform::last_error_text();
}

void write_bytes(HANDLE h, std::string_view bytes) {
    DWORD done = 0;
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        if (!WriteFile(h, p, static_cast<DWORD>(left), &done, nullptr) || done == 0) return note_failure(h);
        p += done;
        left -= done;
    }
}

// A console is given the characters, so that every text shows whatever its code page.
void write_console(HANDLE h, std::string_view utf8) {
    std::wstring w = platform::utf8_to_utf16(utf8);
    DWORD done = 0;
    const wchar_t* p = w.data();
    size_t left = w.size();
    while (left > 0) {
        if (!WriteConsoleW(h, p, static_cast<DWORD>(left < 8192 ? left : 8192), &done, nullptr) || done == 0)
            return note_failure(h);
        p += done;
        left -= done;
    }
}

void write_handle(DWORD which, std::string_view utf8) {
    HANDLE h = GetStdHandle(which);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) return;
    if (is_console(h)) return write_console(h, utf8);
    // Into a file or a pipe the console's code page speaks, else the ANSI one. A character it
    // has no form for becomes "?", never a look-alike (best fit would make a "\" of a yen sign).
    UINT cp = GetConsoleOutputCP();
    if (cp == 0) cp = GetACP();
    if (cp == CP_UTF8) return write_bytes(h, utf8);
    std::wstring w = platform::utf8_to_utf16(utf8);
    const int len = static_cast<int>(w.size());
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    int n = WideCharToMultiByte(cp, flags, w.data(), len, nullptr, 0, nullptr, nullptr);
    if (n == 0 && !w.empty()) n = WideCharToMultiByte(cp, flags = 0, w.data(), len, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(cp, flags, w.data(), len, bytes.data(), n, nullptr, nullptr);
    write_bytes(h, bytes);
}
} // namespace

void write_out(std::string_view s) { write_handle(STD_OUTPUT_HANDLE, s); }

void write_err(std::string_view s) {
    end_progress();
    write_handle(STD_ERROR_HANDLE, s);
}

void write_out_utf8(std::string_view s) {
    HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
    if (is_console(h)) return write_console(h, s);
    write_bytes(h, s);
}

bool read_input(std::string& out, std::string& why) {
    HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) {
        why = "standard input is closed";
        return false;
    }
    char buf[65536];
    DWORD n = 0;
    for (;;) {
        if (!ReadFile(h, buf, sizeof buf, &n, nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE) return true;
            why = platform::last_error_text();
            return false;
        }
        if (n == 0) return true;
        out.append(buf, n);
    }
}

std::string finish_output() { return out_failure; }

bool err_is_terminal() { return is_console(GetStdHandle(STD_ERROR_HANDLE)); }

void show_progress(std::string_view line) {
    std::string s(1, '\r');
    s += line;
    if (line.size() < progress_width) s += std::string(progress_width - line.size(), ' ');
    write_handle(STD_ERROR_HANDLE, s);
    progress_width = line.size();
}

void end_progress() {
    if (progress_width == 0) return;
    std::string s(1, '\r');
    s.append(progress_width, ' ').append(1, '\r');
    progress_width = 0;
    write_handle(STD_ERROR_HANDLE, s);
}

} // namespace cli

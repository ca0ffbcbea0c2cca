#include <windows.h>
#include <shellapi.h>

#include "cli/console.h"
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
void write_handle(DWORD which, std::string_view utf8) {
    HANDLE h = GetStdHandle(which);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) return;
    // Without a console (output to a pipe or a file) the ANSI code page speaks.
    UINT cp = GetConsoleOutputCP();
    if (cp == 0) cp = GetACP();
    std::string bytes;
    if (cp == CP_UTF8) {
        bytes.assign(utf8);
    } else {
        std::wstring w = platform::utf8_to_utf16(utf8);
        int n = WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
        bytes.assign(static_cast<size_t>(n > 0 ? n : 0), '\0');
        if (n > 0) WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), bytes.data(), n, nullptr, nullptr);
    }
    DWORD done = 0;
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0 && WriteFile(h, p, static_cast<DWORD>(left), &done, nullptr) && done > 0) {
        p += done;
        left -= done;
    }
}
} // namespace

void write_out(std::string_view s) { write_handle(STD_OUTPUT_HANDLE, s); }
void write_err(std::string_view s) { write_handle(STD_ERROR_HANDLE, s); }

} // namespace cli

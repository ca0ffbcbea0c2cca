// Windows side of the process start: CreateProcessW, so that any text on the line survives.
#include <windows.h>

#include <vector>

#include "platform/process.h"
#include "platform/text.h"

namespace platform {

bool start_process(const std::string& command_line, std::string& err, bool activate) {
    std::wstring wide = utf8_to_utf16(command_line);
    std::vector<wchar_t> line(wide.begin(), wide.end());
    line.push_back(0); // CreateProcessW may write into the line
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = activate ? SW_SHOW : SW_SHOWNA;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        err = "cannot start " + command_line + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

} // namespace platform

// Windows side of the process start: CreateProcessW, so that any text on the line survives.
#include <windows.h>

#include <vector>

#include "platform/process.h"
#include "platform/text.h"

namespace platform {

Result start_process(const std::string& command_line, bool activate) {
    std::wstring wide = utf8_to_utf16(command_line);
    std::vector<wchar_t> line(wide.begin(), wide.end());
    line.push_back(0); // CreateProcessW may write into the line
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = activate ? SW_SHOW : SW_SHOWNA;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return failure(Fault::cannot_start,
                       "cannot start " + command_line + " (error " + std::to_string(GetLastError()) + ")");
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return {};
}

void limit_library_search() {
    // Windows 8, and 7 and Vista with an update, have the call; older systems do not, so it is
    // looked up rather than imported.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel) return;
    auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (set_default) set_default(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}

} // namespace platform

// Stands in for the programs the editor starts (WinAMP, an archiver): writes the command line
// it was started with to args.txt beside itself, then ends. The line is read in UTF-16 and
// written in cp932, the tests' own texts, whatever the system's code page is.
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring out(self);
    out = out.substr(0, out.find_last_of(L'\\') + 1) + L"args.txt";
    std::wstring part = out + L".part";
    const wchar_t* line = GetCommandLineW();
    int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, line, -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, line, -1, bytes.data(), n, nullptr, nullptr);
    if (FILE* f = _wfopen(part.c_str(), L"wb")) {
        std::fputs(bytes.c_str(), f);
        std::fclose(f);
        MoveFileExW(part.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    return 0;
}

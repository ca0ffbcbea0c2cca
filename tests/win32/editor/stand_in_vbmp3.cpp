// A library that the end-to-end driver places beside a start file under the decoder's name.
// Loaded into any process, it leaves the file "stand-in loaded" in its own folder: the editor
// must never load it, since its own decoder is looked for beside tagzo.exe only.
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t buf[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameW(instance, buf, MAX_PATH);
    std::wstring path(buf, n < MAX_PATH ? n : 0);
    auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return TRUE;
    HANDLE h = CreateFileW((path.substr(0, slash + 1) + L"stand-in loaded").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return TRUE;
}

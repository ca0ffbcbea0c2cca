// A hook library that the end-to-end driver places into the editor's thread: on the driver's
// signal it writes the items of the editor's open popup menu to a file, since a menu cannot
// be read from another process.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

BOOL CALLBACK find_menu_window(HWND h, LPARAM lp) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    char cls[64] = {};
    GetClassNameA(h, cls, sizeof cls);
    if (pid == GetCurrentProcessId() && IsWindowVisible(h) && std::string(cls) == "#32768") {
        *reinterpret_cast<HWND*>(lp) = h;
        return FALSE;
    }
    return TRUE;
}

void dump_menu() {
    HWND w = nullptr;
    EnumWindows(find_menu_window, reinterpret_cast<LPARAM>(&w));
    char path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, path);
    std::string out = std::string(path) + "tagzo-menu-probe.txt";
    std::string tmp = out + ".part";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return;
    if (w) {
        auto menu = reinterpret_cast<HMENU>(SendMessageA(w, 0x01E1 /* MN_GETHMENU */, 0, 0));
        int n = GetMenuItemCount(menu);
        for (int i = 0; i < n; ++i) {
            char text[512] = {};
            GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
            std::fprintf(f, "%s\n", text);
        }
    }
    std::fclose(f);
    MoveFileExA(tmp.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING);
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK probe_hook(int code, WPARAM wp, LPARAM lp) {
    static const UINT signal = RegisterWindowMessageA("tagzo-menu-probe");
    if (code == HC_ACTION) {
        auto* m = reinterpret_cast<MSG*>(lp);
        if (m->message == signal) {
            dump_menu();
            m->message = WM_NULL;
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

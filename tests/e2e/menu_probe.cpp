// A hook library that the end-to-end driver places into the editor's thread. A menu cannot be
// read from another process, nor a drop handle made for it, so on the driver's signals the
// library works from inside:
//   "tagzo-menu-probe": writes the items of the open popup menu to a file, a line each:
//       number, kind (S string, O owner-drawn, - separator), greyed (1 or 0), screen rectangle,
//       text
//   "tagzo-drop-probe": reads a drop point and paths from a file and posts WM_DROPFILES
//       with a handle made here, as the shell does, to the window in wParam.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string temp_file(const char* name) {
    char path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, path);
    return std::string(path) + name;
}

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
    std::string out = temp_file("tagzo-menu-probe.txt");
    std::string tmp = out + ".part";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return;
    if (w) {
        auto menu = reinterpret_cast<HMENU>(SendMessageA(w, 0x01E1 /* MN_GETHMENU */, 0, 0));
        int n = GetMenuItemCount(menu);
        for (int i = 0; i < n; ++i) {
            char text[512] = {};
            MENUITEMINFOA info{};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE;
            GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
            char kind = (info.fType & MFT_SEPARATOR) ? '-' : (info.fType & MFT_OWNERDRAW) ? 'O' : 'S';
            if (kind == 'S') GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
            RECT r{};
            GetMenuItemRect(w, menu, static_cast<UINT>(i), &r);
            std::fprintf(f, "%u\t%c\t%d\t%ld\t%ld\t%ld\t%ld\t%s\n", info.wID, kind, (info.fState & MFS_GRAYED) ? 1 : 0,
                         r.left, r.top, r.right, r.bottom, text);
        }
    }
    std::fclose(f);
    MoveFileExA(tmp.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void drop(HWND target) {
    std::string list = temp_file("tagzo-drop.txt");
    std::ifstream in(list, std::ios::binary);
    long x = 0, y = 0;
    in >> x >> y;
    in.ignore(1);
    std::vector<char> names;
    for (std::string line; std::getline(in, line);) {
        names.insert(names.end(), line.begin(), line.end());
        names.push_back(0);
    }
    names.push_back(0);
    in.close();
    DeleteFileA(list.c_str());  // tells the driver the drop is on its way
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size());
    auto* d = static_cast<DROPFILES*>(GlobalLock(h));
    d->pFiles = sizeof(DROPFILES);
    d->pt = {x, y};
    d->fNC = FALSE;
    d->fWide = FALSE;
    std::memcpy(reinterpret_cast<char*>(d) + sizeof(DROPFILES), names.data(), names.size());
    GlobalUnlock(h);
    PostMessageA(target, WM_DROPFILES, reinterpret_cast<WPARAM>(h), 0);
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK probe_hook(int code, WPARAM wp, LPARAM lp) {
    static const UINT menu_signal = RegisterWindowMessageA("tagzo-menu-probe");
    static const UINT drop_signal = RegisterWindowMessageA("tagzo-drop-probe");
    if (code == HC_ACTION) {
        auto* m = reinterpret_cast<MSG*>(lp);
        if (m->message == menu_signal && m->hwnd == nullptr) {
            dump_menu();
            m->message = WM_NULL;
        } else if (m->message == drop_signal && m->hwnd == nullptr) {
            if (wp == PM_REMOVE) drop(reinterpret_cast<HWND>(m->wParam));  // once, not at each peek
            m->message = WM_NULL;
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

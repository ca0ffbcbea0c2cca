// A hook library that the end-to-end driver places into the editor's thread. A menu cannot be
// read from another process, nor a drop handle made for it, so on the driver's signals the
// library works from inside:
//   "tagzo-menu-probe": writes the items of the open popup menu to a file, a line each:
//       number, kind (S string, O owner-drawn, - separator), greyed (1 or 0), screen rectangle,
//       the name a screen reader finds in an owner-drawn item's data (MSAAMENUINFO), text
//   "tagzo-drop-probe": reads a drop point and paths from a file and posts WM_DROPFILES
//       with a handle made here, as the shell does, to the window in wParam.
//   "tagzo-glyph-probe": reads a text from a file and writes how many of its characters the
//       font of the control in wParam has no glyph for, a tab and the font's face (a font
//       handle means nothing in another process).
//   "tagzo-dpi-probe": tells the window in wParam that its screen's scale changed to the dots
//       per inch written in a file (WM_DPICHANGED, whose rectangle cannot cross processes), and
//       writes "done" once the window has taken it.
// Both files hold UTF-8, and the library reads the menu and hands over the paths in UTF-16
// through W calls: what it reports is what the menu shows, whatever the system's code page.
#include <windows.h>
#include <oleacc.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/text.h"

namespace {

std::wstring temp_file(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, path);
    return std::wstring(path) + name;
}

// A file of the temporary folder that the driver wrote, whole; empty when it is not there.
std::string read_temp(const wchar_t* name) {
    std::string text;
    if (FILE* f = _wfopen(temp_file(name).c_str(), L"rb")) {
        char buf[4096];
        for (size_t got; (got = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, got);
        std::fclose(f);
    }
    return text;
}

// An answer for the driver, written beside its name and then moved there: the driver, which
// waits for the name, never reads half of it.
void write_temp(const wchar_t* name, const std::string& text) {
    std::wstring out = temp_file(name);
    std::wstring tmp = out + L".part";
    FILE* f = _wfopen(tmp.c_str(), L"wb");
    if (!f) return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    MoveFileExW(tmp.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING);
}

std::string utf8(const std::wstring& w) { return platform::utf16_to_utf8(w); }
std::wstring from_utf8(const std::string& s) { return platform::utf8_to_utf16(s); }

BOOL CALLBACK find_menu_window(HWND h, LPARAM lp) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    wchar_t cls[64] = {};
    GetClassNameW(h, cls, 64);
    if (pid == GetCurrentProcessId() && IsWindowVisible(h) && std::wstring(cls) == L"#32768") {
        *reinterpret_cast<HWND*>(lp) = h;
        return FALSE;
    }
    return TRUE;
}

void dump_menu() {
    HWND w = nullptr;
    EnumWindows(find_menu_window, reinterpret_cast<LPARAM>(&w));
    std::string lines;
    if (w) {
        auto menu = reinterpret_cast<HMENU>(SendMessageW(w, 0x01E1 /* MN_GETHMENU */, 0, 0));
        int n = GetMenuItemCount(menu);
        for (int i = 0; i < n; ++i) {
            wchar_t text[512] = {};
            MENUITEMINFOW info{};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_DATA;
            GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
            char kind = (info.fType & MFT_SEPARATOR) ? '-' : (info.fType & MFT_OWNERDRAW) ? 'O' : 'S';
            if (kind == 'S') GetMenuStringW(menu, static_cast<UINT>(i), text, 512, MF_BYPOSITION);
            std::wstring name;
            if (kind == 'O' && info.dwItemData) {
                const auto* msaa = reinterpret_cast<const MSAAMENUINFO*>(info.dwItemData);
                if (msaa->dwMSAASignature == static_cast<DWORD>(MSAA_MENU_SIG) && msaa->pszWText)
                    name.assign(msaa->pszWText, msaa->cchWText);
            }
            RECT r{};
            GetMenuItemRect(w, menu, static_cast<UINT>(i), &r);
            char head[128];
            std::snprintf(head, sizeof head, "%u\t%c\t%d\t%ld\t%ld\t%ld\t%ld\t", info.wID, kind,
                          (info.fState & MFS_GRAYED) ? 1 : 0, r.left, r.top, r.right, r.bottom);
            lines += head + utf8(name) + "\t" + utf8(text) + "\n";
        }
    }
    write_temp(L"tagzo-menu-probe.txt", lines);
}

void drop(HWND target) {
    std::wstring list = temp_file(L"tagzo-drop.txt");
    std::string text = read_temp(L"tagzo-drop.txt");
    long x = 0, y = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%ld %ld\n%n", &x, &y, &used) < 2) return;
    // The paths in UTF-16, each ended by a zero, the list by another: the shell's wide form.
    std::wstring names;
    for (size_t start = static_cast<size_t>(used), nl; (nl = text.find('\n', start)) != std::string::npos;
         start = nl + 1)
        names += from_utf8(text.substr(start, nl - start)) + L'\0';
    names += L'\0';
    DeleteFileW(list.c_str()); // tells the driver the drop is on its way
    size_t bytes = names.size() * sizeof(wchar_t);
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + bytes);
    auto* d = static_cast<DROPFILES*>(GlobalLock(h));
    d->pFiles = sizeof(DROPFILES);
    d->pt = {x, y};
    d->fNC = FALSE;
    d->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(d) + sizeof(DROPFILES), names.data(), bytes);
    GlobalUnlock(h);
    PostMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(h), 0);
}

void count_glyphs(HWND control) {
    std::wstring chars = from_utf8(read_temp(L"tagzo-glyph.txt"));
    HDC dc = GetDC(control);
    HGDIOBJ former = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    std::vector<WORD> glyphs(chars.size() + 1);
    long missing = -1;
    if (GetGlyphIndicesW(dc, chars.c_str(), static_cast<int>(chars.size()), glyphs.data(),
                         GGI_MARK_NONEXISTING_GLYPHS) != GDI_ERROR) {
        missing = 0;
        for (size_t i = 0; i < chars.size(); ++i) missing += glyphs[i] == 0xFFFF;
    }
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    SelectObject(dc, former);
    ReleaseDC(control, dc);
    write_temp(L"tagzo-glyph-probe.txt", std::to_string(missing) + "\t" + utf8(face) + "\n");
}

void change_dpi(HWND window) {
    const int dpi = std::atoi(read_temp(L"tagzo-dpi.txt").c_str());
    RECT suggested{};
    GetWindowRect(window, &suggested);
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    write_temp(L"tagzo-dpi-probe.txt", "done\n");
}

} // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK probe_hook(int code, WPARAM wp, LPARAM lp) {
    static const UINT menu_signal = RegisterWindowMessageW(L"tagzo-menu-probe");
    static const UINT drop_signal = RegisterWindowMessageW(L"tagzo-drop-probe");
    static const UINT glyph_signal = RegisterWindowMessageW(L"tagzo-glyph-probe");
    static const UINT dpi_signal = RegisterWindowMessageW(L"tagzo-dpi-probe");
    if (code == HC_ACTION) {
        auto* m = reinterpret_cast<MSG*>(lp);
        if (m->message == menu_signal && m->hwnd == nullptr) {
            dump_menu();
            m->message = WM_NULL;
        } else if (m->message == drop_signal && m->hwnd == nullptr) {
            if (wp == PM_REMOVE) drop(reinterpret_cast<HWND>(m->wParam)); // once, not at each peek
            m->message = WM_NULL;
        } else if (m->message == glyph_signal && m->hwnd == nullptr) {
            if (wp == PM_REMOVE) count_glyphs(reinterpret_cast<HWND>(m->wParam));
            m->message = WM_NULL;
        } else if (m->message == dpi_signal && m->hwnd == nullptr) {
            if (wp == PM_REMOVE) change_dpi(reinterpret_cast<HWND>(m->wParam));
            m->message = WM_NULL;

        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

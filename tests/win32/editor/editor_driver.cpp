// The helpers of editor_driver.h written once: screen pictures, what a screen reader is told, rename dialogs.
#include "tests/win32/editor/editor_driver.h"

// The driver reads and sets the editor's places in the screen's own pixels, as the editor
// does: a program unaware of the screen's scale would get and give them at 96 DPI.
const bool g_aware_of_the_scale = SetProcessDPIAware() != FALSE;

// The pixels of a screen rectangle, top row first, each 0x00RRGGBB.
static std::vector<uint32_t> screen_pixels(RECT r) {
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return {};
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof bi.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<uint32_t> px(static_cast<size_t>(w) * static_cast<size_t>(h));
    GetDIBits(mem, bmp, 0, static_cast<UINT>(h), px.data(), &bi, DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return px;
}
void look(HWND window, const char* name) {
    const std::string folder = environment(L"TAGZO_LOOK");
    if (folder.empty() || !window) return;
    Sleep(300); // drawn
    RECT r{};
    GetWindowRect(window, &r);
    std::vector<uint32_t> px = screen_pixels(r);
    for (uint32_t& p : px) p |= 0xFF000000u; // opaque, for viewers that read the fourth byte
    // A top-down 32-bit bitmap file.
    BITMAPINFOHEADER info{sizeof info, r.right - r.left, -(r.bottom - r.top), 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    DWORD bytes = static_cast<DWORD>(px.size() * 4);
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof info + bytes), 0, 0,
                          static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof info)};
    write_file(folder + "\\" + name + ".bmp", std::string(reinterpret_cast<const char*>(&file), sizeof file) +
                                                  std::string(reinterpret_cast<const char*>(&info), sizeof info) +
                                                  std::string(reinterpret_cast<const char*>(px.data()), bytes));
}
std::string accessible_name(HWND window) {
    static const bool com = SUCCEEDED(CoInitialize(nullptr));
    (void)com;
    IAccessible* object = nullptr;
    HRESULT found = AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                               reinterpret_cast<void**>(&object));
    char code[48];
    if (FAILED(found) || !object) {
        std::snprintf(code, sizeof code, "<none: %08lx>", static_cast<unsigned long>(found));
        return code;
    }
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    HRESULT got = object->get_accName(self, &name);
    object->Release();
    std::string out;
    if (got == S_OK && name) {
        out = cp932(std::wstring(name, SysStringLen(name)));
    } else {
        std::snprintf(code, sizeof code, "<no name: %08lx>", static_cast<unsigned long>(got));
        out = code;
    }
    SysFreeString(name);
    return out;
}
int drawn_pixels(RECT r) {
    std::vector<uint32_t> px = screen_pixels(r);
    int n = 0;
    for (uint32_t p : px) n += (p & 0xFFFFFF) != (px[0] & 0xFFFFFF);
    return n;
}
bool caption_shown(HWND main, int x, int y, const char* text, int height) {
    HFONT font =
        CreateFontW(height, 0, 0, 0, 400, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FIXED_PITCH | FF_MODERN, wide("ＭＳ ゴシック").c_str());
    const std::wstring w = wide(text);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old_font = SelectObject(mem, font);
    SIZE size{};
    GetTextExtentPoint32W(mem, w.c_str(), static_cast<int>(w.size()), &size);
    const int cx = size.cx + 1, cy = size.cy + 1;
    HBITMAP bmp = CreateCompatibleBitmap(screen, cx, cy);
    HGDIOBJ old_bmp = SelectObject(mem, bmp);
    RECT all{0, 0, cx, cy};
    HBRUSH grey = CreateSolidBrush(RGB(128, 128, 128));
    FillRect(mem, &all, grey);
    DeleteObject(grey);
    SetBkMode(mem, TRANSPARENT);
    SetTextColor(mem, RGB(255, 255, 255));
    TextOutW(mem, 1, 1, w.c_str(), static_cast<int>(w.size()));
    SetTextColor(mem, RGB(0, 0, 0));
    TextOutW(mem, 0, 0, w.c_str(), static_cast<int>(w.size()));
    // The controls over the face, in client points: the caption shows where none covers it.
    std::vector<RECT> covered;
    for (HWND c = GetWindow(main, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r{};
        if (!IsWindowVisible(c) || !GetWindowRect(c, &r)) continue;
        MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
        covered.push_back(r);
    }
    POINT at{x - 1, y - 1};
    ClientToScreen(main, &at);
    int black = 0, differ = 0;
    for (int j = 0; j < cy; ++j)
        for (int i = 0; i < cx; ++i) {
            const POINT client{x - 1 + i, y - 1 + j};
            bool under_control = false;
            for (const RECT& r : covered) under_control = under_control || PtInRect(&r, client);
            if (under_control) continue;
            bool want = (GetPixel(mem, i, j) & 0xFFFFFF) == 0;
            bool got = (GetPixel(screen, at.x + i, at.y + j) & 0xFFFFFF) == 0;
            black += want;
            differ += want != got;
        }
    SelectObject(mem, old_bmp);
    SelectObject(mem, old_font);
    DeleteObject(bmp);
    DeleteObject(font);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return black >= 10 && differ == 0;
}
HWND rename_dialog(EditorRun& ed, const char* title) { return wait_window(ed.pid(), title, "#32770", IDC_OLD_NAME); }

// The Win32 idioms every program of ours shares (the editor, the installer, the uninstaller):
// no C++ exception crosses a callback of the system; a dialog procedure that finds its object;
// controls subclassed with their object; handles that release themselves; and the one
// boundary where texts cross into UTF-16.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <string_view>
#include <utility>

#include "platform/text.h"

namespace toolkit {

// Runs `work`, giving `fallback` where an exception escaped it (out of memory, the one failure
// that throws here): the message or pass is then left undone, as the system leaves a message it
// could not deliver.
template <class R, class Work>
R guarded(R fallback, Work&& work) noexcept {
    try {
        return std::forward<Work>(work)();
    } catch (...) {
        return fallback;
    }
}

// The procedure of a dialog whose object comes as its creation parameter (the lParam of
// WM_INITDIALOG): kept in DWLP_USER and handed to `Handler` with each message from then on, each
// message guarded. The few messages before WM_INITDIALOG get the dialog's defaults.
template <class T, INT_PTR (*Handler)(T&, HWND, UINT, WPARAM, LPARAM)>
INT_PTR CALLBACK dialog_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) SetWindowLongPtrW(dlg, DWLP_USER, lp);
    T* object = reinterpret_cast<T*>(GetWindowLongPtrW(dlg, DWLP_USER));
    if (!object) return FALSE;
    return guarded<INT_PTR>(FALSE, [&] { return Handler(*object, dlg, msg, wp, lp); });
}

// A control subclassed with its object: `Handler` sees each of its messages first, guarded, and
// passes them on with DefSubclassProc. end_subclass takes it off again (the system does at the
// control's end as well).
template <class T, LRESULT (*Handler)(T&, HWND, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK subclass_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    return guarded<LRESULT>(0, [&] { return Handler(*reinterpret_cast<T*>(data), h, msg, wp, lp); });
}
template <class T, LRESULT (*Handler)(T&, HWND, UINT, WPARAM, LPARAM)>
bool subclass(HWND control, T& object) {
    return SetWindowSubclass(control, subclass_proc<T, Handler>, 1, reinterpret_cast<DWORD_PTR>(&object)) != FALSE;
}
template <class T, LRESULT (*Handler)(T&, HWND, UINT, WPARAM, LPARAM)>
void end_subclass(HWND control) {
    RemoveWindowSubclass(control, subclass_proc<T, Handler>, 1);
}

// A handle released by `Release` when its holder goes (or takes another); null holds nothing.
template <class H, auto Release>
class Held {
public:
    Held() = default;
    explicit Held(H handle) : handle_(handle) {}
    ~Held() { reset(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    Held(Held&& other) noexcept : handle_(other.release()) {}
    Held& operator=(Held&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    H get() const { return handle_; }
    // Where a call that makes the handle puts it (the one held before is released first).
    H* out() {
        reset();
        return &handle_;
    }
    const H* address() const { return &handle_; }
    explicit operator bool() const { return handle_ != H{}; }
    H release() { return std::exchange(handle_, H{}); }
    void reset(H handle = H{}) {
        if (handle_ != H{}) Release(handle_);
        handle_ = handle;
    }

private:
    H handle_{};
};
using HeldHandle = Held<HANDLE, &CloseHandle>; // events, threads, processes (never INVALID_HANDLE_VALUE)
using HeldFont = Held<HFONT, &DeleteObject>;
using HeldBrush = Held<HBRUSH, &DeleteObject>;
using HeldBitmap = Held<HBITMAP, &DeleteObject>;
using HeldKey = Held<HKEY, &RegCloseKey>;
using HeldHook = Held<HHOOK, &UnhookWindowsHookEx>;

// A GDI object chosen into a device context for a scope, the one it took the place of chosen
// back at the end.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), former_(object ? SelectObject(dc, object) : nullptr) {}
    ~Selected() {
        if (former_) SelectObject(dc_, former_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ former_;
};

// The one text boundary. Inside, texts are cp932 and paths UTF-8; Windows gets and gives both
// as UTF-16, so they are right whatever the system's code page.
inline std::wstring wide(std::string_view cp932) { return platform::cp932_to_utf16(cp932); }
inline std::wstring wide_path(std::string_view utf8) { return platform::utf8_to_utf16(utf8); }
// A character with no cp932 form becomes "?".
inline std::string narrow(std::wstring_view text) { return platform::utf16_to_cp932(text); }
inline std::string utf8_path(std::wstring_view path) { return platform::utf16_to_utf8(path); }

} // namespace toolkit

// Drives install.exe, uninstall.exe and the installed editor like a user would, one step per
// run, and prints what it saw as "key<TAB>value" lines in UTF-8 (a newline in a value as \n):
//   drive_install install EXE [--mode 0|1] [--no-shortcut] [--no-menu] [--answer yes|no|cancel]
//                 [--press-twice]   (the start button pressed again while the question is up)
//                 [--editor EXE]    (EXE started first and closed once the installer has ended)
//   drive_install uninstall EXE [--answer yes|no]
//   drive_install verb FILE          the right-click entry on FILE, then the editor closed
//   drive_install options EXE NAME   the editor's options: a new display name, then closed
//   drive_install shortcut LNK       the target of a shell link, read through IShellLinkW
//   drive_install resources EXE      the program's manifest, and the size of bitmap 130
//   drive_install access FOLDER [--grant]  the entries of the Users group in the folder's access
//                                    list, after the installer's own call gave them the right
//                                    to change files there (with --grant)
// The test around it checks files and the registry from outside.
#include <windows.h>
#include <aclapi.h>
#include <objbase.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/support/window_driver_win32.h"
#include "win32/install/setup_win32.h"

namespace {

const wchar_t* const k_confirm = L"確認";
const wchar_t* const k_removed_caption = L"ｱﾝｲｽﾄｰﾙ完了";
const int k_wait_ms = 30000;

std::string utf8(const std::wstring& w) { return platform::utf16_to_utf8(w); }
std::wstring wide(const std::string& s) { return platform::utf8_to_utf16(s); }

void out(const std::string& key, const std::wstring& value) {
    std::string v;
    for (char c : utf8(value)) {
        if (c == '\n') v += "\\n";
        else if (c == '\r') v += "\\r";
        else v += c;
    }
    std::string line = key + "\t" + v + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}
void out(const std::string& key, long value) { out(key, std::to_wstring(value)); }

using driver::checked;
using driver::click;
using driver::Process;
using driver::window_text;

// A visible top-level dialog window of a process (any process when pid is 0, none of `not_pid`)
// with the title given (any when null) and holding the control given (any when 0).
HWND wait_window(DWORD pid, const wchar_t* title, int control, HANDLE process = nullptr, HWND skip = nullptr,
                 DWORD not_pid = 0) {
    driver::WindowQuery q;
    q.pid = pid;
    q.not_pid = not_pid;
    q.title = title;
    q.cls = L"#32770";
    q.control = control;
    q.skip = skip;
    return driver::wait_window(q, k_wait_ms, process);
}
void wait_gone(HWND h) { driver::wait_hidden(h, k_wait_ms); }

// A message box: its text (the static control 0xFFFF), its caption and the title of its owner.
void print_box(const std::string& key, HWND box) {
    out(key, window_text(GetDlgItem(box, 0xFFFF)));
    out(key + "_caption", window_text(box));
    HWND owner = GetWindow(box, GW_OWNER);
    out(key + "_owner", owner ? window_text(owner) : std::wstring(L"(none)"));
}

std::wstring image_of(HANDLE process) {
    wchar_t buf[MAX_PATH] = {};
    DWORD n = MAX_PATH;
    if (!QueryFullProcessImageNameW(process, 0, buf, &n)) return L"?";
    return buf;
}

int install(const std::vector<std::wstring>& args) {
    std::wstring mode, answer = L"yes";
    std::wstring editor_exe;
    bool no_shortcut = false, no_menu = false, press_twice = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == L"--mode" && i + 1 < args.size()) mode = args[++i];
        else if (args[i] == L"--editor" && i + 1 < args.size()) editor_exe = args[++i];
        else if (args[i] == L"--answer" && i + 1 < args.size()) answer = args[++i];
        else if (args[i] == L"--no-shortcut") no_shortcut = true;
        else if (args[i] == L"--no-menu") no_menu = true;
        else if (args[i] == L"--press-twice") press_twice = true;
    }
    // The editor, running while the installer works, is closed once the installer has ended.
    std::unique_ptr<Process> editor;
    HWND editor_main = nullptr;
    if (!editor_exe.empty()) {
        editor = std::make_unique<Process>(editor_exe);
        editor_main = editor->started() ? wait_window(editor->pid(), nullptr, 1000, editor->handle()) : nullptr;
        if (!editor_main) return out("error", L"no editor window"), 1;
    }
    struct CloseEditor {
        Process* editor;
        HWND main;
        ~CloseEditor() {
            if (!editor) return;
            driver::command(main, IDCANCEL);
            out("editor_exit", editor->exit_code(k_wait_ms));
        }
    } close_editor{editor.get(), editor_main};
    Process p(args[0]);
    if (!p.started()) return out("error", L"install.exe did not start: error " + std::to_wstring(p.start_error())), 1;
    HWND dlg = wait_window(p.pid(), nullptr, 1002, p.handle());
    if (!dlg) return out("error", L"no dialog 129"), 1;
    Sleep(300);
    out("title", window_text(dlg));
    out("button1", window_text(GetDlgItem(dlg, IDOK)));
    out("button2", window_text(GetDlgItem(dlg, IDCANCEL)));
    out("folder", window_text(GetDlgItem(dlg, 1002)));
    for (int id : {1000, 1001, 1003, 1004}) out("checked" + std::to_string(id), checked(dlg, id));
    out("enabled1001", IsWindowEnabled(GetDlgItem(dlg, 1001)) != 0);
    out("readonly1002", (GetWindowLongW(GetDlgItem(dlg, 1002), GWL_STYLE) & ES_READONLY) != 0);
    RECT r{}, desk{};
    GetWindowRect(dlg, &r);
    GetWindowRect(GetDesktopWindow(), &desk);
    out("rect", std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," + std::to_wstring(r.right) + L"," +
                    std::to_wstring(r.bottom));
    out("desktop", std::to_wstring(desk.right - desk.left) + L"," + std::to_wstring(desk.bottom - desk.top));
    // Every control's text, in the template's order.
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        GetClassNameW(c, cls, 32);
        if (std::wstring(cls) == L"Static" && (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) {
            // The bitmap handle is the installer's own; its size is read from the resource.
            bool shown = SendMessageW(c, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
            RECT cr{};
            GetClientRect(c, &cr);
            out("picture", std::wstring(shown ? L"shown" : L"none") + L" in " + std::to_wstring(cr.right) + L"x" +
                               std::to_wstring(cr.bottom));
            continue;
        }
        out("control", std::wstring(cls) + L"|" + window_text(c));
    }

    if (mode == L"0") SendMessageW(GetDlgItem(dlg, 1003), BM_CLICK, 0, 0);
    if (mode == L"1") SendMessageW(GetDlgItem(dlg, 1004), BM_CLICK, 0, 0);
    if (no_shortcut) SendMessageW(GetDlgItem(dlg, 1001), BM_CLICK, 0, 0);
    if (no_menu) SendMessageW(GetDlgItem(dlg, 1000), BM_CLICK, 0, 0);

    if (answer == L"cancel") {
        click(dlg, IDCANCEL);
        out("exit", p.exit_code(k_wait_ms));
        return 0;
    }
    click(dlg, IDOK);
    HWND ask = wait_window(p.pid(), k_confirm, 0xFFFF, p.handle());
    if (!ask) return out("error", L"no question"), 1;
    print_box("question", ask);
    if (press_twice) {
        // Posted before the answer, so the installer's thread takes the second press first.
        out("enabled_while_asked", IsWindowEnabled(dlg) != 0);
        click(dlg, IDOK);
    }
    if (answer == L"no") {
        click(ask, IDNO);
        wait_gone(ask);
        Sleep(500);
        out("dialog_open", IsWindowVisible(dlg) != 0);
        click(dlg, IDCANCEL);
        out("exit", p.exit_code(k_wait_ms));
        return 0;
    }
    click(ask, IDYES);
    wait_gone(ask);
    // The messages that follow, each answered with OK, until the installer ends.
    for (HWND box = ask; (box = wait_window(p.pid(), k_confirm, 0xFFFF, p.handle(), box));) {
        print_box("message", box);
        click(box, IDOK);
        wait_gone(box);
    }
    out("exit", p.exit_code(k_wait_ms));
    return 0;
}

int uninstall(const std::vector<std::wstring>& args) {
    std::wstring answer = args.size() > 2 && args[1] == L"--answer" ? args[2] : L"yes";
    Process p(args[0]);
    if (!p.started()) return out("error", L"uninstall.exe did not start: error " + std::to_wstring(p.start_error())), 1;
    // Phase 2 asks; it is this process or the copy that this one started.
    HWND ask = wait_window(0, k_confirm, 0xFFFF);
    if (!ask) return out("error", L"no question"), 1;
    DWORD pid = 0;
    GetWindowThreadProcessId(ask, &pid);
    HANDLE phase2 = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    out("started_exit", pid == p.pid() ? -2 : p.exit_code(k_wait_ms)); // -2: it asked itself
    out("phase2", image_of(phase2));
    print_box("question", ask);
    click(ask, answer == L"yes" ? IDYES : IDNO);
    wait_gone(ask);
    if (answer == L"yes") {
        HWND done = wait_window(pid, k_removed_caption, 0xFFFF, phase2);
        if (done) {
            print_box("message", done);
            click(done, IDOK);
        } else {
            out("error", L"no completion message");
        }
    }
    DWORD code = 0;
    bool ended = WaitForSingleObject(phase2, k_wait_ms) == WAIT_OBJECT_0 && GetExitCodeProcess(phase2, &code);
    out("phase2_exit", ended ? static_cast<long>(code) : -1);
    CloseHandle(phase2);
    return 0;
}

int verb(const std::vector<std::wstring>& args) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = L"id3タグ編集";
    info.lpFile = args[0].c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info) || !info.hProcess) return out("error", L"ShellExecuteEx failed"), 1;
    DWORD pid = GetProcessId(info.hProcess);
    out("image", image_of(info.hProcess));
    HWND main = wait_window(pid, nullptr, 1000, info.hProcess);
    if (!main) return out("error", L"no editor window"), 1;
    out("title", window_text(main));
    out("tag_title", window_text(GetDlgItem(main, 1000)));
    out("file_name", window_text(GetDlgItem(main, 1001)));
    driver::command(main, IDCANCEL);
    DWORD code = 0;
    bool ended =
        WaitForSingleObject(info.hProcess, k_wait_ms) == WAIT_OBJECT_0 && GetExitCodeProcess(info.hProcess, &code);
    out("exit", ended ? static_cast<long>(code) : -1);
    CloseHandle(info.hProcess);
    return 0;
}

int options(const std::vector<std::wstring>& args) {
    Process p(args[0]);
    HWND main = p.started() ? wait_window(p.pid(), nullptr, 1000, p.handle()) : nullptr;
    if (!main) return out("error", L"no editor window"), 1;
    driver::command(main, 1039);
    HWND o = wait_window(p.pid(), L"ｵﾌﾟ", 1064, p.handle());
    if (!o) return out("error", L"no options dialog"), 1;
    out("old_name", window_text(GetDlgItem(o, 1064)));
    SetDlgItemTextW(o, 1064, args[1].c_str());
    click(o, 6);
    std::wstring want = args[1] + L" 0.29";
    for (int w = 0; w < k_wait_ms && window_text(main) != want; w += 50) Sleep(50);
    out("title", window_text(main));
    driver::command(main, IDCANCEL);
    out("exit", p.exit_code(k_wait_ms));
    return 0;
}

int shortcut(const std::vector<std::wstring>& args) {
    CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return out("error", L"no shell link object"), 1;
    IPersistFile* file = nullptr;
    HRESULT hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(hr)) {
        hr = file->Load(args[0].c_str(), STGM_READ);
        file->Release();
    }
    out("loaded", SUCCEEDED(hr));
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(hr) && SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, 0))) out("target", path);
    link->Release();
    CoUninitialize();
    return 0;
}

int resources(const std::vector<std::wstring>& args) {
    HMODULE m = LoadLibraryExW(args[0].c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    HRSRC r = m ? FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)) : nullptr; // RT_MANIFEST
    if (!r) return out("error", L"no manifest resource 1"), 1;
    const char* data = static_cast<const char*>(LockResource(LoadResource(m, r)));
    out("manifest", wide(std::string(data, SizeofResource(m, r))));
    if (HRSRC b = FindResourceW(m, MAKEINTRESOURCEW(130), MAKEINTRESOURCEW(2))) { // RT_BITMAP
        auto* info = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(m, b)));
        out("bitmap130", std::to_wstring(info->biWidth) + L"x" + std::to_wstring(info->biHeight) + L"x" +
                             std::to_wstring(info->biBitCount));
    }
    return 0;
}

// Each entry for the Users group as "allow|deny MASK FLAGS" (hexadecimal), one a line.
int access(const std::vector<std::wstring>& args) {
    if (args.size() > 1 && args[1] == L"--grant") out("granted", setup_win32::let_users_change(args[0]) ? L"1" : L"0");
    BYTE users[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof users;
    if (!CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &size)) return out("error", L"no Users SID"), 1;
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD got = GetNamedSecurityInfoW(args[0].c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                      &acl, nullptr, &descriptor);
    if (got != ERROR_SUCCESS) return out("error", L"GetNamedSecurityInfoW " + std::to_wstring(got)), 1;
    std::wstring entries;
    for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(acl, i, &ace)) continue;
        auto* header = static_cast<ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace); // the denied entry has the same layout
        if (!EqualSid(&allowed->SidStart, users)) continue;
        wchar_t line[64];
        swprintf(line, 64, L"%ls %lx %x\n", header->AceType == ACCESS_ALLOWED_ACE_TYPE ? L"allow" : L"deny",
                 static_cast<unsigned long>(allowed->Mask), static_cast<unsigned>(header->AceFlags));
        entries += line;
    }
    out("users", entries);
    LocalFree(descriptor);
    return 0;
}

} // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    LocalFree(argv);
    if (args.size() < 2) {
        std::fputs("usage: drive_install install|uninstall|verb|options|shortcut|resources|access ARGS\n", stderr);
        return 2;
    }
    std::wstring what = args[0];
    args.erase(args.begin());
    if (what == L"install") return install(args);
    if (what == L"uninstall") return uninstall(args);
    if (what == L"verb") return verb(args);
    if (what == L"options" && args.size() == 2) return options(args);
    if (what == L"shortcut") return shortcut(args);
    if (what == L"resources") return resources(args);
    if (what == L"access") return access(args);
    std::fputs("drive_install: unknown step\n", stderr);
    return 2;
}

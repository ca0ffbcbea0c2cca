// The installer: dialog 129 copies the program into the fixed folder, registers the
// right-click entry of MP3 files, makes the desktop shortcut and records the playback mode.
// Install mode for a first installation, version-up mode once the editor has saved kt.dat
// in the install folder.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "win32/common/dialog_font_win32.h"
#include "win32/common/dpi_win32.h"
#include "win32/install/resource.h"
#include "core/setup/setup_rules.h"
#include "win32/install/setup_win32.h"
#include "win32/install/texts.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/text.h"

namespace {

using setup_win32::format;
using setup_win32::wide;
using setup_win32::wide_path;
namespace texts = setup_texts;

// The files of the archive, in copy order. We ship no help file; one that the archive does
// not hold is passed over, every other file must be copied.
struct Shipped {
    const char* name;
    bool optional;
};
constexpr Shipped k_files[] = {{"tagzo.exe", false},     {"Readme.txt", false}, {"install.exe", false},
                               {"uninstall.exe", false}, {"vbmp3.dll", false},  {"tagzo.hlp", true}};

struct Installer {
    std::string install_folder{setup::k_install_folder};   // UTF-8, with its trailing backslash
    std::string display_name{texts::default_display_name}; // cp932
    int32_t playback_mode = 0;
    bool install_mode = true;
    bool same_folder = false;
    bool asking = false; // the question of a start is up
    HBITMAP scaled_picture = nullptr; // the menu's picture at the screen's scale, when not 96 DPI
};

// The settings file as the installer names it; the folders differ only in letter case.
const char* const k_kt_dat = "c:\\Program files\\Accessories\\tagzo\\kt.dat";
const char* const k_setup_dat = "c:\\Program files\\Accessories\\tagzo\\setup.dat";

void centre_on_desktop(HWND dlg) {
    RECT desk{}, own{};
    GetWindowRect(GetDesktopWindow(), &desk);
    GetWindowRect(dlg, &own);
    int w = own.right - own.left, h = own.bottom - own.top;
    MoveWindow(dlg, (desk.right - desk.left) / 2 - w / 2, (desk.bottom - desk.top) / 2 - h / 2, w, h, TRUE);
}

// The template's controls grow with its font; the picture of the menu entry (a static control
// that takes its bitmap's size) is drawn at the screen's scale to match.
void scale_picture(HWND dlg, Installer& in) {
    const UINT scale = dpi::of_window(dlg);
    for (HWND c = GetWindow(dlg, GW_CHILD); c && scale != dpi::k_base; c = GetWindow(c, GW_HWNDNEXT)) {
        if ((GetWindowLongPtrW(c, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP) continue;
        HBITMAP shown = reinterpret_cast<HBITMAP>(SendMessageW(c, STM_GETIMAGE, IMAGE_BITMAP, 0));
        in.scaled_picture = dpi::scaled_bitmap(shown, scale);
        if (in.scaled_picture)
            SendMessageW(c, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(in.scaled_picture));
        return;
    }
}

void on_init(HWND dlg, Installer& in) {
    scale_picture(dlg, in);
    centre_on_desktop(dlg);
    CheckDlgButton(dlg, IDC_MENU_ENTRY, BST_CHECKED);
    SetDlgItemTextW(dlg, IDC_INSTALL_FOLDER, wide_path(in.install_folder).c_str());
    EnableWindow(GetDlgItem(dlg, IDC_SHORTCUT), TRUE);
    CheckDlgButton(dlg, IDC_SHORTCUT, BST_CHECKED);

    setup::Found found = setup::read_installed_settings(in.install_folder + "kt.dat", in.display_name);
    in.install_mode = !found.version_up;
    in.display_name = found.display_name;
    in.playback_mode = found.playback_mode;

    const char* title = in.install_mode ? texts::title_install : texts::title_version_up;
    SetWindowTextW(dlg, wide(format(title, in.display_name)).c_str());
    if (!in.install_mode) SetDlgItemTextW(dlg, IDOK, wide(texts::start_version_up).c_str());
    if (in.playback_mode == 0) CheckDlgButton(dlg, IDC_MODE_DEFAULT, BST_CHECKED);
    if (in.playback_mode == 1) CheckDlgButton(dlg, IDC_MODE_SLOW_MACHINE, BST_CHECKED);
}

// A shell link file. Returns the last COM result; the installer does not look at it.
HRESULT create_shortcut(const std::wstring& target, const std::wstring& link_path, const wchar_t* arguments,
                        const wchar_t* description, const wchar_t* working_folder, const wchar_t* icon_path,
                        int icon_index) {
    HRESULT hr = CoInitialize(nullptr);
    bool initialised = SUCCEEDED(hr);
    IShellLinkW* link = nullptr;
    hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                          reinterpret_cast<void**>(&link));
    if (SUCCEEDED(hr)) {
        link->SetArguments(arguments ? arguments : L"");
        link->SetDescription(description ? description : L"");
        link->SetWorkingDirectory(working_folder ? working_folder : L"");
        link->SetIconLocation(icon_path ? icon_path : L"", icon_index);
        link->SetPath(target.c_str());
        IPersistFile* file = nullptr;
        hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
        if (SUCCEEDED(hr)) {
            hr = file->Save(link_path.c_str(), TRUE);
            file->Release();
        }
        link->Release();
    }
    if (initialised) CoUninitialize();
    return hr;
}

// The user's desktop folder: the shell knows where it is on this system.
std::wstring desktop_folder() {
    wchar_t buf[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, buf))) return {};
    return buf;
}

void register_menu_entry() {
    std::optional<std::string> cls = setup_win32::mp3_class(4096);
    if (!cls) return;
    std::optional<std::string> key = setup::verb_command_key(*cls, platform::cp932_to_utf8(texts::verb));
    if (!key) return;
    toolkit::HeldKey k;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, wide_path(*key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.out(),
                        nullptr) != ERROR_SUCCESS)
        return;
    std::wstring command = wide_path(setup::verb_command());
    RegSetValueExW(k.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
}

// Copies the archive's files from the installer's own folder; false at the first failure.
bool copy_files(const std::string& own_folder, const Installer& in) {
    for (const Shipped& f : k_files) {
        // Both folders end in a backslash, so the names hold a doubled one, as they always have.
        std::wstring from = wide_path(own_folder + "\\" + f.name);
        std::wstring to = wide_path(in.install_folder + "\\" + f.name);
        if (f.optional && GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) return false;
    }
    return true;
}

// A file that carries the read-only attribute is not written: Windows refuses to open or
// replace it, but Wine replaces it, and as root even opens it for writing.
bool read_only(const char* path) {
    DWORD attrs = GetFileAttributesW(wide_path(path).c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY);
}

void record_playback_mode(Installer& in) {
    if (in.install_mode) {
        if (read_only(k_setup_dat)) return;
        std::string image = setup::setup_dat_image(in.playback_mode);
        (void)platform::replace_file_content(k_setup_dat, image.data(), image.size());
        return;
    }
    setup::Found found = setup::read_installed_settings(k_kt_dat, in.display_name, in.playback_mode);
    if (found.version_up) in.display_name = found.display_name;
    if (read_only(k_kt_dat)) return;
    (void)setup::patch_playback_mode(k_kt_dat, in.playback_mode);
}

void install(HWND dlg, Installer& in) {
    const char* ask = in.install_mode ? texts::ask_install : texts::ask_version_up;
    // The question has no owner window, so nothing would keep the dialog from a second start
    // while it is up: the dialog takes no input meanwhile, and a start that still comes (a
    // click sent to the button) is ignored.
    if (in.asking) return;
    in.asking = true;
    EnableWindow(dlg, FALSE);
    const int answer = setup_win32::message(nullptr, format(ask, in.display_name), texts::confirm_caption, MB_YESNO);
    EnableWindow(dlg, TRUE);
    in.asking = false;
    if (answer != IDYES) {
        SetForegroundWindow(dlg);
        return;
    }
    bool menu_entry = IsDlgButtonChecked(dlg, IDC_MENU_ENTRY) == BST_CHECKED;
    bool shortcut = IsDlgButtonChecked(dlg, IDC_SHORTCUT) == BST_CHECKED;
    // The dialog closes when this command returns; the work below runs first.
    EndDialog(dlg, 1);

    CreateDirectoryW(L"c:\\Program Files", nullptr);
    CreateDirectoryW(L"c:\\Program Files\\Accessories\\", nullptr);
    CreateDirectoryW(L"c:\\Program Files\\Accessories\\tagzo", nullptr);
    std::wstring folder = wide_path(in.install_folder);
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    (void)setup_win32::let_users_change(folder);

    std::string own = setup_win32::own_folder();
    if (setup::is_install_folder(own)) {
        setup_win32::message(nullptr, texts::same_folder, texts::confirm_caption, MB_OK);
        in.same_folder = true;
    } else if (!copy_files(own, in)) {
        setup_win32::message(nullptr, texts::copy_failed, texts::confirm_caption, MB_OK);
        return;
    }
    if (menu_entry) register_menu_entry();
    record_playback_mode(in);

    std::string done;
    if (in.same_folder) {
        done = texts::set_up;
    } else {
        if (shortcut) {
            std::wstring desktop = desktop_folder();
            if (!desktop.empty())
                (void)create_shortcut(wide_path(in.install_folder + "tagzo.exe"),
                                      desktop + L"\\" + wide(setup::shortcut_name(in.display_name)), nullptr, nullptr,
                                      nullptr, nullptr, 0);
        }
        const char* word = in.install_mode ? texts::word_install : texts::word_version_up;
        done = format(texts::done, word, in.install_folder);
    }
    setup_win32::message(dlg, done, texts::confirm_caption, MB_OK);
    (void)platform::start_process("explorer " + in.install_folder);
}

// Out of memory in the set-up or the install ends the dialog.
INT_PTR install_message(Installer& in, HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        if (!toolkit::guarded(false, [&] { return on_init(dlg, in), true; })) EndDialog(dlg, 2);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDC_MODE_DEFAULT: in.playback_mode = 0; return TRUE;
        case IDC_MODE_SLOW_MACHINE: in.playback_mode = 1; return TRUE;
        case IDCANCEL: EndDialog(dlg, 2); return TRUE;
        case IDOK:
            if (!toolkit::guarded(false, [&] { return install(dlg, in), true; })) EndDialog(dlg, 1);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    platform::limit_library_search();
    Installer in;
    dialog_font::dialog_box(instance, IDD_INSTALL, nullptr, toolkit::dialog_proc<Installer, install_message>, reinterpret_cast<LPARAM>(&in));
    if (in.scaled_picture) DeleteObject(in.scaled_picture);
    return 0;
}

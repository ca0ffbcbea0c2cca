// The uninstaller, in two processes: a running program cannot delete its own file, so the
// copy the user starts in the install folder (phase 1) copies itself to the temporary folder,
// starts that copy and ends; the copy (phase 2) asks, then removes the right-click entry, the
// program files and the folder.
#include <windows.h>

#include <string>

#include "core/setup/setup_rules.h"
#include "win32/install/setup_win32.h"
#include "win32/install/texts.h"
#include "platform/process.h"
#include "platform/text.h"

namespace {

using setup_win32::format;
using setup_win32::wide;
using setup_win32::wide_path;
namespace texts = setup_texts;

const char* const k_temporary_copy = "c:\\windows\\temp\\uninstall2.exe";
const char* const k_folder = "c:\\program files\\Accessories\\tagzo";
const char* const k_kt_dat = "c:\\program files\\Accessories\\tagzo\\kt.dat";

void phase_one(const std::string& own_folder) {
    // The folder ends in a backslash: the name holds a doubled one, as it always has.
    CopyFileW(wide_path(own_folder + "\\uninstall.exe").c_str(), wide_path(k_temporary_copy).c_str(), FALSE);
    (void)platform::start_process(std::string(k_temporary_copy) + " /del");
}

// Removes the entry "id3タグ編集" below the class's "shell" key, with its "command" key.
void remove_menu_entry() {
    std::optional<std::string> cls = setup_win32::mp3_class(setup::k_class_buffer);
    if (!cls) return;
    std::optional<std::string> command_key = setup::verb_command_key(*cls, platform::cp932_to_utf8(texts::verb));
    if (!command_key) return;
    // The entry's own key: the command key without its last part (in UTF-8 every byte 0x5C
    // is a backslash).
    const std::string entry = command_key->substr(0, command_key->rfind('\\'));
    // A key with a subkey is not removed by RegDeleteKey on Windows NT; the tree call takes
    // the entry and its "command" key together. Given by its full path, the tree is opened by
    // the call itself with the rights a deletion needs.
    RegDeleteTreeW(HKEY_CLASSES_ROOT, wide_path(entry).c_str());
}

void phase_two() {
    setup::Found found = setup::read_installed_settings(k_kt_dat, texts::uninstall_display_name);
    std::string question = format(texts::ask_uninstall, found.display_name);
    if (setup_win32::message(nullptr, question, texts::confirm_caption, MB_YESNO) != IDYES) return;
    remove_menu_entry();
    const std::string folder = std::string(k_folder) + "\\";
    const std::string names[] = {"tagzo.exe",
                                 "kt.dat",
                                 "readme.txt",
                                 "install.exe",
                                 "uninstall.exe",
                                 "vbmp3.dll",
                                 platform::cp932_to_utf8(texts::manual_archive),
                                 "tagzo.hlp"};
    for (const std::string& name : names) DeleteFileW(wide_path(folder + name).c_str());
    RemoveDirectoryW(wide_path(k_folder).c_str());
    setup_win32::message(nullptr, texts::removed, texts::removed_caption, MB_OK);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    platform::limit_library_search();
    // Out of memory: nothing more can be done, and nothing is half done that a second run would
    // not finish.
    toolkit::guarded(0, [] {
        std::string own = setup_win32::own_folder();
        if (setup::is_phase_two(own)) phase_two();
        else phase_one(own);
        return 0;
    });
    return 0;
}

// The rules of the installer and the uninstaller that need no window: which mode the
// installer runs in, the display name read from the editor's settings file, the one field the
// installer patches there, the right-click entry's key and command, and the uninstaller's
// choice of phase. Paths are UTF-8; texts from kt.dat are cp932 bytes.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace setup {

// The fixed install folder, with its trailing backslash.
inline constexpr std::string_view k_install_folder = "c:\\Program Files\\Accessories\\tagzo\\";
inline constexpr std::string_view k_mp3_class = "mp3_auto_file";
// The class name of ".mp3" is read into a buffer of this size, and the verb's key is formed
// in one of 4096 bytes.
inline constexpr size_t k_class_buffer = 32768;
inline constexpr size_t k_key_buffer = 4096;

// What the installer finds in the settings file of the install folder. A file that opens
// means the editor has saved its settings there: version-up mode, with the display name and
// the playback mode read as far as the file holds them. Otherwise install mode, and both keep
// the values given.
struct Found {
    bool version_up = false;
    std::string display_name; // cp932
    int32_t playback_mode = 0;
};
Found read_installed_settings(const std::string& kt_dat_path, std::string_view default_name, int32_t default_mode = 0);

// The display name from the bytes read at its slot: they lie over the default text (a short
// read changes only the bytes it holds), and the name ends at the first zero, within the slot.
std::string display_name_from(std::string_view bytes_read, std::string_view default_name);

// Version-up writes the playback mode into kt.dat, changing no other byte. Only a file that
// holds the whole field is patched: a shorter one is left as it is (false).
bool patch_playback_mode(const std::string& kt_dat_path, int32_t mode);

// setup.dat: the playback mode as 4 bytes, little-endian.
std::string setup_dat_image(int32_t mode);

// Texts compared as the system compares names: without regard to ASCII letter case.
// -1, 0 or 1.
int compare_ignoring_case(std::string_view a, std::string_view b);

// The installer copies nothing when it runs from the install folder itself.
bool is_install_folder(std::string_view own_folder);

// The uninstaller runs its second phase when "<own folder>\uninstall.exe" sorts after
// "c:\windows\temp": true for its copy in that folder, false in the install folder.
bool is_phase_two(std::string_view own_folder);

// The key of the right-click entry below a file class, "<class>\shell\<verb>\command", or
// nothing when the class is empty or the key does not fit its buffer.
std::optional<std::string> verb_command_key(std::string_view file_class, std::string_view verb);
// The command the shell runs: the editor in the install folder with "/e" and the file.
std::string verb_command();

// The file name of the desktop shortcut for a display name (cp932): the name and ".lnk", with
// each character a file name cannot hold replaced by its full-width look-alike as a rename by
// tag replaces it, and the backslash by "\x81\x5F" too: whatever the name holds ("..\x",
// "a:b"), the link lies on the desktop itself and in no stream of another file.
std::string shortcut_name(std::string_view display_name);

} // namespace setup

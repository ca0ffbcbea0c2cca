#include <gtest/gtest.h>

#include "core/settings/settings.h"
#include "core/setup/setup_rules.h"
#include "tests/support/test_files.h"

using testing_files::read_file;
using testing_files::TempDir;
using testing_files::write_file;

namespace {
// A kt.dat as the editor writes it, with a display name and a playback mode of its own.
std::string saved_settings(const std::string& name, int32_t mode) {
    settings::Settings s = settings::default_settings();
    settings::set_slot_text(s.display_name, name);
    s.playback_mode = mode;
    return settings::serialize_settings(s);
}
} // namespace

TEST(InstallerMode, TheSettingsFileDecidesModeNameAndPlaybackMode) {
    TempDir dir;
    std::string kt = dir.file("kt.dat");

    // No settings file: install mode with the defaults.
    setup::Found first = setup::read_installed_settings(kt, "kessa");
    EXPECT_FALSE(first.version_up);
    EXPECT_EQ(first.display_name, "kessa");
    EXPECT_EQ(first.playback_mode, 0);

    // The editor has saved its settings: version-up, with its name (cp932, a second byte 0x5C)
    // and its mode, even one that no radio button offers.
    write_file(kt, saved_settings("\x95\x5C kessa 0.29", 2));
    setup::Found up = setup::read_installed_settings(kt, "kessa");
    EXPECT_TRUE(up.version_up);
    EXPECT_EQ(up.display_name, "\x95\x5C kessa 0.29");
    EXPECT_EQ(up.playback_mode, 2);

    // A slot with no terminator gives its text within the slot and nothing of the field after.
    std::string full = saved_settings("x", 1);
    full.replace(settings::k_display_name_offset, 4096, std::string(4096, 'n'));
    write_file(kt, full);
    up = setup::read_installed_settings(kt, "kessa");
    EXPECT_EQ(up.display_name, std::string(4095, 'n'));
    EXPECT_EQ(up.playback_mode, 1);

    // A short file still means version-up; what it lacks keeps the defaults, and a slot cut by
    // the end lies over the default name.
    write_file(kt, std::string(2000, '\x01'));
    up = setup::read_installed_settings(kt, "kessa", 7);
    EXPECT_TRUE(up.version_up);
    EXPECT_EQ(up.display_name, "kessa");
    EXPECT_EQ(up.playback_mode, 7);
    write_file(kt, std::string(settings::k_display_name_offset, '\0') + "ab");
    EXPECT_EQ(setup::read_installed_settings(kt, "kessa").display_name, "abssa");
    EXPECT_EQ(setup::display_name_from("", "けっさ"), "けっさ");

    // The name becomes the desktop shortcut's file name, with what a file name cannot hold
    // replaced by its full-width look-alike, the backslash too: the link never lies outside
    // the desktop nor in a stream. A second byte 0x5C stays.
    EXPECT_EQ(setup::shortcut_name("kessa"), "kessa.lnk");
    EXPECT_EQ(setup::shortcut_name("..\\x"), "..\x81\x5Fx.lnk");
    EXPECT_EQ(setup::shortcut_name("c:\\q/r"), "c\x81\x46\x81\x5Fq\x81\x5Er.lnk");
    EXPECT_EQ(setup::shortcut_name("\x95\x5C kessa 0.29"), "\x95\x5C kessa 0.29.lnk");
    EXPECT_EQ(setup::shortcut_name(""), ".lnk");
}

TEST(InstallerMode, VersionUpPatchesOnlyThePlaybackMode) {
    TempDir dir;
    std::string kt = dir.file("kt.dat");
    std::string before = saved_settings("kessa", 0);
    write_file(kt, before);
    ASSERT_TRUE(setup::patch_playback_mode(kt, 1));
    std::string after = read_file(kt);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(0, 45944), before.substr(0, 45944));
    EXPECT_EQ(after.substr(45944, 4), std::string("\x01\0\0\0", 4));
    EXPECT_EQ(after.substr(45948), before.substr(45948));

    // A file that does not hold the whole field is left as it was, never extended.
    for (size_t size : {size_t{0}, size_t{2000}, size_t{45947}}) {
        std::string shorter(size, '\x5A');
        write_file(kt, shorter);
        EXPECT_FALSE(setup::patch_playback_mode(kt, 1)) << size;
        EXPECT_EQ(read_file(kt), shorter) << size;
    }
    std::string exact(45948, '\x5A');
    write_file(kt, exact);
    EXPECT_TRUE(setup::patch_playback_mode(kt, 0x01020304));
    EXPECT_EQ(read_file(kt).substr(45944), std::string("\x04\x03\x02\x01", 4));
    EXPECT_FALSE(setup::patch_playback_mode(dir.file("missing.dat"), 1));
    EXPECT_EQ(setup::setup_dat_image(1), std::string("\x01\0\0\0", 4));
}

TEST(SetupFolders, SameFolderAndUninstallPhase) {
    EXPECT_TRUE(setup::is_install_folder("c:\\Program Files\\Accessories\\tagzo\\"));
    EXPECT_TRUE(setup::is_install_folder("C:\\PROGRAM FILES\\ACCESSORIES\\TAGZO\\"));
    EXPECT_FALSE(setup::is_install_folder("c:\\Program Files\\Accessories\\tagzo"));
    EXPECT_FALSE(setup::is_install_folder("C:\\PROGRA~1\\ACCESS~1\\tagzo\\")); // the short form is another text
    EXPECT_FALSE(setup::is_install_folder("d:\\tagzo\\"));

    // The copy in the temporary folder runs the second phase, the one in the install folder
    // the first; so does any folder whose name sorts after "c:\windows\temp".
    EXPECT_TRUE(setup::is_phase_two("c:\\windows\\temp\\"));
    EXPECT_TRUE(setup::is_phase_two("C:\\Windows\\Temp\\"));
    EXPECT_TRUE(setup::is_phase_two("d:\\tools\\"));
    EXPECT_FALSE(setup::is_phase_two("c:\\Program Files\\Accessories\\tagzo\\"));
    EXPECT_FALSE(setup::is_phase_two("C:\\users\\me\\Downloads\\tagzo\\"));
    EXPECT_FALSE(setup::is_phase_two("c:\\windows\\"));

    EXPECT_EQ(setup::compare_ignoring_case("abc", "ABC"), 0);
    EXPECT_EQ(setup::compare_ignoring_case("ab", "abc"), -1);
    EXPECT_EQ(setup::compare_ignoring_case("b", "A"), 1);
}

TEST(MenuEntry, KeyAndCommand) {
    const std::string verb = "id3\xE3\x82\xBF\xE3\x82\xB0\xE7\xB7\xA8\xE9\x9B\x86"; // UTF-8
    EXPECT_EQ(setup::verb_command_key("mp3_auto_file", verb), "mp3_auto_file\\shell\\" + verb + "\\command");
    EXPECT_EQ(setup::verb_command_key("OtherPlayer.mp3", verb), "OtherPlayer.mp3\\shell\\" + verb + "\\command");
    EXPECT_FALSE(setup::verb_command_key("", verb));
    // The key is formed in a 4096-byte buffer: a class name that would not fit leaves the
    // entry alone instead of writing past it.
    std::string suffix = "\\shell\\" + verb + "\\command";
    EXPECT_TRUE(setup::verb_command_key(std::string(4095 - suffix.size(), 'c'), verb));
    EXPECT_FALSE(setup::verb_command_key(std::string(4096 - suffix.size(), 'c'), verb));
    EXPECT_FALSE(setup::verb_command_key(std::string(32767, 'c'), verb));
    EXPECT_EQ(setup::verb_command(), "c:\\Program Files\\Accessories\\tagzo\\tagzo.exe /e %1");
}

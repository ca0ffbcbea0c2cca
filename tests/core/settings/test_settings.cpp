#include <gtest/gtest.h>

#include <cstddef>

#include "core/settings/settings.h"
#include "core/formats/reader.h"
#include "tests/support/test_files.h"
#include "tests/support/result_check.h"

using namespace settings;
using testing_files::read_file;
using testing_files::TempDir;
using testing_files::write_file;

namespace {
int32_t int_at(const std::string& image, size_t at) {
    return static_cast<int32_t>(formats::get_u32le(reinterpret_cast<const unsigned char*>(image.data() + at)));
}
std::string text_at(const std::string& image, size_t at) { return std::string(image.c_str() + at); }
} // namespace

TEST(SettingsImage, DefaultsAtTheirOffsets) {
    std::string img = serialize_settings(default_settings());
    ASSERT_EQ(img.size(), 45964u);
    EXPECT_EQ(text_at(img, 16208), "kessa");
    EXPECT_EQ(img.substr(16213, 20304 - 16213), std::string(20304 - 16213, '\0'));
    EXPECT_EQ(text_at(img, 8016), "c:\\program files\\winamp\\winamp.exe");
    EXPECT_EQ(text_at(img, 33644), "C:\\Program Files\\MPMan-F20\\Mpman.exe");
    EXPECT_EQ(text_at(img, 37740), "c:\\");
    EXPECT_EQ(int_at(img, 45948), 1);
    for (size_t at : {45944u, 45952u, 45956u, 45960u, 0u, 4u, 8u, 8012u}) EXPECT_EQ(int_at(img, at), 0) << at;
    EXPECT_EQ(img.substr(12, 8000), std::string(8000, '\0'));
    // The defaults made when the program is built, as tagzo-cli keeps its own image, are the
    // same image.
    constinit static Settings built = default_settings_image();
    EXPECT_EQ(serialize_settings(built), img);
}

TEST(SettingsImage, EveryFieldAtItsOffset) {
    Settings s = default_settings();
    // Each integer field gets its own number; each text slot its own text.
    int32_t n = 100;
    std::pair<int32_t*, size_t> ints[] = {{&s.spare1, 0},
                                          {&s.rename_after_update, 4},
                                          {&s.spare2, 8},
                                          {&s.no_confirm_rename, 8012},
                                          {&s.show_elapsed_time, 20304},
                                          {&s.spare3, 20308},
                                          {&s.spare4, 20312},
                                          {&s.fix_window_position, 33628},
                                          {&s.window_left, 33632},
                                          {&s.window_top, 33636},
                                          {&s.spare5, 33640},
                                          {&s.auto_play, 41836},
                                          {&s.no_confirm_readonly, 45936},
                                          {&s.no_confirm_char_replace, 45940},
                                          {&s.playback_mode, 45944},
                                          {&s.rmp_enabled, 45948},
                                          {&s.no_confirm_rmp, 45952},
                                          {&s.quit_after_apply, 45956},
                                          {&s.rename_pattern, 45960}};
    for (auto& [p, at] : ints) *p = n++;
    s.window_left = -5; // a window on a monitor left of the main one
    set_slot_text(s.winamp_path, "w");
    set_slot_text(s.spare_text1, "s1");
    set_slot_text(s.display_name, "name");
    set_slot_text(s.spare_text2, "s2");
    set_slot_text(s.zip_program, "zip");
    set_slot_text(s.lzh_program, "lzh");
    set_slot_text(s.copy_folder, "copy");
    set_slot_text(s.mpman_path, "mpman");
    set_slot_text(s.start_folder, "start");
    set_slot_text(s.jpeg_program, "jpeg");
    std::string img = serialize_settings(s);
    n = 100;
    for (auto& [p, at] : ints) {
        if (p == &s.window_left) {
            EXPECT_EQ(int_at(img, at), -5);
            ++n;
        } else {
            EXPECT_EQ(int_at(img, at), n++) << at;
        }
    }
    std::pair<const char*, size_t> texts[] = {{"w", 8016},      {"s1", 12112},  {"name", 16208}, {"s2", 20316},
                                              {"zip", 21340},   {"lzh", 25436}, {"copy", 29532}, {"mpman", 33644},
                                              {"start", 37740}, {"jpeg", 41840}};
    for (auto& [t, at] : texts) EXPECT_EQ(text_at(img, at), t) << at;

    Settings back = default_settings();
    parse_settings(img, back);
    EXPECT_EQ(serialize_settings(back), img);
    EXPECT_EQ(back.window_left, -5);
}

TEST(SettingsImage, HistoryEntryLayout) {
    Settings s = default_settings();
    set_history_entry(s.tag_history[0], "T", "A", "B", "1999", "C", 255);
    set_history_entry(s.tag_history[49], "t49", "a49", "b49", "2001", "c49", 7);
    s.tag_history[49].reserved1 = 0x11223344;
    s.tag_history[49].reserved2 = -1;
    std::string img = serialize_settings(s);
    size_t e0 = 12, e49 = 12 + 160 * 49;
    EXPECT_EQ(int_at(img, e0), 1);
    EXPECT_EQ(text_at(img, e0 + 4), "T");
    EXPECT_EQ(text_at(img, e0 + 38), "A");
    EXPECT_EQ(text_at(img, e0 + 72), "B");
    EXPECT_EQ(text_at(img, e0 + 106), "1999");
    EXPECT_EQ(text_at(img, e0 + 114), "C");
    EXPECT_EQ(static_cast<unsigned char>(img[e0 + 148]), 255);
    EXPECT_EQ(text_at(img, e49 + 4), "t49");
    EXPECT_EQ(static_cast<unsigned char>(img[e49 + 148]), 7);
    EXPECT_EQ(int_at(img, e49 + 152), 0x11223344);
    EXPECT_EQ(int_at(img, e49 + 156), -1);
    EXPECT_EQ(int_at(img, 8012), 0); // the field after the history
}

TEST(SettingsImage, HistoryTextsStayInsideTheirSlots) {
    HistoryEntry e;
    // 40 bytes of title, and a year whose 8th byte would be the lead byte of 表.
    set_history_entry(e, std::string(40, 't'), "", "", std::string(6, '9') + "\x95\x5C", std::string(40, 'c'), 0);
    EXPECT_EQ(slot_text(e.title), std::string(33, 't'));
    EXPECT_EQ(e.title[33], '\0');
    EXPECT_EQ(slot_text(e.year), std::string(6, '9'));
    EXPECT_EQ(slot_text(e.comment), std::string(33, 'c'));
    EXPECT_EQ(slot_text(e.artist), "");
}

TEST(SettingsImage, ShorterTextKeepsTheOldTailAfterItsTerminator) {
    Settings s = default_settings();
    set_slot_text(s.display_name, "a long display name");
    set_slot_text(s.display_name, "short");
    std::string img = serialize_settings(s);
    EXPECT_EQ(img.substr(16208, 20), std::string("short\0 display name\0", 20));
    Settings back = default_settings();
    parse_settings(img, back);
    EXPECT_EQ(slot_text(back.display_name), "short");
}

TEST(SettingsImage, SlotWithoutTerminatorIsReadInsideTheSlot) {
    Settings s = default_settings();
    std::string img = serialize_settings(s);
    for (size_t i = 0; i < 4096; ++i) img[16208 + i] = 'x';
    img[16208 + 4094] = '\x95'; // a lead byte whose trail would be the slot's last byte
    parse_settings(img, s);
    EXPECT_EQ(slot_text(s.display_name), std::string(4094, 'x'));
    EXPECT_EQ(serialize_settings(s), img); // written back as read
}

TEST(SettingsImage, ShortFileChangesOnlyTheBytesItHolds) {
    Settings s = default_settings();
    s.rmp_enabled = 1;
    s.tag_history[3].used = 1;
    std::string img(14, '\0');
    img[4] = 1;     // rename_after_update
    img[12] = 0x02; // first byte of entry 0's used field; the rest comes from memory
    parse_settings(img, s);
    EXPECT_EQ(s.rename_after_update, 1);
    EXPECT_EQ(s.tag_history[0].used, 2);
    EXPECT_EQ(s.tag_history[3].used, 1);
    EXPECT_EQ(s.rmp_enabled, 1);
    EXPECT_EQ(slot_text(s.display_name), "kessa");
}

TEST(SettingsImage, BytesPastTheEndAreIgnored) {
    Settings s = default_settings();
    std::string img = serialize_settings(s) + "trailing garbage";
    img[45948] = 0;
    parse_settings(img, s);
    EXPECT_EQ(s.rmp_enabled, 0);
    EXPECT_EQ(serialize_settings(s).size(), 45964u);
}

TEST(SettingsFile, FirstStartReadsSetupDatUntilTheFirstSave) {
    TempDir dir;
    std::string kt = dir.file("kt.dat"), setup = dir.file("setup.dat");
    write_file(setup, std::string("\x01\x00\x00\x00", 4));
    Settings s = start_up_settings(kt, setup);
    EXPECT_EQ(s.playback_mode, 1);
    std::string err;
    ASSERT_TRUE(testing_files::noted(save_settings(kt, s), err)) << err;
    std::string img = read_file(kt);
    ASSERT_EQ(img.size(), 45964u);
    EXPECT_EQ(int_at(img, 45944), 1);
    // From now on the settings file speaks, whatever setup.dat says.
    write_file(setup, std::string("\x02\x00\x00\x00", 4));
    s.playback_mode = 0;
    ASSERT_TRUE(testing_files::noted(save_settings(kt, s), err));
    EXPECT_EQ(start_up_settings(kt, setup).playback_mode, 0);
}

TEST(SettingsFile, NoFilesGiveTheDefaults) {
    TempDir dir;
    Settings s = start_up_settings(dir.file("kt.dat"), dir.file("setup.dat"));
    EXPECT_EQ(serialize_settings(s), serialize_settings(default_settings()));
    std::string setup = dir.file("setup.dat");
    write_file(setup, std::string("\x01\x00", 2)); // too short: ignored
    EXPECT_EQ(start_up_settings(dir.file("kt.dat"), setup).playback_mode, 0);
}

TEST(SettingsFile, StartUpClearsHistoryFlagsBeforeReading) {
    TempDir dir;
    std::string kt = dir.file("kt.dat");
    Settings s = default_settings();
    s.spare5 = 77;
    set_history_entry(s.tag_history[0], "t", "a", "b", "y", "c", 1);
    std::string img = serialize_settings(s);
    write_file(kt, img.substr(0, 100)); // a file that ends inside entry 0
    Settings got = start_up_settings(kt, dir.file("setup.dat"));
    EXPECT_EQ(got.tag_history[0].used, 1);
    EXPECT_EQ(got.tag_history[1].used, 0);
    EXPECT_EQ(got.spare5, 0);
}

TEST(SettingsFile, SaveReplacesWholeAndLeavesNoTemporaryFile) {
    TempDir dir;
    std::string kt = dir.file("kt.dat");
    write_file(kt, std::string(50000, 'o'));
    Settings s = default_settings();
    std::string err;
    ASSERT_TRUE(testing_files::noted(save_settings(kt, s), err)) << err;
    EXPECT_EQ(read_file(kt), serialize_settings(s));
    EXPECT_EQ(testing_files::count_entries(dir.path()), 1);
    // A folder that does not exist: the save fails, is reported, and nothing is left.
    EXPECT_FALSE(testing_files::noted(save_settings(dir.file("no/such/kt.dat"), s), err));
    EXPECT_FALSE(err.empty());
}

TEST(SettingsStruct, HistoryEntryHasTheFileLayoutInMemory) {
    EXPECT_EQ(sizeof(HistoryEntry), 160u);
    EXPECT_EQ(offsetof(HistoryEntry, title), 4u);
    EXPECT_EQ(offsetof(HistoryEntry, artist), 38u);
    EXPECT_EQ(offsetof(HistoryEntry, album), 72u);
    EXPECT_EQ(offsetof(HistoryEntry, year), 106u);
    EXPECT_EQ(offsetof(HistoryEntry, comment), 114u);
    EXPECT_EQ(offsetof(HistoryEntry, genre), 148u);
    EXPECT_EQ(offsetof(HistoryEntry, reserved1), 152u);
    EXPECT_EQ(offsetof(HistoryEntry, reserved2), 156u);
}

// The settings file kt.dat: 30 fixed-width fields, 45,964 bytes, no header. The installer and
// the uninstaller read and patch fields at fixed offsets, so no offset may move.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace settings {

constexpr size_t k_settings_size = 45964;
constexpr size_t k_history_count = 50;
constexpr size_t k_history_entry_size = 160;
constexpr size_t k_history_offset = 12;
constexpr size_t k_display_name_offset = 16208;
constexpr size_t k_playback_mode_offset = 45944;

template <size_t N>
using Slot = std::array<char, N>;

// One applied tag as the history keeps it; the texts are zero-terminated inside their slots.
struct HistoryEntry {
    int32_t used = 0;
    Slot<34> title{};
    Slot<34> artist{};
    Slot<34> album{};
    Slot<8> year{};
    Slot<34> comment{};
    uint8_t genre = 0;
    std::array<uint8_t, 3> padding{};
    int32_t reserved1 = 0;
    int32_t reserved2 = 0;
};

struct Settings {
    int32_t spare1 = 0;
    int32_t rename_after_update = 0;
    int32_t spare2 = 0;
    std::array<HistoryEntry, k_history_count> tag_history{};
    int32_t no_confirm_rename = 0;
    Slot<4096> winamp_path{};
    Slot<4096> spare_text1{};
    Slot<4096> display_name{};
    int32_t show_elapsed_time = 0;
    int32_t spare3 = 0;
    int32_t spare4 = 0;
    Slot<1024> spare_text2{};
    Slot<4096> zip_program{};
    Slot<4096> lzh_program{};
    Slot<4096> copy_folder{};
    int32_t fix_window_position = 0;
    int32_t window_left = 0;
    int32_t window_top = 0;
    int32_t spare5 = 0;
    Slot<4096> mpman_path{};
    Slot<4096> start_folder{};
    int32_t auto_play = 0;
    Slot<4096> jpeg_program{};
    int32_t no_confirm_readonly = 0;
    int32_t no_confirm_char_replace = 0;
    int32_t playback_mode = 0;
    int32_t rmp_enabled = 0;
    int32_t no_confirm_rmp = 0;
    int32_t quit_after_apply = 0;
    int32_t rename_pattern = 0;
};

// The text in a slot: up to its terminator, and never past the slot (a slot from a damaged
// file without terminator gives at most N - 1 bytes, cut at a character boundary).
std::string slot_text(const char* slot, size_t width);
template <size_t N>
std::string slot_text(const Slot<N>& slot) {
    return slot_text(slot.data(), N);
}
// Stores a text with its terminator, cut to width - 1 bytes at a character boundary. The
// bytes after the terminator stay as they were.
void set_slot_text(char* slot, size_t width, std::string_view text);
template <size_t N>
void set_slot_text(Slot<N>& slot, std::string_view text) {
    set_slot_text(slot.data(), N, text);
}

// The editor's start-up defaults.
Settings default_settings();
// The same, as a value made when the program is built: an image in static storage initialised
// with it (constinit) lies in the program's data as the file holds it, so that a process reads
// the pages of the fields it reads, and zeroes or writes none of its 45 KB at its start.
constexpr Settings default_settings_image() {
    Settings s;
    auto put = [](auto& slot, std::string_view text) { // into a zeroed slot: the terminator is there
        for (size_t i = 0; i < text.size(); ++i) slot[i] = text[i];
    };
    put(s.winamp_path, "c:\\program files\\winamp\\winamp.exe");
    put(s.display_name, "kessa");
    put(s.mpman_path, "C:\\Program Files\\MPMan-F20\\Mpman.exe");
    put(s.start_folder, "c:\\");
    s.rmp_enabled = 1;
    return s;
}

// The file image: exactly 45,964 bytes, every slot in full width.
std::string serialize_settings(const Settings& s);
// Reads a file image as far as it goes: a field past the end keeps its value, a field cut by
// the end takes the bytes that are there. Nothing is validated; bytes past 45,964 are ignored.
void parse_settings(std::string_view image, Settings& s);

// Reads the settings file when it can be opened; false leaves the settings as they were.
bool load_settings(const std::string& path, Settings& s);
// Writes the whole file beside the old one and replaces it in one step, so a failed save
// never leaves a short or empty settings file.
platform::Result save_settings(const std::string& path, const Settings& s);

// Start-up: defaults, the history's used and reserved fields and spare5 cleared, setup.dat's
// playback mode while no settings file exists, then the settings file.
Settings start_up_settings(const std::string& settings_path, const std::string& setup_dat_path);

// setup.dat: the playback mode as 4 bytes; false when missing or shorter.
bool read_setup_dat(const std::string& path, int32_t& playback_mode);

// History texts are cut to their slot at a character boundary, so that they never reach the
// neighbouring field.
void set_history_entry(HistoryEntry& e, std::string_view title, std::string_view artist, std::string_view album,
                       std::string_view year, std::string_view comment, uint8_t genre);

} // namespace settings

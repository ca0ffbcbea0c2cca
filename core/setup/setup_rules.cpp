#include "core/setup/setup_rules.h"

#include <algorithm>
#include <cstring>

#include "core/settings/settings.h"
#include "core/formats/reader.h"
#include "core/formats/text_rules.h"
#include "core/editing/paths.h"
#include "platform/file.h"

namespace setup {

namespace {

constexpr uint64_t k_name_offset = settings::k_display_name_offset;
constexpr size_t k_name_width = 4096;
constexpr uint64_t k_mode_offset = settings::k_playback_mode_offset;

// Reads what the file holds of [offset, offset + n): fewer bytes near its end, none past it.
std::string read_part(platform::File& f, uint64_t offset, size_t n) {
    if (offset >= f.size()) return {};
    size_t have = static_cast<size_t>(std::min<uint64_t>(n, f.size() - offset));
    std::string out(have, '\0');
    if (!f.read_at(offset, out.data(), have)) return {};
    return out;
}

unsigned char lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

} // namespace

std::string display_name_from(std::string_view bytes_read, std::string_view default_name) {
    settings::Slot<k_name_width> slot{};
    settings::set_slot_text(slot, default_name);
    std::copy_n(bytes_read.begin(), std::min(bytes_read.size(), slot.size()), slot.begin());
    return settings::slot_text(slot);
}

Found read_installed_settings(const std::string& kt_dat_path, std::string_view default_name, int32_t default_mode) {
    Found found;
    found.display_name = std::string(default_name);
    found.playback_mode = default_mode;
    platform::File f;
    if (!f.open(kt_dat_path, platform::File::Mode::read)) return found;
    found.version_up = true;
    found.display_name = display_name_from(read_part(f, k_name_offset, k_name_width), default_name);
    std::string mode = read_part(f, k_mode_offset, 4);
    unsigned char b[4] = {};
    formats::put_u32le(b, static_cast<uint32_t>(default_mode));
    std::memcpy(b, mode.data(), std::min<size_t>(mode.size(), sizeof b));
    found.playback_mode = static_cast<int32_t>(formats::get_u32le(b));
    return found;
}

bool patch_playback_mode(const std::string& kt_dat_path, int32_t mode) {
    platform::File f;
    if (!f.open(kt_dat_path, platform::File::Mode::read_write)) return false;
    if (f.size() < k_mode_offset + 4) return false;
    std::string image = setup_dat_image(mode);
    const platform::Result written = f.write_at(k_mode_offset, image.data(), image.size());
    return f.close() && written;
}

std::string setup_dat_image(int32_t mode) {
    unsigned char b[4];
    formats::put_u32le(b, static_cast<uint32_t>(mode));
    return std::string(reinterpret_cast<const char*>(b), 4);
}

int compare_ignoring_case(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = lower(static_cast<unsigned char>(a[i]));
        unsigned char y = lower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool is_install_folder(std::string_view own_folder) { return compare_ignoring_case(own_folder, k_install_folder) == 0; }

bool is_phase_two(std::string_view own_folder) {
    // The folder ends in a backslash, so the name holds a doubled one, as it always has.
    std::string own_file = std::string(own_folder) + "\\uninstall.exe";
    return compare_ignoring_case(own_file, "c:\\windows\\temp") == 1;
}

std::optional<std::string> verb_command_key(std::string_view file_class, std::string_view verb) {
    if (file_class.empty()) return std::nullopt;
    std::string key = std::string(file_class) + "\\shell\\" + std::string(verb) + "\\command";
    if (key.size() >= k_key_buffer) return std::nullopt;
    return key;
}

std::string verb_command() { return std::string(k_install_folder) + "tagzo.exe /e %1"; }

std::string shortcut_name(std::string_view display_name) {
    std::string replaced;
    static_cast<void>(editing::replace_unusable_chars(display_name, replaced));
    // The rename refuses a backslash; a shortcut takes the look-alike instead. A trail byte
    // 0x5C belongs to its double-byte character.
    std::string name;
    for (size_t i = 0; i < replaced.size(); ++i) {
        const char c = replaced[i];
        if (formats::is_lead_byte(static_cast<unsigned char>(c)) && i + 1 < replaced.size()) {
            name += c;
            name += replaced[++i];
        } else if (c == '\\') {
            name += "\x81\x5F";
        } else {
            name += c;
        }
    }
    return name + ".lnk";
}

} // namespace setup

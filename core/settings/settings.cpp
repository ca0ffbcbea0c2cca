#include <cstring>
#include <functional>

#include "core/settings/settings.h"
#include "core/formats/reader.h"
#include "core/formats/text_rules.h"
#include "platform/file.h"

namespace settings {

namespace {

// Visits every field in file order as a span of bytes; integers travel through a small
// little-endian buffer so the image is the same on any machine.
class Image {
public:
    explicit Image(bool writing, std::string& bytes) : writing_(writing), bytes_(bytes) {}

    void i32(int32_t& v) {
        unsigned char b[4] = {};
        if (writing_) {
            formats::put_u32le(b, static_cast<uint32_t>(v));
            raw(b, 4);
        } else {
            raw(b, 4);
            v = static_cast<int32_t>(formats::get_u32le(b));
        }
    }
    template <size_t N>
    void slot(Slot<N>& s) {
        raw(reinterpret_cast<unsigned char*>(s.data()), N);
    }
    void byte(uint8_t& v) { raw(&v, 1); }
    size_t offset() const { return offset_; }

private:
    void raw(unsigned char* p, size_t n) {
        if (writing_) std::memcpy(bytes_.data() + offset_, p, n);
        else std::memcpy(p, bytes_.data() + offset_, n);
        offset_ += n;
    }
    bool writing_;
    std::string& bytes_;
    size_t offset_ = 0;
};

void visit(Image& im, Settings& s) {
    im.i32(s.spare1);
    im.i32(s.rename_after_update);
    im.i32(s.spare2);
    for (HistoryEntry& e : s.tag_history) {
        im.i32(e.used);
        im.slot(e.title);
        im.slot(e.artist);
        im.slot(e.album);
        im.slot(e.year);
        im.slot(e.comment);
        im.byte(e.genre);
        for (uint8_t& p : e.padding) im.byte(p);
        im.i32(e.reserved1);
        im.i32(e.reserved2);
    }
    im.i32(s.no_confirm_rename);
    im.slot(s.winamp_path);
    im.slot(s.spare_text1);
    im.slot(s.display_name);
    im.i32(s.show_elapsed_time);
    im.i32(s.spare3);
    im.i32(s.spare4);
    im.slot(s.spare_text2);
    im.slot(s.zip_program);
    im.slot(s.lzh_program);
    im.slot(s.copy_folder);
    im.i32(s.fix_window_position);
    im.i32(s.window_left);
    im.i32(s.window_top);
    im.i32(s.spare5);
    im.slot(s.mpman_path);
    im.slot(s.start_folder);
    im.i32(s.auto_play);
    im.slot(s.jpeg_program);
    im.i32(s.no_confirm_readonly);
    im.i32(s.no_confirm_char_replace);
    im.i32(s.playback_mode);
    im.i32(s.rmp_enabled);
    im.i32(s.no_confirm_rmp);
    im.i32(s.quit_after_apply);
    im.i32(s.rename_pattern);
}

} // namespace

std::string slot_text(const char* slot, size_t width) {
    if (width == 0) return {};
    size_t n = 0;
    while (n < width && slot[n] != 0) ++n;
    std::string_view text(slot, n);
    if (n == width) return formats::cut_to_width(text, width - 1);
    return std::string(text);
}

void set_slot_text(char* slot, size_t width, std::string_view text) {
    if (width == 0) return;
    size_t n = formats::fitting_length(text, width - 1);
    std::memcpy(slot, text.data(), n);
    slot[n] = 0;
}

Settings default_settings() { return default_settings_image(); }

std::string serialize_settings(const Settings& s) {
    std::string bytes(k_settings_size, '\0');
    Image im(true, bytes);
    Settings copy = s;
    visit(im, copy);
    return bytes;
}

void parse_settings(std::string_view image, Settings& s) {
    // Lay the file's bytes over the current image, so that a short file changes only the
    // bytes it holds.
    std::string bytes = serialize_settings(s);
    std::memcpy(bytes.data(), image.data(), image.size() < k_settings_size ? image.size() : k_settings_size);
    Image im(false, bytes);
    visit(im, s);
}

bool load_settings(const std::string& path, Settings& s) {
    std::string bytes;
    if (!platform::read_whole_file(path, bytes, k_settings_size)) return false;
    parse_settings(bytes, s);
    return true;
}

platform::Result save_settings(const std::string& path, const Settings& s) {
    std::string bytes = serialize_settings(s);
    return platform::replace_file_content(path, bytes.data(), bytes.size());
}

bool read_setup_dat(const std::string& path, int32_t& playback_mode) {
    std::string bytes;
    if (!platform::read_whole_file(path, bytes, 4) || bytes.size() < 4) return false;
    playback_mode = static_cast<int32_t>(formats::get_u32le(reinterpret_cast<const unsigned char*>(bytes.data())));
    return true;
}

Settings start_up_settings(const std::string& settings_path, const std::string& setup_dat_path) {
    Settings s = default_settings();
    s.spare5 = 0;
    for (HistoryEntry& e : s.tag_history) {
        e.used = 0;
        e.reserved1 = 0;
        e.reserved2 = 0;
    }
    // setup.dat speaks only while the editor has never saved its settings.
    platform::File probe;
    if (!probe.open(settings_path, platform::File::Mode::read)) read_setup_dat(setup_dat_path, s.playback_mode);
    load_settings(settings_path, s);
    return s;
}

void set_history_entry(HistoryEntry& e, std::string_view title, std::string_view artist, std::string_view album,
                       std::string_view year, std::string_view comment, uint8_t genre) {
    e.used = 1;
    set_slot_text(e.title, title);
    set_slot_text(e.artist, artist);
    set_slot_text(e.album, album);
    set_slot_text(e.year, year);
    set_slot_text(e.comment, comment);
    e.genre = genre;
}

} // namespace settings

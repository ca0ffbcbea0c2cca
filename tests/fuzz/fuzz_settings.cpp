// The input is a settings file of any length, read over the start-up defaults: the image it
// gives must be the input's bytes over the defaults' image, must keep its 45,964 bytes and
// read back unchanged, and no slot may give more text than it can hold.
#include <cstring>
#include <string>
#include <string_view>

#include "core/settings/settings.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

void check_slot(const char* slot, size_t width) {
    std::string text = settings::slot_text(slot, width);
    FUZZ_CHECK(text.size() <= width - 1);
    FUZZ_CHECK(text.find('\0') == std::string::npos);
    FUZZ_CHECK(std::memcmp(text.data(), slot, text.size()) == 0);

    // Storing the text again gives the same text back.
    std::string copy(slot, width);
    settings::set_slot_text(copy.data(), width, text);
    FUZZ_CHECK(settings::slot_text(copy.data(), width) == text);
}

template <size_t N>
void check_slot(const settings::Slot<N>& s) {
    check_slot(s.data(), N);
}

void check_slots(const settings::Settings& s) {
    for (const settings::HistoryEntry& e : s.tag_history) {
        check_slot(e.title);
        check_slot(e.artist);
        check_slot(e.album);
        check_slot(e.year);
        check_slot(e.comment);
    }
    check_slot(s.winamp_path);
    check_slot(s.spare_text1);
    check_slot(s.display_name);
    check_slot(s.spare_text2);
    check_slot(s.zip_program);
    check_slot(s.lzh_program);
    check_slot(s.copy_folder);
    check_slot(s.mpman_path);
    check_slot(s.start_folder);
    check_slot(s.jpeg_program);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const settings::Settings defaults = settings::default_settings();
    const std::string default_image = settings::serialize_settings(defaults);
    FUZZ_CHECK(default_image.size() == settings::k_settings_size);

    settings::Settings s = defaults;
    settings::parse_settings(input, s);
    const std::string image = settings::serialize_settings(s);
    FUZZ_CHECK(image.size() == settings::k_settings_size);

    // The input's bytes lie over the defaults; bytes past the size are ignored.
    const size_t used = size < settings::k_settings_size ? size : settings::k_settings_size;
    FUZZ_CHECK(std::memcmp(image.data(), data, used) == 0);
    FUZZ_CHECK(image.compare(used, std::string::npos, default_image, used, std::string::npos) == 0);

    // The image reads back to the same settings, over any starting point.
    settings::Settings again;
    settings::parse_settings(image, again);
    FUZZ_CHECK(settings::serialize_settings(again) == image);
    settings::Settings over_defaults = defaults;
    settings::parse_settings(image, over_defaults);
    FUZZ_CHECK(settings::serialize_settings(over_defaults) == image);

    check_slots(s);
    check_slots(defaults);
    return 0;
}

#include "core/formats/text_rules.h"

namespace formats {

size_t fitting_length(std::string_view text, size_t width) {
    size_t i = 0;
    while (i < text.size()) {
        size_t step = is_lead_byte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
        if (i >= width || step > width - i) break;
        i += step;
    }
    return i;
}

std::string cut_to_width(std::string_view text, size_t width) {
    return std::string(text.substr(0, fitting_length(text, width)));
}

std::string pad_to_width(std::string_view text, size_t width) {
    std::string out = cut_to_width(text, width);
    out.append(width - out.size(), ' ');
    return out;
}

bool is_blank(std::string_view text, size_t width) {
    if (text.empty()) return true;
    // The terminator after a shorter text counts as a byte that is not a space.
    if (text.size() < width) return false;
    for (size_t i = 0; i < width; ++i)
        if (text[i] != ' ') return false;
    return true;
}

bool clear_if_blank(int width, std::string& text) {
    if (width <= 0 || text.empty()) return false;
    if (!is_blank(text, static_cast<size_t>(width))) return false;
    text.clear();
    return true;
}

void trim_trailing_spaces(std::string& text) {
    // A text shorter than 30 bytes ends in its terminator before position 29, which stops
    // the walk at once; only a full field loses its padding.
    if (text.size() < 30) return;
    size_t keep = 30;
    for (size_t pos = 29; pos >= 1; --pos) {
        if (text[pos] != ' ') break;
        keep = pos;
    }
    if (keep < 30) text.resize(keep);
}

namespace {
// The folded form of one character: the single byte or the two-byte code.
unsigned fold(std::string_view s, size_t& i) {
    auto b = static_cast<unsigned char>(s[i]);
    if (is_lead_byte(b) && i + 1 < s.size()) {
        unsigned code = b << 8 | static_cast<unsigned char>(s[i + 1]);
        i += 2;
        if (code >= 0x8281 && code <= 0x829A) return code - 0x21; // full-width a-z
        if (code >= 0x83BF && code <= 0x83D6) return code - 0x20; // Greek small letters
        if (code >= 0x8470 && code <= 0x8491) {                   // Cyrillic small letters
            unsigned small = code - 0x8470;                       // 0x847F is no letter
            if (code > 0x847F) --small;
            return 0x8440 + small;
        }
        return code;
    }
    ++i;
    if (b >= 'a' && b <= 'z') return b - 0x20;
    return b;
}
} // namespace

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size())
        if (fold(a, i) != fold(b, j)) return false;
    return i == a.size() && j == b.size();
}

} // namespace formats

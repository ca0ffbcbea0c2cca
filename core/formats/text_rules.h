// Rules for the cp932 byte strings the editor works on: blank tests, trimming, cutting to a
// width without splitting a double-byte character, and comparison that ignores letter case.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace formats {

inline bool is_lead_byte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Length of the longest prefix of at most `width` bytes that ends on a character boundary.
size_t fitting_length(std::string_view text, size_t width);
std::string cut_to_width(std::string_view text, size_t width);
// The text cut to `width` bytes and padded with spaces to exactly `width` bytes.
std::string pad_to_width(std::string_view text, size_t width);

// An empty text, or one whose first `width` bytes are all spaces.
bool is_blank(std::string_view text, size_t width);
// Empties a text whose first `width` bytes are all spaces; true when it did.
bool clear_if_blank(int width, std::string& text);
// Drops the spaces that pad a text filling a whole 30-byte field (positions 29 down to 1).
void trim_trailing_spaces(std::string& text);

// Equality that ignores the case of Latin, full-width Latin, Greek and Cyrillic letters, one
// whole character at a time, so a trail byte is never folded.
bool equal_ignoring_case(std::string_view a, std::string_view b);

} // namespace formats

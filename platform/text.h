// Text conversion at the edges of the program: cp932 bytes (every text inside) to and from
// UTF-8 (file names, the console on Linux, JSON) and UTF-16 (Windows calls).
#pragma once
#include <string>
#include <string_view>

namespace platform {

// Appends the UTF-8 form of a code point.
void put_utf8(std::string& out, char32_t cp);

// Bytes that are no cp932 character become U+FFFD.
std::string cp932_to_utf8(std::string_view cp932);
// The same into `out` (replacing what it held), whose memory a caller of many texts reuses.
void cp932_to_utf8(std::string_view cp932, std::string& out);
// False when the input is no valid UTF-8 or holds a character with no cp932 form;
// `bad` then names the offending character (as UTF-8) or says what is wrong.
bool utf8_to_cp932(std::string_view utf8, std::string& out, std::string& bad);
// Invalid UTF-8 sequences become U+FFFD.
std::string sanitize_utf8(std::string_view bytes);

std::wstring utf8_to_utf16(std::string_view utf8);
// cp932 and UTF-16 directly, for the texts that cross into Windows. Bytes that are no cp932
// character become U+FFFD; a character with no cp932 form becomes "?", and `unmapped` (when
// given) counts them.
std::wstring cp932_to_utf16(std::string_view cp932);
std::string utf16_to_cp932(std::wstring_view utf16, size_t* unmapped = nullptr);
std::string utf16_to_utf8(std::wstring_view utf16);

// The system's own converter for one cp932 character of one or two bytes: false when the
// bytes are no character. The conversions above take their tables from it: on POSIX when the
// program is built (cp932_gen), on Windows at their first use.
bool system_decode_cp932(const unsigned char* bytes, size_t n, char32_t& out);

} // namespace platform

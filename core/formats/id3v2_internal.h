// What the parts of the ID3v2 code share: byte coding, the text encodings of frames, the frame
// knowledge, the undoing of a frame's coding and the turning of frames between versions.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/formats/id3v2.h"

namespace formats::id3v2 {

// A syncsafe integer keeps the top bit of each of its four bytes clear.
inline bool syncsafe(const unsigned char* p, uint32_t& out) {
    if ((p[0] | p[1] | p[2] | p[3]) & 0x80) return false;
    out = static_cast<uint32_t>(p[0]) << 21 | static_cast<uint32_t>(p[1]) << 14 | static_cast<uint32_t>(p[2]) << 7 |
          static_cast<uint32_t>(p[3]);
    return true;
}

inline void put_syncsafe(std::string& out, uint32_t v) {
    for (int shift : {21, 14, 7, 0}) out += static_cast<char>((v >> shift) & 0x7F);
}

inline void put_be32(std::string& out, uint32_t v) {
    for (int shift : {24, 16, 8, 0}) out += static_cast<char>((v >> shift) & 0xFF);
}

inline uint32_t be(const std::string& s, size_t at, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
    return v;
}

// Unsynchronisation put a zero after every 0xFF; this takes each such zero out again.
std::string undo_unsync(const std::string& in);

// The frame's body with its version's coding undone; false when it is compressed, encrypted or
// grouped, which this writer does not turn. With `as_read`, a grouped frame gives its body after
// the group byte, as the reader takes it.
bool plain_body(int major, const Id3v2Frame& f, std::string& body, bool as_read = false);

// Frame texts (id3v2_text.cpp): 0 Latin-1, 1 UTF-16 with a byte order mark, 2 UTF-16BE, 3 UTF-8.
std::string decode(int enc, const std::string& raw);
// The text encoding a version writes: UTF-16 with a byte order mark (2.3), UTF-8 (2.4).
inline int encoding_for(int major) { return major == 4 ? 3 : 1; }
std::string encode(int major, const std::string& utf8);
inline std::string terminator(int enc) { return enc == 1 || enc == 2 ? std::string(2, '\0') : std::string(1, '\0'); }
// Takes a text that ends in the encoding's terminator (or at the end of the body).
bool take_text(const std::string& body, size_t& pos, int enc, std::string& raw);
std::string text_frame_body(int major, const std::string& utf8);
// The values of a text frame's body after its encoding byte, in UTF-8.
std::vector<std::string> text_values(int enc, const std::string& raw);
// A text frame's body in `major`'s encoding. 2.3 holds one value: several are joined with "/".
std::string text_body(int major, const std::vector<std::string>& values);
// A text as it stands in a frame: cp932 marked as Latin-1 is read as cp932.
std::string frame_text(int enc, const std::string& raw, bool& mis_marked);

// The frames of a tag of version `from` in the form of `to` (different versions), the date
// frames merged or split; `texts.year` may take the old date. Gives the id of a frame that
// cannot be turned, else empty.
std::string turn_frames(int from, int to, const std::vector<Id3v2Frame>& carried, Id3v2Texts& texts,
                        std::vector<Id3v2Frame>& frames);

} // namespace formats::id3v2

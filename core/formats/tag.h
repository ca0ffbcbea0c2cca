// The tag record the editor works on, and the ID3v1 record at the end of a file.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "platform/result.h"

namespace platform {
class ByteSource;
class File;
} // namespace platform

namespace formats {

// Texts hold up to 255 bytes; in the ID3v1 form at most 30 (the year 4).
constexpr size_t k_text_capacity = 255;
constexpr size_t k_id3_width = 30;
constexpr size_t k_id3_year_width = 4;
constexpr size_t k_record_size = 128;
constexpr uint8_t k_no_genre = 255;
constexpr int16_t k_keep_track = -1;

struct Tag {
    std::string title;
    std::string artist;
    std::string album;
    std::string year;
    std::string comment;
    uint8_t genre = k_no_genre;
    // The record's track number to write: 1 to 255, 0 for none, or k_keep_track for the one
    // the record holds now.
    int16_t track = k_keep_track;

    bool operator==(const Tag&) const = default;
};

// The record's fields as they stand in the file, each cut at its first zero byte or its
// width: what a reader sees before the load rules.
using Id3v1Record = Tag;

using RecordBytes = std::array<unsigned char, k_record_size>;

// The 128 bytes of a record for `tag`: "TAG", each text cut to its width at a character
// boundary and padded with spaces, and the genre byte. A track number (not 0) goes into the
// comment's last byte with a zero before it, as other programs keep it, while the comment
// leaves those two bytes free (28 bytes or fewer); a longer comment takes them.
RecordBytes make_record(const Tag& tag, uint8_t track = 0);
// Fields of a record; false when the bytes do not begin with "TAG".
bool parse_record(const unsigned char* bytes, Id3v1Record& out);
// The track number a record holds: byte 126 when byte 125 is zero, else 0 (none).
uint8_t record_track(const unsigned char* bytes);

// The record sits in the last 128 bytes; a file shorter than that has none. `track`, when
// given, gets the record's track number.
bool read_id3v1_record(platform::ByteSource& file, Id3v1Record& out, uint8_t* track = nullptr);

// Writes the record for `tag` over the file's record, keeping its track number, or appends
// one when it has none, in one write. A failed write is undone as far as the file allows and
// reported.
platform::Result write_id3v1_record(platform::File& file, const Tag& tag);

// True when a text is too long for the ID3v1 form.
bool texts_too_long(const Tag& tag);

} // namespace formats

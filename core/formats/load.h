// What a file is, judged by its first bytes and its name, and the rules that turn a file's
// record into the tag the editor shows.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "core/formats/rmp.h"
#include "core/formats/tag.h"

namespace formats {

enum class FileKind { mp3, zip, lzh, jpeg, unknown };
const char* kind_name(FileKind kind);

// `head` holds the first bytes of the file (up to 4 are looked at; fewer when the file is
// shorter, and a test that needs a byte the file lacks does not match).
FileKind classify(const unsigned char* head, size_t n, std::string_view path);

// The first bytes of a file, enough for its kind and the RMP test.
struct FileHead {
    unsigned char bytes[12] = {};
    size_t length = 0; // fewer than 12 when the file is shorter
    FileKind kind = FileKind::unknown;
    bool rmp = false; // bytes 8 to 11 are "RMP3"
};
// Reads the head and classifies the file; false when the read fails.
bool read_head(platform::ByteSource& file, std::string_view path, FileHead& head);

struct LoadedTag {
    Tag tag; // current_tag after the load rules
    bool has_record = false;
    Id3v1Record record; // the record as read, when there is one
    uint8_t track = 0;  // its track number, 0 for none (the editor shows none)
    bool carry_over_ends = false; // set by editing::load_tag
};

// Reads the record: the tag is the record's, blank fields emptied, or for a file without one an
// empty tag without a genre. The editing session's carry-over rules are editing::load_tag's.
LoadedTag read_tag(platform::ByteSource& file);

// The text rules over the whole tag: blank fields emptied (widths 30, year 4), and the
// padding of full 30-byte texts trimmed (not the year).
void clear_blank_fields(Tag& tag);
void trim_fields(Tag& tag);

// What the editor's five fields show after opening a file, and in which form.
struct ShownTexts {
    LoadedTag loaded;
    RmpTexts rmp;
    std::vector<std::string> warnings;
    std::string title, artist, album, year, comment;
};

// The whole load of an MP3 file outside carry-over mode: record, RMP texts (while
// `rmp_enabled`), and the trimming of the texts of the record (not the year).
ShownTexts open_for_editing(platform::ByteSource& file, bool rmp_enabled);

} // namespace formats

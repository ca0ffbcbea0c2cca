// The RMP form: a RIFF "RMP3" container whose "data" chunk holds the MPEG stream and whose
// "LIST"/"INFO" chunk holds the texts and, last, the 128-byte ID3v1 record.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/formats/tag.h"

namespace platform {
class ByteSource;
class ReplacingWriter;
} // namespace platform

namespace formats {

// The version of the software, recorded beside its name by a conversion (and said by
// tagzo-cli --version).
inline constexpr const char* k_software_version = "0.29";

enum RmpId { INAM, IART, IPRD, ICMT, ICRD, IGNR, ICOP, IENG, ISRC, ISFT, k_rmp_text_count };
// The text sub-chunks in the order they are written.
extern const std::array<const char*, k_rmp_text_count> k_rmp_ids;

// The five texts of a tag in the editor's order (title, artist, album, year, comment): their
// place in the Tag, their INFO text in the RMP form, and their width in the ID3v1 record.
struct TagText {
    std::string Tag::*text;
    RmpId info;
    size_t id3_width;
};
inline const std::array<TagText, 5> k_tag_texts = {{
    {&Tag::title, INAM, k_id3_width},
    {&Tag::artist, IART, k_id3_width},
    {&Tag::album, IPRD, k_id3_width},
    {&Tag::year, ICRD, k_id3_year_width},
    {&Tag::comment, ICMT, k_id3_width},
}};

struct RmpTexts {
    std::array<std::string, k_rmp_text_count> text;
    bool is_rmp = false;
};

struct ByteRange {
    uint64_t offset = 0;
    uint64_t length = 0;
};

// What a walk of an RMP file found. Every offset lies inside the file.
struct RmpLayout {
    ByteRange stream;      // the MPEG stream inside "data"
    bool has_list = false; // "LIST" follows the data chunk
    std::array<std::string, k_rmp_text_count> texts;
    std::vector<ByteRange> others; // sub-chunks of other identifiers, with their pad bytes
    bool has_iid3 = false;
    uint64_t iid3_data = 0;            // offset of the record inside "IID3"
    std::vector<std::string> warnings; // damage found on the way, in words
};

// Bytes 8 to 11 are "RMP3".
bool is_rmp_head(const unsigned char* head, size_t n);
bool is_rmp_file(platform::ByteSource& file);

// Walks the chunks of a file whose head says RMP3. Never reads past the file, never loops:
// sizes that run past the end are cut or stop the walk, and each case leaves a warning.
RmpLayout walk_rmp(platform::ByteSource& file);

// Fills `texts` from the file's text list; false (and no texts) when there is no list.
bool read_rmp_texts(platform::ByteSource& file, RmpTexts& texts, std::vector<std::string>* warnings = nullptr);

// The software name that a conversion records.
std::string software_name(const std::string& display_name);

// Everything the new file is made of: ranges of the old file and the texts.
struct RmpPlan {
    ByteRange stream;
    // The stream begins with these bytes in place of its first `head_replaces` (a new ID3v2 tag
    // in place of the old one).
    std::string stream_head;
    uint64_t head_replaces = 0;
    std::array<std::string, k_rmp_text_count> texts;
    std::vector<ByteRange> others;
    RecordBytes record{};
    std::vector<std::string> warnings;
};

// Plans the RMP form of a file: `already_rmp` keeps the file's own IGNR, ICOP, IENG, ISRC,
// ISFT and other sub-chunks; a conversion empties the first four and records the software
// name. The five edited texts and the record come from `tag`.
RmpPlan plan_rmp(platform::ByteSource& file, bool already_rmp, const Tag& tag, const std::string& display_name);

// Writes the planned file into a writer begun on the file's path; the caller commits it once
// the old file is closed (Windows cannot replace a file that is still open).
platform::Result write_rmp_file(platform::ReplacingWriter& out, platform::ByteSource& file, const RmpPlan& plan);

} // namespace formats

#include <cctype>
#include <cstring>

#include "core/formats/load.h"
#include "core/formats/text_rules.h"
#include "platform/byte_source.h"

namespace formats {

const char* kind_name(FileKind kind) {
    switch (kind) {
    case FileKind::mp3: return "mp3";
    case FileKind::zip: return "zip";
    case FileKind::lzh: return "lzh";
    case FileKind::jpeg: return "jpeg";
    case FileKind::unknown: break;
    }
    return "unknown";
}

namespace {
bool has_mp3_extension(std::string_view path) {
    if (path.size() < 4) return false;
    std::string_view ext = path.substr(path.size() - 4);
    const char* want = ".mp3";
    for (size_t i = 0; i < 4; ++i)
        if (std::tolower(static_cast<unsigned char>(ext[i])) != want[i]) return false;
    return true;
}
bool starts(const unsigned char* head, size_t n, size_t at, std::initializer_list<unsigned char> bytes) {
    if (n < at + bytes.size()) return false;
    return std::equal(bytes.begin(), bytes.end(), head + at);
}
} // namespace

FileKind classify(const unsigned char* head, size_t n, std::string_view path) {
    if (starts(head, n, 0, {'R', 'I', 'F', 'F'}) || starts(head, n, 0, {'I', 'D', '3'}) || has_mp3_extension(path) ||
        starts(head, n, 0, {0xFF, 0xFB}))
        return FileKind::mp3;
    if (starts(head, n, 0, {'P', 'K'})) return FileKind::zip;
    if (starts(head, n, 2, {'-', 'l'})) return FileKind::lzh;
    if (starts(head, n, 0, {0xFF, 0xD8, 0xFF, 0xE0})) return FileKind::jpeg;
    return FileKind::unknown;
}

bool read_head(platform::ByteSource& file, std::string_view path, FileHead& head) {
    head = FileHead{};
    head.length = file.size() < sizeof head.bytes ? static_cast<size_t>(file.size()) : sizeof head.bytes;
    if (head.length && !file.read_at(0, head.bytes, head.length)) return false;
    head.kind = classify(head.bytes, head.length, path);
    head.rmp = is_rmp_head(head.bytes, head.length);
    return true;
}

LoadedTag load_tag(platform::ByteSource& file, const Tag& previous, bool& carry_over, Tag& undo_snapshot) {
    LoadedTag out;
    out.tag = previous;
    out.has_record = read_id3v1_record(file, out.record, &out.track);
    Tag& t = out.tag;
    if (out.has_record) {
        t = out.record;
        if (carry_over) {
            const Id3v1Record& rec = out.record;
            std::string artist = pad_to_width(previous.artist, k_id3_width);
            std::string album = pad_to_width(previous.album, k_id3_width);
            std::string year = pad_to_width(previous.year, k_id3_year_width);
            std::string comment = pad_to_width(previous.comment, k_id3_width);
            bool release = true;
            if (equal_ignoring_case(rec.artist, artist) && equal_ignoring_case(rec.album, album) &&
                equal_ignoring_case(rec.year, year) && equal_ignoring_case(rec.comment, comment) &&
                rec.genre == previous.genre)
                release = false;
            if (is_blank(rec.artist, k_id3_width) && is_blank(rec.album, k_id3_width) &&
                is_blank(rec.year, k_id3_year_width) && is_blank(rec.comment, k_id3_width)) {
                // The file brings no values of its own: it takes the carried ones.
                release = false;
                undo_snapshot = rec;
                t.artist = artist;
                t.album = album;
                t.year = year;
                t.comment = comment;
                t.genre = previous.genre;
            }
            if (release) {
                out.carry_over_ends = true;
                carry_over = false;
            }
        }
    } else {
        t.title.clear();
        if (carry_over) {
            t.artist = undo_snapshot.artist;
            t.album = undo_snapshot.album;
            t.year = undo_snapshot.year;
            t.comment = undo_snapshot.comment;
        } else {
            t.artist.clear();
            t.album.clear();
            t.year.clear();
            t.comment.clear();
            t.genre = k_no_genre;
        }
    }
    clear_blank_fields(t);
    return out;
}

void clear_blank_fields(Tag& t) {
    clear_if_blank(30, t.title);
    clear_if_blank(30, t.artist);
    clear_if_blank(30, t.album);
    clear_if_blank(4, t.year);
    clear_if_blank(30, t.comment);
}

void trim_fields(Tag& t) {
    trim_trailing_spaces(t.title);
    trim_trailing_spaces(t.artist);
    trim_trailing_spaces(t.album);
    trim_trailing_spaces(t.comment);
}

ShownTexts open_for_editing(platform::ByteSource& file, bool rmp_enabled) {
    ShownTexts s;
    bool no_carry_over = false;
    Tag no_snapshot;
    s.loaded = load_tag(file, Tag{}, no_carry_over, no_snapshot);
    Tag& t = s.loaded.tag;
    trim_fields(t);
    if (rmp_enabled && is_rmp_file(file)) read_rmp_texts(file, s.rmp, &s.warnings);
    if (s.rmp.is_rmp) {
        s.title = s.rmp.text[INAM];
        s.artist = s.rmp.text[IART];
        s.album = s.rmp.text[IPRD];
        s.year = s.rmp.text[ICRD];
        s.comment = s.rmp.text[ICMT];
    } else {
        s.title = t.title;
        s.artist = t.artist;
        s.album = t.album;
        s.year = t.year;
        s.comment = t.comment;
    }
    return s;
}

} // namespace formats

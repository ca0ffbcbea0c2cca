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

LoadedTag read_tag(platform::ByteSource& file) {
    LoadedTag out;
    out.has_record = read_id3v1_record(file, out.record, &out.track);
    if (out.has_record) out.tag = out.record;
    clear_blank_fields(out.tag);
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
    s.loaded = read_tag(file);
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

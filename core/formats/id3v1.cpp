#include <cstring>

#include "core/formats/tag.h"
#include "core/formats/text_rules.h"
#include "platform/file.h"

namespace formats {

namespace {
std::string field_text(const unsigned char* p, size_t width) {
    size_t n = 0;
    while (n < width && p[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

void put_field(unsigned char*& p, const std::string& text, size_t width) {
    std::string padded = pad_to_width(text, width);
    std::memcpy(p, padded.data(), width);
    p += width;
}
} // namespace

RecordBytes make_record(const Tag& tag, uint8_t track) {
    RecordBytes r{};
    unsigned char* p = r.data();
    std::memcpy(p, "TAG", 3);
    p += 3;
    put_field(p, tag.title, k_id3_width);
    put_field(p, tag.artist, k_id3_width);
    put_field(p, tag.album, k_id3_width);
    put_field(p, tag.year, k_id3_year_width);
    put_field(p, tag.comment, k_id3_width);
    *p = tag.genre;
    if (track != 0 && fitting_length(tag.comment, k_id3_width) <= k_id3_width - 2) {
        r[125] = 0;
        r[126] = track;
    }
    return r;
}

uint8_t record_track(const unsigned char* b) { return b[125] == 0 ? b[126] : 0; }

bool parse_record(const unsigned char* b, Id3v1Record& out) {
    if (std::memcmp(b, "TAG", 3) != 0) return false;
    out.title = field_text(b + 3, 30);
    out.artist = field_text(b + 33, 30);
    out.album = field_text(b + 63, 30);
    out.year = field_text(b + 93, 4);
    out.comment = field_text(b + 97, 30);
    out.genre = b[127];
    return true;
}

bool read_id3v1_record(platform::ByteSource& file, Id3v1Record& out, uint8_t* track) {
    uint64_t size = file.size();
    if (size < k_record_size) return false;
    RecordBytes r;
    if (!file.read_at(size - k_record_size, r.data(), r.size()) || !parse_record(r.data(), out)) return false;
    if (track) *track = record_track(r.data());
    return true;
}

platform::Result write_id3v1_record(platform::File& file, const Tag& tag) {
    uint64_t size = file.size();
    RecordBytes old{};
    bool has_record = false;
    if (size >= k_record_size) {
        if (!file.read_at(size - k_record_size, old.data(), old.size()))
            return platform::failure(platform::Fault::cannot_read,
                                     "cannot read the end of the file: " + file.read_error());
        has_record = std::memcmp(old.data(), "TAG", 3) == 0;
    }
    const uint8_t kept = has_record ? record_track(old.data()) : 0;
    RecordBytes record = make_record(tag, tag.track == k_keep_track ? kept : static_cast<uint8_t>(tag.track));
    uint64_t at = has_record ? size - k_record_size : size;
    platform::Result put = file.write_at(at, record.data(), record.size());
    if (put) return put;
    put.detail = "cannot write the tag: " + put.detail;
    // Put back what stood there, so a failed write leaves no half record. Where that fails too
    // the report stays the first failure's: the write of the tag is what went wrong.
    if (has_record) static_cast<void>(file.write_at(at, old.data(), old.size()));
    else static_cast<void>(file.truncate(size));
    return put;
}

bool texts_too_long(const Tag& tag) {
    return tag.title.size() > k_id3_width || tag.artist.size() > k_id3_width || tag.album.size() > k_id3_width ||
           tag.comment.size() > k_id3_width || tag.year.size() > k_id3_year_width;
}

} // namespace formats

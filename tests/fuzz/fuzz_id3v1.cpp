// The input is a whole file: its ID3v1 record, the load of a file for editing (with the RMP
// texts read and not), and what the file is judged to be from its head and its name.
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "core/editing/carry_over.h"
#include "core/formats/tag.h"
#include "platform/byte_source.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

void check_record_fields(const formats::Id3v1Record& r) {
    FUZZ_CHECK(r.title.size() <= formats::k_id3_width);
    FUZZ_CHECK(r.artist.size() <= formats::k_id3_width);
    FUZZ_CHECK(r.album.size() <= formats::k_id3_width);
    FUZZ_CHECK(r.year.size() <= formats::k_id3_year_width);
    FUZZ_CHECK(r.comment.size() <= formats::k_id3_width);
    for (const std::string* s : {&r.title, &r.artist, &r.album, &r.year, &r.comment})
        FUZZ_CHECK(s->find('\0') == std::string::npos);
}

std::string padded(const std::string& s, size_t width) { return s + std::string(width - s.size(), ' '); }

void check_record(const uint8_t* data, size_t size) {
    platform::MemorySource src(data, size);
    formats::Id3v1Record rec;
    bool has = formats::read_id3v1_record(src, rec);
    FUZZ_CHECK(has ==
               (size >= formats::k_record_size && std::memcmp(data + size - formats::k_record_size, "TAG", 3) == 0));
    if (!has) return;
    check_record_fields(rec);
    FUZZ_CHECK(rec.genre == data[size - 1]);

    // A record made from what was read gives the same fields back, padded to their widths.
    formats::RecordBytes bytes = formats::make_record(rec);
    formats::Id3v1Record again;
    FUZZ_CHECK(formats::parse_record(bytes.data(), again));
    FUZZ_CHECK(again.title == padded(rec.title, formats::k_id3_width));
    FUZZ_CHECK(again.artist == padded(rec.artist, formats::k_id3_width));
    FUZZ_CHECK(again.album == padded(rec.album, formats::k_id3_width));
    FUZZ_CHECK(again.year == padded(rec.year, formats::k_id3_year_width));
    FUZZ_CHECK(again.comment == padded(rec.comment, formats::k_id3_width));
    FUZZ_CHECK(again.genre == rec.genre);
}

void check_open(const uint8_t* data, size_t size, bool rmp_enabled) {
    platform::MemorySource src(data, size);
    formats::ShownTexts s = formats::open_for_editing(src, rmp_enabled);
    if (!rmp_enabled) FUZZ_CHECK(!s.rmp.is_rmp);
    const size_t width = s.rmp.is_rmp ? formats::k_text_capacity : formats::k_id3_width;
    const size_t year_width = s.rmp.is_rmp ? formats::k_text_capacity : formats::k_id3_year_width;
    FUZZ_CHECK(s.title.size() <= width);
    FUZZ_CHECK(s.artist.size() <= width);
    FUZZ_CHECK(s.album.size() <= width);
    FUZZ_CHECK(s.year.size() <= year_width);
    FUZZ_CHECK(s.comment.size() <= width);
    for (const std::string& t : s.rmp.text) FUZZ_CHECK(t.size() <= formats::k_text_capacity);
    if (s.loaded.has_record) check_record_fields(s.loaded.record);
}

void check_carry_over(const uint8_t* data, size_t size) {
    // A load while carry-over is on, with the file's own record as the previous tag and as a
    // different one.
    platform::MemorySource src(data, size);
    formats::Tag previous{"title", "artist", "album", "1999", "comment", 13};
    for (int round = 0; round < 2; ++round) {
        bool carry_over = true;
        formats::Tag undo_snapshot = previous;
        formats::LoadedTag loaded = editing::load_tag(src, previous, carry_over, undo_snapshot);
        if (loaded.carry_over_ends) FUZZ_CHECK(!carry_over);
        if (!loaded.has_record) FUZZ_CHECK(loaded.tag.title.empty());
        if (loaded.has_record) previous = loaded.record;
    }
}

void check_classify(const uint8_t* data, size_t size) {
    // Heads of every length up to 4 bytes and the whole input, each in a block of exactly
    // its size, so that a look past the head is caught.
    for (size_t n = 0; n <= 5; ++n) {
        size_t len = n == 5 ? size : (n < size ? n : size);
        std::unique_ptr<unsigned char[]> head(new unsigned char[len]);
        if (len) std::memcpy(head.get(), data, len);
        for (std::string_view path : {std::string_view(), std::string_view("a.mp3"), std::string_view("B.MP3"),
                                      std::string_view(".mp"), std::string_view("song.mp3.zip")}) {
            formats::FileKind k = formats::classify(head.get(), len, path);
            FUZZ_CHECK(formats::kind_name(k) != nullptr);
            if (path.size() >= 4 && (path == "a.mp3" || path == "B.MP3")) FUZZ_CHECK(k == formats::FileKind::mp3);
        }
    }
    // The input's tail as a file name.
    size_t name_len = size < 16 ? size : 16;
    std::string name(reinterpret_cast<const char*>(data + size - name_len), name_len);
    formats::classify(data, size, name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check_record(data, size);
    check_open(data, size, true);
    check_open(data, size, false);
    check_carry_over(data, size);
    check_classify(data, size);
    return 0;
}

#include "core/editing/carry_over.h"

#include "core/formats/text_rules.h"

namespace editing {

using namespace formats;

LoadedTag load_tag(platform::ByteSource& file, const Tag& previous, bool& carry_over, Tag& undo_snapshot) {
    LoadedTag out = read_tag(file);
    Tag& t = out.tag;
    if (out.has_record) {
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
        t.track = previous.track;
        if (carry_over) {
            t.artist = undo_snapshot.artist;
            t.album = undo_snapshot.album;
            t.year = undo_snapshot.year;
            t.comment = undo_snapshot.comment;
            t.genre = previous.genre;
        }
    }
    clear_blank_fields(t);
    return out;
}

} // namespace editing

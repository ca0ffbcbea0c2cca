// The editing session's rules for the tag a newly loaded file shows: the carry-over of the old
// texts to the next file, and the undo snapshot they keep.
#pragma once
#include "core/formats/load.h"

namespace editing {

// Reads the record (formats::read_tag) and applies the session's rules: with `carry_over` on,
// artist, album, year and comment go over from `previous` (the tag of the file edited so far)
// to a file that brings none of its own, and a file that brings others ends the carry-over; a
// file without a record keeps `previous`'s track and, carrying over, takes the texts of
// `undo_snapshot` (the tag as it stood after the last load or apply), which a blank record
// replaces.
formats::LoadedTag load_tag(platform::ByteSource& file, const formats::Tag& previous, bool& carry_over,
                            formats::Tag& undo_snapshot);

} // namespace editing

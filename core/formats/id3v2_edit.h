// The user's edit carried into a file's own ID3v2 tag: the frames of the fields that changed
// are written again, every other frame stays byte for byte, and the version stays.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/formats/id3v2.h"

namespace formats {

// The five texts in the editor's order (title, artist, album, year, comment), in code page 932:
// a field that changed holds its new text (an empty one removes the field's frames); a field
// left alone holds nothing.
struct Id3v2Edit {
    std::array<std::optional<std::string>, 5> texts;
    bool any() const {
        for (const auto& t : texts)
            if (t) return true;
        return false;
    }
};

// What an edit makes of a tag. `tag` is the new tag; when it fits in the old tag's place it is
// padded to the old size (`in_place`), so that only the tag's own bytes change. `why_not` says
// why the tag is left as it was (and `tag` is empty): damaged, a version or a place this writer
// does not write, or a frame that cannot be kept.
struct Id3v2EditPlan {
    std::string tag;
    bool in_place = false;
    std::string why_not;
};

// `old` is the tag found where the stream starts (`stream_start`: 0 in a plain MP3 file, the
// data chunk's start in the RMP form).
Id3v2EditPlan plan_id3v2_edit(const Id3v2Found& old, uint64_t stream_start, const Id3v2Edit& edit);

} // namespace formats

// Writing an edited tag into a file: always the ID3v1 record, and the RMP form when a text is
// too long for ID3v1 or the file already is in that form.
#pragma once
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/formats/id3v2_edit.h"
#include "core/formats/rmp.h"
#include "core/formats/tag.h"

namespace formats {

enum class ApplyForm {
    id3,     // only the 128-byte record, in place
    convert, // an ID3v1 file becomes an RMP file (the editor asks first)
    rewrite, // an RMP file is written again with the new texts
};

// `is_rmp`: the texts of the loaded file were read in the RMP form. `file_is_rmp`: the
// file's bytes 8 to 11 say RMP3 (a file can be RMP3 yet loaded as ID3v1).
// A file that carries an ID3v2 tag (`has_id3v2`) and is not in the RMP form keeps its form: its
// tag holds texts of any length and today's players read it, where the RMP form would hide it.
ApplyForm decide_apply_form(const Tag& edited, bool rmp_enabled, bool is_rmp, bool file_is_rmp,
                            bool has_id3v2 = false);

// What a written file holds beside the result of its write.
struct Applied {
    // Damage found in the old file and mended on the way; the load warned of it already.
    std::vector<std::string> mended;
    // The INFO texts the file holds now, when it was written in the RMP form: the edited ones
    // and those it kept or got (a rewrite keeps the file's own, a conversion records the
    // software name).
    std::array<std::string, k_rmp_text_count> rmp_texts;
    // The file's ID3v2 tag, where an edit was given for it: written with the changed fields, or
    // left as it was, and why.
    bool id3v2_written = false;
    std::string id3v2_left;
};

// Writes `edited` (texts of up to 255 bytes) into the file at `path` in the given form. The
// record holds the first 30 bytes of each text (year 4), cut at a character boundary. On
// failure the file is as it was; done, the result's warnings name what the written file could
// not keep (its owner), and `applied`, when given, gets what the file holds. `before_replace`,
// when given, is called just before the new file of the RMP form takes the old one's place.
// `open`, when given, is the file at `path` open for reading and writing (the caller's locked
// one): it is read and written through, with no open of its own, and left open.
// `id3v2`, when given, carries the changed fields into the file's own ID3v2 tag too (at the
// stream's start, in the plain form or inside the RMP form's data chunk): in place where the
// new tag fits the old one's room, else in a new file that replaces the old one, never half.
// `before_replace` is then called before anything is written, since more than the record
// changes; its argument says whether a new file takes the old one's place (false: in place). A tag that cannot be written so is left as it was (`applied->id3v2_left` says why).
// A `before_replace` that returns false holds the change back: the file stays as it was.
// `hand_over`, where given, takes a new file whose content is all written, in place of its
// replace: the taker puts it in the target's place later (with others, a group at a time), and
// what it returns is the apply's result. The caller holds the target's lock until then.
using HandOver = std::function<platform::Result(std::unique_ptr<platform::ReplacingWriter> written)>;
platform::Result apply_tag_to_file(const std::string& path, const Tag& edited, ApplyForm form,
                                   const std::string& display_name, Applied* applied = nullptr,
                                   const std::function<bool(bool new_file)>& before_replace = {},
                                   platform::File* open = nullptr, const Id3v2Edit* id3v2 = nullptr,
                                   const HandOver& hand_over = {});

} // namespace formats

// `tagzo-cli set`'s options and its work on one file, which `import` shares.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "core/settings/settings.h"
#include "platform/result.h"

namespace cli {

class JournalFile;

// The options of `set`; the texts in code page 932.
struct SetOptions {
    std::optional<std::string> title, artist, album, year, comment;
    std::optional<uint8_t> genre;
    std::optional<uint8_t> track; // 0 removes the record's track number
    bool no_rmp = false;
    bool no_id3v2 = false; // --no-id3v2: the file's ID3v2 tag is left as it is
    std::string display_name = "kessa";
    JournalFile* journal = nullptr; // --journal: what each change replaces goes there first
};

// The settings of an editor that works as these options say: long texts (and so the RMP form)
// unless --no-rmp, and the display name that a conversion records. The program has one image
// of them, made with the defaults when the program is built, which each call sets anew: the
// editor's image is 45 KB, of which a change reads four fields, and a process touches only
// the pages of those (an image made at run time is zeroed in full, eleven pages of it).
settings::Settings& settings_for(const SetOptions& options);

// Applies the options to the file at `path` as the editor's apply does, the file read and
// written under its write lock. A failure's detail is what was left undone ("; nothing written"
// follows it); one without a detail was named on stderr where it happened.
// With a batch whose walk holds the file's lock for writing, the lock is the batch's, and a
// new file that replaces the old one (a conversion) goes into the batch's group.
class Batch;
platform::Result set_file(const SetOptions& o, settings::Settings& st, const std::string& path,
                          Batch* batch = nullptr);

} // namespace cli

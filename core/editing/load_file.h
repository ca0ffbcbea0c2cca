// The load of a file into the editing session: what it is, its record with the carry-over
// rules, its RMP texts, and whether it lies on read-only media.
#pragma once
#include <array>
#include <string>

#include "core/formats/id3v2.h"

#include "core/editing/result.h"
#include "core/editing/session.h"
#include "core/settings/settings.h"
#include "platform/file.h"

namespace editing {

// The five texts of an ID3v2 tag as the fields take them, in the editor's order: in code page
// 932 (a character that code page lacks becomes "?", and `lacking`, when given, marks those
// texts), the year its first four characters, each at most 255 bytes.
formats::Tag id3v2_fields(const formats::Id3v2Found& v2, std::array<bool, 5>* lacking = nullptr);

// Opens a file for reading and tells its kind by its first bytes and its name. Fails with
// cannot_open or cannot_read.
Result open_and_classify(const std::string& path, platform::File& file, formats::FileHead& head);

// Done when the file was loaded for editing. Otherwise a notice was shown, or the file went to
// the program of its kind (handed_over), and the session is unchanged. The warnings name the
// damage found in the file's RMP form. `lock`, when given, is the caller's held on `path`: the
// file it holds open is read instead of another open of the path (see WriteLock::file).
Result load_file(Session& s, const settings::Settings& settings, UserInterface& ui, const std::string& path,
                 platform::WriteLock* lock = nullptr);

// Opens a file in the editor: the load, then the file becomes the current one, its texts are
// trimmed and shown and taken as the undo snapshot, and nothing is modified.
Result open_file(Session& s, const settings::Settings& settings, UserInterface& ui, const std::string& path,
                 platform::WriteLock* lock = nullptr);

} // namespace editing

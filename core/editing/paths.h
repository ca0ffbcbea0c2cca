// Path texts of the editor: the start file taken from the command line, the relative form
// shown in the file box, and the name a file gets from its tag. Paths are UTF-8, where every
// byte 0x5C is a backslash; the tag's texts are cp932.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace editing {

// The command-line tail after the program's name: an optional "/e" or "/E" switch and its
// blank, then a path whose double quotes are dropped wherever they stand. At most 255
// characters of the UTF-8 tail are read (quotes counted); blanks stay.
std::string start_file_from_tail(std::string_view tail);

// Position of the last backslash, stepping over double-byte characters so that a trail byte
// 0x5C is never taken for one; npos when there is none.
size_t find_last_backslash(std::string_view path);

// The path without the current folder and its backslash in front ("C:\" counts as "C:"),
// ASCII letters compared without their case.
// A path that does not lie in the current folder is returned whole.
std::string relative_form(std::string_view path, std::string_view current_folder);

// The folder of a UTF-8 path, without the separator after it; a drive root keeps its
// backslash ("C:\\"). Empty when the path names no folder. In UTF-8 every byte 0x5C is a
// backslash, so the file's own folder is found here, never in the cp932 bytes.
std::string folder_of(std::string_view utf8_path);

// The folder ending in exactly one backslash: "C:\\" keeps its one, "C:\\Music" gets one.
std::string folder_with_backslash(std::string_view folder);

// The name a file gets from its tag (cp932) in `folder` (ending in a backslash, or empty): pattern 1 gives
// "artist-title.mp3", every other pattern "(artist)title.mp3". The extension is always ".mp3".
std::string name_by_tag(int32_t pattern, std::string_view folder, std::string_view artist, std::string_view title);

// The name with every character a file name cannot hold (" * , / : ; < > ? |) replaced by its
// full-width look-alike; double-byte characters are copied whole, the backslash stays. True
// when at least one character was replaced.
bool replace_unusable_chars(std::string_view name, std::string& out);

// A rename by tag, worked out before anything moves: the editor and tagzo-cli both take it.
struct TagRename {
    bool has_texts = false; // the title and the (cut) artist are both non-empty
    std::string name;       // cp932: the name the tag makes, no characters replaced yet
    std::string new_path;   // UTF-8: that name in the file's own folder
    bool same_name = false; // the file has that name already, letter case aside
};

// The characters that end a folder in a path: Windows takes both; on Linux and macOS a
// backslash is a character of a name, and the name's bytes may be any but "/" (a Shift-JIS
// name's second byte may be 0x5C).
inline constexpr std::string_view k_windows_separators = "\\/", k_posix_separators = "/";

// The name for the file at `path` (UTF-8; its folder, if any, ends at the last of
// `separators`): the title whole, and the artist (cp932) cut to the record's 30 bytes in the
// ID3v1 form.
TagRename plan_tag_rename(std::string_view path, int32_t pattern, bool is_rmp, std::string_view artist,
                          std::string_view title, std::string_view separators = k_windows_separators);

// True when the file at `path` (UTF-8) has the cp932 name already, letter case aside.
bool has_name(std::string_view path, std::string_view cp932_name, std::string_view separators = k_windows_separators);

// A cp932 name in the folder of `path`, with the separator that path uses (UTF-8).
std::string path_beside(std::string_view path, std::string_view cp932_name,
                        std::string_view separators = k_windows_separators);

} // namespace editing

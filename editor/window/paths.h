// Path texts of the editor (cp932): the start file taken from the command line, the last
// backslash of a path, and the relative form shown in the file box.
#pragma once
#include <string>
#include <string_view>

namespace editing {

// The command-line tail after the program's name: an optional "/e" or "/E" switch and its
// blank, then a path whose double quotes are dropped wherever they stand. At most 255
// characters of the tail are read (quotes counted); blanks stay.
std::string start_file_from_tail(std::string_view tail);

// Position of the last backslash, stepping over double-byte characters so that a trail byte
// 0x5C is never taken for one; npos when there is none.
size_t find_last_backslash(std::string_view path);

// The path without the current folder and its backslash in front ("C:\" counts as "C:").
// A path that does not lie in the current folder is returned whole.
std::string relative_form(std::string_view path, std::string_view current_folder);

} // namespace editing

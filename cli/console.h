// The console side of tagzo-cli: arguments and output in the terminal's encoding (UTF-8 on
// Linux, the console code page on Windows), held as UTF-8 inside.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace cli {

std::vector<std::string> utf8_arguments(int argc, char** argv);
void write_out(std::string_view utf8);
void write_err(std::string_view utf8);
// Output that is UTF-8 on every system (JSON): bytes as they are into a file or a pipe; a
// Windows console is given the characters.
void write_out_utf8(std::string_view utf8);
// All of standard input, as bytes; false with the system's reason when it cannot be read.
bool read_input(std::string& out, std::string& why);
// Writes what standard output still holds; the first failure of a write to it, in words, or
// empty when every write went through. A cut listing must not pass for a whole one.
std::string finish_output();
// A line of progress on stderr, shown only when stderr is a terminal; it is written over by
// the next one and wiped before any other output to stderr.
bool err_is_terminal();
void show_progress(std::string_view line);
void end_progress();

} // namespace cli

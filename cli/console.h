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

} // namespace cli

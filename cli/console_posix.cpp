#include <cstdio>

#include "cli/console.h"

namespace cli {

std::vector<std::string> utf8_arguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

void write_out(std::string_view s) { std::fwrite(s.data(), 1, s.size(), stdout); }
void write_err(std::string_view s) {
    std::fflush(stdout);
    std::fwrite(s.data(), 1, s.size(), stderr);
}

} // namespace cli

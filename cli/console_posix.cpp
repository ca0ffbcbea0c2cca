#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "cli/console.h"

namespace cli {

namespace {
size_t progress_width = 0; // the length of the progress line on stderr, 0 when none stands
// The first failed write to stdout, by its errno; plain values, which the program's start sets
// up with nothing run for them.
bool out_failed = false;
int out_errno = 0;

void note_out_failure() {
    if (out_failed) return;
    out_failed = true;
    out_errno = errno;
}
} // namespace

std::vector<std::string> utf8_arguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

void write_out(std::string_view s) {
    if (std::fwrite(s.data(), 1, s.size(), stdout) != s.size()) note_out_failure();
}

std::string finish_output() {
    if (std::fflush(stdout) != 0) note_out_failure();
    return out_failed ? std::strerror(out_errno) : "";
}
void write_out_utf8(std::string_view s) { write_out(s); }

void write_err(std::string_view s) {
    end_progress();
    std::fflush(stdout);
    std::fwrite(s.data(), 1, s.size(), stderr);
}

bool read_input(std::string& out, std::string& why) {
    char buf[65536];
    size_t n = 0;
    errno = 0;
    while ((n = std::fread(buf, 1, sizeof buf, stdin)) > 0) out.append(buf, n);
    if (!std::ferror(stdin)) return true;
    why = errno ? std::strerror(errno) : "read error";
    return false;
}

bool err_is_terminal() { return ::isatty(2) == 1; }

void show_progress(std::string_view line) {
    std::string s = "\r" + std::string(line);
    if (line.size() < progress_width) s += std::string(progress_width - line.size(), ' ');
    std::fwrite(s.data(), 1, s.size(), stderr);
    std::fflush(stderr);
    progress_width = line.size();
}

void end_progress() {
    if (progress_width == 0) return;
    std::string s = "\r" + std::string(progress_width, ' ') + "\r";
    progress_width = 0;
    std::fwrite(s.data(), 1, s.size(), stderr);
}

} // namespace cli

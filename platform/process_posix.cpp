// POSIX side of the process start: the line runs through /bin/sh, and the child is not waited
// for (SIGCHLD is left to the caller).
#include <spawn.h>
#include <cerrno>
#include <cstring>

#include "platform/process.h"

extern char** environ;

namespace platform {

Result start_process(const std::string& command_line, bool) {
    std::string sh = "/bin/sh", dash_c = "-c", line = command_line;
    char* argv[] = {sh.data(), dash_c.data(), line.data(), nullptr};
    pid_t pid = 0;
    int rc = posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ);
    if (rc != 0) return failure(Fault::cannot_start, "cannot start " + command_line + ": " + std::strerror(rc));
    return {};
}

void limit_library_search() {}

} // namespace platform

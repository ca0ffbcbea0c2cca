// Starting another program from a command line, without waiting for it.
#pragma once
#include <string>

namespace platform {

// The command line is UTF-8: on Windows the program name is looked for as the system looks
// for it (the starting program's folder, the current folder, the system folders, PATH) and
// its window is shown normally, or without taking the focus when `activate` is false; on POSIX
// systems the line goes to /bin/sh. False, with a reason in err, when the program could not be
// started.
bool start_process(const std::string& command_line, std::string& err, bool activate = true);

} // namespace platform

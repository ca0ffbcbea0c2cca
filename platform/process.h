// Starting another program from a command line, without waiting for it; where a program looks
// for its libraries.
#pragma once
#include <string>

#include "platform/result.h"

namespace platform {

// The command line is UTF-8: on Windows the program name is looked for as the system looks
// for it (the starting program's folder, the current folder, the system folders, PATH) and
// its window is shown normally, or without taking the focus when `activate` is false; on POSIX
// systems the line goes to /bin/sh. A failure (Fault::cannot_start) with a reason when the program could not be
// started.
Result start_process(const std::string& command_line, bool activate = true);

// Called first thing by every program: on Windows the libraries it loads by name, and theirs,
// are looked for in the program's own folder and the system folders only, never in the current
// folder, which a program started on a file makes that file's folder (a library placed beside
// the file would run inside the program). Systems that cannot narrow the search keep their
// own; on POSIX systems nothing happens.
void limit_library_search();

} // namespace platform

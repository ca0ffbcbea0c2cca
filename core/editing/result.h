// How a step of the core went: done, or what went wrong, with the system's words when it gave
// any. The core's steps return it, so that a caller cannot pass over a failure unnoticed.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace editing {

enum class Fault {
    none,
    cannot_open,  // the file could not be opened
    cannot_read,  // the file opened, but its first bytes could not be read
    not_mp3,      // no MP3 file, nor anything the editor hands on
    handed_over,  // an archive or picture: it went to the program of its kind, not to editing
    read_only,    // the file stays read-only: it is on read-only media, or the user kept it so
    write_failed, // the file could not be written; it is as it was
};

struct [[nodiscard]] Result {
    Fault fault = Fault::none;
    std::string detail;                // the system's words on what went wrong
    std::vector<std::string> warnings; // done all the same, but with these remarks

    bool ok() const { return fault == Fault::none; }
};

inline Result failure(Fault fault, std::string detail = {}) { return Result{fault, std::move(detail), {}}; }

} // namespace editing

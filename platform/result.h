// How a step went: done (perhaps with warnings), or what went wrong, with the system's words
// when it gave any. Every layer's steps return it, from the file calls up to the editor's
// apply, so that a caller cannot pass over a failure unnoticed.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace platform {

enum class Fault {
    none,
    cannot_open,  // the file could not be opened
    cannot_read,  // the file opened, but its bytes could not be read
    not_mp3,      // no MP3 file, nor anything the editor hands on
    handed_over,  // an archive or picture: it went to the program of its kind, not to editing
    read_only,    // the file stays read-only: it is on read-only media, or the user kept it so
    write_failed, // the file could not be written; it is as it was
    cannot_start, // another program could not be started
    bad_input,    // a text given to the program (a JSON line) is not of the form it takes
    refused,      // a library the program binds (the decoder) answered the call with a failure
};

struct [[nodiscard]] Result {
    Fault fault = Fault::none;
    std::string detail;                // the system's words on what went wrong
    std::vector<std::string> warnings; // done all the same, but with these remarks

    bool ok() const { return fault == Fault::none; }
    explicit operator bool() const { return ok(); }
};

inline Result failure(Fault fault, std::string detail = {}) { return Result{fault, std::move(detail), {}}; }

} // namespace platform

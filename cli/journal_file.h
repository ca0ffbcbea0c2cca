// The undo journal as tagzo-cli keeps it (--journal FILE): before each change, what the change
// replaces; after it, what it wrote, so that `tagzo-cli undo FILE` can put it back.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "core/editing/journal.h"
#include "platform/file.h"

namespace cli {

class JournalFile {
public:
    // Opens the journal for appending, making it with its mark when it does not exist; a file
    // that is there and is no journal is refused.
    platform::Result open(const std::string& path);
    bool is_open() const { return file_.is_open(); }

    // Appends the change before it is made, on the disk before the change; gives where it stands.
    platform::Result before(const editing::JournalChange& change, uint64_t& at);
    // The old contents of `path` from `offset` to its end (the whole file from 0), recorded
    // before a change of that region.
    platform::Result before_region(const std::string& path, editing::JournalChange::Kind kind, uint64_t offset,
                                   uint64_t& at);
    // After the change: the file's new size and the hash of its bytes from the change's offset.
    platform::Result after(uint64_t at, const std::string& path, uint64_t offset);

private:
    platform::Result append(const std::string& bytes);
    platform::File file_;
};

// The --journal a command was given, opened into `journal` (nothing to open without one, or in a
// dry run): k_ok, k_usage for an empty name, k_failed (named on stderr) when it cannot be kept.
int open_journal(const std::optional<std::string>& path, bool dry_run, JournalFile& journal);

} // namespace cli

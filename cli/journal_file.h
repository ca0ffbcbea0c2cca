// The undo journal as tagzo-cli keeps it (--journal FILE): before each change, what the change
// replaces; after it, what it wrote, so that `tagzo-cli undo FILE` can put it back.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/editing/journal.h"
#include "platform/file.h"

namespace cli {

class JournalFile {
public:
    // Opens the journal for appending, making it with its mark when it does not exist; a file
    // that is there and is no journal (or one of the first form, which takes no more records)
    // is refused. The journal is locked until the object goes: a second command on it waits.
    platform::Result open(const std::string& path);
    bool is_open() const { return file().is_open(); }
    ~JournalFile() { if (is_open()) static_cast<void>(file().flush()); }
    // Takes the journal itself out of the files a command was given or walked (and the same
    // places of `parallel`, where given): a command never changes its own journal.
    void leave_out(std::vector<std::string>& files, std::vector<std::string>* parallel = nullptr) const;
    // Records that the journal's changes are undone.
    platform::Result undone();

    // Appends the change before it is made, on the disk before the change; gives where it stands.
    platform::Result before(const editing::JournalChange& change, uint64_t& at);
    // The old contents of `path` from `offset` to its end (the whole file from 0), recorded
    // before a change of that region.
    platform::Result before_region(const std::string& path, editing::JournalChange::Kind kind, uint64_t offset,
                                   uint64_t& at);
    // Before a file is replaced by a new one: the old file itself kept, by a second name in the
    // journal's kept folder (where the file system makes no such link, its bytes are copied
    // into the journal instead). Undo then moves it back: a rename.
    platform::Result before_replace(const std::string& path, uint64_t& at);
    // From now on a record goes to the disk only at flush_held(), which a batch calls before it
    // makes the changes recorded since (a group of replaces).
    void hold_flushes() { hold_ = true; }
    platform::Result flush_held();
    // After the change: the file's new size and the hash of its bytes from the change's offset.
    platform::Result after(uint64_t at, const std::string& path, uint64_t offset);

private:
    // A failed append is cut off again, so that the journal stays whole for later records.
    platform::Result append(const std::string& bytes, bool flush = true);
    platform::File& file() { return lock_.file() ? *lock_.file() : file_; }
    const platform::File& file() const { return const_cast<JournalFile*>(this)->file(); }
    // Kept names left by a command killed between its link and its record: every name there is
    // the journal's size when its change was recorded, so one at or past the end is no change's.
    void sweep_kept() const;
    std::string path_;
    std::string kept_;              // the kept folder, once made
    std::unordered_set<uint64_t> linked_; // the changes recorded with a kept file
    bool hold_ = false;                   // records wait for flush_held()
    bool kept_unflushed_ = false;         // a name made in the kept folder since its last flush
    platform::WriteLock lock_;
    platform::File file_; // where the lock holds no file (Windows)
};

// Where a journal keeps the old files its changes replaced: a folder beside it, of its name and
// ".kept".
std::string kept_folder_of(const std::string& journal);

// A path as the journal keeps it: whole from the root, so that undo finds the file from any
// folder; and back, relative to the current folder where it lies under it, as it is shown.
std::string journal_path_of(const std::string& path);
std::string shown_path(const std::string& journaled);

} // namespace cli

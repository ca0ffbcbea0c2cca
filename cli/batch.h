// The walk a command that works file by file shares: its FILEs (the folders among them walked
// with -r), the journal kept out of them, the write lock, a progress count, what befell each
// file on stderr, and the exit status. The command gives only its work on one file.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "cli/files.h"
#include "cli/journal_file.h"
#include "platform/file.h"
#include "platform/result.h"

namespace cli {

// Names a file's failure on stderr, "tagzo-cli: FILE: DETAIL; LEFT" (a failure without a detail
// was named where it happened), then each of its warnings.
void report_outcome(const std::string& path, const platform::Result& outcome, const std::string& left);

// A file's work: done, or the failure to name (see report_outcome).
using FileWork = std::function<platform::Result(const FoundFile& file)>;

struct Walk {
    bool recursive = false;
    bool lock = false;                    // each file is held under its write lock through its work
    std::string left = "nothing written"; // what a failed file's report adds
    // The work hands its new files to the batch (replace_later), which replaces them a group
    // at a time; the journal's records of a group go to the disk together, before its replaces.
    bool grouped = false;
    bool for_writing = false; // the lock's file open for writing too, where the file allows
};

class Batch {
public:
    // The --journal a command was given, opened (nothing to open without one, or in a dry run).
    // bad_input: an empty name, a usage error; any other failure is named on stderr.
    platform::Result open_journal(const std::optional<std::string>& path, bool dry_run);
    JournalFile* journal() { return journal_.is_open() ? &journal_ : nullptr; }
    // The file whose work runs now, open under its lock in a walk that locks (POSIX): the work
    // reads it through this, with no open of its own, and it is let go with the lock. Null
    // outside a work, in a walk without locks, and on Windows.
    platform::File* held_file() { return lock_ ? lock_->file() : nullptr; }
    // That file to read, in `file`: the one the lock holds open, else `own`, opened here (which
    // the caller closes). Fails where it cannot be opened.
    platform::Result open_current(const std::string& path, platform::File& own, platform::File*& file);
    // Whether that file is read-only: as its lock found it where the lock holds it, else looked at.
    bool current_read_only(const std::string& path) const {
        return lock_ && lock_->file() ? lock_->read_only() : platform::is_read_only(path);
    }
    // The lock on the file whose work runs now, in a walk that locks; null otherwise. A work
    // that hands its new file over leaves it held: the batch lets it go after the replace.
    platform::WriteLock* held_lock() { return lock_; }

    // The work on each of the FILEs, the folders walked first and the journal left out; k_failed
    // when a folder could not be walked or some file failed, else k_ok.
    int run(const std::vector<std::string>& files, const Walk& walk, const FileWork& work);
    // The same, each file as the walk comes to it, so that a collection of any size takes no
    // more memory than one folder's names; no journal is left out.
    int stream(const std::vector<std::string>& files, const Walk& walk, const FileWork& work);

    // In a grouped walk: the file's new content, which takes the file's place with the others
    // of its group; the file's outcome is reported then, and the journal's record of the change
    // made at `journal_at` is completed. The work returns what this returns: a failure here
    // (the content could not be finished) is the file's, reported at once.
    platform::Result replace_later(std::unique_ptr<platform::ReplacingWriter> out, const std::string& path,
                                   std::optional<uint64_t> journal_at, bool tell_warnings = true);

    ~Batch();

private:
    struct Waiting {
        std::string path;
        std::optional<uint64_t> journal_at;
        bool tell_warnings = true;
        std::unique_ptr<platform::WriteLock> lock; // held until the file is replaced
        std::string left;
    };
    // A group whose replaces a thread of its own makes while the next group is written.
    struct Committing {
        platform::ReplaceGroup group;
        std::vector<Waiting> waiting;
        std::vector<platform::Result> outcome;
        std::thread thread;
    };
    platform::Result one(const FoundFile& file, const Walk& walk, const FileWork& work);
    // Hands the group written so far to the committing thread, once the one before is done.
    void commit_group();
    // Waits for the committing thread, and reports its files.
    void finish_commit();
    // Every file handed over is in place and reported, and its lock let go.
    void settle() {
        commit_group();
        finish_commit();
    }
    JournalFile journal_;
    platform::ReplaceGroup group_;
    std::vector<Waiting> waiting_;
    std::unordered_set<std::string> waiting_paths_; // of waiting_ and committing_
    Committing committing_;
    bool handed_over_ = false;
    platform::WriteLock* lock_ = nullptr;
    bool failed_ = false;
    bool sweep_ = false; // a run over many files that locks them: see one()
};

} // namespace cli

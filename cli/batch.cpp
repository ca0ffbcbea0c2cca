#include "cli/batch.h"

#include "cli/commands.h"
#include "platform/file.h"

namespace cli {

void report_outcome(const std::string& path, const platform::Result& outcome, const std::string& left) {
    if (!outcome && !outcome.detail.empty()) report(path, outcome.detail + "; " + left);
    for (const std::string& w : outcome.warnings) report(path, "warning: " + w);
}

platform::Result Batch::open_journal(const std::optional<std::string>& path, bool dry_run) {
    if (!path) return {};
    if (path->empty()) return platform::failure(platform::Fault::bad_input, "--journal needs a FILE");
    if (dry_run) return {};
    // Named here, whatever its kind: only an empty name is a usage error.
    if (platform::Result opened = journal_.open(*path); !opened) {
        report(*path, "the journal: " + opened.detail);
        return platform::failure(platform::Fault::cannot_open);
    }
    return {};
}

Batch::~Batch() { finish_commit(); }

platform::Result Batch::one(const FoundFile& file, const Walk& walk, const FileWork& work) {
    // A file the batch has yet to put in place is reached again (given twice): that goes first.
    if (waiting_paths_.count(file.path)) settle();
    // A batch that writes sweeps each folder it comes to: the old files that a killed batch
    // kept to write again go, even where this one writes nothing.
    if (sweep_) platform::remove_stale_temporaries_once(platform::folder_of(file.path));
    // Our other writers wait from the read through the write: what is read is what is written.
    // The locks the batch holds for its waiting files are let go before a wait: one of them
    // may be this file's under another name.
    auto lock = std::make_unique<platform::WriteLock>();
    if (walk.lock)
        lock->hold(file.path, walk.for_writing, [this] { settle(); });
    handed_over_ = false;
    lock_ = walk.lock ? lock.get() : nullptr;
    platform::Result done = work(file);
    lock_ = nullptr;
    if (handed_over_) {
        // The new file is in the group: the file's outcome is told when it is replaced. Where
        // the work failed after it handed the file over (a text the ID3v2 tag could not take),
        // that is told now.
        waiting_.back().lock = std::move(lock);
        waiting_.back().left = walk.left;
        waiting_paths_.insert(file.path);
        if (!done) report_outcome(file.path, done, walk.left);
        if (group_.full()) commit_group();
        return done;
    }
    report_outcome(file.path, done, walk.left);
    return done;
}

platform::Result Batch::open_current(const std::string& path, platform::File& own, platform::File*& file) {
    file = held_file();
    if (file) return {};
    if (platform::Result opened = own.open(path, platform::File::Mode::read); !opened) return opened;
    file = &own;
    return {};
}

platform::Result Batch::replace_later(std::unique_ptr<platform::ReplacingWriter> out, const std::string& path,
                                      std::optional<uint64_t> journal_at, bool tell_warnings) {
    if (platform::Result added = group_.add(std::move(out)); !added) return added;
    handed_over_ = true;
    waiting_.push_back({path, journal_at, tell_warnings, nullptr, {}});
    return {};
}

void Batch::commit_group() {
    finish_commit();
    if (waiting_.empty()) return;
    // The journal's records of the group on the disk before any of its files is replaced.
    JournalFile* journal = this->journal();
    platform::Result recorded = journal ? journal->flush_held() : platform::Result{};
    if (!recorded) recorded.detail = "the journal cannot take the change: " + recorded.detail;
    committing_.group = std::move(group_);
    group_ = platform::ReplaceGroup();
    committing_.waiting = std::move(waiting_);
    waiting_.clear();
    // The thread touches only its group and its locks: the files' new contents flushed, the
    // renames, the folders flushed, and the old files let go (the freeing of their blocks).
    // On Windows a lock is a mutex that only the thread that took it can give back: there the
    // locks go when the group is reported.
    committing_.thread = std::thread([c = &committing_, recorded] {
        c->outcome = c->group.commit([&recorded] { return recorded; },
                                     [c] {
#ifndef _WIN32
                                         for (Waiting& w : c->waiting) w.lock.reset();
#endif
                                     });
    });
}

void Batch::finish_commit() {
    if (!committing_.thread.joinable()) return;
    committing_.thread.join();
    JournalFile* journal = this->journal();
    for (size_t i = 0; i < committing_.waiting.size(); ++i) {
        Waiting& w = committing_.waiting[i];
        platform::Result done = committing_.outcome[i];
        if (done && journal && w.journal_at) {
            if (platform::Result noted = journal->after(*w.journal_at, w.path, 0); !noted)
                report(w.path,
                       "warning: the journal could not take the change, which undo cannot take back: " + noted.detail);
        }
        // What the replace could not keep (the owner) is named where the command says so.
        if (!w.tell_warnings) done.warnings.clear();
        report_outcome(w.path, done, w.left);
        if (!done) failed_ = true;
    }
    committing_.waiting.clear(); // and with them their locks, where they are still held
    committing_.outcome.clear();
    waiting_paths_.clear();
    for (const Waiting& w : waiting_) waiting_paths_.insert(w.path);
}

int Batch::run(const std::vector<std::string>& files, const Walk& walk, const FileWork& work) {
    bool failed = false;
    std::vector<std::string> within;
    std::vector<std::string> paths = expand_folders(files, walk.recursive, failed, &within);
    journal_.leave_out(paths, &within);
    if (walk.grouped) journal_.hold_flushes();
    sweep_ = walk.lock && (walk.recursive || paths.size() > 1);
    Progress progress(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        progress.step();
        if (!one({paths[i], within[i], nullptr, {}}, walk, work)) failed = true;
    }
    settle();
    // The old files kept for the group's next writers: none is left under a temporary name.
    platform::ReplacingWriter::let_go_of_old_files();
    return failed || failed_ ? k_failed : k_ok;
}

int Batch::stream(const std::vector<std::string>& files, const Walk& walk, const FileWork& work) {
    bool failed = false;
    Progress progress(walk.recursive ? Progress::k_unknown : files.size());
    for_each_file(files, walk.recursive, failed, [&](const FoundFile& found) {
        progress.step();
        if (!one(found, walk, work)) failed = true;
    });
    return failed ? k_failed : k_ok;
}

} // namespace cli

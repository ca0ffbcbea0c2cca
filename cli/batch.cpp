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

platform::Result Batch::one(const FoundFile& file, const Walk& walk, const FileWork& work) {
    // Our other writers wait from the read through the write: what is read is what is written.
    auto lock = std::make_unique<platform::WriteLock>();
    if (walk.lock) lock->hold(file.path);
    handed_over_ = false;
    platform::Result done = work(file);
    if (handed_over_ && done) {
        waiting_.back().lock = std::move(lock);
        waiting_.back().left = walk.left;
        if (group_.full()) commit_group();
        return done;
    }
    report_outcome(file.path, done, walk.left);
    return done;
}

platform::Result Batch::replace_later(std::unique_ptr<platform::ReplacingWriter> out, const std::string& path,
                                      std::optional<uint64_t> journal_at, bool tell_warnings) {
    if (platform::Result added = group_.add(std::move(out)); !added) return added;
    handed_over_ = true;
    waiting_.push_back({path, journal_at, tell_warnings, nullptr, {}});
    return {};
}

void Batch::commit_group() {
    if (waiting_.empty()) return;
    JournalFile* journal = this->journal();
    const std::vector<platform::Result> outcome = group_.commit([journal] {
        if (!journal) return platform::Result{};
        platform::Result flushed = journal->flush_held();
        if (!flushed) flushed.detail = "the journal cannot take the change: " + flushed.detail;
        return flushed;
    });
    for (size_t i = 0; i < waiting_.size(); ++i) {
        Waiting& w = waiting_[i];
        platform::Result done = outcome[i];
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
    waiting_.clear(); // and so their locks
}

int Batch::run(const std::vector<std::string>& files, const Walk& walk, const FileWork& work) {
    bool failed = false;
    std::vector<std::string> within;
    std::vector<std::string> paths = expand_folders(files, walk.recursive, failed, &within);
    journal_.leave_out(paths, &within);
    if (walk.grouped) journal_.hold_flushes();
    Progress progress(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        progress.step();
        if (!one({paths[i], within[i], nullptr, {}}, walk, work)) failed = true;
    }
    commit_group();
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

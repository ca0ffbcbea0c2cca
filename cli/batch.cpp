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
    platform::WriteLock lock;
    if (walk.lock) lock.hold(file.path);
    platform::Result done = work(file);
    report_outcome(file.path, done, walk.left);
    return done;
}

int Batch::run(const std::vector<std::string>& files, const Walk& walk, const FileWork& work) {
    bool failed = false;
    std::vector<std::string> within;
    std::vector<std::string> paths = expand_folders(files, walk.recursive, failed, &within);
    journal_.leave_out(paths, &within);
    Progress progress(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        progress.step();
        if (!one({paths[i], within[i], nullptr, {}}, walk, work)) failed = true;
    }
    return failed ? k_failed : k_ok;
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

#include "cli/journal_file.h"

#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/flag_user.h"
#include "cli/options.h"
#include "platform/text.h"

namespace cli {

using editing::JournalChange;
using platform::failure;
using platform::Fault;

platform::Result JournalFile::open(const std::string& path) {
    if (platform::path_kind(path) == platform::PathKind::missing) {
        platform::ReplacingWriter made;
        platform::Result step = made.begin(path);
        if (step) step = made.write(editing::k_journal_mark.data(), editing::k_journal_mark.size());
        if (step) step = made.commit();
        if (!step) return step;
    }
    if (platform::Result opened = file_.open(path, platform::File::Mode::read_write); !opened) return opened;
    std::string mark(editing::k_journal_mark.size(), '\0');
    if (!file_.read_at(0, mark.data(), mark.size()) || mark != editing::k_journal_mark) {
        static_cast<void>(file_.close());
        return failure(Fault::bad_input, "is no journal of tagzo-cli; it is left as it is");
    }
    return {};
}

platform::Result JournalFile::append(const std::string& bytes) {
    if (platform::Result put = file_.write_at(file_.size(), bytes.data(), bytes.size()); !put) return put;
    return file_.flush();
}

platform::Result JournalFile::before(const JournalChange& change, uint64_t& at) {
    at = file_.size();
    return append(editing::journal_before(change));
}

platform::Result JournalFile::before_region(const std::string& path, JournalChange::Kind kind, uint64_t offset,
                                            uint64_t& at) {
    platform::File f;
    if (platform::Result opened = f.open(path, platform::File::Mode::read); !opened) return opened;
    JournalChange c;
    c.kind = kind;
    c.path = path;
    c.old_size = f.size();
    c.offset = offset > c.old_size ? c.old_size : offset;
    c.old_bytes.resize(static_cast<size_t>(c.old_size - c.offset));
    if (!c.old_bytes.empty() && !f.read_at(c.offset, c.old_bytes.data(), c.old_bytes.size()))
        return failure(Fault::cannot_read, "cannot read it for the journal: " + f.read_error());
    return before(c, at);
}

platform::Result JournalFile::after(uint64_t at, const std::string& path, uint64_t offset) {
    platform::File f;
    if (platform::Result opened = f.open(path, platform::File::Mode::read); !opened) return opened;
    uint64_t hash = editing::k_hash_start;
    const uint64_t from = offset > f.size() ? f.size() : offset;
    if (!editing::hash_range(f, from, f.size() - from, hash))
        return failure(Fault::cannot_read, "cannot read it for the journal: " + f.read_error());
    return append(editing::journal_after(at, f.size(), hash));
}

int open_journal(const std::optional<std::string>& path, bool dry_run, JournalFile& journal) {
    if (!path) return k_ok;
    if (path->empty()) return usage("--journal needs a FILE");
    if (dry_run) return k_ok;
    if (platform::Result opened = journal.open(*path); !opened) {
        report(*path, "the journal: " + opened.detail);
        return k_failed;
    }
    return k_ok;
}

namespace {

// Whether the file is as the change left it: its size and the hash of its bytes from the
// change's offset.
bool as_left(const JournalChange& c, const std::string& path) {
    platform::File f;
    if (!f.open(path, platform::File::Mode::read) || f.size() != c.new_size) return false;
    uint64_t hash = editing::k_hash_start;
    const uint64_t from = c.kind == JournalChange::Kind::region ? c.offset : 0;
    return from <= f.size() && editing::hash_range(f, from, f.size() - from, hash) && hash == c.new_hash;
}

// Whether the file is as it was before the change: the old name taken and the new one free, or
// the old size and the old bytes from the change's offset.
bool as_before(const JournalChange& c) {
    if (c.kind == JournalChange::Kind::rename)
        return platform::path_kind(c.path) == platform::PathKind::file &&
               platform::path_kind(c.new_path) == platform::PathKind::missing;
    platform::File f;
    if (!f.open(c.path, platform::File::Mode::read) || f.size() != c.old_size || c.offset > c.old_size ||
        c.old_bytes.size() != c.old_size - c.offset)
        return false;
    std::string now(c.old_bytes.size(), '\0');
    return now.empty() || (f.read_at(c.offset, now.data(), now.size()) && now == c.old_bytes);
}

platform::Result put_back(const JournalChange& c) {
    using Kind = JournalChange::Kind;
    if (c.kind == Kind::rename) {
        if (platform::path_kind(c.path) != platform::PathKind::missing)
            return failure(Fault::write_failed, "its old name " + platform::sanitize_utf8(c.path) + " is taken");
        return platform::move_file(c.new_path, c.path);
    }
    if (c.kind == Kind::whole) {
        platform::ReplacingWriter out;
        platform::Result step = out.begin(c.path);
        if (step) step = out.write(c.old_bytes.data(), c.old_bytes.size());
        if (step) step = out.commit();
        return step;
    }
    platform::File f;
    if (platform::Result opened = f.open(c.path, platform::File::Mode::read_write); !opened) return opened;
    if (!c.old_bytes.empty()) {
        if (platform::Result put = f.write_at(c.offset, c.old_bytes.data(), c.old_bytes.size()); !put) return put;
    }
    if (platform::Result cut = f.truncate(c.old_size); !cut) return cut;
    return f.close();
}

} // namespace

int run_undo(const std::vector<std::string>& args) {
    const ParsedArguments p = parse_arguments(args, {});
    if (p.help) return help("undo");
    if (!p.ok()) return usage(p.error.text);
    if (p.operands.size() != 1) return usage("undo takes one journal FILE");
    const std::string& path = p.operands[0];
    platform::File file;
    if (platform::Result opened = file.open(path, platform::File::Mode::read); !opened) {
        report(path, "cannot open: " + opened.detail);
        return k_failed;
    }
    const editing::JournalRead j = editing::read_journal(file);
    if (!j.ok) {
        report(path, "is no journal of tagzo-cli; nothing undone");
        return k_failed;
    }
    for (const std::string& w : j.warnings) report(path, "warning: " + w);
    int status = j.warnings.empty() ? k_ok : k_failed;
    // Newest first: each change finds the file as the one after it left it. A change whose file
    // stands as before it, or before an earlier change of the same file, was undone already: a
    // second undo of a journal says so once instead of naming each file.
    size_t done = 0, already = 0;
    for (auto c = j.changes.rbegin(); c != j.changes.rend(); ++c) {
        if (!c->done) continue; // never made, or cut short: nothing to put back
        ++done;
        const bool renamed = c->kind == JournalChange::Kind::rename;
        const std::string& now = renamed ? c->new_path : c->path;
        if (!as_left(*c, now)) {
            bool undone = false;
            for (auto e = c; e != j.changes.rend() && !undone; ++e)
                undone = e->done && e->path == c->path && as_before(*e);
            if (undone) {
                ++already;
                continue;
            }
            report(now, "has changed since the journal's change; left as it is");
            status = k_failed;
            continue;
        }
        platform::WriteLock lock;
        lock.hold(now);
        if (platform::Result back = put_back(*c); !back) {
            report(now, "cannot be put back: " + back.detail);
            status = k_failed;
            continue;
        }
        write_out(platform::sanitize_utf8(now) + (renamed ? " -> " + platform::sanitize_utf8(c->path) : ": put back") +
                  "\n");
    }
    if (already == done && done > 0) report(path, "its changes are undone already; nothing to put back");
    else if (already > 0) report(path, std::to_string(already) + " of its changes were undone already and are left so");
    return status;
}

} // namespace cli

#include "cli/journal_file.h"

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/files.h"
#include "cli/options.h"
#include "platform/text.h"

namespace cli {

using editing::JournalChange;
using platform::failure;
using platform::Fault;

namespace {
// The current folder, ending in a separator.
std::string current_folder_with_separator() {
    std::string folder = platform::current_folder();
    const std::string_view seps = platform::path_separators();
    if (!folder.empty() && seps.find(folder.back()) == std::string_view::npos) folder += seps[0];
    return folder;
}
} // namespace

std::string journal_path_of(const std::string& path) {
    const std::string_view seps = platform::path_separators();
    const bool whole = (!path.empty() && seps.find(path[0]) != std::string_view::npos) ||
                       (seps.size() > 1 && path.size() >= 2 && path[1] == ':'); // C:\ on Windows
    return whole ? path : current_folder_with_separator() + path;
}

std::string shown_path(const std::string& journaled) {
    const std::string folder = current_folder_with_separator();
    if (!folder.empty() && journaled.size() > folder.size() && journaled.compare(0, folder.size(), folder) == 0)
        return journaled.substr(folder.size());
    return journaled;
}

std::string kept_folder_of(const std::string& journal) { return journal_path_of(journal) + ".kept"; }

namespace {
std::string kept_name(const std::string& folder, uint64_t at) {
    return folder + platform::path_separators()[0] + std::to_string(at);
}
} // namespace

void JournalFile::sweep_kept() const {
    std::vector<platform::FolderEntry> entries;
    const std::string folder = kept_folder_of(path_);
    if (!platform::list_folder(folder, entries)) return;
    const uint64_t end = file().size();
    for (const platform::FolderEntry& e : entries) {
        if (e.kind != platform::PathKind::file || e.name.empty() || e.name.size() > 19 ||
            e.name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (std::stoull(e.name) >= end) platform::remove_file(folder + platform::path_separators()[0] + e.name);
    }
}

platform::Result JournalFile::open(const std::string& path) {
    // A new journal is made whole under another name and moved into place only where no file
    // has that name yet: two commands that start on one new journal keep the one that came first.
    if (platform::path_kind(path) == platform::PathKind::missing) {
        std::random_device seed;
        const std::string made = path + ".new-" + std::to_string(seed()) + std::to_string(seed());
        if (platform::Result step =
                platform::replace_file_content(made, editing::k_journal_mark.data(), editing::k_journal_mark.size());
            !step)
            return step;
        if (platform::Result moved = platform::move_file(made, path); !moved) {
            platform::remove_file(made);
            if (platform::path_kind(path) == platform::PathKind::missing) return moved;
        }
    }
    // One command at a time appends: another one on the same journal waits here.
    lock_.hold(path, true);
    if (lock_.file() && !lock_.writable()) static_cast<void>(lock_.release());
    if (!lock_.file()) {
        if (platform::Result opened = file_.open(path, platform::File::Mode::read_write); !opened) return opened;
    }
    path_ = path;
    std::string mark(editing::k_journal_mark.size(), '\0');
    if (!file().read_at(0, mark.data(), mark.size()) ||
        (mark != editing::k_journal_mark && mark != editing::k_journal_mark_v1)) {
        static_cast<void>(file().close());
        return failure(Fault::bad_input, "is no journal of tagzo-cli; it is left as it is");
    }
    if (mark == editing::k_journal_mark_v1) {
        static_cast<void>(file().close());
        return failure(Fault::bad_input,
                       "is a journal of an earlier tagzo-cli, which takes no more changes; undo it, or name a new one");
    }
    sweep_kept();
    return {};
}

void JournalFile::leave_out(std::vector<std::string>& files, std::vector<std::string>* parallel) const {
    if (!is_open()) return;
    const std::string kept = kept_folder_of(path_);
    const bool has_kept = platform::path_kind(kept) == platform::PathKind::directory;
    // A walk gives a folder's files together: each folder is looked at once.
    std::string last_folder;
    bool last_in_kept = false;
    for (size_t i = files.size(); i-- > 0;) {
        std::string folder = platform::folder_of(files[i]);
        if (has_kept && (i + 1 == files.size() || folder != last_folder)) {
            last_in_kept = platform::same_file(folder, kept);
            last_folder = std::move(folder);
        }
        const bool in_kept = has_kept && last_in_kept;
        if (!in_kept && !platform::same_file(files[i], path_)) continue;
        files.erase(files.begin() + static_cast<std::ptrdiff_t>(i));
        if (parallel && i < parallel->size()) parallel->erase(parallel->begin() + static_cast<std::ptrdiff_t>(i));
    }
}

platform::Result JournalFile::append(const std::string& bytes, bool flush) {
    const uint64_t size = file().size();
    platform::Result put = file().write_at(size, bytes.data(), bytes.size());
    if (put && flush && !hold_) put = file().flush();
    if (!put) {
        static_cast<void>(file().truncate(size));
        static_cast<void>(file().flush());
    }
    return put;
}

platform::Result JournalFile::undone() { return append(editing::journal_undone()); }

platform::Result JournalFile::before(const JournalChange& change, uint64_t& at) {
    at = file().size();
    JournalChange c = change;
    c.path = journal_path_of(c.path);
    if (!c.new_path.empty()) c.new_path = journal_path_of(c.new_path);
    return append(editing::journal_before(c));
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

platform::Result JournalFile::before_replace(const std::string& path, uint64_t& at) {
    platform::File f;
    if (platform::Result opened = f.open(path, platform::File::Mode::read); !opened) return opened;
    const uint64_t old_size = f.size();
    static_cast<void>(f.close());
    const std::string folder = kept_folder_of(path_);
    if (!kept_.empty() || platform::make_folder(folder)) {
        kept_ = folder;
        const std::string kept = kept_name(folder, file().size());
        // A name left by a killed command is swept when the journal opens; none is there now.
        platform::remove_file(kept);
        if (platform::link_file(path, kept)) {
            // The kept name on the disk before the journal's record of it, and so before the replace.
            if (hold_) kept_unflushed_ = true;
            else platform::flush_folder(folder);
            JournalChange c;
            c.kind = JournalChange::Kind::linked;
            c.path = path;
            c.new_path = kept;
            c.old_size = old_size;
            if (platform::Result put = before(c, at); !put) {
                platform::remove_file(kept);
                return put;
            }
            linked_.insert(at);
            return {};
        }
    }
    // Another file system, or one without links: the old bytes go into the journal.
    return before_region(path, JournalChange::Kind::whole, 0, at);
}

platform::Result JournalFile::flush_held() {
    if (kept_unflushed_) platform::flush_folder(kept_);
    kept_unflushed_ = false;
    return file().flush();
}

platform::Result JournalFile::after(uint64_t at, const std::string& path, uint64_t offset) {
    platform::File f;
    if (platform::Result opened = f.open(path, platform::File::Mode::read); !opened) return opened;
    uint64_t hash = editing::k_hash_start;
    const uint64_t from = offset > f.size() ? f.size() : offset;
    const JournalChange::Kind kind = linked_.count(at) ? JournalChange::Kind::linked : JournalChange::Kind::whole;
    if (!editing::change_hash(kind, f, from, f.size() - from, hash))
        return failure(Fault::cannot_read, "cannot read it for the journal: " + f.read_error());
    // Not flushed on its own: the next record's flush takes it to the disk, as the close does.
    // One lost to a crash leaves its change to undo as cut short, which finds the file as is.
    return append(editing::journal_after(at, f.size(), hash), false);
}

namespace {

// Whether the file is as the change left it: its size and the hash of its bytes from the
// change's offset.
bool as_left(const JournalChange& c, const std::string& path) {
    platform::File f;
    if (!f.open(path, platform::File::Mode::read) || f.size() != c.new_size) return false;
    uint64_t hash = editing::k_hash_start;
    const uint64_t from = c.kind == JournalChange::Kind::region ? c.offset : 0;
    return from <= f.size() && editing::change_hash(c.kind, f, from, f.size() - from, hash) && hash == c.new_hash;
}

uint64_t size_of(const std::string& path) {
    platform::File f;
    return f.open(path, platform::File::Mode::read) ? f.size() : UINT64_MAX;
}

// Whether the file is as it was before the change: the old name taken and the new one free, or
// the old size and the old bytes from the change's offset.
bool as_before(const JournalChange& c) {
    if (c.kind == JournalChange::Kind::rename)
        return platform::path_kind(c.path) == platform::PathKind::file &&
               platform::path_kind(c.new_path) == platform::PathKind::missing;
    // The kept name still the file's own second name (the replace was not made); or gone, and
    // the file of its old size (never linked, or moved back).
    if (c.kind == JournalChange::Kind::linked)
        return platform::path_kind(c.new_path) == platform::PathKind::missing ? size_of(c.path) == c.old_size
                                                                               : platform::same_file(c.path, c.new_path);
    platform::File f;
    if (!f.open(c.path, platform::File::Mode::read) || f.size() != c.old_size || c.offset > c.old_size ||
        c.old_bytes.size() != c.old_size - c.offset)
        return false;
    std::string now(c.old_bytes.size(), '\0');
    return now.empty() || (f.read_at(c.offset, now.data(), now.size()) && now == c.old_bytes);
}

// A file moved back is on the disk once `moved` is flushed.
platform::Result put_back(const JournalChange& c, platform::FolderFlushes& moved) {
    using Kind = JournalChange::Kind;
    if (c.kind == Kind::rename) {
        if (platform::path_kind(c.path) != platform::PathKind::missing)
            return failure(Fault::write_failed, "its old name " + platform::sanitize_utf8(c.path) + " is taken");
        return platform::move_file(c.new_path, c.path);
    }
    if (c.kind == Kind::linked) {
        const uint64_t kept = size_of(c.new_path);
        if (kept == UINT64_MAX)
            return failure(Fault::cannot_open, "its old file, kept as " + platform::sanitize_utf8(c.new_path) +
                                                   ", is missing");
        if (kept != c.old_size)
            return failure(Fault::bad_input, "its old file, kept as " + platform::sanitize_utf8(c.new_path) +
                                                 ", is not of the size the journal recorded");
        return platform::move_over(c.new_path, c.path, &moved);
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

int run_undo(const ParsedArguments& p) {
    if (!p.ok()) return usage(p.error.text);
    if (p.operands.size() != 1) return usage("undo takes one journal FILE");
    const std::string& path = p.operands[0];
    // A command still writing the journal finishes first; the undo is then recorded in it.
    JournalFile record;
    if (platform::path_kind(path) == platform::PathKind::file) static_cast<void>(record.open(path));
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
    // Newest first: each change finds the file as the one after it left it. A change the journal
    // records as undone, or whose file stands as before it (or before an earlier change of the
    // same file), was undone already: a second undo says so once instead of naming each file.
    size_t counted = 0, already = 0;
    std::vector<std::string> put_back_now; // files this undo has put back, or found as they were
    std::set<std::string> swept;           // folders whose stale temporaries are gone
    platform::FolderFlushes moved;         // the folders of the files moved back, flushed once
    for (auto c = j.changes.rbegin(); c != j.changes.rend(); ++c) {
        ++counted;
        if (c->undone) {
            ++already;
            continue;
        }
        const bool renamed = c->kind == JournalChange::Kind::rename;
        const std::string& now = renamed ? c->new_path : c->path;
        // As a writer beginning there would, the temporaries a killed writer left go first.
        const std::string folder = platform::folder_of(now);
        if (swept.insert(folder).second) platform::remove_stale_temporaries(folder);
        const std::string shown = platform::sanitize_utf8(shown_path(now));
        const std::string back_to = renamed ? " -> " + platform::sanitize_utf8(shown_path(c->path)) : ": put back";
        if (!c->done) {
            // Cut short between the record and its end: the file stands as before the change,
            // or the change went through (in part, where it wrote in place): put back, named.
            // An earlier record of a change a later one took whole (set records the region, then
            // the whole file) stands as before once that one is back: nothing to say.
            if (as_before(*c)) {
                // A second name made for a replace that never came goes again.
                if (c->kind == JournalChange::Kind::linked && platform::path_kind(c->new_path) == platform::PathKind::file)
                    platform::remove_file(c->new_path);
                if (std::find(put_back_now.begin(), put_back_now.end(), c->path) != put_back_now.end()) continue;
                put_back_now.push_back(c->path); // said once
                write_out(platform::sanitize_utf8(shown_path(c->path)) + ": its change was cut short; as it was\n");
                continue;
            }
            platform::WriteLock lock;
            lock.hold(now);
            if (platform::Result back = put_back(*c, moved); !back) {
                report(now, "its change was cut short, and it cannot be put back: " + back.detail);
                status = k_failed;
                continue;
            }
            put_back_now.push_back(c->path);
            write_out(shown + back_to + " (its change was cut short)\n");
            continue;
        }
        if (!as_left(*c, now)) {
            bool undone = false;
            // A rename stands for itself; a change of content for every earlier one of that file.
            for (auto e = c; e != j.changes.rend() && !undone; ++e)
                undone = e->path == c->path && (e->kind == JournalChange::Kind::rename) == renamed && as_before(*e);
            if (undone) {
                ++already;
                continue;
            }
            report(shown_path(now), "has changed since the journal's change; left as it is");
            status = k_failed;
            continue;
        }
        platform::WriteLock lock;
        lock.hold(now);
        if (platform::Result back = put_back(*c, moved); !back) {
            report(shown_path(now), "cannot be put back: " + back.detail);
            status = k_failed;
            continue;
        }
        put_back_now.push_back(c->path);
        write_out(shown + back_to + "\n");
    }
    // The files moved back on the disk, before the undo is recorded.
    moved.flush();
    if (already == counted && counted > 0) report(path, "its changes are undone already; nothing to put back");
    else if (already > 0) report(path, std::to_string(already) + " of its changes were undone already and are left so");
    // Recorded, so that a later undo knows; only where every change is back.
    if (status == k_ok && already < counted && record.is_open()) {
        if (platform::Result noted = record.undone(); !noted)
            report(path, "warning: the journal could not record the undo: " + noted.detail);
        // Every kept file is back in its place.
        platform::remove_empty_folder(kept_folder_of(path));
    }
    return status;
}

} // namespace

extern const Command k_undo_command = {
    "undo",
    {},
    run_undo,
    "tagzo-cli undo JOURNAL   (--journal JOURNAL on a command that writes keeps what it replaces)\n",
    "usage: tagzo-cli undo JOURNAL\n"
    "Puts back, newest first and byte for byte, what the changes written with --journal JOURNAL\n"
    "replaced; a file that has changed since its change is left as it is, named. The journal keeps,\n"
    "before each change, the record's old bytes, or the old name, with paths whole from the root; a\n"
    "file rewritten whole is kept itself in the folder JOURNAL.kept beside it (a second name on the\n"
    "same disk; its bytes in the journal where no such name can be made), and undo moves it back.\n"
    "A change cut short is put back and named, a damaged record is left alone and named, and an\n"
    "undo records itself, so a second one changes nothing. Delete JOURNAL and JOURNAL.kept together\n"
    "once the changes are to stay.\n"
    "                                                        tagzo-cli set --journal j.log --album B *.mp3\n"
    "                                                        tagzo-cli undo j.log\n",
};

} // namespace cli

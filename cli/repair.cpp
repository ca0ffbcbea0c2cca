// `tagzo-cli repair`: the text frames of an ID3v2 tag that are marked Latin-1 but hold cp932
// (what old Japanese rippers wrote) written again in Unicode, every other byte of the tag's
// frames as it was.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/files.h"
#include "cli/journal_file.h"
#include "cli/loaded.h"
#include "cli/options.h"
#include "core/formats/id3v2.h"
#include "platform/file.h"
#include "platform/text.h"

namespace cli {

namespace {

struct Repaired {
    platform::Result result;
    std::vector<formats::Id3v2Repair> changes;
    int converted_from = 0; // the old version, where the tag goes into another
    bool nothing_to_do = false;
};

// Reads the tag at the start of the file and, unless `dry_run`, writes the file again with the
// repaired tag in front of the rest, byte for byte.
Repaired repair_one(const std::string& path, int asked_major, bool dry_run, Batch& batch) {
    JournalFile* journal = batch.journal();
    Repaired r;
    platform::File own;
    platform::File* read = nullptr;
    if (platform::Result opened = batch.open_current(path, own, read); !opened) {
        r.result = opened;
        return r;
    }
    platform::File& file = *read;
    // Its warnings were told by the load.
    // At the start, or a 2.4 tag with its footer at the end (before a record), which stays there.
    const formats::Id3v2Found old = formats::find_id3v2(file, file.size());
    if (!old.present) {
        r.nothing_to_do = true;
        return r;
    }
    if (old.damaged) {
        r.result = platform::failure(platform::Fault::cannot_read,
                                     "the ID3v2 tag is damaged, and a new one would lose the frames after the damage");
        return r;
    }
    const bool at_end = old.offset > 0;
    if (at_end && asked_major == 3) {
        r.result = platform::failure(platform::Fault::write_failed,
                                     "its ID3v2.4 tag stands at the end of the file, where a 2.3 tag cannot");
        return r;
    }
    const int major = asked_major ? asked_major : old.major == 4 ? 4 : 3;
    formats::Id3v2Rewrite rewrite = formats::repair_id3v2(major, old, r.changes);
    // A 2.2 tag is written as 2.3 only where it has something to mend, or where asked.
    if (!asked_major && old.major == 2 && r.changes.empty()) {
        r.nothing_to_do = true;
        return r;
    }
    if (!rewrite.left_behind.empty()) {
        r.changes.clear();
        r.result = platform::failure(
            platform::Fault::write_failed,
            "its " + rewrite.left_behind + " frame cannot be carried into ID3v2." + std::to_string(major));
        return r;
    }
    if (rewrite.tag.empty()) {
        r.nothing_to_do = true;
        return r;
    }
    for (const std::string& w : rewrite.warnings) report(path, "warning: " + w);
    if (major != old.major) r.converted_from = old.major;
    if (dry_run) return r;
    // A file its owner keeps read-only is left so, as `set` leaves it.
    if (batch.current_read_only(path)) {
        r = Repaired{platform::failure(platform::Fault::read_only, "the file is read-only"), {}, 0, false};
        return r;
    }
    // The journal takes the whole old file before it is replaced.
    uint64_t at = 0;
    if (journal) {
        if (platform::Result kept = journal->before_replace(path, at); !kept) {
            r.result =
                platform::failure(platform::Fault::write_failed, "the journal cannot take the change: " + kept.detail);
            return r;
        }
    }
    // The new tag in the old one's place: every byte before and after it as it was.
    const std::string tag = at_end ? formats::id3v2_with_footer(rewrite.tag) : rewrite.tag;
    auto out = std::make_unique<platform::ReplacingWriter>();
    platform::Result step = out->begin(path);
    if (step && old.offset > 0) step = out->copy_from(file, 0, old.offset);
    if (step) step = out->write(tag.data(), tag.size());
    if (step) step = out->copy_from(file, old.offset + old.size, file.size() - old.offset - old.size);
    // Only read from: the new file replaces it (a held file is let go with its lock). What the
    // replace could not keep (the owner) is not named by repair.
    static_cast<void>(own.close());
    if (step)
        step = batch.replace_later(std::move(out), path, journal ? std::optional<uint64_t>(at) : std::nullopt, false);
    r.result = step;
    return r;
}

int run_repair(const ParsedArguments& p) {
    if (!p.ok()) return usage(p.error.text);
    int major = 0;
    bool recursive = false, dry_run = false;
    std::optional<std::string> journal_path;
    for (const GivenOption& o : p.options) {
        if (o.name == "--id3v2.3") major = 3;
        else if (o.name == "--id3v2.4") major = 4;
        else if (o.name == "--recursive") recursive = true;
        else if (o.name == "--dry-run") dry_run = true;
        else if (o.name == "--journal") journal_path = o.value;
    }
    if (p.operands.empty()) return usage("repair needs at least one FILE");
    Batch batch;
    if (platform::Result opened = batch.open_journal(journal_path, dry_run); !opened) return exit_status(opened);
    // Our other writers wait from the read through the replace.
    return batch.run(p.operands, {recursive, !dry_run, "nothing written", true}, [&](const FoundFile& file) {
        const std::string& path = file.path;
        Loaded l;
        if (platform::Result loaded = load_mp3(path, l, batch.held_file()); !loaded) return loaded;
        // The tag of a file in the RMP form is inside its data chunk, with the stream.
        if (l.texts.rmp.is_rmp && l.id3v2.present)
            return platform::failure(platform::Fault::write_failed,
                                     "the file is in the RMP form, whose data chunk holds the ID3v2 tag; export it "
                                     "with --out first");
        if (l.texts.rmp.is_rmp) return platform::Result{};
        Repaired r = repair_one(path, major, dry_run, batch);
        if (r.converted_from)
            write_out(platform::sanitize_utf8(path) + ": ID3v2." + std::to_string(r.converted_from) + " -> ID3v2." +
                      std::to_string(major ? major : 3) + "\n");
        for (const formats::Id3v2Repair& c : r.changes)
            write_out(platform::sanitize_utf8(path) + ": " + c.id + " " + platform::sanitize_utf8(c.before) + " -> " +
                      c.after + "\n");
        if (!r.result && r.result.detail.empty()) r.result.detail = "cannot write";
        return r.result;
    });
}

} // namespace

extern const Command k_repair_command = {
    "repair",
    {KnownOption::flag("--id3v2.3"), KnownOption::flag("--id3v2.4"), KnownOption::flag("--recursive", "-r"),
     KnownOption::flag("--dry-run"), KnownOption::valued("--journal")},
    run_repair,
    "tagzo-cli repair [-r] [--dry-run] [--id3v2.3|--id3v2.4] [--journal J] FILE...\n",
    "usage: tagzo-cli repair [-r] [--dry-run] [--id3v2.3|--id3v2.4] [--journal J] FILE...\n"
    "Writes again in Unicode the ID3v2 text frames marked Latin-1 that hold code page 932,\n"
    "and nothing else; each change is printed as: path: FRAME old -> new\n"
    "  --dry-run        print the changes, write nothing     tagzo-cli repair --dry-run -r Music\n"
    "  --id3v2.3, --id3v2.4  the version (default: the tag's own; 2.2 becomes 2.3)\n"
    "                                                        tagzo-cli repair --id3v2.4 a.mp3\n"
    "  --journal FILE   keep what each change replaces, for undo: old bytes in FILE, a rewritten\n"
    "                   file's old self in the folder FILE.kept beside it (a second name, no copy)\n"
    "  -r, --recursive  walk the folders among the FILEs     tagzo-cli repair -r Music\n",
};

} // namespace cli

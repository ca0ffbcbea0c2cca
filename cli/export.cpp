// `tagzo-cli export`: an ID3v2 tag with the texts in Unicode, for the players that read ID3v1
// bytes as Latin-1 and so show cp932 texts as garbage.
#include <map>
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
#include "core/formats/rmp.h"
#include "platform/file.h"
#include "platform/text.h"

namespace cli {

namespace {

std::string utf8(const std::string& cp932) { return platform::cp932_to_utf8(cp932); }

// The texts for the new tag: the INFO texts of the RMP form (its long ones), else the record's.
formats::Id3v2Texts texts_of(const formats::ShownTexts& t, int major) {
    formats::Id3v2Texts x{utf8(t.title), utf8(t.artist), utf8(t.album), utf8(t.year), utf8(t.comment), ""};
    while (!x.year.empty() && x.year.back() == ' ') x.year.pop_back(); // the record pads the year
    const std::string& named = t.rmp.text[formats::IGNR];
    const uint8_t number = t.loaded.tag.genre;
    if (t.rmp.is_rmp && !named.empty()) x.genre = utf8(named);
    else if (number != formats::k_no_genre)
        x.genre = major == 4 ? std::to_string(number) : std::string("(").append(std::to_string(number)).append(")");
    return x;
}

// The output's name: the same name, or for a file in the RMP form the name with .mp3 in place
// of its .rmp, since the output is a plain MP3.
std::string output_name(const std::string& relative, bool rmp) {
    if (!rmp) return relative;
    const size_t n = relative.size();
    if (n >= 4 && relative[n - 4] == '.' && is_music_name(relative)) return relative.substr(0, n - 4) + ".mp3";
    return relative + ".mp3";
}

// Makes the folders of `relative` (joined with "/") under `out`.
platform::Result make_folders(const std::string& out, const std::string& relative) {
    for (size_t at = relative.find('/'); at != std::string::npos; at = relative.find('/', at + 1))
        if (platform::Result made = platform::make_folder(out + "/" + relative.substr(0, at)); !made) return made;
    return {};
}

struct Job {
    std::string path, target;
    int major = 0; // 3 or 4 as asked, 0 for the version of the file's own tag
    bool in_place = false;
    bool overwrite = false;
};

// The texts the new tag writes, field by field: the record's (the RMP form's), unless the old
// tag holds another text for the field, which stays (and is named in `kept`) unless the user
// said --overwrite. An old text that begins with the record's where the record holds a cut is
// the whole of that text, and stays without a word. An old text marked Latin-1 that held cp932
// is written again in Unicode. An empty text in the result keeps the old frame.
formats::Id3v2Texts merged_texts(const formats::ShownTexts& record, const formats::Id3v2Texts& ours,
                                 const formats::Id3v2Found& old, bool overwrite, std::vector<std::string>& kept) {
    if (!old.present) return ours;
    // The record's bytes of each text; a cut at a character's boundary may leave one short.
    const size_t sizes[] = {record.title.size(), record.artist.size(), record.album.size(), record.year.size(),
                            record.comment.size()};
    formats::Id3v2Texts t = ours;
    std::string formats::Id3v2Texts::*const fields[] = {&formats::Id3v2Texts::title, &formats::Id3v2Texts::artist,
                                                        &formats::Id3v2Texts::album, &formats::Id3v2Texts::year,
                                                        &formats::Id3v2Texts::comment};
    const size_t widths[] = {29, 29, 29, 4, 27};
    for (size_t i = 0; i < 5; ++i) {
        const std::string& mine = ours.*fields[i];
        const std::string& theirs = old.texts.*fields[i];
        const char* name = formats::k_id3v2_text_names[i];
        bool mis_marked = false;
        for (const std::string& m : old.mis_marked) mis_marked = mis_marked || m == name;
        // The tag says so already: its frames stay as they are (a second TPE1 too), unless
        // Latin-1 was the wrong mark.
        if (theirs == mine) {
            if (!mis_marked) t.*fields[i] = "";
            continue;
        }
        if (theirs.empty() || overwrite) continue;
        // Kept: as it was, or in Unicode where Latin-1 was the wrong mark.
        t.*fields[i] = mis_marked ? theirs : "";
        const bool cut = !mine.empty() && theirs.compare(0, mine.size(), mine) == 0 && sizes[i] >= widths[i];
        if (!mine.empty() && !cut)
            kept.push_back("the ID3v2 " + std::string(name) + " '" + platform::sanitize_utf8(theirs) +
                           "' differs from the record's '" + mine + "' and is kept (--overwrite writes the record's)");
    }
    if (!old.texts.genre.empty() && !overwrite) t.genre.clear();
    return t;
}

// Writes the new form of one file. The original is read while the new one is written beside
// the target. Opened here, it is closed before the target is replaced (Windows cannot replace
// an open file); read through its lock (POSIX), it stays open, locked, until the replace.
platform::Result export_one(const Job& job, const Loaded& l, Batch& batch) {
    JournalFile* journal = batch.journal();
    platform::File own;
    platform::File* read = nullptr;
    if (platform::Result opened = batch.open_current(job.path, own, read); !opened) return opened;
    platform::File& file = *read;
    const bool rmp = l.texts.rmp.is_rmp || formats::is_rmp_file(file);
    formats::ByteRange stream{0, file.size()};
    formats::RecordBytes record{};
    bool add_record = false;
    std::vector<std::string> warnings;
    if (rmp) {
        formats::RmpLayout layout = formats::walk_rmp(file);
        stream = layout.stream;
        warnings = layout.warnings;
        if (layout.has_iid3 && file.read_at(layout.iid3_data, record.data(), record.size())) {
            add_record = true;
        } else {
            formats::Tag tag = l.texts.loaded.tag;
            tag.title = l.texts.title;
            tag.artist = l.texts.artist;
            tag.album = l.texts.album;
            tag.year = l.texts.year;
            tag.comment = l.texts.comment;
            record = formats::make_record(tag);
            add_record = true;
        }
    }
    formats::Id3v2Found old = formats::read_id3v2(file, stream.offset, stream.length);
    // A 2.4 tag with its footer at the end of a plain file is exported in its place: a second
    // tag at the front would leave the file with two.
    if (!rmp && !old.present && old.warnings.empty()) {
        formats::Id3v2Found end = formats::find_id3v2(file, file.size());
        if (end.present && end.offset > 0) old = std::move(end);
    }
    const bool at_end = !rmp && old.present && old.offset > 0;
    if (at_end && job.major == 3)
        return platform::failure(platform::Fault::write_failed,
                                 "its ID3v2.4 tag stands at the end of the file, where a 2.3 tag cannot");
    // Damage ends the frames that are read: a new tag would drop the ones after it.
    if (old.damaged)
        return platform::failure(platform::Fault::cannot_read,
                                 "the ID3v2 tag is damaged, and a new one would lose the frames after the damage");
    // The file's own version, where 2.2 becomes 2.3.
    const int major = job.major ? job.major : old.present && old.major == 4 ? 4 : 3;
    std::vector<std::string> kept;
    const formats::Id3v2Texts texts = merged_texts(l.texts, texts_of(l.texts, major), old, job.overwrite, kept);
    formats::Id3v2Rewrite rewrite = formats::rewrite_id3v2(major, texts, old);
    if (!rewrite.left_behind.empty())
        return platform::failure(
            platform::Fault::write_failed,
            "its " + rewrite.left_behind + " frame cannot be carried into ID3v2." + std::to_string(major));
    if (old.present && !at_end) {
        stream.offset += old.size;
        stream.length -= old.size;
    }
    for (const std::string& n : rewrite.warnings) warnings.push_back(n);
    for (const std::string& n : warnings) report(job.path, "warning: " + n);
    for (const std::string& n : kept) report(job.path, n);

    // In place, the journal takes the whole old file before it is replaced.
    uint64_t at = 0;
    if (journal && job.in_place) {
        if (platform::Result saved = journal->before_replace(job.path, at); !saved)
            return platform::failure(platform::Fault::write_failed,
                                     "the journal cannot take the change: " + saved.detail);
    }
    auto out = std::make_unique<platform::ReplacingWriter>();
    if (platform::Result begun = out->begin(job.target); !begun) return begun;
    if (at_end) {
        const std::string tag = formats::id3v2_with_footer(rewrite.tag);
        if (platform::Result put = out->copy_from(file, 0, old.offset); !put) return put;
        if (platform::Result put = out->write(tag.data(), tag.size()); !put) return put;
        const uint64_t after = old.offset + old.size;
        if (platform::Result put = out->copy_from(file, after, file.size() - after); !put) return put;
    } else {
        if (platform::Result put = out->write(rewrite.tag.data(), rewrite.tag.size()); !put) return put;
        if (platform::Result put = out->copy_from(file, stream.offset, stream.length); !put) return put;
    }
    if (add_record) {
        if (platform::Result put = out->write(record.data(), record.size()); !put) return put;
    }
    // Only read from: the new file replaces it (a held file is let go with its lock).
    static_cast<void>(own.close());
    const bool journaled = journal && job.in_place;
    return batch.replace_later(std::move(out), job.path, journaled ? std::optional<uint64_t>(at) : std::nullopt);
}

int run_export(const ParsedArguments& p) {
    if (!p.ok()) return usage(p.error.text);
    int major = 0;
    bool recursive = false, overwrite = false;
    std::optional<std::string> out_dir, journal_path;
    for (const GivenOption& o : p.options) {
        if (o.name == "--id3v2.3") major = 3;
        else if (o.name == "--id3v2.4") major = 4;
        else if (o.name == "--recursive") recursive = true;
        else if (o.name == "--overwrite") overwrite = true;
        else if (o.name == "--out") out_dir = o.value;
        else if (o.name == "--journal") journal_path = o.value;
    }
    if (p.operands.empty()) return usage("export needs at least one FILE");
    if (out_dir && out_dir->empty()) return usage("--out needs a folder");
    Batch batch;
    if (platform::Result opened = batch.open_journal(journal_path, false); !opened) return exit_status(opened);
    if (out_dir && platform::path_kind(*out_dir) != platform::PathKind::directory) {
        if (platform::Result made = platform::make_folder(*out_dir); !made) {
            report(*out_dir, "cannot make the output folder: " + made.detail);
            return k_failed;
        }
    }
    std::map<std::string, std::string> outputs; // the output names under --out, and whose they are
    // Our other writers wait from the read through the replace: what is read is what is rewritten.
    return batch.run(p.operands, {recursive, true, "nothing written", true}, [&](const FoundFile& file) {
        const std::string& path = file.path;
        auto failed = [](const std::string& why) { return platform::failure(platform::Fault::write_failed, why); };
        Loaded l;
        if (platform::Result loaded = load_mp3(path, l, batch.held_file()); !loaded) return loaded;
        // Without the record or the RMP form there is nothing to export, and an ID3v2 tag of
        // the file's own stays as it is.
        if (!l.texts.loaded.has_record && !l.texts.rmp.is_rmp) {
            report(path, "neither an ID3v1 record nor the RMP form to export; the file is left as it is");
            return platform::Result{};
        }
        Job job{path, path, major, !out_dir, overwrite};
        if (out_dir) {
            const std::string name = output_name(file.within, l.texts.rmp.is_rmp);
            if (platform::Result made = make_folders(*out_dir, name); !made)
                return failed("cannot make the output folder: " + made.detail);
            job.target = *out_dir + "/" + name;
            job.in_place = platform::same_file(path, job.target);
            // Two files of one name (song.mp3 and song.rmp, or a.mp3 from two folders given
            // apart) would write one output: the later one fails, as a rename clash does.
            std::string key = name;
#ifdef _WIN32
            for (char& c : key)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
#endif
            const auto [taken, fresh] = outputs.emplace(key, path);
            if (!fresh)
                return failed("its output " + platform::sanitize_utf8(job.target) + " is " +
                              platform::sanitize_utf8(taken->second) + "'s already");
        }
        // A file its owner keeps read-only is left so, as `set` leaves it.
        if (job.in_place && batch.current_read_only(path)) return failed("the file is read-only");
        if (job.in_place && l.texts.rmp.is_rmp)
            return failed(
                "the file is in the RMP form, which alone holds its long texts; export it with --out into another folder");
        platform::Result exported = export_one(job, l, batch);
        // What the new file could not keep (its owner), as `set` names it, comes with it.
        if (!exported && exported.detail.empty()) exported.detail = "cannot write";
        return exported;
    });
}

} // namespace

extern const Command k_export_command = {
    "export",
    {KnownOption::flag("--id3v2.3"), KnownOption::flag("--id3v2.4"), KnownOption::flag("--recursive", "-r"),
     KnownOption::flag("--overwrite"), KnownOption::valued("--out", "--out needs a folder"),
     KnownOption::valued("--journal")},
    run_export,
    "tagzo-cli export [-r] [--id3v2.3|--id3v2.4] [--overwrite] [--out DIR] [--journal J] FILE...\n",
    "usage: tagzo-cli export [-r] [--id3v2.3|--id3v2.4] [--overwrite] [--out DIR] [--journal J] FILE...\n"
    "Writes the record's texts (the RMP form's) into an ID3v2 tag in Unicode, keeping every frame\n"
    "of the tag the file has.\n"
    "  --id3v2.3, --id3v2.4  the version (default: the file's own tag's, else 2.3)\n"
    "                                                        tagzo-cli export --id3v2.4 a.mp3\n"
    "  --overwrite      the record's texts replace differing texts of the tag\n"
    "                                                        tagzo-cli export --overwrite a.mp3\n"
    "  --out DIR        write new files under DIR, leave the originals\n"
    "                                                        tagzo-cli export -r --out plain Music\n"
    "  --journal FILE   keep what each change replaces, for undo: old bytes in FILE, a rewritten\n"
    "                   file's old self in the folder FILE.kept beside it (a second name, no copy)\n"
    "  -r, --recursive  walk the folders among the FILEs     tagzo-cli export -r Music\n",
};

} // namespace cli

// `tagzo-cli rename`: the editor's rename by tag, in the file's own folder. Unlike the editor it
// makes the full-width replacements always, not after a failed move, so that a name is the same
// on every system and a dry run can tell it.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/files.h"
#include "cli/journal_file.h"
#include "cli/loaded.h"
#include "cli/options.h"
#include "core/editing/load_file.h"
#include "core/editing/paths.h"
#include "platform/file.h"
#include "platform/text.h"

namespace cli {

namespace {

// The name a --format makes from the tag (cp932): %a the artist, %t the title, %b the album, %y
// the year, %n the track in two digits, %% a percent sign; ".mp3" follows. Empty with `why`
// naming the field the tag lacks.
std::string formatted_name(const std::string& format, const formats::ShownTexts& t, std::string& why) {
    std::string name;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            name += format[i];
            continue;
        }
        const char c = format[++i];
        std::string year = t.year;
        while (!year.empty() && year.back() == ' ') year.pop_back();
        char two_digits[8] = "";
        if (t.loaded.track) std::snprintf(two_digits, sizeof two_digits, "%02u", static_cast<unsigned>(t.loaded.track));
        const std::string track = two_digits;
        const std::string* field = c == 'a' ? &t.artist : c == 't' ? &t.title : c == 'b' ? &t.album : nullptr;
        const std::string value = field ? *field : c == 'y' ? year : c == 'n' ? track : std::string(1, c);
        if (value.empty()) {
            why = std::string("no ") +
                  (c == 'a'   ? "artist"
                   : c == 't' ? "title"
                   : c == 'b' ? "album"
                   : c == 'y' ? "year"
                              : "track") +
                  " in the tag for %" + c;
            return {};
        }
        name += value;
    }
    return name + ".mp3";
}

// A file with neither a record nor the RMP form is named from its ID3v2 texts, in code page
// 932 (a character that code page lacks becomes "?", which a name then takes as "_" as ever).
void take_id3v2_texts(Loaded& l) {
    if (l.texts.loaded.has_record || l.texts.rmp.is_rmp || !l.id3v2.present) return;
    const formats::Tag t = editing::id3v2_fields(l.id3v2);
    l.texts.title = t.title;
    l.texts.artist = t.artist;
    l.texts.album = t.album;
    l.texts.year = t.year;
    unsigned track = 0;
    for (char c : l.id3v2.track) {
        if (c < '0' || c > '9' || track > 255) break;
        track = track * 10 + static_cast<unsigned>(c - '0');
    }
    l.texts.loaded.track = track <= 255 ? static_cast<uint8_t>(track) : 0;
}

// Names one file from its tag; a dry run prints the rename alone.
struct Renamer {
    int32_t pattern;
    std::optional<std::string> format;
    bool dry_run;
    JournalFile* journal;
    std::set<std::string> taken; // names a dry run has given away already

    platform::Result rename(const std::string& path);
};

platform::Result Renamer::rename(const std::string& path) {
    auto failed = [](const std::string& why) { return platform::failure(platform::Fault::write_failed, why); };
    Loaded l;
    if (platform::Result loaded = load_mp3(path, l); !loaded) return loaded;
    take_id3v2_texts(l);
    const std::string_view separators = platform::path_separators();
    const editing::TagRename plan =
        editing::plan_tag_rename(path, pattern, l.texts.rmp.is_rmp, l.texts.artist, l.texts.title, separators);
    std::string made = plan.name, why;
    if (format) {
        made = formatted_name(*format, l.texts, why);
        if (made.empty()) return failed(why);
    } else if (!plan.has_texts) {
        return failed("no title or no artist in the tag");
    }
    std::string name;
    static_cast<void>(editing::replace_unusable_chars(made, name));
    if ((!format && plan.same_name) || editing::has_name(path, name, separators)) return {};
    // A backslash has no look-alike: on Windows it would make a path into some folder.
    if (editing::find_last_backslash(name) != std::string::npos)
        return failed("the tag gives a name with a backslash, which no file name holds");
    // The file system's limit, which a dry run meets as a real run does.
    if (!platform::name_fits(platform::cp932_to_utf8(name)))
        return failed("the tag gives a name longer than the file system takes (255)");
    const std::string new_path = editing::path_beside(path, name, separators);
    const std::string line = platform::sanitize_utf8(path) + " -> " + platform::sanitize_utf8(new_path) + "\n";
    if (dry_run) {
        if (platform::path_kind(new_path) != platform::PathKind::missing || !taken.insert(new_path).second)
            return failed(platform::sanitize_utf8(new_path) + " exists");
        write_out(line);
        return {};
    }
    // The journal takes the old name first.
    uint64_t at = 0;
    if (journal) {
        editing::JournalChange c;
        c.kind = editing::JournalChange::Kind::rename;
        c.path = path;
        c.new_path = new_path;
        if (platform::Result kept = journal->before(c, at); !kept)
            return failed("the journal cannot take the rename: " + kept.detail);
    }
    if (platform::Result moved = platform::move_file(path, new_path); !moved)
        return failed("cannot rename to " + platform::sanitize_utf8(new_path) + ": " + moved.detail);
    platform::Result done;
    if (journal) {
        if (platform::Result noted = journal->after(at, new_path, 0); !noted) {
            report(path,
                   "warning: the journal could not take the rename, which undo cannot take back: " + noted.detail);
            done = platform::failure(platform::Fault::write_failed); // named
        }
    }
    write_out(line);
    return done;
}

int run_rename(const ParsedArguments& p) {
    int32_t pattern = 0;
    bool dry_run = false, recursive = false;
    std::optional<std::string> journal_path, format;
    // A value is checked in its place on the line, so the first usage error there is the one named.
    for (const GivenOption& o : p.options) {
        if (o.name == "--dry-run") {
            dry_run = true;
        } else if (o.name == "--recursive") {
            recursive = true;
        } else if (o.name == "--journal") {
            journal_path = o.value;
        } else if (o.name == "--format") {
            for (size_t i = 0; i < o.value.size(); ++i)
                if (o.value[i] == '%' &&
                    (i + 1 >= o.value.size() || std::string("atbyn%").find(o.value[++i]) == std::string::npos))
                    return usage("--format takes %a %t %b %y %n and %% beside its text");
            if (o.value.find_first_not_of(" ") == std::string::npos) return usage("--format needs a FORMAT");
            std::string cp932, bad;
            if (!platform::utf8_to_cp932(o.value, cp932, bad))
                return usage("--format: '" + bad + "' has no form in code page 932");
            format = cp932;
        } else if (o.name == "--pattern") {
            if (o.value != "0" && o.value != "1")
                return usage("--pattern takes 0 for (artist)title.mp3 or 1 for artist-title.mp3");
            pattern = o.value == "1" ? 1 : 0;
        }
    }
    if (!p.ok()) return usage(p.error.text);
    if (p.operands.empty()) return usage("rename needs at least one FILE");
    Batch batch;
    if (platform::Result opened = batch.open_journal(journal_path, dry_run); !opened) return exit_status(opened);
    Renamer renamer{pattern, format, dry_run, batch.journal(), {}};
    // A set of this file waits from our read of the tag through the move, so that its replace
    // cannot bring back the old name with the new tag.
    return batch.run(p.operands, {recursive, !dry_run, "the name stays"},
                     [&](const FoundFile& file) { return renamer.rename(file.path); });
}

} // namespace

extern const Command k_rename_command = {
    "rename",
    {KnownOption::flag("--dry-run"), KnownOption::flag("--recursive", "-r"), KnownOption::valued("--pattern"),
     KnownOption::valued("--journal"), KnownOption::valued("--format")},
    run_rename,
    "tagzo-cli rename [-r] [--pattern 0|1|--format FORMAT] [--dry-run] [--journal J] FILE...\n",
    "usage: tagzo-cli rename [-r] [--pattern 0|1|--format FORMAT] [--dry-run] [--journal J] FILE...\n"
    "Names each file from its tag, in its own folder.\n"
    "  --pattern 0|1    (artist)title.mp3 (0, the default) or artist-title.mp3 (1)\n"
    "                                                        tagzo-cli rename --pattern 1 a.mp3\n"
    "  --format FORMAT  %a artist, %t title, %b album, %y year, %n track (two digits), %% a %\n"
    "                                                        tagzo-cli rename --format \"%n %t\" *.mp3\n"
    "  --dry-run        print the renames, change nothing    tagzo-cli rename --dry-run -r Music\n"
    "  --journal FILE   keep the old names, for undo          tagzo-cli rename --journal j.log -r Music\n"
    "  -r, --recursive  walk the folders among the FILEs     tagzo-cli rename -r Music\n",
};

} // namespace cli

// `tagzo-cli import`: the record written from the texts of the file's ID3v2 tag, in code page
// 932, for the Japanese players that read only ID3v1.
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/files.h"
#include "cli/set.h"
#include "cli/journal_file.h"
#include "cli/loaded.h"
#include "cli/options.h"
#include "core/formats/tag.h"
#include "core/formats/text_rules.h"
#include "platform/file.h"
#include "platform/text.h"

namespace cli {

namespace {

// A number from a genre as ID3v2 writes one: "17", "(17)" or "(17)Rock"; none for a name.
std::optional<uint8_t> genre_number(const std::string& genre) {
    std::string digits = genre;
    if (!digits.empty() && digits[0] == '(') digits = digits.substr(1, digits.find(')') - 1);
    if (digits.empty() || digits.size() > 3 || digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const long n = std::strtol(digits.c_str(), nullptr, 10);
    if (n > 254) return std::nullopt;
    return static_cast<uint8_t>(n);
}

// The options that write the tag's texts into the record: each text in cp932, cut to the
// record's width on a character's boundary (to 255 bytes with `rmp`); an empty text keeps the
// record's; a failure names a text that has no cp932 form.
platform::Result options_from_tag(const Loaded& l, bool rmp, SetOptions& o, std::vector<std::string>& changes) {
    const formats::Id3v2Texts& v2 = l.id3v2.texts;
    const formats::ShownTexts& now = l.texts;
    const struct {
        const char* name;
        std::string text;
        size_t width;
        const std::string& current;
        std::optional<std::string>& option;
    } fields[] = {{"title", v2.title, formats::k_id3_width, now.title, o.title},
                  {"artist", v2.artist, formats::k_id3_width, now.artist, o.artist},
                  {"album", v2.album, formats::k_id3_width, now.album, o.album},
                  {"year", v2.year.substr(0, 4), formats::k_id3_year_width, now.year, o.year},
                  {"comment", v2.comment, formats::k_id3_width, now.comment, o.comment}};
    for (const auto& f : fields) {
        if (f.text.empty()) continue;
        std::string cp932, bad;
        if (!platform::utf8_to_cp932(f.text, cp932, bad))
            return platform::failure(platform::Fault::bad_input, std::string("its ID3v2 ") + f.name + " holds '" +
                                                                     platform::sanitize_utf8(bad) +
                                                                     "', which has no form in code page 932");
        cp932 = formats::cut_to_width(cp932,
                                      rmp && f.width != formats::k_id3_year_width ? formats::k_text_capacity : f.width);
        if (formats::equal_ignoring_case(cp932, f.current)) continue;
        f.option = cp932;
        changes.push_back(std::string(f.name) + " " + platform::cp932_to_utf8(f.current) + " -> " +
                          platform::cp932_to_utf8(cp932));
    }
    if (const std::optional<uint8_t> genre = genre_number(v2.genre); genre && *genre != now.loaded.tag.genre) {
        o.genre = genre;
        changes.push_back("genre " + std::to_string(now.loaded.tag.genre) + " -> " + std::to_string(*genre));
    }
    // The track ("3" or "3/12") goes into the comment's last two bytes where they are free.
    const std::string& track = l.id3v2.track;
    const long number = std::strtol(track.substr(0, track.find('/')).c_str(), nullptr, 10);
    const std::string comment = o.comment.value_or(now.comment);
    if (number >= 1 && number <= 255 && number != now.loaded.track &&
        formats::cut_to_width(comment, formats::k_id3_width).size() <= formats::k_id3_width - 2) {
        o.track = static_cast<uint8_t>(number);
        changes.push_back("track " + std::to_string(now.loaded.track) + " -> " + std::to_string(number));
    }
    return {};
}

int run_import(const ParsedArguments& p) {
    if (!p.ok()) return usage(p.error.text);
    bool rmp = false, dry_run = false, recursive = false;
    std::optional<std::string> journal_path;
    for (const GivenOption& g : p.options) {
        if (g.name == "--rmp") rmp = true;
        else if (g.name == "--dry-run") dry_run = true;
        else if (g.name == "--recursive") recursive = true;
        else if (g.name == "--journal") journal_path = g.value;
    }
    if (p.operands.empty()) return usage("import needs at least one FILE");
    Batch batch;
    if (platform::Result opened = batch.open_journal(journal_path, dry_run); !opened) return exit_status(opened);
    SetOptions base;
    base.no_rmp = !rmp;
    base.no_id3v2 = true; // the record comes from the tag, which stays as it is
    base.journal = batch.journal();
    settings::Settings st = settings_for(base);
    // Each file's write lock is held for writing through it, as `set` holds it; conversions
    // are replaced a group at a time.
    return batch.run(p.operands, {recursive, true, "nothing written", false, true}, [&](const FoundFile& file) {
        const std::string& path = file.path;
        Loaded l;
        if (platform::Result loaded = load_mp3(path, l, batch.held_file()); !loaded) return loaded;
        if (!l.id3v2.present) {
            report(path, "no ID3v2 tag to import; the file is left as it is");
            return platform::Result{};
        }
        SetOptions o = base;
        std::vector<std::string> changes;
        if (platform::Result taken = options_from_tag(l, rmp, o, changes); !taken) return taken;
        if (changes.empty()) return platform::Result{};
        // A file its owner keeps read-only is left so, as `set` leaves it, before any plan.
        if (!dry_run && batch.current_read_only(path))
            return platform::failure(platform::Fault::read_only, "the file is read-only");
        for (const std::string& c : changes) write_out(platform::sanitize_utf8(path) + ": " + c + "\n");
        return dry_run ? platform::Result{} : set_file(o, st, path, &batch);
    });
}

} // namespace

extern const Command k_import_command = {
    "import",
    {KnownOption::flag("--rmp"), KnownOption::flag("--dry-run"), KnownOption::flag("--recursive", "-r"),
     KnownOption::valued("--journal")},
    run_import,
    "tagzo-cli import [-r] [--rmp] [--dry-run] [--journal J] FILE...\n",
    "usage: tagzo-cli import [-r] [--rmp] [--dry-run] [--journal J] FILE...\n"
    "Writes the record from the texts of the file's ID3v2 tag, in code page 932, cut to 30 bytes\n"
    "(the year 4) on a character's boundary; each change is printed as: path: field old -> new\n"
    "  --rmp            longer texts take the RMP form whole  tagzo-cli import --rmp a.mp3\n"
    "  --dry-run        print the changes, write nothing     tagzo-cli import --dry-run -r Music\n"
    "  --journal FILE   keep what each change replaces, for undo: old bytes in FILE, a rewritten\n"
    "                   file's old self in the folder FILE.kept beside it (a second name, no copy)\n"
    "  -r, --recursive  walk the folders among the FILEs     tagzo-cli import -r Music\n",
};

} // namespace cli

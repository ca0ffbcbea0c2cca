// tagzo-cli: shows, sets and renames by their tags MP3 files in batches, for scripts.
//   tagzo-cli show [-r] [--json] FILE...
//   tagzo-cli set [-r] [--title T] [--artist A] [--album B] [--year Y] [--comment C] [--genre N]
//                 [--no-rmp] [--display-name NAME] FILE...
//   tagzo-cli set [--no-rmp] [--display-name NAME] --json FILE.jsonl|-
//   tagzo-cli rename [-r] [--pattern 0|1] [--dry-run] FILE...
//   tagzo-cli export [-r] [--id3v2.3|--id3v2.4] [--out DIR] FILE...
// Exit status: 0 every file done, 1 some file failed (named on stderr, left as it was),
// 2 usage error (nothing written).
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/export.h"
#include "cli/files.h"
#include "cli/flag_user.h"
#include "cli/json.h"
#include "cli/loaded.h"
#include "core/settings/settings.h"
#include "core/editing/apply_tag.h"
#include "core/formats/load.h"
#include "core/editing/load_file.h"
#include "core/editing/paths.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/text.h"

namespace {

constexpr int k_ok = 0, k_failed = 1, k_usage = 2;

const char* const k_usage_text =
    "usage: tagzo-cli show [-r] [--json] FILE...\n"
    "       tagzo-cli set [-r] [--title T] [--artist A] [--album B] [--year Y] [--comment C]\n"
    "                     [--genre N] [--no-rmp] [--display-name NAME] FILE...\n"
    "       tagzo-cli set [--no-rmp] [--display-name NAME] --json FILE.jsonl|-\n"
    "       tagzo-cli rename [-r] [--pattern 0|1] [--dry-run] FILE...\n"
    "       tagzo-cli export [-r] [--id3v2.3|--id3v2.4] [--out DIR] FILE...\n"
    "  -r, --recursive: folders among the FILEs are walked for their .mp3 and .rmp files\n";

int usage(const std::string& why) {
    cli::write_err("tagzo-cli: " + why + "\n" + k_usage_text);
    return k_usage;
}

using cli::load;
using cli::Loaded;
using cli::report;

using cli::json::quote;

std::string shown(const std::string& cp932) { return platform::cp932_to_utf8(cp932); }

const char* form_name(const Loaded& l) {
    if (l.kind != formats::FileKind::mp3) return "none";
    if (l.texts.rmp.is_rmp) return "rmp";
    return l.texts.loaded.has_record ? "id3" : "none";
}

std::string show_json(const std::string& path, const Loaded& l) {
    const formats::ShownTexts& t = l.texts;
    std::string j = "{\"path\":" + quote(platform::sanitize_utf8(path));
    j += ",\"kind\":" + quote(l.opened ? formats::kind_name(l.kind) : "unknown");
    j += ",\"form\":" + quote(l.opened ? form_name(l) : "none");
    j += ",\"title\":" + quote(shown(t.title));
    j += ",\"artist\":" + quote(shown(t.artist));
    j += ",\"album\":" + quote(shown(t.album));
    j += ",\"year\":" + quote(shown(t.year));
    j += ",\"comment\":" + quote(shown(t.comment));
    j += ",\"genre\":" + std::to_string(t.loaded.tag.genre);
    if (t.loaded.has_record) {
        const formats::Id3v1Record& r = t.loaded.record;
        j += ",\"id3\":{\"title\":" + quote(shown(r.title)) + ",\"artist\":" + quote(shown(r.artist)) +
             ",\"album\":" + quote(shown(r.album)) + ",\"year\":" + quote(shown(r.year)) +
             ",\"comment\":" + quote(shown(r.comment)) + ",\"genre\":" + std::to_string(r.genre) +
             ",\"track\":" + (t.loaded.track ? std::to_string(t.loaded.track) : std::string("null")) + "}";
    } else {
        j += ",\"id3\":null";
    }
    if (t.rmp.is_rmp) {
        j += ",\"info\":{";
        for (size_t i = 0; i < formats::k_rmp_text_count; ++i) {
            if (i) j += ",";
            j += quote(formats::k_rmp_ids[i]) + ":" + quote(shown(t.rmp.text[i]));
        }
        j += "}";
    } else {
        j += ",\"info\":null";
    }
    j += ",\"error\":" + (l.error.empty() ? std::string("null") : quote(l.error));
    return j + "}\n";
}

std::string show_text(const std::string& path, const Loaded& l) {
    std::string s = platform::sanitize_utf8(path) + ": " + (l.opened ? formats::kind_name(l.kind) : "unknown") +
                    ", form " + (l.opened ? form_name(l) : "none") + "\n";
    if (!l.opened || l.kind != formats::FileKind::mp3) return s;
    const formats::ShownTexts& t = l.texts;
    s += "  title   : " + shown(t.title) + "\n";
    s += "  artist  : " + shown(t.artist) + "\n";
    s += "  album   : " + shown(t.album) + "\n";
    s += "  year    : " + shown(t.year) + "\n";
    s += "  comment : " + shown(t.comment) + "\n";
    s += "  genre   : " + std::to_string(t.loaded.tag.genre) + "\n";
    if (t.loaded.has_record && t.loaded.track) s += "  track   : " + std::to_string(t.loaded.track) + "\n";
    if (t.rmp.is_rmp) {
        for (int i : {formats::IGNR, formats::ICOP, formats::IENG, formats::ISRC, formats::ISFT})
            s += std::string("  ") + formats::k_rmp_ids[static_cast<size_t>(i)] + "    : " +
                 shown(t.rmp.text[static_cast<size_t>(i)]) + "\n";
    }
    return s;
}

// -r and --recursive, the flag of every command.
bool is_recursive_flag(const std::string& a) { return a == "-r" || a == "--recursive"; }

int run_show(const std::vector<std::string>& args) {
    bool json = false, recursive = false;
    std::vector<std::string> files;
    bool options_done = false;
    for (const std::string& a : args) {
        if (!options_done && a == "--json") json = true;
        else if (!options_done && is_recursive_flag(a)) recursive = true;
        else if (!options_done && a == "--") options_done = true;
        else if (!options_done && a.size() > 1 && a[0] == '-') return usage("unknown option " + a);
        else files.push_back(a);
    }
    if (files.empty()) return usage("show needs at least one FILE");
    bool walk_failed = false;
    files = cli::expand_folders(files, recursive, walk_failed);
    int status = walk_failed ? k_failed : k_ok;
    cli::Progress progress(files.size());
    for (const std::string& path : files) {
        progress.step();
        Loaded l = load(path);
        if (!l.opened) {
            report(path, l.error);
            status = k_failed;
        }
        for (const std::string& n : l.texts.warnings) report(path, "warning: " + n);
        if (json) cli::write_out_utf8(show_json(path, l));
        else cli::write_out(show_text(path, l));
    }
    return status;
}

int set_from_json(const std::string& source, const cli::SetOptions& base);
int set_files(const cli::SetOptions& o, settings::Settings& st);

int run_set(const std::vector<std::string>& args) {
    cli::SetOptions o;
    bool options_done = false, recursive = false;
    std::optional<std::string> json_source;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (options_done || a.empty() || a[0] != '-' || a == "-") {
            o.files.push_back(a);
            continue;
        }
        if (a == "--") {
            options_done = true;
            continue;
        }
        if (a == "--no-rmp") {
            o.no_rmp = true;
            continue;
        }
        if (is_recursive_flag(a)) {
            recursive = true;
            continue;
        }
        std::string name = a, value;
        auto eq = a.find('=');
        if (eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
        } else {
            static const char* const valued[] = {"--title",   "--artist", "--album",        "--year",
                                                 "--comment", "--genre",  "--display-name", "--json"};
            bool known = false;
            for (const char* v : valued) known = known || name == v;
            if (!known) return usage("unknown option " + a);
            if (i + 1 >= args.size()) return usage(a + " needs a value");
            value = args[++i];
        }
        if (name == "--genre") {
            char* end = nullptr;
            long g = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != 0 || g < 0 || g > 255) return usage("--genre takes a number from 0 to 255");
            o.genre = static_cast<uint8_t>(g);
            continue;
        }
        if (name == "--json") {
            json_source = value;
            continue;
        }
        std::string cp932, bad;
        if (!platform::utf8_to_cp932(value, cp932, bad))
            return usage(name + ": " + (bad == "invalid UTF-8" ? bad : "'" + bad + "' has no form in code page 932"));
        if (name == "--display-name") {
            o.display_name = cp932;
            continue;
        }
        if (cp932.size() > formats::k_text_capacity)
            return usage(name + " is " + std::to_string(cp932.size()) + " bytes in code page 932; at most 255 fit");
        if (name == "--title") o.title = cp932;
        else if (name == "--artist") o.artist = cp932;
        else if (name == "--album") o.album = cp932;
        else if (name == "--year") o.year = cp932;
        else if (name == "--comment") o.comment = cp932;
        else return usage("unknown option " + name);
    }
    if (json_source) {
        if (!o.files.empty() || recursive || o.title || o.artist || o.album || o.year || o.comment || o.genre)
            return usage("set --json takes its files and texts from the lines, and no other FILE or text");
        return set_from_json(*json_source, o);
    }
    if (o.files.empty()) return usage("set needs at least one FILE");
    bool walk_failed = false;
    o.files = cli::expand_folders(o.files, recursive, walk_failed);
    settings::Settings st = cli::settings_for(o);
    int status = set_files(o, st);
    return walk_failed ? k_failed : status;
}

// The editor's own load and apply, with the answers the flags give.
int set_files(const cli::SetOptions& o, settings::Settings& st) {
    int status = k_ok;
    cli::Progress progress(o.files.size());
    for (const std::string& path : o.files) {
        progress.step();
        editing::Session s;
        cli::FlagUser ui(o, s, path);
        // Another writer of this file waits from our read through our write, so that two sets
        // of different fields at once both land.
        platform::WriteLock lock;
        lock.hold(path);
        editing::Result loaded = editing::open_file(s, st, ui, path);
        for (const std::string& w : loaded.warnings) report(path, "warning: " + w);
        if (!loaded.ok()) {
            status = k_failed;
            continue;
        }
        static_cast<void>(editing::detect_change(s, st, ui));
        editing::Result applied = editing::apply_tag(s, st, ui, lock);
        for (const std::string& w : applied.warnings) report(path, "warning: " + w);
        if (!applied.ok()) {
            // Read-only media are never offered for an apply, so no notice named them.
            if (s.read_only_media) report(path, "the file is read-only; nothing written");
            status = k_failed;
        }
    }
    return status;
}

// The lines of `set --json`: each is one object as `show --json` prints it, applied as `set`
// would apply its options. A text equal to what `show` prints for the file is no change, so the
// bytes behind a U+FFFD stay as they are.
constexpr size_t k_json_max_bytes = size_t(256) << 20;

struct JsonLine {
    std::string path;
    std::optional<std::string> title, artist, album, year, comment; // UTF-8, as the line gives them
    std::optional<long> genre;
};

// The keys of a line; false with `why` for a line that cannot be applied.
bool read_json_line(const cli::json::Value& v, JsonLine& line, std::string& why) {
    using Kind = cli::json::Value::Kind;
    if (v.kind != Kind::object) {
        why = "not a JSON object";
        return false;
    }
    std::set<std::string> seen;
    bool has_path = false;
    for (const auto& [key, value] : v.members) {
        if (!seen.insert(key).second) {
            why = "key '" + key + "' given twice";
            return false;
        }
        // What show prints beside the texts describes the file; it is not applied.
        if (key == "kind" || key == "form" || key == "id3" || key == "info" || key == "error") continue;
        if (key == "genre") {
            const std::string& t = value.text;
            bool digits = value.kind == Kind::number && !t.empty() && t.size() <= 3 &&
                          t.find_first_not_of("0123456789") == std::string::npos;
            long g = digits ? std::strtol(t.c_str(), nullptr, 10) : -1;
            if (g < 0 || g > 255) {
                why = "genre takes a number from 0 to 255";
                return false;
            }
            line.genre = g;
            continue;
        }
        std::optional<std::string>* text = key == "title"     ? &line.title
                                           : key == "artist"  ? &line.artist
                                           : key == "album"   ? &line.album
                                           : key == "year"    ? &line.year
                                           : key == "comment" ? &line.comment
                                                              : nullptr;
        if (key != "path" && !text) {
            why = "unknown key '" + platform::sanitize_utf8(key) + "'";
            return false;
        }
        if (value.kind != Kind::string) {
            why = key + " takes a string";
            return false;
        }
        if (text) {
            *text = value.text;
        } else {
            line.path = value.text;
            has_path = true;
        }
    }
    if (!has_path || line.path.empty()) {
        why = "no path";
        return false;
    }
    return true;
}

// The texts of a line over the file as `show` reads it: unchanged ones are left out.
bool options_for_line(const JsonLine& line, const Loaded& file, cli::SetOptions& o, std::string& why) {
    const formats::ShownTexts& t = file.texts;
    const struct {
        const char* key;
        const std::optional<std::string>& given;
        const std::string& file_text;
        std::optional<std::string>& option;
    } fields[] = {{"title", line.title, t.title, o.title},
                  {"artist", line.artist, t.artist, o.artist},
                  {"album", line.album, t.album, o.album},
                  {"year", line.year, t.year, o.year},
                  {"comment", line.comment, t.comment, o.comment}};
    for (const auto& f : fields) {
        if (!f.given || *f.given == shown(f.file_text)) continue;
        std::string cp932, bad;
        if (!platform::utf8_to_cp932(*f.given, cp932, bad)) {
            why = std::string(f.key) + ": '" + bad + "' has no form in code page 932";
            return false;
        }
        if (cp932.size() > formats::k_text_capacity) {
            why =
                std::string(f.key) + " is " + std::to_string(cp932.size()) + " bytes in code page 932; at most 255 fit";
            return false;
        }
        f.option = cp932;
    }
    if (line.genre && *line.genre != t.loaded.tag.genre) o.genre = static_cast<uint8_t>(*line.genre);
    return true;
}

int set_from_json(const std::string& source, const cli::SetOptions& base) {
    std::string input;
    const std::string where = source == "-" ? std::string("<stdin>") : platform::sanitize_utf8(source);
    platform::Result read;
    if (source == "-") {
        if (!cli::read_input(input)) read = platform::failure(platform::Fault::cannot_read);
    } else {
        read = platform::read_whole_file(source, input, k_json_max_bytes + 1);
    }
    if (!read) {
        cli::write_err("tagzo-cli: " + where + ": cannot read: " + read.detail + "\n");
        return k_failed;
    }
    if (input.size() > k_json_max_bytes) {
        cli::write_err("tagzo-cli: " + where + ": larger than 256 MiB; nothing done\n");
        return k_failed;
    }
    std::vector<std::string_view> lines;
    for (size_t at = 0; at < input.size();) {
        size_t end = input.find('\n', at);
        if (end == std::string::npos) end = input.size();
        std::string_view l(input.data() + at, end - at);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        lines.push_back(l);
        at = end + 1;
    }
    settings::Settings st = cli::settings_for(base);
    int status = k_ok;
    auto line_failed = [&](size_t n, const std::string& why) {
        cli::write_err("tagzo-cli: " + where + ":" + std::to_string(n) + ": " + why + "; line not done\n");
        status = k_failed;
    };
    cli::Progress progress(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        progress.step();
        const size_t n = i + 1;
        if (lines[i].find_first_not_of(" \t") == std::string_view::npos) continue;
        cli::json::Value v;
        JsonLine line;
        std::string why;
        if (platform::Result parsed = cli::json::parse(lines[i], v); !parsed) {
            line_failed(n, "no JSON: " + parsed.detail);
            continue;
        }
        if (!read_json_line(v, line, why)) {
            line_failed(n, why);
            continue;
        }
        Loaded file = load(line.path);
        if (!file.opened) {
            line_failed(n, platform::sanitize_utf8(line.path) + ": " + file.error);
            continue;
        }
        if (file.kind != formats::FileKind::mp3) {
            line_failed(
                n, platform::sanitize_utf8(line.path) + ": not an MP3 file (" + formats::kind_name(file.kind) + ")");
            continue;
        }
        cli::SetOptions o = base;
        o.files = {line.path};
        if (!options_for_line(line, file, o, why)) {
            line_failed(n, why);
            continue;
        }
        if (set_files(o, st) != k_ok) line_failed(n, platform::sanitize_utf8(line.path) + " could not be set");
    }
    return status;
}

// `rename`: the editor's rename by tag, in the file's own folder. Unlike the editor it makes the
// full-width replacements always, not after a failed move, so that a name is the same on every
// system and a dry run can tell it.
int run_rename(const std::vector<std::string>& args) {
    int32_t pattern = 0;
    bool dry_run = false, recursive = false, options_done = false;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (options_done || a.empty() || a[0] != '-' || a == "-") {
            files.push_back(a);
        } else if (a == "--") {
            options_done = true;
        } else if (a == "--dry-run") {
            dry_run = true;
        } else if (is_recursive_flag(a)) {
            recursive = true;
        } else if (a == "--pattern" || a.rfind("--pattern=", 0) == 0) {
            std::string value;
            if (a == "--pattern") {
                if (i + 1 >= args.size()) return usage("--pattern needs a value");
                value = args[++i];
            } else {
                value = a.substr(10);
            }
            if (value != "0" && value != "1")
                return usage("--pattern takes 0 for (artist)title.mp3 or 1 for artist-title.mp3");
            pattern = value == "1" ? 1 : 0;
        } else {
            return usage("unknown option " + a);
        }
    }
    if (files.empty()) return usage("rename needs at least one FILE");
    bool walk_failed = false;
    files = cli::expand_folders(files, recursive, walk_failed);
    int status = walk_failed ? k_failed : k_ok;
    std::set<std::string> taken; // names a dry run has given away already
    cli::Progress progress(files.size());
    for (const std::string& path : files) {
        progress.step();
        auto failed = [&](const std::string& why) {
            report(path, why + "; the name stays");
            status = k_failed;
        };
        // A set of this file waits from our read of the tag through the move, so that its
        // replace cannot bring back the old name with the new tag.
        platform::WriteLock lock;
        if (!dry_run) lock.hold(path);
        Loaded l;
        if (platform::Result loaded = load_mp3(path, l); !loaded) {
            failed(loaded.detail);
            continue;
        }
        const editing::TagRename plan =
            editing::plan_tag_rename(path, pattern, l.texts.rmp.is_rmp, l.texts.artist, l.texts.title);
        if (!plan.has_texts) {
            failed("no title or no artist in the tag");
            continue;
        }
        std::string name;
        static_cast<void>(editing::replace_unusable_chars(plan.name, name));
        if (plan.same_name || editing::has_name(path, name)) continue;
        // A backslash has no look-alike: on Windows it would make a path into some folder.
        if (editing::find_last_backslash(name) != std::string::npos) {
            failed("the tag gives a name with a backslash, which no file name holds");
            continue;
        }
        const std::string new_path = editing::path_beside(path, name);
        const std::string line = platform::sanitize_utf8(path) + " -> " + platform::sanitize_utf8(new_path) + "\n";
        if (dry_run) {
            if (platform::path_kind(new_path) != platform::PathKind::missing || !taken.insert(new_path).second) {
                failed(platform::sanitize_utf8(new_path) + " exists");
                continue;
            }
            cli::write_out(line);
            continue;
        }
        if (platform::Result moved = platform::move_file(path, new_path); !moved) {
            failed("cannot rename to " + platform::sanitize_utf8(new_path) + ": " + moved.detail);
            continue;
        }
        cli::write_out(line);
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    platform::limit_library_search();
    std::vector<std::string> args = cli::utf8_arguments(argc, argv);
    if (args.empty()) return usage("no command");
    std::string command = args.front();
    args.erase(args.begin());
    if (command == "show") return run_show(args);
    if (command == "set") return run_set(args);
    if (command == "rename") return run_rename(args);
    if (command == "export") return cli::run_export(args, usage);
    if (command == "--help" || command == "-h" || command == "help") {
        cli::write_out(k_usage_text);
        return k_ok;
    }
    return usage("unknown command " + command);
}

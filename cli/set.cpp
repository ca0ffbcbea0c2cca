// `tagzo-cli set`: texts and genre from the options, or from the lines of `set --json`, written
// by the editor's own load and apply.
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/batch.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/files.h"
#include "cli/flag_user.h"
#include "cli/journal_file.h"
#include "cli/json.h"
#include "cli/loaded.h"
#include "cli/options.h"
#include "cli/set.h"
#include "core/editing/apply_tag.h"
#include "core/editing/load_file.h"
#include "core/formats/id3v2.h"
#include "core/formats/load.h"
#include "core/formats/text_rules.h"
#include "core/settings/settings.h"
#include "platform/file.h"
#include "platform/text.h"

namespace cli {

namespace {

std::string shown(const std::string& cp932) { return platform::cp932_to_utf8(cp932); }

// A text option (or the display name) into `o`, in code page 932; the usage error, else empty.
std::string set_text(SetOptions& o, const std::string& name, const std::string& value) {
    std::string cp932, bad;
    if (!platform::utf8_to_cp932(value, cp932, bad))
        return name + ": " + (bad == "invalid UTF-8" ? bad : "'" + bad + "' has no form in code page 932");
    if (name == "--display-name") {
        o.display_name = cp932;
        return "";
    }
    if (cp932.size() > formats::k_text_capacity)
        return name + " is " + std::to_string(cp932.size()) + " bytes in code page 932; at most 255 fit";
    if (name == "--title") o.title = cp932;
    else if (name == "--artist") o.artist = cp932;
    else if (name == "--album") o.album = cp932;
    else if (name == "--year") o.year = cp932;
    else if (name == "--comment") o.comment = cp932;
    else return "unknown option " + name;
    return "";
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

// The keys of a line; a failure says why the line cannot be applied.
platform::Result read_json_line(const json::Value& v, JsonLine& line) {
    auto bad = [](const std::string& why) { return platform::failure(platform::Fault::bad_input, why); };
    using Kind = json::Value::Kind;
    if (v.kind != Kind::object) return bad("not a JSON object");
    std::set<std::string> seen;
    bool has_path = false;
    std::optional<std::string> hex_path;
    for (const auto& [key, value] : v.members) {
        if (!seen.insert(key).second) return bad("key '" + key + "' given twice");
        // What show prints beside the texts describes the file; it is not applied.
        if (key == "kind" || key == "form" || key == "id3" || key == "id3v2" || key == "info" || key == "error")
            continue;
        // The path's bytes, for a name that is no UTF-8: they stand in for "path".
        if (key == "path_hex") {
            std::string bytes;
            const std::string& t = value.text;
            auto nibble = [](char c) {
                return c >= '0' && c <= '9'   ? c - '0'
                       : c >= 'a' && c <= 'f' ? c - 'a' + 10
                       : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                              : -1;
            };
            bool ok = value.kind == Kind::string && t.size() % 2 == 0 && !t.empty();
            for (size_t i = 0; ok && i < t.size(); i += 2) {
                const int hi = nibble(t[i]), lo = nibble(t[i + 1]);
                ok = hi >= 0 && lo >= 0 && (hi | lo) != 0;
                bytes += static_cast<char>(hi * 16 + lo);
            }
            if (!ok) return bad("path_hex takes the bytes of a path as pairs of hex digits, none of them 00");
            hex_path = bytes;
            continue;
        }
        if (key == "genre") {
            const std::string& t = value.text;
            bool digits = value.kind == Kind::number && !t.empty() && t.size() <= 3 &&
                          t.find_first_not_of("0123456789") == std::string::npos;
            long g = digits ? std::strtol(t.c_str(), nullptr, 10) : -1;
            if (g < 0 || g > 255) return bad("genre takes a number from 0 to 255");
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
            // A key of any length is named by its start.
            const std::string named = platform::sanitize_utf8(key.size() > 40 ? key.substr(0, 40) : key);
            return bad("unknown key '" + named + (key.size() > 40 ? "...'" : "'"));
        }
        if (value.kind != Kind::string) return bad(key + " takes a string");
        // A path would be cut at the NUL, and a text hidden behind it.
        if (value.text.find('\0') != std::string::npos) return bad(key + " holds a NUL character (\\u0000)");
        if (text) {
            *text = value.text;
        } else {
            line.path = value.text;
            has_path = true;
        }
    }
    if (hex_path) {
        line.path = *hex_path;
        has_path = true;
    }
    if (!has_path || line.path.empty()) return bad("no path");
    return {};
}

// The texts of a line over the file as `show` reads it: unchanged ones are left out.
platform::Result options_for_line(const JsonLine& line, const Loaded& file, SetOptions& o) {
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
        if (!platform::utf8_to_cp932(*f.given, cp932, bad))
            return platform::failure(platform::Fault::bad_input,
                                     std::string(f.key) + ": '" + bad + "' has no form in code page 932");
        if (cp932.size() > formats::k_text_capacity)
            return platform::failure(platform::Fault::bad_input, std::string(f.key) + " is " +
                                                                     std::to_string(cp932.size()) +
                                                                     " bytes in code page 932; at most 255 fit");
        f.option = cp932;
    }
    if (line.genre && *line.genre != t.loaded.tag.genre) o.genre = static_cast<uint8_t>(*line.genre);
    return {};
}

// Applies the lines of `source` (a file, or "-" for standard input). Each line that cannot be
// done is named on stderr with its number, and the others are done: a failure here was named
// where it happened (the input unread, or some line not done; its file as it was).
platform::Result set_from_json(const std::string& source, const SetOptions& base) {
    std::string input;
    const std::string where = source == "-" ? std::string("<stdin>") : platform::sanitize_utf8(source);
    platform::Result read;
    if (source == "-") {
        std::string why;
        if (!read_input(input, why)) read = platform::failure(platform::Fault::cannot_read, why);
    } else {
        read = platform::read_whole_file(source, input, k_json_max_bytes + 1);
    }
    if (!read) {
        write_err("tagzo-cli: " + where + ": cannot read: " + read.detail + "\n");
        return platform::failure(platform::Fault::cannot_read);
    }
    if (input.size() > k_json_max_bytes) {
        write_err("tagzo-cli: " + where + ": larger than 256 MiB; nothing done\n");
        return platform::failure(platform::Fault::cannot_read);
    }
    std::vector<std::string_view> lines;
    // A byte order mark that an editor put before the first line is no part of it.
    const size_t bom = input.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (size_t at = bom; at < input.size();) {
        size_t end = input.find('\n', at);
        if (end == std::string::npos) end = input.size();
        std::string_view l(input.data() + at, end - at);
        if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
        lines.push_back(l);
        at = end + 1;
    }
    settings::Settings& st = settings_for(base);
    platform::Result outcome;
    auto line_failed = [&](size_t n, const std::string& why) {
        write_err("tagzo-cli: " + where + ":" + std::to_string(n) + ": " + why + "; line not done\n");
        outcome = platform::failure(platform::Fault::write_failed);
    };
    Progress progress(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        progress.step();
        const size_t n = i + 1;
        if (lines[i].find_first_not_of(" \t") == std::string_view::npos) continue;
        json::Value v;
        JsonLine line;
        // Only the line's own keys are read; what show's nested objects hold is ignored.
        if (platform::Result parsed = json::parse(lines[i], v, false); !parsed) {
            line_failed(n, "no JSON: " + parsed.detail);
            continue;
        }
        if (platform::Result read_line = read_json_line(v, line); !read_line) {
            line_failed(n, read_line.detail);
            continue;
        }
        Loaded file = load(line.path);
        if (!file.read) {
            const bool folder = platform::path_kind(line.path) == platform::PathKind::directory;
            line_failed(n, platform::sanitize_utf8(line.path) + ": " +
                               (folder ? "is a folder; a line names a file" : file.read.detail));
            continue;
        }
        if (file.kind != formats::FileKind::mp3) {
            line_failed(
                n, platform::sanitize_utf8(line.path) + ": not an MP3 file (" + formats::kind_name(file.kind) + ")");
            continue;
        }
        SetOptions o = base;
        if (platform::Result given = options_for_line(line, file, o); !given) {
            line_failed(n, given.detail);
            continue;
        }
        const platform::Result set = set_file(o, st, line.path);
        report_outcome(line.path, set, "nothing written");
        if (!set) line_failed(n, platform::sanitize_utf8(line.path) + " could not be set");
    }
    return outcome;
}

// Why `set` leaves a file alone before it reads the tag: an empty file, or an ID3v2 tag that
// claims more than the file holds; empty where neither.
std::string refusal(platform::WriteLock& lock, const std::string& path) {
    platform::File own;
    platform::File* f = lock.file();
    if (!f && own.open(path, platform::File::Mode::read)) f = &own; // Windows: the lock holds no file
    if (!f) return "";                                              // the load says why it cannot be read
    if (f->size() == 0) return "the file is empty: no MP3 stream to tag";
    const formats::Id3v2Found v2 = formats::find_id3v2(*f, f->size(), formats::Id3v2Depth::texts);
    return !v2.present && !v2.warnings.empty() ? v2.warnings.front() : "";
}

} // namespace

settings::Settings& settings_for(const SetOptions& o) {
    constinit static settings::Settings st = settings::default_settings_image();
    // Only a field that differs is written, so that the page of one left as it was is only read.
    const int32_t rmp_enabled = o.no_rmp ? 0 : 1;
    if (st.rmp_enabled != rmp_enabled) st.rmp_enabled = rmp_enabled;
    if (settings::slot_text(st.display_name) != o.display_name) settings::set_slot_text(st.display_name, o.display_name);
    return st;
}

// The editor's own load and apply, with the answers the flags give.
platform::Result set_file(const SetOptions& o, settings::Settings& st, const std::string& path, Batch* batch) {
    auto refused = [](const std::string& why) { return platform::failure(platform::Fault::write_failed, why); };
    platform::Result done;
    editing::Session s;
    FlagUser ui(o, s, path);
    // Another writer of this file waits from our read through our write, so that two sets
    // of different fields at once both land.
    // The lock's file is the one descriptor of the change: read, then written through.
    platform::WriteLock own_lock;
    platform::WriteLock* held = batch ? batch->held_lock() : nullptr;
    platform::WriteLock& lock = held ? *held : own_lock;
    if (!held) lock.hold(path, true);
    // In a batch a new file joins the batch's group, which replaces the old one later, completes
    // the journal's record of it, and tells how it went; the lock stays held till then.
    bool handed = false;
    formats::HandOver hand_over;
    if (held)
        hand_over = [&](std::unique_ptr<platform::ReplacingWriter> out) {
            platform::Result taken = batch->replace_later(std::move(out), path, ui.whole_at);
            handed = taken.ok();
            return taken;
        };
    // Nothing to tag, or a tag that claims more than the file holds: what a record appended
    // there would make of the file is anybody's guess, and every other command warns of it.
    if (const std::string why = refusal(lock, path); !why.empty()) return refused(why);
    editing::Result loaded = editing::open_file(s, st, ui, path, &lock);
    for (const std::string& w : loaded.warnings) report(path, "warning: " + w);
    if (!loaded.ok()) return platform::failure(loaded.fault); // named by the notice
    // The track takes the comment's last two bytes in the record.
    if (o.track && *o.track != 0 &&
        formats::cut_to_width(ui.field_texts().comment, formats::k_id3_width).size() > formats::k_id3_width - 2) {
        return refused("the comment fills the record's last two bytes, which the track needs");
    }
    // --no-id3v2: the file is edited as if it had no ID3v2 tag, as before there was this.
    if (o.no_id3v2 && s.id3v2_major != 0) {
        s.id3v2_major = 0;
        if (s.fields_from_id3v2) {
            s.fields_from_id3v2 = false;
            s.current_tag = formats::Tag{"", "", "", "", "", s.current_tag.genre};
            s.rmp_texts.text = {};
        }
    }
    static_cast<void>(editing::detect_change(s, st, ui));
    // The journal takes the record's place (the last 128 bytes, or the end where one is
    // appended) before the apply; a rewrite of the whole file adds the whole old file.
    uint64_t region_at = 0, region_offset = 0;
    const bool journaled = o.journal && s.modified;
    if (journaled) {
        platform::File own;
        platform::File* f = lock.file();
        if (!f && own.open(path, platform::File::Mode::read)) f = &own;
        if (f) {
            char head[3] = {};
            const uint64_t n = f->size();
            region_offset = n >= 128 && f->read_at(n - 128, head, 3) && std::string(head, 3) == "TAG" ? n - 128 : n;
        }
        if (platform::Result kept =
                o.journal->before_region(path, editing::JournalChange::Kind::region, region_offset, region_at);
            !kept)
            return refused("the journal cannot take the change: " + kept.detail);
    }
    const bool was_rmp = s.rmp_texts.is_rmp;
    editing::Result applied = editing::apply_tag(s, st, ui, lock, hand_over);
    if (journaled && applied.ok() && !handed) {
        platform::Result noted =
            ui.whole_at ? o.journal->after(*ui.whole_at, path, 0) : o.journal->after(region_at, path, region_offset);
        if (!ui.journal_failure.empty()) noted = platform::failure(platform::Fault::write_failed, ui.journal_failure);
        if (!noted) {
            report(path,
                   "warning: the journal could not take the change, which undo cannot take back: " + noted.detail);
            done = platform::failure(platform::Fault::write_failed);
        }
    }
    // The write through the lock's file ends with its close; other writers waited till here.
    // A handed-over file's lock is let go once the new file is in its place.
    if (platform::Result closed = handed ? platform::Result{} : lock.release(); !closed && applied.ok()) {
        report(path, "closing the file failed: " + closed.detail);
        applied = platform::failure(platform::Fault::write_failed, closed.detail);
    }
    for (const std::string& w : applied.warnings) report(path, "warning: " + w);
    // The conversion put an ID3v2 tag of the file inside the data chunk.
    if (applied.ok() && s.rmp_texts.is_rmp && !was_rmp && load(path).id3v2.present)
        report(path,
               "warning: the file's ID3v2 tag is inside the RMP form now, where the players of today do "
               "not look for it (export --out gives them a plain MP3)");
    if (applied.ok() && ui.id3v2_left) done = platform::failure(platform::Fault::write_failed);
    if (!applied.ok()) {
        // Read-only media are never offered for an apply, so no notice named them.
        if (s.read_only_media) report(path, "the file is read-only; nothing written");
        done = platform::failure(applied.fault);
    }
    return done;
}

namespace {

int run_set(const ParsedArguments& p) {
    SetOptions o;
    bool recursive = false;
    std::optional<std::string> json_source, journal_path;
    // The options are taken in the order given, so the first usage error on the line is the one
    // named, whether the reading found it or a value's check.
    for (const GivenOption& g : p.options) {
        if (g.name == "--no-rmp") {
            o.no_rmp = true;
        } else if (g.name == "--no-id3v2") {
            o.no_id3v2 = true;
        } else if (g.name == "--recursive") {
            recursive = true;
        } else if (g.name == "--genre") {
            char* end = nullptr;
            long genre = std::strtol(g.value.c_str(), &end, 10);
            if (g.value.empty() || *end != 0 || genre < 0 || genre > 255)
                return usage("--genre takes a number from 0 to 255");
            o.genre = static_cast<uint8_t>(genre);
        } else if (g.name == "--track") {
            char* end = nullptr;
            long track = std::strtol(g.value.c_str(), &end, 10);
            if (g.value.empty() || *end != 0 || track < 0 || track > 255)
                return usage("--track takes a number from 1 to 255, or 0 to remove it");
            o.track = static_cast<uint8_t>(track);
        } else if (g.name == "--journal") {
            journal_path = g.value;
        } else if (g.name == "--json") {
            json_source = g.value;
        } else if (std::string why = set_text(o, g.name, g.value); !why.empty()) {
            return usage(why);
        }
    }
    if (!p.ok()) {
        // set has always taken NAME=VALUE apart before looking NAME up: the value of an unknown
        // one is checked as a text first, and the option is named without it.
        const std::string& a = p.error.argument;
        const size_t eq = a.find('=');
        if (p.error.kind == ArgumentError::Kind::unknown_option && eq != std::string::npos)
            return usage(set_text(o, a.substr(0, eq), a.substr(eq + 1)));
        return usage(p.error.text);
    }
    Batch batch;
    if (platform::Result opened = batch.open_journal(journal_path, false); !opened) return exit_status(opened);
    o.journal = batch.journal();
    if (json_source) {
        if (!p.operands.empty() || recursive || o.title || o.artist || o.album || o.year || o.comment || o.genre)
            return usage("set --json takes its files and texts from the lines, and no other FILE or text");
        return exit_status(set_from_json(*json_source, o));
    }
    if (p.operands.empty()) return usage("set needs at least one FILE");
    settings::Settings& st = settings_for(o);
    // Each file's write lock is held for writing through it; conversions are replaced a group
    // at a time. The journal's records go to the disk one by one: a record is written in place.
    return batch.run(p.operands, {recursive, true, "nothing written", false, true},
                     [&](const FoundFile& file) { return set_file(o, st, file.path, &batch); });
}

} // namespace

extern const Command k_set_command = {
    "set",
    {KnownOption::flag("--no-rmp"), KnownOption::flag("--no-id3v2"), KnownOption::flag("--recursive", "-r"),
     KnownOption::valued("--title"), KnownOption::valued("--artist"), KnownOption::valued("--album"),
     KnownOption::valued("--year"), KnownOption::valued("--comment"), KnownOption::valued("--genre"),
     KnownOption::valued("--display-name"), KnownOption::valued("--json"), KnownOption::valued("--track"),
     KnownOption::valued("--journal")},
    run_set,
    "tagzo-cli set [-r] [--title T] [--artist A] [--album B] [--year Y] [--comment C]\n"
    "                     [--genre N] [--track N] [--no-rmp] [--no-id3v2] [--display-name NAME] [--journal J]\n"
    "                     FILE...\n"
    "       tagzo-cli set [--no-rmp] [--no-id3v2] [--display-name NAME] --json FILE.jsonl|-\n",
    "usage: tagzo-cli set [-r] [OPTION...] FILE...\n"
    "       tagzo-cli set [--no-rmp] [--no-id3v2] [--display-name NAME] --json FILE.jsonl|-\n"
    "Writes the tag as the editor does; an option not given keeps the file's text. A file's own\n"
    "ID3v2 tag takes each text given too (its other frames stay), and then a long text goes\n"
    "whole into that tag instead of the RMP form.\n"
    "  --title T, --artist A, --album B, --year Y, --comment C\n"
    "                   the texts, up to 255 bytes in code page 932\n"
    "                                                        tagzo-cli set --artist \"理多\" *.mp3\n"
    "  --genre N        the genre number, 0 to 255            tagzo-cli set --genre 17 a.mp3\n"
    "  --track N        the record's track, 1 to 255; 0 removes it\n"
    "                                                        tagzo-cli set --track 3 a.mp3\n"
    "  --no-rmp         keep an ID3v1 file, texts cut to 30 bytes\n"
    "                                                        tagzo-cli set --no-rmp --title T a.mp3\n"
    "  --no-id3v2       leave the file's ID3v2 tag as it is  tagzo-cli set --no-id3v2 --title T a.mp3\n"
    "  --display-name NAME  the software name a conversion records\n"
    "                                                        tagzo-cli set --display-name me --title T a.mp3\n"
    "  --json FILE|-    apply the lines show --json prints   tagzo-cli set --json edited.jsonl\n"
    "  --journal FILE   keep what each change replaces, for undo: old bytes in FILE, a rewritten\n"
    "                   file's old self in the folder FILE.kept beside it (a second name, no copy)\n"
    "                                                        tagzo-cli set --journal j.log --album B *.mp3\n"
    "  -r, --recursive  walk the folders among the FILEs     tagzo-cli set -r --album B Music\n",
};

} // namespace cli

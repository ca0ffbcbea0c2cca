// `tagzo-cli show`: each file's kind, form and texts, as lines to read or as one JSON object a
// line (what `set --json` takes back).
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/files.h"
#include "cli/flag_user.h"
#include "cli/json.h"
#include "cli/loaded.h"
#include "cli/options.h"
#include "core/formats/load.h"
#include "core/formats/rmp.h"
#include "platform/text.h"

namespace cli {

namespace {

using json::quote;

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

} // namespace

int run_show(const std::vector<std::string>& args) {
    static const std::vector<KnownOption> known = {KnownOption::flag("--json"), KnownOption::flag("--recursive", "-r")};
    const ParsedArguments p = parse_arguments(args, known);
    if (!p.ok()) return usage(p.error.text);
    bool json = false, recursive = false;
    for (const GivenOption& o : p.options) {
        if (o.name == "--json") json = true;
        else if (o.name == "--recursive") recursive = true;
    }
    std::vector<std::string> files = p.operands;
    if (files.empty()) return usage("show needs at least one FILE");
    bool walk_failed = false;
    files = expand_folders(files, recursive, walk_failed);
    int status = walk_failed ? k_failed : k_ok;
    Progress progress(files.size());
    for (const std::string& path : files) {
        progress.step();
        Loaded l = load(path);
        if (!l.opened) {
            report(path, l.error);
            status = k_failed;
        }
        for (const std::string& n : l.texts.warnings) report(path, "warning: " + n);
        if (json) write_out_utf8(show_json(path, l));
        else write_out(show_text(path, l));
    }
    return status;
}

} // namespace cli

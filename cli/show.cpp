// `tagzo-cli show`: each file's kind, form and texts, as lines to read or as one JSON object a
// line (what `set --json` takes back).
#include <array>
#include <string_view>
#include <string>
#include <vector>

#include "cli/batch.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/files.h"
#include "cli/json.h"
#include "cli/loaded.h"
#include "cli/options.h"
#include "core/formats/load.h"
#include "core/formats/rmp.h"
#include "platform/text.h"

namespace cli {

namespace {

std::string shown(const std::string& cp932) { return platform::cp932_to_utf8(cp932); }

// The forms a file has: the record ("id3") or the RMP form ("rmp"), and an ID3v2 tag of its
// version ("v2.3"), joined by "+"; "none" for none of them.
std::string form_name(const Loaded& l) {
    if (l.kind != formats::FileKind::mp3) return "none";
    std::string form = l.texts.rmp.is_rmp ? "rmp" : l.texts.loaded.has_record ? "id3" : "";
    if (l.id3v2.present) form += (form.empty() ? "v2." : "+v2.") + std::to_string(l.id3v2.major);
    return form.empty() ? "none" : form;
}

bool is_mis_marked(const formats::Id3v2Found& v2, const char* name) {
    for (const std::string& m : v2.mis_marked)
        if (m == name) return true;
    return false;
}

// The tag's own texts as read (a mis-marked cp932 text in its cp932 reading), in UTF-8, in the
// order of their names.
std::array<const std::string*, 7> id3v2_texts(const formats::Id3v2Found& v2) {
    return {&v2.texts.title,   &v2.texts.artist, &v2.texts.album, &v2.texts.year,
            &v2.texts.comment, &v2.texts.genre,  &v2.track};
}

// `,"name":` and the text in quotes.
void member(std::string& j, const char* name, std::string_view utf8) {
    j += ",\"";
    j += name;
    j += "\":";
    json::quote_to(j, utf8);
}

void add_id3v2_json(std::string& j, const formats::Id3v2Found& v2) {
    if (!v2.present) {
        j += "null";
        return;
    }
    j += "{\"version\":\"2.";
    j += std::to_string(v2.major);
    j += '"';
    const std::array<const std::string*, 7> texts = id3v2_texts(v2);
    for (size_t i = 0; i < texts.size(); ++i) member(j, formats::k_id3v2_text_names[i], platform::sanitize_utf8(*texts[i]));
    j += ",\"mis_marked\":[";
    for (size_t i = 0; i < v2.mis_marked.size(); ++i) {
        if (i) j += ',';
        json::quote_to(j, v2.mis_marked[i]);
    }
    j += "],\"other_frames\":";
    j += std::to_string(v2.other_frames);
    j += '}';
}

std::string show_json(const std::string& path, const Loaded& l) {
    const formats::ShownTexts& t = l.texts;
    // Each text's UTF-8 form is quoted into the line before the next is made, so one string
    // holds them all in turn.
    std::string utf8;
    auto shown = [&utf8](const std::string& cp932) -> const std::string& {
        platform::cp932_to_utf8(cp932, utf8);
        return utf8;
    };
    std::string j;
    j.reserve(1024);
    j += "{\"path\":";
    const std::string utf8_path = platform::sanitize_utf8(path);
    json::quote_to(j, utf8_path);
    // A name that is no UTF-8 (an old archive's Shift-JIS bytes on Linux) also goes as its
    // bytes, which set --json takes back.
    if (utf8_path != path) {
        static const char hex[] = "0123456789abcdef";
        j += ",\"path_hex\":\"";
        for (unsigned char c : path) {
            j += hex[c >> 4];
            j += hex[c & 15];
        }
        j += '"';
    }
    member(j, "kind", l.read ? formats::kind_name(l.kind) : "unknown");
    member(j, "form", l.read ? form_name(l) : "none");
    member(j, "title", shown(t.title));
    member(j, "artist", shown(t.artist));
    member(j, "album", shown(t.album));
    member(j, "year", shown(t.year));
    member(j, "comment", shown(t.comment));
    j += ",\"genre\":";
    j += std::to_string(t.loaded.tag.genre);
    if (t.loaded.has_record) {
        const formats::Id3v1Record& r = t.loaded.record;
        j += ",\"id3\":{\"title\":";
        json::quote_to(j, shown(r.title));
        member(j, "artist", shown(r.artist));
        member(j, "album", shown(r.album));
        member(j, "year", shown(r.year));
        member(j, "comment", shown(r.comment));
        j += ",\"genre\":";
        j += std::to_string(r.genre);
        j += ",\"track\":";
        j += t.loaded.track ? std::to_string(t.loaded.track) : std::string("null");
        j += '}';
    } else {
        j += ",\"id3\":null";
    }
    j += ",\"id3v2\":";
    add_id3v2_json(j, l.id3v2);
    if (t.rmp.is_rmp) {
        j += ",\"info\":{";
        for (size_t i = 0; i < formats::k_rmp_text_count; ++i) {
            if (i) j += ',';
            json::quote_to(j, formats::k_rmp_ids[i]);
            j += ':';
            json::quote_to(j, shown(t.rmp.text[i]));
        }
        j += '}';
    } else {
        j += ",\"info\":null";
    }
    j += ",\"error\":";
    if (l.read) j += "null";
    else json::quote_to(j, l.read.detail);
    j += "}\n";
    return j;
}

std::string show_text(const std::string& path, const Loaded& l) {
    std::string s = platform::sanitize_utf8(path) + ": " + (l.read ? formats::kind_name(l.kind) : "unknown") +
                    ", form " + (l.read ? form_name(l) : "none") + "\n";
    if (!l.read || l.kind != formats::FileKind::mp3) return s;
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
    if (l.id3v2.present) {
        const std::array<const std::string*, 7> texts = id3v2_texts(l.id3v2);
        for (size_t i = 0; i < texts.size(); ++i) {
            if (texts[i]->empty()) continue;
            const char* name = formats::k_id3v2_text_names[i];
            std::string label = std::string("  v2 ") + name;
            label.resize(12, ' ');
            s += label + ": " + platform::sanitize_utf8(*texts[i]) +
                 (is_mis_marked(l.id3v2, name) ? "  (cp932 marked as Latin-1)" : "") + "\n";
        }
        if (l.id3v2.other_frames) s += "  v2 others : " + std::to_string(l.id3v2.other_frames) + " frames\n";
    }
    return s;
}

int run_show(const ParsedArguments& p) {
    if (!p.ok()) return usage(p.error.text);
    bool json = false, recursive = false;
    for (const GivenOption& o : p.options) {
        if (o.name == "--json") json = true;
        else if (o.name == "--recursive") recursive = true;
    }
    if (p.operands.empty()) return usage("show needs at least one FILE");
    // Each file is shown as the walk comes to it.
    Batch batch;
    return batch.stream(p.operands, {recursive, false, ""}, [&](const FoundFile& found) {
        const std::string& path = found.path;
        Loaded l = load(path, found.folder, found.name);
        // Named before its warnings and its lines.
        if (!l.read) report(path, l.read.detail);
        for (const std::string& n : l.texts.warnings) report(path, "warning: " + n);
        // In text, a file that could not be read is only the error above.
        if (json) write_out_utf8(show_json(path, l));
        else if (l.read) write_out(show_text(path, l));
        return l.read ? platform::Result{} : platform::failure(l.read.fault); // named above
    });
}

} // namespace

extern const Command k_show_command = {
    "show",
    {KnownOption::flag("--json"), KnownOption::flag("--recursive", "-r")},
    run_show,
    "tagzo-cli show [-r] [--json] FILE...\n",
    "usage: tagzo-cli show [-r] [--json] FILE...\n"
    "Shows each file's kind, its forms (id3 or rmp, and v2.N for an ID3v2 tag) and its texts.\n"
    "  -r, --recursive  walk the folders among the FILEs     tagzo-cli show -r Music\n"
    "  --json           one JSON object a line, UTF-8        tagzo-cli show --json a.mp3 > a.jsonl\n",
};

} // namespace cli

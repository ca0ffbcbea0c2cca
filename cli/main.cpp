// tagzo-cli: shows and sets the tags of MP3 files in batches, for scripts.
//   tagzo-cli show [--json] FILE...
//   tagzo-cli set [--title T] [--artist A] [--album B] [--year Y] [--comment C] [--genre N]
//                 [--no-rmp] [--display-name NAME] FILE...
// Exit status: 0 every file done, 1 some file failed (named on stderr, left as it was),
// 2 usage error (nothing written).
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "cli/console.h"
#include "editor/settings/settings.h"
#include "editor/tags/apply.h"
#include "editor/tags/load.h"
#include "editor/tags/text_rules.h"
#include "platform/file.h"
#include "platform/text.h"

namespace {

constexpr int k_ok = 0, k_failed = 1, k_usage = 2;

const char* const k_usage_text =
    "usage: tagzo-cli show [--json] FILE...\n"
    "       tagzo-cli set [--title T] [--artist A] [--album B] [--year Y] [--comment C]\n"
    "                     [--genre N] [--no-rmp] [--display-name NAME] FILE...\n";

int usage(const std::string& why) {
    cli::write_err("tagzo-cli: " + why + "\n" + k_usage_text);
    return k_usage;
}

void report(const std::string& path, const std::string& what) {
    cli::write_err("tagzo-cli: " + platform::sanitize_utf8(path) + ": " + what + "\n");
}

std::string json_string(std::string_view utf8) {
    std::string out = "\"";
    for (size_t i = 0; i < utf8.size(); ++i) {
        auto c = static_cast<unsigned char>(utf8[i]);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case 0xEF:
            // U+FFFD stands for bytes that are no cp932 text; escaped, it survives a console
            // code page that has no such character.
            if (i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0xBF &&
                static_cast<unsigned char>(utf8[i + 2]) == 0xBD) {
                out += "\\ufffd";
                i += 2;
                break;
            }
            out += static_cast<char>(c);
            break;
        default:
            if (c < 0x20) {
                static const char hex[] = "0123456789abcdef";
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string shown(const std::string& cp932) { return platform::cp932_to_utf8(cp932); }

// One file as loaded for editing.
struct Loaded {
    bool opened = false;
    std::string error;
    tags::FileKind kind = tags::FileKind::unknown;
    bool file_is_rmp = false;
    tags::ShownTexts texts;
};

Loaded load(const std::string& path, bool rmp_enabled) {
    Loaded l;
    platform::File f;
    if (!f.open(path, platform::File::Mode::read, l.error)) {
        l.error = "cannot open: " + l.error;
        return l;
    }
    l.opened = true;
    tags::FileHead head;
    if (!tags::read_head(f, path, head)) {
        l.opened = false;
        l.error = "cannot read: " + f.error();
        return l;
    }
    l.kind = head.kind;
    if (l.kind != tags::FileKind::mp3) return l;
    l.file_is_rmp = head.rmp;
    l.texts = tags::open_for_editing(f, rmp_enabled);
    return l;
}

const char* form_name(const Loaded& l) {
    if (l.kind != tags::FileKind::mp3) return "none";
    if (l.texts.rmp.is_rmp) return "rmp";
    return l.texts.loaded.has_record ? "id3" : "none";
}

std::string show_json(const std::string& path, const Loaded& l) {
    const tags::ShownTexts& t = l.texts;
    std::string j = "{\"path\":" + json_string(platform::sanitize_utf8(path));
    j += ",\"kind\":" + json_string(l.opened ? tags::kind_name(l.kind) : "unknown");
    j += ",\"form\":" + json_string(l.opened ? form_name(l) : "none");
    j += ",\"title\":" + json_string(shown(t.title));
    j += ",\"artist\":" + json_string(shown(t.artist));
    j += ",\"album\":" + json_string(shown(t.album));
    j += ",\"year\":" + json_string(shown(t.year));
    j += ",\"comment\":" + json_string(shown(t.comment));
    j += ",\"genre\":" + std::to_string(t.loaded.tag.genre);
    if (t.loaded.has_record) {
        const tags::Id3v1Record& r = t.loaded.record;
        j += ",\"id3\":{\"title\":" + json_string(shown(r.title)) + ",\"artist\":" + json_string(shown(r.artist)) +
             ",\"album\":" + json_string(shown(r.album)) + ",\"year\":" + json_string(shown(r.year)) +
             ",\"comment\":" + json_string(shown(r.comment)) + ",\"genre\":" + std::to_string(r.genre) + "}";
    } else {
        j += ",\"id3\":null";
    }
    if (t.rmp.is_rmp) {
        j += ",\"info\":{";
        for (size_t i = 0; i < tags::k_rmp_text_count; ++i) {
            if (i) j += ",";
            j += json_string(tags::k_rmp_ids[i]) + ":" + json_string(shown(t.rmp.text[i]));
        }
        j += "}";
    } else {
        j += ",\"info\":null";
    }
    j += ",\"error\":" + (l.error.empty() ? std::string("null") : json_string(l.error));
    return j + "}\n";
}

std::string show_text(const std::string& path, const Loaded& l) {
    std::string s = platform::sanitize_utf8(path) + ": " + (l.opened ? tags::kind_name(l.kind) : "unknown") +
                    ", form " + (l.opened ? form_name(l) : "none") + "\n";
    if (!l.opened || l.kind != tags::FileKind::mp3) return s;
    const tags::ShownTexts& t = l.texts;
    s += "  title   : " + shown(t.title) + "\n";
    s += "  artist  : " + shown(t.artist) + "\n";
    s += "  album   : " + shown(t.album) + "\n";
    s += "  year    : " + shown(t.year) + "\n";
    s += "  comment : " + shown(t.comment) + "\n";
    s += "  genre   : " + std::to_string(t.loaded.tag.genre) + "\n";
    if (t.rmp.is_rmp) {
        for (int i : {tags::IGNR, tags::ICOP, tags::IENG, tags::ISRC, tags::ISFT})
            s += std::string("  ") + tags::k_rmp_ids[static_cast<size_t>(i)] + "    : " +
                 shown(t.rmp.text[static_cast<size_t>(i)]) + "\n";
    }
    return s;
}

int run_show(const std::vector<std::string>& args) {
    bool json = false;
    std::vector<std::string> files;
    bool options_done = false;
    for (const std::string& a : args) {
        if (!options_done && a == "--json") json = true;
        else if (!options_done && a == "--") options_done = true;
        else if (!options_done && a.size() > 1 && a[0] == '-') return usage("unknown option " + a);
        else files.push_back(a);
    }
    if (files.empty()) return usage("show needs at least one FILE");
    int status = k_ok;
    for (const std::string& path : files) {
        Loaded l = load(path, true);
        if (!l.opened) {
            report(path, l.error);
            status = k_failed;
        }
        for (const std::string& n : l.texts.notices) report(path, "warning: " + n);
        cli::write_out(json ? show_json(path, l) : show_text(path, l));
    }
    return status;
}

struct SetOptions {
    std::optional<std::string> title, artist, album, year, comment;  // cp932
    std::optional<uint8_t> genre;
    bool no_rmp = false;
    std::string display_name = "kessa";
    std::vector<std::string> files;
};

int run_set(const std::vector<std::string>& args) {
    SetOptions o;
    bool options_done = false;
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
        std::string name = a, value;
        auto eq = a.find('=');
        if (eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
        } else {
            static const char* const valued[] = {"--title", "--artist", "--album", "--year", "--comment", "--genre",
                                                 "--display-name"};
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
        std::string cp932, bad;
        if (!platform::utf8_to_cp932(value, cp932, bad))
            return usage(name + ": " + (bad == "invalid UTF-8" ? bad : "'" + bad + "' has no form in code page 932"));
        if (name == "--display-name") {
            o.display_name = settings::slot_text(cp932.c_str(), 4096);
            continue;
        }
        if (cp932.size() > tags::k_text_capacity)
            return usage(name + " is " + std::to_string(cp932.size()) + " bytes in code page 932; at most 255 fit");
        if (name == "--title") o.title = cp932;
        else if (name == "--artist") o.artist = cp932;
        else if (name == "--album") o.album = cp932;
        else if (name == "--year") o.year = cp932;
        else if (name == "--comment") o.comment = cp932;
        else return usage("unknown option " + name);
    }
    if (o.files.empty()) return usage("set needs at least one FILE");

    int status = k_ok;
    for (const std::string& path : o.files) {
        bool rmp_enabled = !o.no_rmp;
        // Another writer of this file waits from our read through our write, so that two sets
        // of different fields at once both land.
        platform::WriteLock lock;
        lock.hold(path);
        Loaded l = load(path, rmp_enabled);
        for (const std::string& n : l.texts.notices) report(path, "warning: " + n);
        if (!l.opened) {
            report(path, l.error);
            status = k_failed;
            continue;
        }
        if (l.kind != tags::FileKind::mp3) {
            report(path, std::string("not an MP3 file (") + tags::kind_name(l.kind) + "); nothing written");
            status = k_failed;
            continue;
        }
        if (platform::is_read_only(path)) {
            report(path, "the file is read-only; nothing written");
            status = k_failed;
            continue;
        }
        const tags::ShownTexts& t = l.texts;
        tags::Tag edited{o.title.value_or(t.title), o.artist.value_or(t.artist), o.album.value_or(t.album),
                         o.year.value_or(t.year),   o.comment.value_or(t.comment), o.genre.value_or(t.loaded.tag.genre)};
        // Like the editor, an apply that changes nothing (letter case aside) writes nothing.
        using tags::equal_ignoring_case;
        if (equal_ignoring_case(edited.title, t.title) && equal_ignoring_case(edited.artist, t.artist) &&
            equal_ignoring_case(edited.album, t.album) && equal_ignoring_case(edited.year, t.year) &&
            equal_ignoring_case(edited.comment, t.comment) && edited.genre == t.loaded.tag.genre)
            continue;
        tags::ApplyForm form = tags::decide_apply_form(edited, rmp_enabled, t.rmp.is_rmp, l.file_is_rmp);
        tags::ApplyResult r = tags::apply_tag_to_file(path, edited, form, o.display_name);
        // r.notices repeat the damage that the load above already reported.
        for (const std::string& w : r.warnings) report(path, "warning: " + w);
        if (!r.ok) {
            report(path, r.error + "; the file is as it was");
            status = k_failed;
        }
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = cli::utf8_arguments(argc, argv);
    if (args.empty()) return usage("no command");
    std::string command = args.front();
    args.erase(args.begin());
    if (command == "show") return run_show(args);
    if (command == "set") return run_set(args);
    if (command == "--help" || command == "-h" || command == "help") {
        cli::write_out(k_usage_text);
        return k_ok;
    }
    return usage("unknown command " + command);
}

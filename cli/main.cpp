// tagzo-cli: shows and sets the tags of MP3 files in batches, for scripts.
//   tagzo-cli show [--json] FILE...
//   tagzo-cli set [--title T] [--artist A] [--album B] [--year Y] [--comment C] [--genre N]
//                 [--no-rmp] [--display-name NAME] FILE...
// Exit status: 0 every file done, 1 some file failed (named on stderr, left as it was),
// 2 usage error (nothing written).
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/flag_user.h"
#include "editor/settings/settings.h"
#include "editor/tags/apply_tag.h"
#include "editor/tags/load.h"
#include "editor/tags/load_file.h"
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

using cli::report;

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

// One file as `show` reads it: like the editor, but with the RMP texts of a read-only file too
// and the record as it stands, since nothing is written.
struct Loaded {
    bool opened = false;
    std::string error;
    tags::FileKind kind = tags::FileKind::unknown;
    tags::ShownTexts texts;
};

Loaded load(const std::string& path) {
    Loaded l;
    platform::File f;
    tags::FileHead head;
    editing::Result r = editing::open_and_classify(path, f, head);
    if (!r.ok()) {
        l.error = (r.fault == editing::Fault::cannot_read ? "cannot read: " : "cannot open: ") + r.detail;
        return l;
    }
    l.opened = true;
    l.kind = head.kind;
    if (l.kind == tags::FileKind::mp3) l.texts = tags::open_for_editing(f, true);
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
        Loaded l = load(path);
        if (!l.opened) {
            report(path, l.error);
            status = k_failed;
        }
        for (const std::string& n : l.texts.notices) report(path, "warning: " + n);
        cli::write_out(json ? show_json(path, l) : show_text(path, l));
    }
    return status;
}

int run_set(const std::vector<std::string>& args) {
    cli::SetOptions o;
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
            static const char* const valued[] = {"--title",   "--artist", "--album",       "--year",
                                                 "--comment", "--genre",  "--display-name"};
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
            o.display_name = cp932;
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

    // The editor's own load and apply, with the answers the flags give.
    settings::Settings st = cli::settings_for(o);
    int status = k_ok;
    for (const std::string& path : o.files) {
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

#include "core/editing/paths.h"

#include "core/formats/text_rules.h"
#include "platform/text.h"

namespace editing {

std::string start_file_from_tail(std::string_view tail) {
    if (tail.size() >= 2 && tail[0] == '/' && (tail[1] == 'e' || tail[1] == 'E'))
        tail.remove_prefix(tail.size() >= 3 ? 3 : 2);
    // 255 characters of the UTF-8 tail: a character's continuation bytes count with it.
    size_t characters = 0, end = 0;
    for (; end < tail.size(); ++end) {
        if ((static_cast<unsigned char>(tail[end]) & 0xC0) == 0x80) continue;
        if (characters++ == 255) break;
    }
    tail = tail.substr(0, end);
    std::string out;
    for (char c : tail) {
        if (c == '\0') break;
        if (c != '"') out += c;
    }
    return out;
}

size_t find_last_backslash(std::string_view path) {
    size_t found = std::string_view::npos;
    for (size_t i = 0; i < path.size();) {
        if (formats::is_lead_byte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
            i += 2;
            continue;
        }
        if (path[i] == '\\') found = i;
        ++i;
    }
    return found;
}

std::string relative_form(std::string_view path, std::string_view current_folder) {
    size_t len = current_folder.size();
    if (len == 3 && current_folder[2] == '\\') len = 2; // a drive root keeps no backslash of its own
    std::string_view folder = current_folder.substr(0, len);
    // UTF-8: ASCII letters are folded, and no byte of a longer character can equal one.
    auto same = [](std::string_view a, std::string_view b) {
        for (size_t i = 0; i < a.size(); ++i) {
            auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
            if (fold(a[i]) != fold(b[i])) return false;
        }
        return true;
    };
    if (path.size() > len + 1 && path[len] == '\\' && same(path.substr(0, len), folder))
        return std::string(path.substr(len + 1));
    return std::string(path);
}

std::string folder_of(std::string_view utf8_path) {
    size_t at = utf8_path.find_last_of("\\/");
    if (at == std::string_view::npos) return {};
    if (at == 2 && utf8_path[1] == ':') return std::string(utf8_path.substr(0, 3));
    return std::string(utf8_path.substr(0, at));
}

std::string folder_with_backslash(std::string_view folder) {
    std::string out(folder);
    if (out.empty() || out.back() != '\\') out += '\\';
    return out;
}

std::string name_by_tag(int32_t pattern, std::string_view folder, std::string_view artist, std::string_view title) {
    std::string name(folder);
    if (pattern == 1) {
        name.append(artist).append("-").append(title);
    } else {
        name.append("(").append(artist).append(")").append(title);
    }
    return name + ".mp3";
}

bool replace_unusable_chars(std::string_view name, std::string& out) {
    static constexpr struct {
        char from;
        const char* to;
    } table[] = {{'"', "\x81\x68"}, {'*', "\x81\x96"}, {',', "\x81\x43"}, {'/', "\x81\x5E"}, {':', "\x81\x46"},
                 {';', "\x81\x47"}, {'<', "\x81\x83"}, {'>', "\x81\x84"}, {'?', "\x81\x48"}, {'|', "\x81\x62"}};
    out.clear();
    bool replaced = false;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (formats::is_lead_byte(static_cast<unsigned char>(c)) && i + 1 < name.size()) {
            out += c;
            out += name[++i];
            continue;
        }
        const char* to = nullptr;
        for (const auto& r : table)
            if (r.from == c) to = r.to;
        if (to) {
            out += to;
            replaced = true;
        } else {
            out += c;
        }
    }
    return replaced;
}

std::string path_beside(std::string_view path, std::string_view cp932_name, std::string_view separators) {
    const std::string name = platform::cp932_to_utf8(cp932_name);
    size_t at = path.find_last_of(separators);
    if (at == std::string_view::npos) return name;
    return std::string(path.substr(0, at + 1)) + name;
}

TagRename plan_tag_rename(std::string_view path, int32_t pattern, bool is_rmp, std::string_view artist,
                          std::string_view title, std::string_view separators) {
    TagRename r;
    const std::string cut_artist = is_rmp ? std::string(artist) : formats::cut_to_width(artist, 30);
    r.has_texts = !title.empty() && !cut_artist.empty();
    r.name = name_by_tag(pattern, "", cut_artist, title);
    r.new_path = path_beside(path, r.name, separators);
    r.same_name = has_name(path, r.name, separators);
    return r;
}

bool has_name(std::string_view path, std::string_view cp932_name, std::string_view separators) {
    // The old name compares in cp932; one that has no cp932 form differs from any tag's.
    size_t at = path.find_last_of(separators);
    std::string_view old_name = at == std::string_view::npos ? path : path.substr(at + 1);
    std::string old_cp932, bad;
    return platform::utf8_to_cp932(old_name, old_cp932, bad) && formats::equal_ignoring_case(cp932_name, old_cp932);
}

} // namespace editing

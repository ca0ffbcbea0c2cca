#include "editor/window/paths.h"

#include "editor/tags/text_rules.h"

namespace editing {

std::string start_file_from_tail(std::string_view tail) {
    if (tail.size() >= 2 && tail[0] == '/' && (tail[1] == 'e' || tail[1] == 'E'))
        tail.remove_prefix(tail.size() >= 3 ? 3 : 2);
    tail = tail.substr(0, 255);
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
        if (tags::is_lead_byte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
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
    if (len == 3 && current_folder[2] == '\\') len = 2;  // a drive root keeps no backslash of its own
    std::string_view folder = current_folder.substr(0, len);
    if (path.size() > len + 1 && path[len] == '\\' && tags::equal_ignoring_case(path.substr(0, len), folder))
        return std::string(path.substr(len + 1));
    return std::string(path);
}

} // namespace editing

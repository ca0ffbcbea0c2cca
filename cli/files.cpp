#include "cli/files.h"

#include <algorithm>

#include "cli/console.h"
#include "platform/file.h"
#include "platform/text.h"

namespace cli {

namespace {

constexpr size_t k_progress_from = 200;

// Paths are joined with "/", which Windows takes too, so that a walk names its files alike on
// every system.
std::string joined(const std::string& folder, const std::string& name) {
    if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) return folder + name;
    return folder + "/" + name;
}

void walk(const std::string& folder, const std::string& inside, const OnFile& found, bool& failed) {
    std::vector<platform::FolderEntry> entries;
    if (platform::Result listed = platform::list_folder(folder, entries); !listed) {
        report(folder, "cannot read the folder: " + listed.detail);
        failed = true;
        return;
    }
    std::sort(entries.begin(), entries.end(),
              [](const platform::FolderEntry& a, const platform::FolderEntry& b) { return a.name < b.name; });
    // Its files are opened by their names in it where the system can hold it open.
    platform::Folder held;
    const bool holds = held.open(folder).ok();
    for (const platform::FolderEntry& e : entries) {
        const std::string within = inside.empty() ? e.name : inside + "/" + e.name;
        if (e.kind == platform::PathKind::directory && !e.link) {
            walk(joined(folder, e.name), within, found, failed);
        } else if (e.kind == platform::PathKind::file && is_music_name(e.name)) {
            found({joined(folder, e.name), within, holds ? &held : nullptr, e.name});
        }
    }
}

} // namespace

void report(const std::string& path, const std::string& what) {
    write_err("tagzo-cli: " + platform::sanitize_utf8(path) + ": " + what + "\n");
}

std::string folder_refusal(const std::string& path, const std::string& open_error) {
    if (platform::path_kind(path) == platform::PathKind::directory) return "is a folder; -r walks it";
    return "cannot open: " + open_error;
}

bool is_music_name(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext == ".mp3" || ext == ".rmp";
}

void for_each_file(const std::vector<std::string>& args, bool recursive, bool& failed, const OnFile& found) {
    for (const std::string& a : args) {
        // Without -r nothing is asked of the system here: a folder is refused by the command's
        // own open (see folder_refusal), and a batch pays no call for the test.
        if (recursive && platform::path_kind(a) == platform::PathKind::directory)
            walk(a, "", found, failed);
        else
            found({a, a.substr(a.find_last_of(platform::path_separators()) + 1), nullptr, {}});
    }
}

std::vector<std::string> expand_folders(const std::vector<std::string>& args, bool recursive, bool& failed,
                                        std::vector<std::string>* relative) {
    std::vector<std::string> out;
    for_each_file(args, recursive, failed, [&](const FoundFile& f) {
        out.push_back(f.path);
        if (relative) relative->push_back(f.within);
    });
    return out;
}

Progress::Progress(size_t total)
    : total_(total), shown_((total == k_unknown || total > k_progress_from) && err_is_terminal()) {}

Progress::~Progress() {
    if (drawn_) end_progress();
}

void Progress::step() {
    ++done_;
    if (!shown_ || (total_ == k_unknown && done_ <= k_progress_from)) return;
    drawn_ = true;
    if (total_ != k_unknown) show_progress("tagzo-cli: " + std::to_string(done_) + "/" + std::to_string(total_) + " files");
    else show_progress("tagzo-cli: " + std::to_string(done_) + " files");
}

} // namespace cli

// The files a command works on: its arguments, with the folders among them walked when -r is
// given, and a progress count for long runs.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/file.h"

namespace cli {

// The arguments with every folder replaced by the MP3 files under it (names ending in .mp3
// or .rmp, in any letter case), walked in the byte order of the names, each subfolder at its
// place. A link to a folder is never followed, so the walk stays inside the tree and ends; a
// link to a file is taken. Without `recursive` the arguments are given as they are. What cannot be walked is
// named on stderr and sets `failed`; the rest is still given. `relative`, when given, gets for
// each file its path inside the folder it was found in, or its bare name for a FILE argument.
std::vector<std::string> expand_folders(const std::vector<std::string>& args, bool recursive, bool& failed,
                                        std::vector<std::string>* relative = nullptr);

// The same files one at a time, each as the walk comes to it, for a command that needs no
// list: memory then does not grow with the number of files.
struct FoundFile {
    std::string path;
    std::string within;                      // its path inside the folder it was found in
    const platform::Folder* folder;          // its folder, held open while the walk is in it; or null
    std::string name;                        // its name in that folder
};
using OnFile = std::function<void(const FoundFile& file)>;
void for_each_file(const std::vector<std::string>& args, bool recursive, bool& failed, const OnFile& found);

// Names what befell a file on stderr: "tagzo-cli: FILE: WHAT".
void report(const std::string& path, const std::string& what);

// What to say of a FILE that could not be opened: a folder is named as one (Windows gives no
// word of its own for it), anything else with the system's words.
std::string folder_refusal(const std::string& path, const std::string& open_error);

// True for a name that a walk takes: it ends in .mp3 or .rmp, in any letter case.
bool is_music_name(const std::string& name);

// "tagzo-cli: N/TOTAL files" on stderr after each file, for more than 200 files and only on a
// terminal; the line is wiped at the end. Where the total is not known beforehand (a walk
// that works as it goes), "N files" from the 201st file on.
class Progress {
public:
    static constexpr size_t k_unknown = static_cast<size_t>(-1);
    explicit Progress(size_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    void step();

private:
    size_t total_, done_ = 0;
    bool shown_, drawn_ = false;
};

} // namespace cli

// Helpers of the unit tests: temporary folders and files, and the peers' test files.
#pragma once
#include <string>

namespace testing_files {

// A fresh folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const;

private:
    std::string path_;
};

void write_file(const std::string& path, const std::string& bytes);
bool make_folder(const std::string& path);
std::string read_file(const std::string& path);
// Names of the temporary files left in a folder (a replacement that failed must leave none).
int count_entries(const std::string& dir);
// The peers' folder, or "" when this clone has none beside it.
std::string peers_dir();

} // namespace testing_files

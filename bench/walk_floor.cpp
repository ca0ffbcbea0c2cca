// The floor for showing a collection: what the system calls of a walk cost, with nothing of
// tagzo around them. Walks the folders given (the entries of each in byte order, the type as
// the folder gives it), and for each file opens it, reads its last 128 bytes (where the
// ID3v1 record sits) and closes it, printing its path.
//   walk_floor FOLDER...
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

int failed = 0;

void walk(const std::string& folder) {
    DIR* d = ::opendir(folder.c_str());
    if (!d) {
        std::fprintf(stderr, "walk_floor: %s: cannot read the folder\n", folder.c_str());
        failed = 1;
        return;
    }
    std::vector<std::pair<std::string, bool>> entries; // name, is a folder
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        bool is_folder = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN) {
            struct stat st {};
            is_folder = ::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        entries.emplace_back(name, is_folder);
    }
    ::closedir(d);
    std::sort(entries.begin(), entries.end());
    for (const auto& [name, is_folder] : entries) {
        const std::string path = folder + "/" + name;
        if (is_folder) {
            walk(path);
            continue;
        }
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        unsigned char record[128];
        if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size < 128 ||
            ::pread(fd, record, sizeof record, st.st_size - 128) != 128) {
            std::fprintf(stderr, "walk_floor: %s: no record\n", path.c_str());
            failed = 1;
        }
        if (fd >= 0) ::close(fd);
        std::printf("%s\n", path.c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) walk(argv[i]);
    return failed;
}

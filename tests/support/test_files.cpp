#include "tests/support/test_files.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testing_files {

namespace {
// Paths are UTF-8 text, as the file layer takes them, on every system.
fs::path utf8_path(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }
} // namespace

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path p = fs::temp_directory_path() / ("tagzo-test-" + std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            path_ = p.string();
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    for (auto& e : fs::recursive_directory_iterator(path_, ec))
        fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const {
#ifdef _WIN32
    return path_ + "\\" + name;
#else
    return path_ + "/" + name;
#endif
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream f(utf8_path(path), std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

bool make_folder(const std::string& path) {
    std::error_code ec;
    return fs::create_directory(utf8_path(path), ec);
}

std::string read_file(const std::string& path) {
    std::ifstream f(utf8_path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

int count_entries(const std::string& dir) {
    int n = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir)) ++n;
    return n;
}

std::string peers_dir() {
    fs::path p = fs::path(TAGZO_TESTDATA) / "peers";
    std::error_code ec;
    return fs::is_directory(p, ec) ? p.string() : std::string();
}

} // namespace testing_files

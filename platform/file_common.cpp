// The parts of the file layer that need nothing of the system.
#include <vector>

#include "platform/file.h"

namespace platform {

File::~File() { close(); }
File::File(File&& other) noexcept : handle_(other.handle_), size_(other.size_), error_(std::move(other.error_)) {
    other.handle_ = -1;
}
File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        other.handle_ = -1;
        size_ = other.size_;
        error_ = std::move(other.error_);
    }
    return *this;
}

ReplacingWriter::~ReplacingWriter() { abort(); }

ReplacingWriter::StepFault ReplacingWriter::fail_step_for_tests = nullptr;

bool ReplacingWriter::is_temporary_name(const std::string& name) {
    const std::string prefix = k_temporary_prefix;
    if (name.size() != prefix.size() + k_temporary_suffix_length || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (size_t i = prefix.size(); i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
    }
    return true;
}

std::string extended_length_form(const std::string& full_path) {
    std::string p = full_path;
    for (char& c : p)
        if (c == '/') c = '\\';
    if (p.rfind("\\\\?\\", 0) == 0 || p.rfind("\\\\.\\", 0) == 0) return p;
    bool drive =
        p.size() >= 3 && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')) && p[1] == ':' && p[2] == '\\';
    if (drive) return "\\\\?\\" + p;
    if (p.size() > 2 && p[0] == '\\' && p[1] == '\\') return "\\\\?\\UNC\\" + p.substr(2);
    return p;
}

bool ReplacingWriter::write(const void* data, size_t n) {
    if (failed_) return false;
    if (!file_.write_at(written_, data, n)) {
        failed_ = true;
        error_ = file_.error();
        return false;
    }
    written_ += n;
    return true;
}

bool ReplacingWriter::copy_from(ByteSource& from, uint64_t offset, uint64_t n) {
    // 1 MiB blocks: large enough to run at copy speed, small enough for the memory goal.
    constexpr size_t k_block = 1u << 20;
    std::vector<unsigned char> block(static_cast<size_t>(n < k_block ? n : k_block));
    while (n > 0 && !failed_) {
        size_t part = static_cast<size_t>(n < k_block ? n : k_block);
        if (!from.read_at(offset, block.data(), part)) {
            failed_ = true;
            error_ = "reading the original file failed";
            return false;
        }
        if (!write(block.data(), part)) return false;
        // The data goes to disk while the copy goes on, not all at once at the commit.
        file_.start_writeback(written_ - part, part);
        offset += part;
        n -= part;
    }
    return !failed_;
}

bool ReplacingWriter::patch(uint64_t offset, const void* data, size_t n) {
    if (failed_) return false;
    if (offset > written_ || n > written_ - offset || !file_.write_at(offset, data, n)) {
        failed_ = true;
        if (error_.empty()) error_ = file_.error().empty() ? "patch outside the written part" : file_.error();
        return false;
    }
    return true;
}

bool read_whole_file(const std::string& path, std::string& out, size_t max_bytes, std::string& err) {
    File f;
    if (!f.open(path, File::Mode::read, err)) return false;
    uint64_t n = f.size() < max_bytes ? f.size() : max_bytes;
    out.assign(static_cast<size_t>(n), '\0');
    if (n && !f.read_at(0, out.data(), static_cast<size_t>(n))) {
        err = f.error();
        return false;
    }
    return true;
}

bool replace_file_content(const std::string& path, const void* data, size_t n, std::string& err) {
    ReplacingWriter w;
    if (!w.begin(path, err)) return false;
    if (!w.write(data, n)) {
        err = w.error();
        return false;
    }
    return w.commit(err);
}

} // namespace platform

// The parts of the file layer that need nothing of the system.
#include <cstring>
#include <utility>
#include <vector>

#include "platform/file.h"

namespace platform {

File::~File() { static_cast<void>(close()); } // a close that fails leaves nothing to do
File::File(File&& other) noexcept
    : handle_(other.handle_), size_(other.size_), read_error_(std::move(other.read_error_)) {
    other.handle_ = -1;
}
File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        static_cast<void>(close()); // and the kept reads go
        handle_ = other.handle_;
        other.handle_ = -1;
        size_ = other.size_;
        read_error_ = std::move(other.read_error_);
    }
    return *this;
}

void File::keep_small_reads() {
    if (!kept_) kept_ = std::make_unique<KeptReads>();
    keep_small_ = true;
}

bool File::kept_read(uint64_t offset, void* dst, size_t n) {
    for (unsigned i = 0; i < 2; ++i) {
        const SmallRead& k = kept_->read[i];
        if (k.length && offset >= k.offset && offset - k.offset <= k.length && n <= k.length - (offset - k.offset)) {
            if (n) std::memcpy(dst, k.bytes + (offset - k.offset), n);
            kept_->next = i ^ 1u;
            return true;
        }
    }
    // Not kept: one that lies in the window at either end of the file reads the whole window.
    const uint64_t window = size_ < k_kept_window ? size_ : k_kept_window;
    if (n == 0 || offset > size_ || n > size_ - offset) return false;
    uint64_t at = 0; // the head's window, or else the end's
    if (offset + n > window) {
        if (offset < size_ - window) return false;
        at = size_ - window;
    }
    SmallRead& k = kept_->read[kept_->next];
    k.length = 0;
    // The window's read goes to the system; where it fails, the caller reads just what it asked
    // for, and the reason of a failure is that read's own.
    std::string earlier = std::move(read_error_);
    keep_small_ = false;
    const bool got = read_at(at, k.bytes, static_cast<size_t>(window));
    keep_small_ = true;
    read_error_ = std::move(earlier);
    if (!got) return false;
    k.offset = at;
    k.length = static_cast<size_t>(window);
    kept_->next ^= 1u;
    std::memcpy(dst, k.bytes + (offset - at), n);
    return true;
}

void File::keep_read(uint64_t offset, const void* src, size_t n) {
    if (n == 0 || n > k_kept_window) return;
    SmallRead& k = kept_->read[kept_->next];
    kept_->next ^= 1u;
    k.offset = offset;
    k.length = n;
    std::memcpy(k.bytes, src, n);
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

// The bookkeeping of a replacing write, the same on every system; the temporary file's making
// and the replace itself are the system's (file_posix.cpp, file_win32.cpp).
Result ReplacingWriter::begin(const std::string& target) {
    abort();
    target_ = target;
    written_ = 0;
    gathered_.clear();
    status_ = {};
    warnings_.clear();
    // Each system looks at the target there, once: a folder or a device is refused.
    return create_temporary();
}

Result ReplacingWriter::fail(Result why) {
    status_ = why;
    return why;
}

Result ReplacingWriter::write(const void* data, size_t n) {
    if (!status_) return status_;
    // A chunk's header and its texts are a few bytes each: one system call takes them all.
    // A large piece (a tag with its picture) goes as it is, after what was gathered.
    if (gathered_.size() + n > k_gather || n >= k_direct)
        if (Result sent = write_gathered(); !sent) return sent;
    if (n >= k_direct) return write_now(data, n);
    gathered_.append(static_cast<const char*>(data), n);
    written_ += n;
    return {};
}

// With nothing gathered: the bytes go to the file at once.
Result ReplacingWriter::write_now(const void* data, size_t n) {
    if (Result put = file_.write_at(written_, data, n); !put) return fail(std::move(put));
    written_ += n;
    return {};
}

Result ReplacingWriter::write_gathered() {
    if (!status_ || gathered_.empty()) return status_;
    Result put = file_.write_at(written_ - gathered_.size(), gathered_.data(), gathered_.size());
    gathered_.clear();
    return put ? Result{} : fail(std::move(put));
}

Result ReplacingWriter::copy_from(ByteSource& from, uint64_t offset, uint64_t n) {
    // From a file, the system copies where it can, in steps of 8 MiB; each step goes to disk
    // while the copy goes on, not all at once at the commit.
    constexpr uint64_t k_step = 8u << 20;
    if (Result sent = write_gathered(); !sent) return sent;
    auto* const file = dynamic_cast<File*>(&from);
    while (file && n > 0 && status_) {
        const uint64_t copied = file_.copy_in_system(*file, offset, written_, n < k_step ? n : k_step);
        if (copied == 0) break;
        written_ += copied;
        // A large file's data goes to the disk while the copy goes on, not all at the commit.
        if (copied >= k_writeback) file_.start_writeback(written_ - copied, copied);
        offset += copied;
        n -= copied;
    }
    // The rest through 1 MiB blocks: large enough to run at copy speed, small enough for the
    // memory goal.
    constexpr size_t k_block = 1u << 20;
    std::vector<unsigned char> block(static_cast<size_t>(n < k_block ? n : k_block));
    while (n > 0) {
        if (!status_) return status_;
        size_t part = static_cast<size_t>(n < k_block ? n : k_block);
        if (!from.read_at(offset, block.data(), part))
            return fail(failure(Fault::cannot_read, "reading the original file failed"));
        if (Result put = write_now(block.data(), part); !put) return put;
        // The data goes to disk while the copy goes on, not all at once at the commit.
        if (part >= k_writeback) file_.start_writeback(written_ - part, part);
        offset += part;
        n -= part;
    }
    return status_;
}

Result ReplacingWriter::patch(uint64_t offset, const void* data, size_t n) {
    if (Result sent = write_gathered(); !sent) return sent;
    if (offset > written_ || n > written_ - offset)
        return fail(failure(Fault::write_failed, "patch outside the written part"));
    if (Result put = file_.write_at(offset, data, n); !put) {
        if (put.detail.empty()) put.detail = "patch outside the written part";
        return fail(std::move(put));
    }
    return {};
}

Result ReplacingWriter::commit() {
    if (Result finished = finish(); !finished) return finished;
    if (Result flushed = flush(); !flushed) return flushed;
    return take_place();
}

Result ReplacingWriter::finish() {
    if (temp_.empty()) return failure(Fault::write_failed, "nothing to commit");
    static_cast<void>(write_gathered()); // a failure is status_'s now
    // A file written over (an old one of ours) ends where its new content does.
    if (status_ && file_.size() > written_) {
        if (Result cut = file_.truncate(written_); !cut) status_ = cut;
    }
    if (!status_) {
        Result why = status_;
        abort();
        return why;
    }
    return {};
}

Result ReplacingWriter::flush() {
    if (temp_.empty()) return failure(Fault::write_failed, "nothing to commit");
    if (Result flushed = file_.flush(); !flushed) {
        abort();
        return failure(Fault::write_failed, "writing the new file failed: " + flushed.detail);
    }
    return {};
}

Result ReplacingWriter::take_place(bool flush_folder, bool keep_old) {
    if (temp_.empty()) return failure(Fault::write_failed, "nothing to commit");
    Result replaced = replace_target(flush_folder, keep_old);
    if (!replaced) {
        abort();
        return replaced;
    }
    replaced.warnings = warnings_;
    return replaced;
}

Result ReplaceGroup::add(std::unique_ptr<ReplacingWriter> writer) {
    if (Result finished = writer->finish(); !finished) return finished;
    bytes_ += writer->written();
    writers_.push_back(std::move(writer));
    return {};
}

namespace {
// Adds a folder to a list of them unless it is there: true where it was not.
bool add_once(std::vector<std::string>& folders, std::string folder) {
    for (const std::string& f : folders)
        if (f == folder) return false;
    folders.push_back(std::move(folder));
    return true;
}
} // namespace

void FolderFlushes::add(const std::string& folder) { add_once(folders_, folder); }

void FolderFlushes::flush() {
    for (const std::string& f : folders_) flush_folder(f);
    folders_.clear();
}

std::vector<Result> ReplaceGroup::commit(const std::function<Result()>& before_places,
                                         const std::function<void()>& after_places) {
    std::vector<Result> outcome(writers_.size());
    // Every content on the disk first, with one flush of each file system the group writes
    // to (the files of a folder are on one); where that cannot be had, a flush of each file.
    std::vector<std::string> flushed;
    for (size_t i = 0; i < writers_.size(); ++i) {
        const std::string folder = folder_of(writers_[i]->target());
        if (!add_once(flushed, folder)) continue;
        if (!writers_[i]->flush_file_system()) {
            for (size_t j = i; j < writers_.size(); ++j)
                if (folder_of(writers_[j]->target()) == folder) outcome[j] = writers_[j]->flush();
        }
    }
    if (before_places) {
        if (Result ready = before_places(); !ready) {
            for (size_t i = 0; i < writers_.size(); ++i) {
                writers_[i]->abort();
                if (outcome[i]) outcome[i] = ready;
            }
        }
    }
    FolderFlushes folders;
    for (size_t i = 0; i < writers_.size(); ++i) {
        if (!outcome[i]) continue;
        outcome[i] = writers_[i]->take_place(false, true);
        if (outcome[i]) folders.add(folder_of(writers_[i]->target()));
    }
    // The renames on the disk: once a folder. Only then may an old file be written again.
    folders.flush();
    if (after_places) after_places();
    for (const std::unique_ptr<ReplacingWriter>& w : writers_) w->offer_old_file();
    writers_.clear();
    bytes_ = 0;
    return outcome;
}

Result read_whole_file(const std::string& path, std::string& out, size_t max_bytes) {
    File f;
    if (Result opened = f.open(path, File::Mode::read); !opened) return opened;
    uint64_t n = f.size() < max_bytes ? f.size() : max_bytes;
    out.assign(static_cast<size_t>(n), '\0');
    if (n && !f.read_at(0, out.data(), static_cast<size_t>(n))) return failure(Fault::cannot_read, f.read_error());
    return {};
}

Result replace_file_content(const std::string& path, const void* data, size_t n) {
    ReplacingWriter w;
    if (Result begun = w.begin(path); !begun) return begun;
    if (Result put = w.write(data, n); !put) return put;
    return w.commit();
}

} // namespace platform

// POSIX side of the file layer.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE // sync_file_range, renameat2
#endif
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <unordered_set>

#include "platform/file.h"

namespace platform {

namespace {
std::string errno_text(int e) { return std::strerror(e); }

// Opens a regular file and looks at it: the descriptor, with `st` filled, or -1 and `why`.
// Opened without blocking, so that a FIFO or a device cannot hold the program before its type
// is looked at. O_NONBLOCK stays: reads and writes of a regular file never block on it, and
// two calls to clear it were a tenth of a batch's system calls.
int open_regular(int folder, const char* path, bool writable, struct stat& st, std::string& why) {
    const int fd = ::openat(folder, path, (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        why = errno_text(errno);
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        why = S_ISDIR(st.st_mode) ? "is a folder" : "not a regular file";
        return -1;
    }
    return fd;
}

// Whether a name (not followed through a link) still names the file whose fstat is `file`.
bool still_named(const std::string& name, const struct stat& file) {
    struct stat named {};
    return ::lstat(name.c_str(), &named) == 0 && named.st_dev == file.st_dev && named.st_ino == file.st_ino;
}
} // namespace

std::string folder_of(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string last_error_text() { return errno_text(errno); }

const char* path_separators() { return "/"; }

bool name_fits(const std::string& utf8_name) { return utf8_name.size() <= 255; }

Folder::~Folder() {
    if (handle_ != -1) ::close(static_cast<int>(handle_));
}

Result Folder::open(const std::string& path) {
    if (handle_ != -1) ::close(static_cast<int>(handle_));
    handle_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle_ < 0) {
        handle_ = -1;
        return failure(Fault::cannot_open, errno_text(errno));
    }
    return {};
}

Result File::open(const std::string& path, Mode mode) { return open_at(AT_FDCWD, path.c_str(), mode); }

Result File::open_in(const Folder& folder, const std::string& name, Mode mode) {
    if (!folder.is_open()) return failure(Fault::cannot_open, "the folder is not open");
    return open_at(static_cast<int>(folder.handle_), name.c_str(), mode);
}

Result File::open_at(int folder, const char* path, Mode mode) {
    static_cast<void>(close());
    struct stat st {};
    std::string why;
    const int fd = open_regular(folder, path, mode == Mode::read_write, st, why);
    if (fd < 0) return failure(Fault::cannot_open, why);
    handle_ = fd;
    size_ = static_cast<uint64_t>(st.st_size);
    read_error_.clear();
    return {};
}

Result File::adopt(intptr_t handle) {
    static_cast<void>(close());
    struct stat st {};
    if (fstat(static_cast<int>(handle), &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(static_cast<int>(handle));
        return failure(Fault::cannot_open, "not a regular file");
    }
    handle_ = handle;
    size_ = static_cast<uint64_t>(st.st_size);
    read_error_.clear();
    return {};
}

void File::adopt_new(intptr_t handle, uint64_t size) {
    static_cast<void>(close());
    handle_ = handle;
    size_ = size;
    read_error_.clear();
}

bool File::is_open() const { return handle_ >= 0; }

bool File::read_at(uint64_t offset, void* dst, size_t n) {
    if (!is_open()) return false;
    if (keep_small_ && kept_read(offset, dst, n)) return true;
    const uint64_t asked_at = offset;
    const size_t asked = n;
    auto* p = static_cast<unsigned char*>(dst);
    while (n > 0) {
        ssize_t got = ::pread(static_cast<int>(handle_), p, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            read_error_ = got < 0 ? errno_text(errno) : "unexpected end of file";
            return false;
        }
        p += got;
        n -= static_cast<size_t>(got);
        offset += static_cast<uint64_t>(got);
    }
    if (keep_small_) keep_read(asked_at, dst, asked);
    return true;
}

Result File::write_at(uint64_t offset, const void* src, size_t n) {
    if (!is_open()) return failure(Fault::write_failed);
    forget_reads();
    auto* p = static_cast<const unsigned char*>(src);
    uint64_t end = offset + n;
    while (n > 0) {
        ssize_t put = ::pwrite(static_cast<int>(handle_), p, n, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return failure(Fault::write_failed, put < 0 ? errno_text(errno) : "nothing was written");
        p += put;
        n -= static_cast<size_t>(put);
        offset += static_cast<uint64_t>(put);
    }
    if (end > size_) size_ = end;
    return {};
}

Result File::truncate(uint64_t new_size) {
    if (!is_open()) return failure(Fault::write_failed);
    forget_reads();
    if (::ftruncate(static_cast<int>(handle_), static_cast<off_t>(new_size)) != 0)
        return failure(Fault::write_failed, errno_text(errno));
    size_ = new_size;
    return {};
}

uint64_t File::copy_in_system(File& from, uint64_t from_offset, uint64_t offset, uint64_t n) {
    // One call: a short copy is no failure, and the caller asks again for the rest.
    ssize_t put = 0;
#ifdef __linux__
    if (!is_open() || !from.is_open()) return 0;
    auto in = static_cast<off_t>(from_offset), out = static_cast<off_t>(offset);
    const size_t want = n < (1u << 30) ? static_cast<size_t>(n) : (1u << 30);
    do {
        put = ::copy_file_range(static_cast<int>(from.handle_), &in, static_cast<int>(handle_), &out, want, 0);
    } while (put < 0 && errno == EINTR);
    if (put <= 0) return 0; // no such call, other file systems, or the source ended: the caller goes on
    forget_reads();
    if (offset + static_cast<uint64_t>(put) > size_) size_ = offset + static_cast<uint64_t>(put);
#else
    (void)from;
    (void)from_offset;
    (void)offset;
    (void)n;
#endif
    return static_cast<uint64_t>(put);
}

void File::start_writeback(uint64_t offset, uint64_t n) {
#ifdef SYNC_FILE_RANGE_WRITE
    if (is_open())
        ::sync_file_range(static_cast<int>(handle_), static_cast<off_t>(offset), static_cast<off_t>(n),
                          SYNC_FILE_RANGE_WRITE);
#else
    (void)offset;
    (void)n;
#endif
}

Result File::flush() {
    if (!is_open()) return failure(Fault::write_failed);
    if (::fsync(static_cast<int>(handle_)) != 0) return failure(Fault::write_failed, errno_text(errno));
    return {};
}

Result File::close() {
    if (!is_open()) return {};
    keep_small_ = false;
    forget_reads();
    int rc = ::close(static_cast<int>(handle_));
    handle_ = -1;
    if (rc != 0) return failure(Fault::write_failed, errno_text(errno));
    return {};
}

size_t ReplaceGroup::files_at_once() {
    static const size_t n = [] {
        rlimit files{};
        if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY) return k_files;
        // Room kept for the journal, the output and the files a file's work opens beside.
        const uint64_t room = files.rlim_cur > 64 ? (files.rlim_cur - 64) / 6 : 1;
        return static_cast<size_t>(room < 1 ? 1 : room < k_files ? room : k_files);
    }();
    return n;
}

namespace {
// Closes files that no longer have a name so that the freeing of their blocks (a tenth of a
// second for 200 MB, and on a file system that discards freed blocks a wait for the device for
// any file) is not this process's: a helper holds them, and nothing else of ours (not the
// output, not a lock), until the pipe tells it that this process has closed them; its end then
// frees the blocks. It is the child of a child that ends at once, so no one need wait for it.
// Where no helper can be had they are closed here.
void close_elsewhere(std::vector<int> fds) {
    int ends[2];
    if (!fds.empty() && ::pipe2(ends, O_CLOEXEC) == 0) {
        // Made before the fork: a child of a process with threads allocates nothing.
        std::vector<int> kept = fds;
        kept.push_back(ends[0]);
        std::sort(kept.begin(), kept.end());
        const pid_t child = ::fork();
        if (child == 0) {
            if (::fork() == 0) {
                unsigned from = 0;
                for (const int k : kept) {
                    if (static_cast<unsigned>(k) > from) ::close_range(from, static_cast<unsigned>(k) - 1, 0);
                    from = static_cast<unsigned>(k) + 1;
                }
                ::close_range(from, ~0U, 0);
                char c;
                while (::read(ends[0], &c, 1) < 0 && errno == EINTR) {}
                ::_exit(0);
            }
            ::_exit(0);
        }
        if (child > 0) ::waitpid(child, nullptr, 0);
        ::close(ends[0]);
        for (const int fd : fds) ::close(fd);
        ::close(ends[1]); // the helper goes on: this process holds the files no more
        return;
    }
    for (const int fd : fds) ::close(fd);
}
} // namespace

bool File::close_if_nameless() {
    struct stat st {};
    const int fd = static_cast<int>(handle_);
    if (!is_open() || size_ < k_free_elsewhere || ::fstat(fd, &st) != 0 || st.st_nlink != 0) return false;
    keep_small_ = false;
    forget_reads();
    handle_ = -1;
    close_elsewhere({fd});
    return true;
}

namespace {
// The old files that a group's replaces kept under temporary names (ReplacingWriter::
// offer_old_file), each open and locked, for the next writers into their folders. Its end (the
// program's) removes the names of those left, in the process that kept them only.
struct OldFile {
    std::string folder;
    std::string name;
    struct stat st {}; // as it was kept
    int fd = -1;
};

// Whether two files, or two folders, have one owner, group and permissions: an old file is
// written again only for a file of its kind, in a folder of its kind, so that no one can read
// of it meanwhile what they could not read before.
bool same_access(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_uid == b.st_uid && a.st_gid == b.st_gid &&
           (a.st_mode & 07777) == (b.st_mode & 07777);
}

// A name of our temporary form in a folder, the attempt-th to try.
std::string temporary_name(const std::string& folder, unsigned attempt) {
    static std::atomic<unsigned> made{0};
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%06x",
                  static_cast<unsigned>((::getpid() * 2654435761u + (attempt + made++) * 40503u) & 0xFFFFFF));
    return folder + "/" + ReplacingWriter::k_temporary_prefix + suffix;
}

class OldFiles {
public:
    ~OldFiles() {
        if (owner_ == ::getpid()) let_go();
    }
    // Kept where nothing else can reach it: locked by us, still under its name with no other,
    // no one else holding it open, and nothing beside its bytes (extended attributes belong to
    // the file it was). False where it is not, or enough are kept (each holds a descriptor: two
    // groups' worth at most, those a group replaces while the next is written).
    bool keep(OldFile f) {
        struct stat mine {};
        if (::flock(f.fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(f.fd, &mine) != 0 || mine.st_nlink != 1 ||
            !still_named(f.name, mine))
            return false;
        const ssize_t attributes = ::flistxattr(f.fd, nullptr, 0);
        if (attributes > 0 || (attributes < 0 && errno != ENOTSUP)) return false;
        // A write lease is granted only while no other descriptor of the file is open anywhere
        // (a player still reading the old file keeps it as it was); given back at once.
        if (::fcntl(f.fd, F_SETLEASE, F_WRLCK) != 0) return false;
        ::fcntl(f.fd, F_SETLEASE, F_UNLCK);
        std::lock_guard<std::mutex> hold(mutex_);
        if (kept_.size() >= 2 * ReplaceGroup::files_at_once()) return false;
        owner_ = ::getpid();
        kept_.push_back(std::move(f));
        return true;
    }
    // One for a file like `target` in the folder, in `f`; false where none can be had. One of
    // the folder's own goes first; else one of a folder like it moves there.
    bool take(const std::string& folder, const struct stat& target, OldFile& f) {
        std::lock_guard<std::mutex> hold(mutex_);
        struct stat here {}; // the folder, looked at only once another folder's file would do
        bool looked = false;
        for (int pass = 0; pass < 2; ++pass) {
            for (auto it = kept_.begin(); it != kept_.end(); ++it) {
                if ((it->folder == folder) != (pass == 0) || !same_access(it->st, target)) continue;
                if (pass == 1) {
                    if (!looked && ::stat(folder.c_str(), &here) != 0) return false;
                    looked = true;
                    struct stat there {};
                    if (::stat(it->folder.c_str(), &there) != 0 || !same_access(here, there)) continue;
                }
                f = std::move(*it);
                kept_.erase(it);
                if (pass == 0 || move_to(f, folder)) return true;
                remove({std::move(f)}, false);
                return false;
            }
        }
        return false;
    }
    void let_go() {
        std::lock_guard<std::mutex> hold(mutex_);
        remove(std::move(kept_), true);
        kept_.clear();
    }
    // Their names go (we hold their locks, so each name is still its file's), and the files
    // close: `elsewhere`, without holding this process up.
    static void remove(std::vector<OldFile> files, bool elsewhere) {
        std::vector<int> fds;
        for (const OldFile& f : files) {
            ::unlink(f.name.c_str());
            fds.push_back(f.fd);
        }
        if (elsewhere) {
            close_elsewhere(std::move(fds));
            return;
        }
        for (const int fd : fds) ::close(fd);
    }

private:
    // Moved, still locked, under a new temporary name in `folder`.
    static bool move_to(OldFile& f, const std::string& folder) {
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            std::string name = temporary_name(folder, attempt);
            if (::renameat2(AT_FDCWD, f.name.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) {
                f.name = std::move(name);
                f.folder = folder;
                return true;
            }
            if (errno != EEXIST) return false;
        }
        return false;
    }
    std::mutex mutex_;
    std::vector<OldFile> kept_;
    pid_t owner_ = 0;
};
// Made at the first old file kept: a command that makes no group never makes it.
std::atomic<bool> any_old_files{false};
OldFiles& old_files() {
    static OldFiles files;
    any_old_files = true;
    return files;
}
// Off once the file system refuses the swap of two names.
std::atomic<bool> can_swap{true};
} // namespace

void ReplacingWriter::offer_old_file() {
    if (old_name_.empty()) return;
    OldFile f;
    f.name = std::move(old_name_);
    old_name_.clear();
    f.folder = folder_of(target_);
    f.fd = ::open(f.name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (f.fd < 0) {
        ::unlink(f.name.c_str());
        return;
    }
    const bool looked = ::fstat(f.fd, &f.st) == 0 && S_ISREG(f.st.st_mode);
    const bool large = looked && static_cast<uint64_t>(f.st.st_size) >= File::k_free_elsewhere;
    if (looked && !large && old_files().keep(f)) return;
    // Another name holds it (the journal's), someone reads it, it is large, or enough are
    // kept: only the name goes, as a rename's would; a large one's blocks are freed elsewhere.
    OldFiles::remove({std::move(f)}, large);
}

void ReplacingWriter::let_go_of_old_files() {
    if (any_old_files) old_files().let_go();
}

namespace {
// The new file keeps the owner, the group and the permissions of the one it replaces (`old`).
// Where the system refuses the owner (another user's file), the write goes ahead and says whose
// the new file is.
void keep_owner(int fd, const struct stat& old, std::vector<std::string>& warnings) {
    struct stat mine {};
    ::fstat(fd, &mine);
    if ((mine.st_uid != old.st_uid || mine.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0)
        warnings.push_back("the file could not keep its owner " + std::to_string(old.st_uid) + ":" +
                           std::to_string(old.st_gid) + " (" + errno_text(errno) + "); it now belongs to " +
                           std::to_string(mine.st_uid) + ":" + std::to_string(mine.st_gid));
    if ((mine.st_mode & 07777) != (old.st_mode & 07777)) ::fchmod(fd, old.st_mode & 07777);
}
} // namespace

Result ReplacingWriter::create_temporary() {
    struct stat st {};
    // Through a symbolic link the file it names is replaced; the link stays a link.
    bool exists = ::lstat(target_.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        char* real = ::realpath(target_.c_str(), nullptr);
        if (!real) return failure(Fault::write_failed, "cannot follow the link: " + errno_text(errno));
        target_ = real;
        std::free(real);
        exists = ::stat(target_.c_str(), &st) == 0;
    }
    if (exists && !S_ISREG(st.st_mode)) return failure(Fault::write_failed, "not a regular file");
    // The new content is written beside the target so that the rename is one step. Where the
    // file system can, it goes into a file without a name, which a kill leaves nowhere; it
    // is named only at the commit. Elsewhere the temporary file has a short name (a long
    // target name must not grow past the name limit). Either way the file is locked from the
    // moment it has a name until that name is gone, so that a later writer can tell one left
    // by a kill (unlocked) from one still being written, and remove it at once.
    const std::string folder = folder_of(target_);
    remove_stale_temporaries_once(folder);
    // An old file that an earlier group kept, with the target's owner and permissions, is
    // written again: named and locked already. It is written over from its start and cut at the
    // commit to what was written, so its blocks are used again rather than freed and found anew.
    // A new target gets a new file, with the permissions of a new file.
    OldFile old;
    if (exists && any_old_files && old_files().take(folder, st, old)) {
        temp_ = old.name;
        unnamed_ = false;
        file_.adopt_new(old.fd, static_cast<uint64_t>(old.st.st_size));
        return {};
    }
    int fd = -1;
#ifdef O_TMPFILE
    // The name is given through /proc, which must be there.
    static const bool has_proc = ::access("/proc/self/fd", X_OK) == 0;
    if (has_proc) fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    // Locked before it has a name: no one else can reach it yet.
    if (fd >= 0) ::flock(fd, LOCK_EX | LOCK_NB);
#endif
    unnamed_ = fd >= 0;
    if (unnamed_) {
        temp_ = folder;
    } else {
        // A named file is unlocked between its creation and its lock, and another writer's
        // sweep may remove it then. Once locked it is checked to still have its name, and made
        // again if not.
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            std::string templ = folder + "/" + k_temporary_prefix + "XXXXXX";
            fd = ::mkostemp(templ.data(), O_CLOEXEC);
            if (fd < 0)
                return failure(Fault::write_failed, "cannot create a temporary file beside it: " + errno_text(errno));
            int r;
            while ((r = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {}
            struct stat mine {};
            if (r == 0 && (::fstat(fd, &mine) != 0 || mine.st_nlink == 0 || !still_named(templ, mine))) {
                ::close(fd);
                fd = -1;
                continue;
            }
            temp_ = templ;
        }
        if (fd < 0) return failure(Fault::write_failed, "cannot create a temporary file beside it");
    }
    // Made here a moment ago: a regular file, empty.
    file_.adopt_new(fd);
    if (exists) {
        keep_owner(fd, st, warnings_);
        return {};
    }
    // A new file gets the permissions any new file of this process gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    return {};
}

// The new content is flushed already; the writer aborts where this fails.
Result ReplacingWriter::replace_target(bool flush_folder, bool keep_old) {
    if (unnamed_) {
        if (Result named = name_unnamed(); !named) return named;
    }
    // The file is renamed while it is still open, and so still locked: a sweep by another
    // writer never finds its name unlocked. Its data is on disk already (the flush above).
    const bool faulted = fail_step_for_tests && fail_step_for_tests(Step::replace, temp_, target_);
    if (faulted) return failure(Fault::write_failed, "cannot replace the file: " + errno_text(EIO));
    bool swapped = false;
#ifdef RENAME_EXCHANGE
    // The two names change places in one step: the old file stays whole under the temporary
    // name (a crash leaves that name to the next sweep). A target that is gone meanwhile, or a
    // file system without such a swap, gets the plain rename.
    if (keep_old && can_swap) {
        swapped = ::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) == 0;
        if (!swapped && (errno == EINVAL || errno == ENOSYS)) can_swap = false;
    }
#endif
    if (!swapped && ::rename(temp_.c_str(), target_.c_str()) != 0)
        return failure(Fault::write_failed, "cannot replace the file: " + errno_text(errno));
    if (swapped) old_name_ = temp_;
    temp_.clear();
    // The new file is in place; its descriptor was only read from since the flush.
    static_cast<void>(file_.close());
    // Make the rename itself durable.
    if (flush_folder) platform::flush_folder(folder_of(target_));
    return {};
}

bool ReplacingWriter::flush_file_system() {
#ifdef __linux__
    return file_.is_open() && ::syncfs(static_cast<int>(file_.handle())) == 0;
#else
    return false;
#endif
}

// Gives the unnamed file a short name beside the target, just before the rename.
Result ReplacingWriter::name_unnamed() {
    std::string proc = "/proc/self/fd/" + std::to_string(file_.handle());
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string name = temporary_name(temp_, attempt);
        if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temp_ = name;
            unnamed_ = false;
            return {};
        }
        if (errno != EEXIST) return failure(Fault::write_failed, "cannot name the new file: " + errno_text(errno));
    }
    return failure(Fault::write_failed, "cannot name the new file");
}

void ReplacingWriter::abort() {
    // The name goes while the file is still locked.
    if (!temp_.empty() && !unnamed_) ::unlink(temp_.c_str());
    static_cast<void>(file_.close()); // the new content is given up
    temp_.clear();
    unnamed_ = false;
}

WriteLock::~WriteLock() { static_cast<void>(release()); }

Result WriteLock::release() {
    writable_ = read_only_ = false;
    // Closing drops the lock. A file replaced while it was held has no name left: its blocks
    // are freed elsewhere, after the replace is on the disk.
    if (file_.close_if_nameless()) return {};
    return file_.close();
}

void WriteLock::hold(const std::string& path, bool for_writing, const std::function<void()>& before_waiting) {
    static_cast<void>(release());
    // Each round that finds the file replaced under it waited for one whole write; a bound
    // keeps a path that is replaced without end from holding us.
    for (int round = 0; round < 100; ++round) {
        // For writing where asked and allowed; a file that cannot be opened so (read-only, on
        // read-only media) is still locked, and its writer finds out by its own open.
        bool writing = for_writing;
        struct stat locked {};
        std::string why; // the writer's own open says why, where it matters
        int fd = writing ? open_regular(AT_FDCWD, path.c_str(), true, locked, why) : -1;
        if (fd < 0) {
            writing = false;
            fd = open_regular(AT_FDCWD, path.c_str(), false, locked, why);
        }
        if (fd < 0) return;
        int r = ::flock(fd, LOCK_EX | LOCK_NB);
        if (r != 0 && errno == EWOULDBLOCK && before_waiting) before_waiting();
        if (r != 0)
            while ((r = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {}
        struct stat named {};
        if (r != 0 || ::stat(path.c_str(), &named) != 0) {
            ::close(fd);
            return;
        }
        if (named.st_dev == locked.st_dev && named.st_ino == locked.st_ino) {
            // The size as it stands now that no writer of ours can change it.
            file_.handle_ = fd;
            file_.size_ = static_cast<uint64_t>(named.st_size);
            file_.read_error_.clear();
            file_.keep_small_reads();
            writable_ = writing;
            read_only_ = (named.st_mode & 0222) == 0;
            return;
        }
        ::close(fd); // the writer before us put a new file in its place: lock that one
    }
}

// Removes the temporary files of writers that were killed: ours by their exact name, and not
// locked. A writer holds its file locked for as long as it has a name, so one that is not
// locked was left by a writer that no longer runs; a user's file whose name only begins like
// ours is never touched.
// A batch writes many files of a folder: a process sweeps it at its first write there
// (a child forked later is another writer, and sweeps again).
void remove_stale_temporaries_once(const std::string& folder) {
    static std::unordered_set<std::string> swept;
    static pid_t swept_by = 0;
    if (swept_by != ::getpid()) {
        swept.clear();
        swept_by = ::getpid();
    }
    if (swept.insert(folder).second) remove_stale_temporaries(folder);
}

void remove_stale_temporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (dirent* e = ::readdir(dir)) {
        if (!ReplacingWriter::is_temporary_name(e->d_name)) continue;
        std::string path = folder + "/" + e->d_name;
        int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        // While we hold the lock the name stays with the file we locked (a writer removes or
        // renames it only while it holds the lock), so the check before the unlink holds.
        struct stat locked {};
        if (::fstat(fd, &locked) == 0 && S_ISREG(locked.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            still_named(path, locked))
            ::unlink(path.c_str());
        ::close(fd);
    }
    ::closedir(dir);
}

std::string current_folder() {
    char* cwd = ::getcwd(nullptr, 0);
    std::string folder = cwd ? cwd : "";
    std::free(cwd);
    return folder;
}

bool set_current_folder(const std::string& path) { return ::chdir(path.c_str()) == 0; }

PathKind path_kind(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return PathKind::missing;
    if (S_ISREG(st.st_mode)) return PathKind::file;
    if (S_ISDIR(st.st_mode)) return PathKind::directory;
    return PathKind::other;
}

bool is_read_only(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    return (st.st_mode & 0222) == 0;
}

Result set_read_only(const std::string& path, bool read_only) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return failure(Fault::cannot_open, errno_text(errno));
    mode_t mode = st.st_mode & 07777;
    mode = read_only ? (mode & ~mode_t(0222)) : (mode | S_IWUSR);
    if (::chmod(path.c_str(), mode) != 0) return failure(Fault::write_failed, errno_text(errno));
    return {};
}

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool is_on_cdrom(const std::string&) { return false; }

bool same_file(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

Result make_folder(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) == 0) return {};
    const int e = errno;
    struct stat st {};
    if (e == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return {};
    return failure(Fault::write_failed, errno_text(e));
}

Result move_file(const std::string& from, const std::string& to) {
    auto refused = [](int e) { return failure(Fault::write_failed, errno_text(e)); };
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
    if (errno != EINVAL && errno != ENOSYS) return refused(errno);
    // A file system without the no-replace rename: a second name fails where one exists.
    if (::link(from.c_str(), to.c_str()) == 0) {
        if (::unlink(from.c_str()) == 0) return {};
        Result why = refused(errno);
        ::unlink(to.c_str());
        return why;
    }
    if (errno == EEXIST) return refused(errno);
    // Nor links (FAT): the check and the move are two steps there.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) return refused(EEXIST);
    if (::rename(from.c_str(), to.c_str()) == 0) return {};
    return refused(errno);
}

Result link_file(const std::string& existing, const std::string& new_name) {
    if (::link(existing.c_str(), new_name.c_str()) == 0) return {};
    return failure(Fault::write_failed, errno_text(errno));
}

void flush_folder(const std::string& folder) {
    const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return;
    ::fsync(dfd);
    ::close(dfd);
}

Result move_over(const std::string& from, const std::string& to, FolderFlushes* later) {
    if (::rename(from.c_str(), to.c_str()) != 0) return failure(Fault::write_failed, errno_text(errno));
    FolderFlushes now;
    FolderFlushes& folders = later ? *later : now;
    folders.add(folder_of(to));
    folders.add(folder_of(from));
    now.flush();
    return {};
}

bool remove_empty_folder(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

Result list_folder(const std::string& path, std::vector<FolderEntry>& out) {
    out.clear();
    DIR* d = ::opendir(path.c_str());
    if (!d) return failure(Fault::cannot_open, errno_text(errno));
    const int dfd = ::dirfd(d);
    errno = 0;
    while (const dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        FolderEntry entry{name, PathKind::missing, false};
        // The entry's type as the folder gives it saves a call per file; a link, or a file
        // system that does not give types, is asked.
        if (e->d_type == DT_REG || e->d_type == DT_DIR) {
            entry.kind = e->d_type == DT_REG ? PathKind::file : PathKind::directory;
            out.push_back(std::move(entry));
            errno = 0;
            continue;
        }
        struct stat st {};
        bool known = ::fstatat(dfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (known && S_ISLNK(st.st_mode)) {
            entry.link = true;
            known = ::fstatat(dfd, name.c_str(), &st, 0) == 0; // false for a dangling link
        }
        entry.kind = !known                ? PathKind::missing
                     : S_ISREG(st.st_mode) ? PathKind::file
                     : S_ISDIR(st.st_mode) ? PathKind::directory
                                           : PathKind::other;
        out.push_back(std::move(entry));
        errno = 0;
    }
    const int read_error = errno;
    ::closedir(d);
    if (read_error != 0) return failure(Fault::cannot_read, errno_text(read_error));
    return {};
}

} // namespace platform

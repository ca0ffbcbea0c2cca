// Files as the tag code needs them: exact reads and writes at offsets, and whole-file
// replacement through a temporary file in the same folder. Paths are UTF-8 on every system.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/byte_source.h"
#include "platform/result.h"

namespace platform {

class File;

// A folder held open, so that the files in it are opened by their names alone, without the
// system walking the folder's path again for each (openat on POSIX). Windows holds none:
// there is_open() stays false, and files are opened by their paths.
class Folder {
public:
    Folder() = default;
    ~Folder();
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    Result open(const std::string& path);
    bool is_open() const { return handle_ != -1; }

private:
    friend class File;
    intptr_t handle_ = -1;
};

class File final : public ByteSource {
public:
    enum class Mode { read, read_write };

    File() = default;
    ~File() override;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    // A failure's detail is a readable reason.
    Result open(const std::string& path, Mode mode);
    // The file `name` (no folder in it) in an open folder.
    Result open_in(const Folder& folder, const std::string& name, Mode mode);
    // Takes over an open descriptor (POSIX) of a regular file, opened for reading and writing.
    Result adopt(intptr_t handle);
    intptr_t handle() const { return handle_; }
    bool is_open() const;
    uint64_t size() const override { return size_; }
    bool read_at(uint64_t offset, void* dst, size_t n) override;
    // Writes all n bytes at offset in one call; the size follows when the file grows.
    Result write_at(uint64_t offset, const void* src, size_t n);
    Result truncate(uint64_t new_size);
    // Copies up to n bytes of `from` at from_offset to this file at offset inside the system
    // (copy_file_range on Linux), without the bytes passing through the program, in one call.
    // Gives how many went over, which may be fewer: 0 where the system has no such copy or
    // refuses it for these files, and the caller copies the rest itself.
    uint64_t copy_in_system(File& from, uint64_t from_offset, uint64_t offset, uint64_t n);
    // Asks the system to start writing a range to disk now, without waiting for it, so that
    // a later flush has little left to do. A hint: it may do nothing.
    void start_writeback(uint64_t offset, uint64_t n);
    Result flush();
    Result close();
    // Closes a large file that no longer has a name (one this program replaced) so that the
    // freeing of its blocks, a tenth of a second for 200 MB, is not the program's: on POSIX a
    // process of its own holds it until this one has let go, and then ends. False, the file
    // still open, for any other file (and every file on Windows).
    bool close_if_nameless();
    static constexpr uint64_t k_free_elsewhere = uint64_t(32) << 20;
    // The reason of the last failed read_at, in words: reads keep the ByteSource form that the
    // readers of outside data share, a plain true or false.
    const std::string& read_error() const { return read_error_; }
    // From now on small reads are kept and given again without the system, until the file is
    // written, truncated or closed: for a file that no one else writes meanwhile (see
    // WriteLock::file). A read of at most k_kept_window bytes that lies in the file's first or
    // last k_kept_window bytes reads all of those at once, so that the tag readers' looks at
    // either end (the head, an ID3v2 header or footer, the ID3v1 record) take one call there
    // between them; another such read is kept as it is. The two used last are kept.
    void keep_small_reads();
    static constexpr size_t k_kept_window = 256;

private:
    friend class WriteLock;
    friend class ReplacingWriter;
#ifndef _WIN32
    // Takes over the descriptor of a regular file just made (or one of ours to write over, of
    // `size` bytes), without looking at it.
    void adopt_new(intptr_t handle, uint64_t size = 0);
    Result open_at(int folder, const char* path, Mode mode);
#endif
    struct SmallRead {
        uint64_t offset = 0;
        size_t length = 0;
        unsigned char bytes[k_kept_window];
    };
    struct KeptReads {
        SmallRead read[2];
        unsigned next = 0; // the one used less lately, which a new read replaces
    };
    bool kept_read(uint64_t offset, void* dst, size_t n);
    void keep_read(uint64_t offset, const void* src, size_t n);
    void forget_reads() {
        if (kept_) kept_->read[0].length = kept_->read[1].length = 0;
    }

    intptr_t handle_ = -1; // a descriptor on POSIX, a HANDLE on Windows
    uint64_t size_ = 0;
    std::string read_error_;
    bool keep_small_ = false;
    // Made by keep_small_reads, beside the file: the many files that keep nothing stay small
    // on the stack.
    std::unique_ptr<KeptReads> kept_;
};

// Writes a new content for `target` beside it and puts it in the target's place in one step.
// Until commit() succeeds the target is untouched; a writer destroyed without commit removes
// its temporary file.
class ReplacingWriter {
public:
    ReplacingWriter() = default;
    ~ReplacingWriter();
    ReplacingWriter(const ReplacingWriter&) = delete;
    ReplacingWriter& operator=(const ReplacingWriter&) = delete;

    Result begin(const std::string& target);
    // After a failed write, copy or patch the writer takes no more, and its commit fails with
    // that first failure. Small writes are gathered (up to k_gather bytes) and go to the file
    // together, before the next copy or patch and at the commit; a failure of such a write
    // shows there.
    Result write(const void* data, size_t n);
    // Copies n bytes of `from` starting at offset, in blocks.
    Result copy_from(ByteSource& from, uint64_t offset, uint64_t n);
    uint64_t written() const { return written_; }
    // Patches bytes already written (sizes that are known only at the end).
    Result patch(uint64_t offset, const void* data, size_t n);
    // Done, its warnings naming what the replacement could not keep (the owner, where the
    // system refused it). The three steps of a commit, which a ReplaceGroup takes one at a
    // time for many writers: finish (the content whole, handed to the system), flush (on the
    // disk) and take_place (the target replaced; its folder flushed, unless the caller flushes
    // it once for many). Each step aborts the writer where it fails.
    // take_place's keep_old (POSIX, a group's replaces): the old file is not let go at the
    // replace but swaps names with the new one, and so stays whole under the temporary name
    // until offer_old_file, once the swap is on the disk.
    Result commit();
    Result finish();
    Result flush();
    Result take_place(bool flush_folder = true, bool keep_old = false);
    // Where take_place kept the old file: it is kept for a later writer (into its folder, or
    // moved to another), which writes its new content over it and cuts it there at finish
    // (making a new file, and letting an old one go, cost a file system more than all the rest
    // of a small file's replace). It is kept only where nothing else can reach it: no other
    // name, no one else holding it open, no extended attributes, and smaller than
    // k_free_elsewhere; otherwise its name goes now.
    void offer_old_file();
    // The old files kept so and never written again: their names removed. A batch calls it at
    // its end; a program's normal end does too.
    static void let_go_of_old_files();
    // Flushes everything written to the file system of the new file, this writer's and all
    // others' (syncfs); false where the system has no such call or it failed, and then each
    // writer is flushed alone.
    bool flush_file_system();
    const std::string& target() const { return target_; }
    void abort();
    // Our temporary files are named with this prefix and six letters or digits, nothing else.
    static constexpr const char* k_temporary_prefix = ".tagzo-";
    static constexpr size_t k_temporary_suffix_length = 6;
    // True for a name (without its folder) of exactly that form.
    static bool is_temporary_name(const std::string& name);
    // The steps of a commit's replace. replace: the new file takes the target's name (rename
    // on POSIX; ReplaceFileW on Windows, whose first move takes the old file to a backup name
    // beside it). restore and move (Windows): where ReplaceFileW failed, the old file's way
    // back from the backup name, then the new file's move into place.
    enum class Step { replace, restore, move };
    // A seam for the unit tests alone, null in the programs: a commit calls it before each
    // step with the names of the step's (first) move, and a step for which it returns true is
    // not made and fails as if the system had refused it.
    using StepFault = bool (*)(Step step, const std::string& from, const std::string& to);
    static StepFault fail_step_for_tests;

private:
    // The parts each system does its own way: the temporary file made beside target_ (and
    // opened as file_), and its replace of the target once its content is flushed.
    Result create_temporary();
    Result replace_target(bool flush_folder, bool keep_old);
    Result name_unnamed();
    Result fail(Result why);
    Result write_gathered();
    Result write_now(const void* data, size_t n);
    static constexpr size_t k_gather = 64 * 1024;
    static constexpr size_t k_direct = 4 * 1024; // a write this large is not gathered
    static constexpr uint64_t k_writeback = 1024 * 1024; // a copy this large is sent to the disk at once
    std::string gathered_; // written_ counts these bytes too; they end it
    std::string target_;
    std::string temp_;     // the temporary file's name; for an unnamed one, its folder
    bool unnamed_ = false; // written as a file without a name, named only at the commit
    std::string old_name_; // where take_place kept the old file, until offer_old_file
    File file_;
    uint64_t written_ = 0;
    Result status_; // a failure here is the first failed write, copy or patch
    std::vector<std::string> warnings_;
};

// Many replaces made together, as a batch makes them: each writer's content is written whole
// first, then all of them are flushed, then each takes its target's place, then each folder
// is flushed once. A crash at any point leaves every target wholly old or wholly new, at a
// flush or two per group where one replace alone takes two.
class ReplaceGroup {
public:
    static constexpr size_t k_files = 128;
    static constexpr uint64_t k_bytes = uint64_t(64) << 20;
    // Takes a writer whose content is all written, and finishes it; where that fails, the
    // writer is given up and the failure returned.
    Result add(std::unique_ptr<ReplacingWriter> writer);
    bool full() const { return writers_.size() >= files_at_once() || bytes_ >= k_bytes; }
    // k_files, or fewer where the system lets a process open fewer files: a batch holds two
    // groups open at once (one written, one being replaced), two descriptors a file, and
    // the old files of two groups kept to be written again (offer_old_file).
    static size_t files_at_once();
    bool empty() const { return writers_.empty(); }
    // Commits every writer, and gives each one's outcome in the order they were added.
    // `before_places`, where given, runs once the new contents are on the disk and before the
    // first target is replaced (a journal flushes its records of them there); where it fails,
    // every target stays as it was. `after_places`, where given, runs once the replaces are on
    // the disk, before the old files are offered (offer_old_file): the caller lets go of its
    // own hold on them there (its locks), or they are not kept.
    std::vector<Result> commit(const std::function<Result()>& before_places = {},
                               const std::function<void()>& after_places = {});

private:
    std::vector<std::unique_ptr<ReplacingWriter>> writers_;
    uint64_t bytes_ = 0;
};

// Keeps our other writers away from one file from the read that a change is built on through
// its write or replace, so that two changes made at once both land. It holds off only writers
// that take it too. On POSIX it locks the file itself; a replace gives the path a new file, so
// a writer that waited checks that the path still names the file it locked, and starts again
// on the new one if not. On Windows it locks the path, without opening the file.
class WriteLock {
public:
    WriteLock() = default;
    ~WriteLock();
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

    // Waits while another writer holds the file. On POSIX it holds nothing where the path names
    // no file that can be opened (the caller's own open says why) or the file system has no
    // locks. `for_writing` asks for the locked file open for writing too (see file()).
    // `before_waiting`, where given, is called once the file is found held, before the wait:
    // a holder that is the caller itself (a batch's locks of files it has yet to replace, the
    // same file reached twice) lets go there.
    void hold(const std::string& path, bool for_writing = false, const std::function<void()>& before_waiting = {});
    bool held() const { return handle_ != -1 || file_.is_open(); }
    // Ends the hold. Where the holder wrote through file(), the close's failure is the last word
    // on that write.
    Result release();
    // On POSIX the lock is taken on the open file itself: the holder reads, and writes where
    // writable(), through it, with no other open of the file. The small reads it gives (the
    // head, the record) are kept until it is written, since our other writers wait. Null where
    // the lock holds no file (Windows, or not held).
    File* file() { return file_.is_open() ? &file_ : nullptr; }
    bool writable() const { return file_.is_open() && writable_; }
    // Whether that file was read-only (is_read_only) when the lock was taken.
    bool read_only() const { return read_only_; }

private:
    intptr_t handle_ = -1; // a held mutex on Windows
    File file_;            // the locked file on POSIX
    bool writable_ = false;
    bool read_only_ = false;
};

// The extended-length form of a full Windows path, which the system takes past 260
// characters: C:\a becomes \\?\C:\a, and \\server\share\a becomes \\?\UNC\server\share\a.
// A path already in that form or in the device form (\\.\NUL), and one that is not full,
// stays as it is; forward slashes become backslashes. Text work only: the Windows side
// makes the path full first.
std::string extended_length_form(const std::string& full_path);

// Removes our temporary files in a folder that writers killed half-way left behind: names of
// exactly our form that no running writer holds (on POSIX its lock, which a writer keeps while
// the name exists; on Windows its open file, and only once the file is an hour old). No other
// name is ever touched.
void remove_stale_temporaries(const std::string& folder);
// The same, once a folder in this process (POSIX): a batch that writes sweeps each folder it
// comes to, so that the old files a killed batch kept under such names (see
// ReplacingWriter::offer_old_file) go at the next, even where it writes nothing there.
void remove_stale_temporaries_once(const std::string& folder);

// The program's current folder (UTF-8, full; empty when it cannot be read), and its change,
// which fails and changes nothing where the path names no folder. Windows holds a current
// folder of fewer than MAX_PATH characters only: a longer one the program keeps here itself
// (the system's stays where it was), so the program hands the system full paths only, built
// on current_folder(), never a path relative to the system's folder.
std::string current_folder();

// The characters that end a folder in a path on this system: "\\/" on Windows, "/" elsewhere.
const char* path_separators();

// Whether a file system takes a name this long: 255 bytes on Linux and macOS, 255 UTF-16 units on
// Windows.
bool name_fits(const std::string& utf8_name);

// The system's word on the call that failed last in this thread (errno, or GetLastError on
// Windows).
std::string last_error_text();
bool set_current_folder(const std::string& path);
#ifdef _WIN32
// A path for the wide calls of the system: one that reaches the 260-character limit is made
// full and given in the extended-length form; shorter ones go as they are.
std::wstring system_path(const std::string& utf8);
#endif
// Keeps the current folder of a step that only borrows it: back as it was at the end of the
// scope, unless the step's change is to stay.
class FolderKept {
public:
    FolderKept() : saved_(current_folder()) {}
    ~FolderKept() {
        if (!saved_.empty()) set_current_folder(saved_);
    }
    FolderKept(const FolderKept&) = delete;
    FolderKept& operator=(const FolderKept&) = delete;
    void keep_new() { saved_.clear(); }

private:
    std::string saved_;
};

enum class PathKind { missing, file, directory, other };
PathKind path_kind(const std::string& path);
bool is_read_only(const std::string& path);
Result set_read_only(const std::string& path, bool read_only);
bool remove_file(const std::string& path);
// True when both paths name one existing file or folder (through links, other spellings or case).
bool same_file(const std::string& a, const std::string& b);
// Makes one folder; one that exists already is no failure.
Result make_folder(const std::string& path);
// The folder of a path: what comes before its last separator, "." for a bare name.
std::string folder_of(const std::string& path);
// Gives a file a new name. A file that already has that name is never replaced: the move fails.
Result move_file(const std::string& from, const std::string& to);

// A second name for a file, in a folder of the same file system. Fails where the name is taken
// and where the system makes no such links (another file system, FAT): the caller copies then.
Result link_file(const std::string& existing, const std::string& new_name);
// The folders that many moves change, each flushed once for all of them (flush_folder).
class FolderFlushes {
public:
    void add(const std::string& folder);
    void flush();

private:
    std::vector<std::string> folders_;
};
// Gives a file the name of another, which it replaces in one step; the move is on the disk when
// this returns, or, where `later` is given, once `later` is flushed.
Result move_over(const std::string& from, const std::string& to, FolderFlushes* later = nullptr);
// The folder's entries on the disk: a name just made there survives a crash (nothing to do on
// Windows, whose moves and links are written through).
void flush_folder(const std::string& folder);
// Removes a folder that is empty; false where it is not, or cannot be removed.
bool remove_empty_folder(const std::string& path);

// One entry of a folder. `kind` is what a link points at; `link` says the entry is one (a
// symbolic link, or on Windows any reparse point such as a junction).
struct FolderEntry {
    std::string name; // UTF-8, without the folder
    PathKind kind = PathKind::missing;
    bool link = false;
};
// The entries of a folder, without "." and "..", in the order the system gives them.
Result list_folder(const std::string& path, std::vector<FolderEntry>& out);
// True when the path lies on a CD-ROM drive (never on POSIX systems).
bool is_on_cdrom(const std::string& path);
// Whole small files (the settings file, setup.dat); a read gives at most max_bytes.
Result read_whole_file(const std::string& path, std::string& out, size_t max_bytes);
Result replace_file_content(const std::string& path, const void* data, size_t n);

} // namespace platform

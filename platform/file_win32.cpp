// Windows side of the file layer: wide-character calls, so that any file name works.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "platform/file.h"
#include "platform/text.h"

namespace platform {

namespace {
std::string win_error_text(DWORD code) {
    wchar_t* buf = nullptr;
    DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    std::string text;
    if (n && buf) {
        while (n > 0 && (buf[n - 1] == L'\r' || buf[n - 1] == L'\n' || buf[n - 1] == L' ')) --n;
        text = utf16_to_utf8(std::wstring(buf, n));
    }
    if (buf) LocalFree(buf);
    char num[32];
    std::snprintf(num, sizeof num, "error %lu", static_cast<unsigned long>(code));
    return text.empty() ? std::string(num) : text + " (" + num + ")";
}

std::wstring wide(const std::string& utf8) { return system_path(utf8); }

// The full form of a path as the system makes it (the current folder and drive put in front,
// "." and ".." taken out); empty when the system cannot make it.
std::wstring full_path(const std::wstring& given) {
    DWORD n = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (n == 0) return {};
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(given.c_str(), n, full.data(), nullptr);
    if (n == 0 || n >= full.size()) return {};
    full.resize(n);
    return full;
}


// A folder too long for the system's current folder, which the program then keeps as its own;
// empty while the system's is the program's. Read and written by the window thread only.
std::string kept_folder;
} // namespace

std::string folder_of(const std::string& path) {
    auto slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash);
}

std::string last_error_text() { return win_error_text(GetLastError()); }

const char* path_separators() { return "\\/"; }

bool name_fits(const std::string& utf8_name) { return utf8_to_utf16(utf8_name).size() <= 255; }

// One that reaches the 260-character limit (with room for the temporary name beside it) is
// made full and given in the extended-length form, which the system takes at any length.
std::wstring system_path(const std::string& utf8) {
    std::wstring given = utf8_to_utf16(utf8);
    if (given.size() < MAX_PATH - 20) return given;
    const std::wstring full = full_path(given);
    if (full.empty()) return given;
    return utf8_to_utf16(extended_length_form(utf16_to_utf8(full)));
}

Folder::~Folder() = default;

Result Folder::open(const std::string&) {
    return failure(Fault::cannot_open, "folders are not held open here"); // files go by their paths
}

Result File::open_in(const Folder&, const std::string&, Mode) {
    return failure(Fault::cannot_open, "the folder is not open");
}

Result File::open(const std::string& path, Mode mode) {
    static_cast<void>(close());
    DWORD access = mode == Mode::read ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
    HANDLE h = CreateFileW(wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return failure(Fault::cannot_open, win_error_text(GetLastError()));
    // Devices (NUL, CON, COM1, pipes) are no files to tag.
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(h);
        return failure(Fault::cannot_open, "not a regular file");
    }
    handle_ = reinterpret_cast<intptr_t>(h);
    size_ = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    read_error_.clear();
    return {};
}

bool File::is_open() const { return handle_ != -1; }

bool File::read_at(uint64_t offset, void* dst, size_t n) {
    if (!is_open()) return false;
    if (keep_small_ && kept_read(offset, dst, n)) return true;
    const uint64_t asked_at = offset;
    const size_t asked = n;
    auto* p = static_cast<unsigned char*>(dst);
    while (n > 0) {
        DWORD part = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
        OVERLAPPED ov{};
        ov.Offset = static_cast<DWORD>(offset);
        ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(handle_), p, part, &got, &ov)) {
            DWORD e = GetLastError();
            read_error_ = e == ERROR_HANDLE_EOF ? "unexpected end of file" : win_error_text(e);
            return false;
        }
        if (got == 0) {
            read_error_ = "unexpected end of file";
            return false;
        }
        p += got;
        n -= got;
        offset += got;
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
        DWORD part = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
        OVERLAPPED ov{};
        ov.Offset = static_cast<DWORD>(offset);
        ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD put = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), p, part, &put, &ov))
            return failure(Fault::write_failed, win_error_text(GetLastError()));
        if (put == 0) return failure(Fault::write_failed, "nothing was written");
        p += put;
        n -= put;
        offset += put;
    }
    if (end > size_) size_ = end;
    return {};
}

Result File::truncate(uint64_t new_size) {
    if (!is_open()) return failure(Fault::write_failed);
    forget_reads();
    LARGE_INTEGER li;
    li.QuadPart = static_cast<LONGLONG>(new_size);
    if (!SetFilePointerEx(reinterpret_cast<HANDLE>(handle_), li, nullptr, FILE_BEGIN) ||
        !SetEndOfFile(reinterpret_cast<HANDLE>(handle_)))
        return failure(Fault::write_failed, win_error_text(GetLastError()));
    size_ = new_size;
    return {};
}

uint64_t File::copy_in_system(File&, uint64_t, uint64_t, uint64_t) {
    return 0; // the caller's copy through a block of memory
}

void File::start_writeback(uint64_t, uint64_t) {}

Result File::flush() {
    if (!is_open()) return failure(Fault::write_failed);
    if (!FlushFileBuffers(reinterpret_cast<HANDLE>(handle_)))
        return failure(Fault::write_failed, win_error_text(GetLastError()));
    return {};
}

size_t ReplaceGroup::files_at_once() { return k_files; } // handles are not counted so tightly

bool File::close_if_nameless() { return false; } // a replaced file is closed before its replace

Result File::close() {
    if (!is_open()) return {};
    keep_small_ = false;
    forget_reads();
    BOOL ok = CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
    if (!ok) return failure(Fault::write_failed, win_error_text(GetLastError()));
    return {};
}

Result ReplacingWriter::create_temporary() {
    const std::string& target = target_;
    const PathKind kind = path_kind(target);
    if (kind == PathKind::directory || kind == PathKind::other)
        return failure(Fault::write_failed, "not a regular file");
    // The temporary file sits in the target's folder so that the replacement is one step. Its
    // name is short, whatever the target's: a long name must not grow past the limit. Files
    // of ours that a killed writer left there an hour ago or more go first.
    remove_stale_temporaries(folder_of(target));
    std::string base = folder_of(target) + "\\" + k_temporary_prefix;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const DWORD mix = (GetTickCount() ^ (GetCurrentProcessId() * 2654435761u)) + attempt * 40503u;
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%06lx", static_cast<unsigned long>(mix & 0xFFFFFF));
        std::string candidate = base + suffix;
        HANDLE h = CreateFileW(wide(candidate).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            DWORD e = GetLastError();
            if (e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS) continue;
            return failure(Fault::write_failed, "cannot create a temporary file beside it: " + win_error_text(e));
        }
        CloseHandle(h);
        temp_ = candidate;
        break;
    }
    if (temp_.empty()) return failure(Fault::write_failed, "cannot create a temporary file beside it");
    if (Result opened = file_.open(temp_, File::Mode::read_write); !opened) {
        DeleteFileW(wide(temp_).c_str());
        temp_.clear();
        return opened;
    }
    return {};
}

// The new content is flushed already; the writer aborts where this fails.
bool ReplacingWriter::flush_file_system() { return false; } // each file is flushed alone

// The old file is let go at the replace: ReplaceFileW keeps no such swap.
void ReplacingWriter::offer_old_file() {}
void ReplacingWriter::let_go_of_old_files() {}

Result ReplacingWriter::replace_target(bool /*flush_folder: a move through the system is written through*/,
                                       bool /*keep_old*/) {
    // ReplaceFileW takes the new file only closed.
    if (Result closed = file_.close(); !closed)
        return failure(Fault::write_failed, "writing the new file failed: " + closed.detail);
    std::wstring wt = wide(target_), wtemp = wide(temp_);
    DWORD attrs = GetFileAttributesW(wt.c_str());
    auto exists = [](const std::wstring& p) { return GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES; };
    auto fault = [](Step step, const std::string& from, const std::string& to) {
        return fail_step_for_tests && fail_step_for_tests(step, from, to);
    };
    // ReplaceFileW keeps what belongs to the file rather than to its content: its creation
    // time, its security settings and its other streams. Where it cannot (another file
    // system, no file yet), the new file is moved into place.
    // The old file goes to a backup name of ours beside it, so that a replacement that fails
    // half-way leaves nothing of its own behind and the old file can be put back.
    const std::string backup = temp_ + ".old";
    const std::wstring wbackup = wide(backup);
    bool replaced = false;
    if (attrs != INVALID_FILE_ATTRIBUTES) {
        if (fault(Step::replace, target_, backup)) {
            SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
        } else {
            replaced = ReplaceFileW(wt.c_str(), wtemp.c_str(), wbackup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                                    nullptr, nullptr) != 0;
        }
    }
    // Stopped half-way, ReplaceFileW leaves the old file at the backup name and none at the
    // target's: it goes back first.
    if (!replaced && attrs != INVALID_FILE_ATTRIBUTES && !exists(wt) && exists(wbackup) &&
        !fault(Step::restore, backup, target_))
        MoveFileExW(wbackup.c_str(), wt.c_str(), 0);
    bool moved = false;
    DWORD move_error = 0;
    if (!replaced) {
        if (fault(Step::move, temp_, target_)) {
            move_error = ERROR_ACCESS_DENIED;
        } else {
            moved = MoveFileExW(wtemp.c_str(), wt.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
            if (!moved) move_error = GetLastError();
        }
    }
    // The backup goes only once the target's name holds the new content or the old one again:
    // until then it is the one copy of the old content, and it stays.
    if (exists(wt)) DeleteFileW(wbackup.c_str());
    if (!replaced && !moved) {
        std::string why = "cannot replace the file: " + win_error_text(move_error);
        if (!exists(wt) && exists(wbackup)) why += "; its old content is in " + backup;
        return failure(Fault::write_failed, why);
    }
    temp_.clear();
    if (attrs != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(wt.c_str(), attrs);
    return {};
}

void ReplacingWriter::abort() {
    static_cast<void>(file_.close()); // the new content is given up
    if (!temp_.empty()) {
        DeleteFileW(wide(temp_).c_str());
        temp_.clear();
    }
}

namespace {
// The name of the lock for a path: the path made full and long (no 8.3 short names) and put
// in capitals, since the file system ignores the letter case; then hashed, since a mutex's
// name may hold no backslash and is at most MAX_PATH characters long. Two names that happen
// to share a hash only make one writer wait for the other.
std::wstring lock_name(const std::string& path) {
    std::wstring name = utf8_to_utf16(path);
    if (std::wstring full = full_path(name); !full.empty()) name = full;
    if (DWORD n = GetLongPathNameW(name.c_str(), nullptr, 0)) {
        std::wstring long_form(n, L'\0');
        n = GetLongPathNameW(name.c_str(), long_form.data(), n);
        if (n > 0 && n < long_form.size()) name.assign(long_form, 0, n);
    }
    if (!name.empty()) {
        std::wstring upper(name.size(), L'\0');
        int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, name.c_str(), static_cast<int>(name.size()),
                              upper.data(), static_cast<int>(upper.size()), nullptr, nullptr, 0);
        if (n == static_cast<int>(name.size())) name = upper;
    }
    uint64_t hash = 14695981039346656037ull; // FNV-1a over the UTF-16 units
    for (wchar_t c : name) {
        hash ^= static_cast<uint16_t>(c);
        hash *= 1099511628211ull;
    }
    wchar_t text[48];
    std::swprintf(text, 48, L"tagzo-write-%016llx", static_cast<unsigned long long>(hash));
    return text;
}
} // namespace

WriteLock::~WriteLock() { static_cast<void>(release()); }

Result WriteLock::release() {
    if (handle_ == -1) return {};
    HANDLE m = reinterpret_cast<HANDLE>(handle_);
    ReleaseMutex(m);
    CloseHandle(m);
    handle_ = -1;
    return {};
}

// The lock is a named mutex for the path, and taking it never opens the file. Windows refuses
// to replace a file that any process holds open at that moment, so neither a handle held from
// the read nor a brief open to learn the file's identity may stand in the way of the other
// writer's replace. A path names the same file before and after a replace, so a writer that
// waited goes on with the new file. A writer killed while holding the mutex leaves it
// abandoned, which the next one takes as free. So the lock holds no file here, for writing or not.
void WriteLock::hold(const std::string& path, bool, const std::function<void()>& before_waiting) {
    static_cast<void>(release());
    HANDLE m = CreateMutexW(nullptr, FALSE, lock_name(path).c_str());
    if (!m) return;
    DWORD w = WaitForSingleObject(m, 0);
    if (w == WAIT_TIMEOUT) {
        if (before_waiting) before_waiting();
        w = WaitForSingleObject(m, INFINITE);
    }
    if (w != WAIT_OBJECT_0 && w != WAIT_ABANDONED) {
        CloseHandle(m);
        return;
    }
    handle_ = reinterpret_cast<intptr_t>(m);
}

// Each write sweeps its folder here, and no old file is kept under a temporary name.
void remove_stale_temporaries_once(const std::string& /*folder*/) {}

// A file of ours left by a writer that was killed: of exactly our temporary form, and older
// than an hour. One that a writer still has open cannot be deleted (it is not shared for
// deletion) and stays. The hour stays too: ReplaceFileW takes the file only closed, so a
// writer's file is unheld for a moment at each commit. A user's file whose name only begins
// like ours, and a backup kept with an old content, are never touched.
void remove_stale_temporaries(const std::string& folder) {
    WIN32_FIND_DATAW fd;
    std::wstring pattern = wide(folder + "\\" + ReplacingWriter::k_temporary_prefix + "*");
    HANDLE h = FindFirstFileW(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    FILETIME now_ft;
    GetSystemTimeAsFileTime(&now_ft);
    auto ticks = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    const uint64_t hour = 3600ull * 10000000ull;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        // The pattern also matches short (8.3) names and letters in another case: the long
        // name itself must be ours.
        const std::string name = utf16_to_utf8(fd.cFileName);
        if (!ReplacingWriter::is_temporary_name(name)) continue;
        if (ticks(now_ft) - ticks(fd.ftLastWriteTime) > hour) DeleteFileW(wide(folder + "\\" + name).c_str());
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

Result File::adopt(intptr_t) { return failure(Fault::cannot_open, "not available on Windows"); }

std::string current_folder() {
    if (!kept_folder.empty()) return kept_folder;
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return {};
    std::wstring buf(n, L'\0');
    n = GetCurrentDirectoryW(n, buf.data());
    return n > 0 && n < buf.size() ? utf16_to_utf8(std::wstring_view(buf.data(), n)) : std::string();
}

// Windows refuses a current folder of MAX_PATH characters or more, its closing backslash
// counted, in a program that has not declared itself aware of long paths (Wine takes one):
// such a folder is never handed to the system, so that the program works the same on both.
// A folder that exists is the program's current one whatever the system says, so that no
// other folder stands in for it; one the system refused is kept here like a long one.
bool set_current_folder(const std::string& path) {
    std::wstring full = full_path(utf8_to_utf16(path));
    if (full.empty()) return false;
    // The form without its closing backslash, as the system gives its own folder ("C:\" keeps it).
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
    const std::string folder = utf16_to_utf8(full);
    const DWORD attrs = GetFileAttributesW(system_path(folder).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY)) return false;
    if (full.size() + 1 < MAX_PATH && SetCurrentDirectoryW(full.c_str())) {
        kept_folder.clear();
        return true;
    }
    kept_folder = folder;
    return true;
}

PathKind path_kind(const std::string& path) {
    DWORD attrs = GetFileAttributesW(wide(path).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return PathKind::missing;
    if (attrs & FILE_ATTRIBUTE_DIRECTORY) return PathKind::directory;
    return PathKind::file;
}

bool is_read_only(const std::string& path) {
    DWORD attrs = GetFileAttributesW(wide(path).c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY);
}

Result set_read_only(const std::string& path, bool read_only) {
    std::wstring w = wide(path);
    DWORD attrs = GetFileAttributesW(w.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return failure(Fault::cannot_open, win_error_text(GetLastError()));
    attrs = read_only ? (attrs | FILE_ATTRIBUTE_READONLY) : (attrs & ~DWORD(FILE_ATTRIBUTE_READONLY));
    if (!SetFileAttributesW(w.c_str(), attrs)) return failure(Fault::write_failed, win_error_text(GetLastError()));
    return {};
}

bool remove_file(const std::string& path) { return DeleteFileW(wide(path).c_str()) != 0; }

bool is_on_cdrom(const std::string& path) {
    if (path.size() < 3) return false;
    return GetDriveTypeW(wide(path.substr(0, 3)).c_str()) == DRIVE_CDROM;
}

bool same_file(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION info[2]{};
    const std::string* paths[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        HANDLE h = CreateFileW(wide(*paths[i]).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr); // a folder opens only so
        if (h == INVALID_HANDLE_VALUE) return false;
        const bool ok = GetFileInformationByHandle(h, &info[i]) != 0;
        CloseHandle(h);
        if (!ok) return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

Result make_folder(const std::string& path) {
    std::wstring w = wide(path);
    if (CreateDirectoryW(w.c_str(), nullptr)) return {};
    const DWORD code = GetLastError();
    const DWORD attrs = GetFileAttributesW(w.c_str());
    if (code == ERROR_ALREADY_EXISTS && attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    return failure(Fault::write_failed, win_error_text(code));
}

Result move_file(const std::string& from, const std::string& to) {
    // Without MOVEFILE_REPLACE_EXISTING a name that exists makes the move fail.
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), 0)) return {};
    return failure(Fault::write_failed, win_error_text(GetLastError()));
}

Result link_file(const std::string& existing, const std::string& new_name) {
    if (CreateHardLinkW(wide(new_name).c_str(), wide(existing).c_str(), nullptr)) return {};
    return failure(Fault::write_failed, win_error_text(GetLastError()));
}

// Written through: nothing is left for `later`.
Result move_over(const std::string& from, const std::string& to, FolderFlushes* /*later*/) {
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    return failure(Fault::write_failed, win_error_text(GetLastError()));
}

void flush_folder(const std::string&) {}

bool remove_empty_folder(const std::string& path) { return RemoveDirectoryW(wide(path).c_str()) != 0; }

Result list_folder(const std::string& path, std::vector<FolderEntry>& out) {
    out.clear();
    WIN32_FIND_DATAW fd;
    std::string pattern = path;
    if (pattern.empty() || (pattern.back() != '\\' && pattern.back() != '/')) pattern += '\\';
    HANDLE h = FindFirstFileExW(wide(pattern + "*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) return {}; // an empty folder (a drive root has no "." entry)
        return failure(Fault::cannot_open, win_error_text(code));
    }
    do {
        std::string name = utf16_to_utf8(fd.cFileName);
        if (name == "." || name == "..") continue;
        FolderEntry entry{name, PathKind::file, (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0};
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) entry.kind = PathKind::directory;
        out.push_back(std::move(entry));
    } while (FindNextFileW(h, &fd));
    DWORD code = GetLastError();
    FindClose(h);
    if (code != ERROR_NO_MORE_FILES) return failure(Fault::cannot_read, win_error_text(code));
    return {};
}

} // namespace platform

// The floor for setting a title in a batch: what the system calls alone cost, with nothing of
// tagzo around them. For each file: open, read the last 128 bytes, put "X" as the title of the
// ID3v1 record there, write them back, close.
//   io_floor [--locked] FILE...
// With --locked, each file gets the calls of tagzo-cli's change instead, as it makes them: the
// open (non-blocking, so that a FIFO's name cannot hold it) and its fstat, an exclusive lock on
// the open file, a look at the name afterwards (does it still name the locked file?), a read of
// the file's first 256 bytes and one of its last 256 (the windows in which tagzo-cli's readers
// find the head, an ID3v2 header or footer and the record), the write of the record, the close.
// That is the floor of a change made under the write lock; started once per file, the floor of
// `tagzo-cli set` on one file.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    int failed = 0;
    const bool locked = argc > 1 && std::strcmp(argv[1], "--locked") == 0;
    for (int i = locked ? 2 : 1; i < argc; ++i) {
        int fd = ::open(argv[i], locked ? O_RDWR | O_NONBLOCK | O_CLOEXEC : O_RDWR | O_CLOEXEC);
        struct stat st {};
        struct stat named {};
        unsigned char head[256];
        unsigned char tail[256];
        unsigned char* rec = tail + sizeof tail - 128;
        bool ok = fd >= 0 && ::fstat(fd, &st) == 0 && st.st_size >= (locked ? 256 : 128);
        if (ok && locked)
            ok = ::flock(fd, LOCK_EX) == 0 && ::stat(argv[i], &named) == 0 && named.st_ino == st.st_ino &&
                 ::pread(fd, head, sizeof head, 0) == static_cast<ssize_t>(sizeof head) &&
                 ::pread(fd, tail, sizeof tail, st.st_size - 256) == static_cast<ssize_t>(sizeof tail);
        else if (ok)
            ok = ::pread(fd, rec, 128, st.st_size - 128) == 128;
        ok = ok && std::memcmp(rec, "TAG", 3) == 0;
        if (!ok) {
            std::fprintf(stderr, "io_floor: %s: no record\n", argv[i]);
            failed = 1;
        } else {
            std::memset(rec + 3, ' ', 30);
            rec[3] = 'X';
            if (::pwrite(fd, rec, 128, st.st_size - 128) != 128) failed = 1;
        }
        if (fd >= 0) ::close(fd);
    }
    return failed;
}

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <ctime>
#endif

#include <chrono>
#include <thread>

#include "platform/file.h"
#include "platform/process.h"
#include "platform/text.h"
#include "tests/support/test_files.h"
#include "tests/support/result_check.h"

using testing_files::read_file;
using testing_files::TempDir;
using testing_files::write_file;

TEST(File, ExactReadsAndWritesAtOffsets) {
    TempDir dir;
    std::string path = dir.file("f.bin");
    write_file(path, "0123456789");
    platform::File f;
    std::string err;
    ASSERT_TRUE(testing_files::noted(f.open(path, platform::File::Mode::read_write), err)) << err;
    EXPECT_EQ(f.size(), 10u);
    char b[4] = {};
    EXPECT_TRUE(f.read_at(6, b, 4));
    EXPECT_EQ(std::string(b, 4), "6789");
    EXPECT_FALSE(f.read_at(8, b, 4)); // past the end
    EXPECT_FALSE(f.read_at(11, b, 1));
    EXPECT_TRUE(f.write_at(10, "AB", 2));
    EXPECT_EQ(f.size(), 12u);
    EXPECT_TRUE(f.truncate(11));
    EXPECT_TRUE(f.close());
    EXPECT_EQ(read_file(path), "0123456789A");
}

TEST(File, OpenFailuresSayWhy) {
    TempDir dir;
    platform::File f;
    std::string err;
    EXPECT_FALSE(testing_files::noted(f.open(dir.file("missing"), platform::File::Mode::read), err));
    EXPECT_FALSE(err.empty());
    err.clear();
    EXPECT_FALSE(testing_files::noted(f.open(dir.path(), platform::File::Mode::read), err)); // a folder
    EXPECT_FALSE(err.empty());
}

TEST(ReplacingWriter, CommitReplacesAbortKeeps) {
    TempDir dir;
    std::string path = dir.file("target.mp3");
    write_file(path, "old content");
    std::string err;
    {
        platform::ReplacingWriter w;
        ASSERT_TRUE(testing_files::noted(w.begin(path), err)) << err;
        EXPECT_TRUE(w.write("new", 3));
        // The new content waits beside it: in a named temporary file on Windows, in one
        // without a name where the file system has them.
        EXPECT_GE(testing_files::count_entries(dir.path()), 1);
        EXPECT_LE(testing_files::count_entries(dir.path()), 2);
        EXPECT_EQ(read_file(path), "old content");
    } // destroyed without commit
    EXPECT_EQ(read_file(path), "old content");
    EXPECT_EQ(testing_files::count_entries(dir.path()), 1);

    platform::ReplacingWriter w;
    ASSERT_TRUE(testing_files::noted(w.begin(path), err));
    EXPECT_TRUE(w.write("new ", 4));
    std::string src = "copied part";
    platform::MemorySource ms(src.data(), src.size());
    EXPECT_TRUE(w.copy_from(ms, 7, 4));
    EXPECT_TRUE(w.patch(0, "N", 1));
    EXPECT_FALSE(w.patch(7, "xx", 2));                   // past what was written
    EXPECT_FALSE(testing_files::noted(w.commit(), err)); // a failed step fails the whole
    EXPECT_EQ(read_file(path), "old content");
    EXPECT_EQ(testing_files::count_entries(dir.path()), 1);

    platform::ReplacingWriter w2;
    ASSERT_TRUE(testing_files::noted(w2.begin(path), err));
    EXPECT_TRUE(w2.copy_from(ms, 0, src.size()));
#ifdef _WIN32
    // The new file takes the old one's place with its attributes (on Windows also its creation
    // time, security and other streams, which Wine does not keep).
    const std::wstring wpath = platform::utf8_to_utf16(path);
    SetFileAttributesW(wpath.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
#endif
    ASSERT_TRUE(testing_files::noted(w2.commit(), err)) << err;
    EXPECT_EQ(read_file(path), "copied part");
    EXPECT_EQ(testing_files::count_entries(dir.path()), 1);
#ifdef _WIN32
    EXPECT_TRUE(GetFileAttributesW(wpath.c_str()) & FILE_ATTRIBUTE_HIDDEN);

    // A replacement that cannot be made (another program holds the file open without sharing
    // it) leaves the old file as it was, and no temporary file.
    platform::ReplacingWriter w3;
    ASSERT_TRUE(testing_files::noted(w3.begin(path), err));
    EXPECT_TRUE(w3.write("lost", 4));
    HANDLE held = CreateFileW(wpath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(testing_files::noted(w3.commit(), err));
    EXPECT_FALSE(err.empty());
    CloseHandle(held);
    EXPECT_EQ(read_file(path), "copied part");
    EXPECT_EQ(testing_files::count_entries(dir.path()), 1) << err;

    // ReplaceFileW stopped half-way, the old file moved to the backup name, and the way back
    // fails: where the new file's move fails too, the old content stays under one of the two
    // names and the error says where; where that move works, the target has the new content
    // and no backup is left.
    using Step = platform::ReplacingWriter::Step;
    static std::string backup;
    static bool move_fails;
    platform::ReplacingWriter::fail_step_for_tests = [](Step step, const std::string& from, const std::string& to) {
        if (step == Step::replace) {
            backup = to;
            MoveFileExW(platform::utf8_to_utf16(from).c_str(), platform::utf8_to_utf16(to).c_str(), 0);
            return true;
        }
        return step == Step::restore || move_fails;
    };
    for (bool fallback_fails : {true, false}) {
        move_fails = fallback_fails;
        backup.clear();
        platform::ReplacingWriter w4;
        ASSERT_TRUE(testing_files::noted(w4.begin(path), err)) << err;
        EXPECT_TRUE(w4.write("half", 4));
        EXPECT_EQ(testing_files::noted(w4.commit(), err).ok(), !fallback_fails) << err;
        ASSERT_FALSE(backup.empty());
        if (fallback_fails) {
            const bool at_target = platform::path_kind(path) == platform::PathKind::file;
            EXPECT_EQ(read_file(at_target ? path : backup), "copied part");
            EXPECT_NE(err.find(backup), std::string::npos) << err;
            std::string moved_err;
            if (!at_target) {
                EXPECT_TRUE(testing_files::noted(platform::move_file(backup, path), moved_err)) << moved_err;
            }
        } else {
            EXPECT_EQ(read_file(path), "half");
        }
        EXPECT_EQ(read_file(path), fallback_fails ? "copied part" : "half");
        EXPECT_EQ(testing_files::count_entries(dir.path()), 1);
    }
    platform::ReplacingWriter::fail_step_for_tests = nullptr;
#endif

    // Small writes wait to go out together; copies (by the system, from a file, or through a
    // buffer) and patches land after them, a large write in its place among them.
    {
        const std::string source = dir.file("source.bin");
        write_file(source, "0123456789");
        platform::File source_file;
        ASSERT_TRUE(source_file.open(source, platform::File::Mode::read));
        const std::string large(70000, 'x');
        platform::ReplacingWriter w5;
        ASSERT_TRUE(testing_files::noted(w5.begin(path), err));
        EXPECT_TRUE(w5.write("<<", 2));
        EXPECT_TRUE(w5.copy_from(source_file, 2, 5));
        EXPECT_TRUE(w5.write("ab", 2));
        EXPECT_TRUE(w5.write(large.data(), large.size()));
        EXPECT_TRUE(w5.write("cd", 2));
        const std::string mid(5000, 'm'); // too large to gather, too small for a write of its own before
        EXPECT_TRUE(w5.write(mid.data(), mid.size()));
        EXPECT_TRUE(w5.copy_from(ms, 0, 6));
        EXPECT_TRUE(w5.write(">", 1));
        EXPECT_TRUE(w5.patch(8, "B", 1));
        EXPECT_TRUE(w5.patch(w5.written() - 1, "]", 1)); // a byte still waiting
        EXPECT_TRUE(w5.write(">", 1));
        EXPECT_EQ(w5.written(), 7 + 2 + large.size() + 2 + mid.size() + 6 + 2);
        ASSERT_TRUE(testing_files::noted(w5.commit(), err)) << err;
        const std::string made = read_file(path);
        EXPECT_TRUE(made == "<<23456aB" + large + "cd" + mid + "copied]>")
            << made.substr(0, 12) << "..." << made.substr(75000);
    }

    // A group of replaces: each target wholly new after the commit, or wholly old where the step
    // before the renames fails (a journal that cannot flush) or its own rename is refused; no
    // temporary is left beside them either way.
    {
        const std::vector<std::string> names = {dir.file("g0.mp3"), dir.file("g1.mp3"), dir.file("g2.mp3")};
        auto group_of = [&](platform::ReplaceGroup& g) {
            for (const std::string& n : names) {
                write_file(n, "old");
                auto gw = std::make_unique<platform::ReplacingWriter>();
                ASSERT_TRUE(gw->begin(n));
                EXPECT_TRUE(gw->write("new", 3));
                EXPECT_TRUE(g.add(std::move(gw)));
            }
            EXPECT_FALSE(g.empty() || g.full());
        };
        const int before = testing_files::count_entries(dir.path());
        platform::ReplaceGroup g;
        group_of(g);
        std::vector<platform::Result> got =
            g.commit([] { return platform::failure(platform::Fault::write_failed, "no journal"); });
        ASSERT_EQ(got.size(), 3u);
        for (size_t i = 0; i < 3; ++i) EXPECT_EQ(got[i].detail + read_file(names[i]), "no journalold") << i;
        EXPECT_TRUE(g.empty());
        platform::ReplacingWriter::fail_step_for_tests = [](platform::ReplacingWriter::Step, const std::string& from,
                                                            const std::string& to) {
            return (from + to).find("g1.mp3") != std::string::npos;
        };
        group_of(g);
        got = g.commit();
        platform::ReplacingWriter::fail_step_for_tests = nullptr;
        EXPECT_TRUE(got[0] && !got[1] && got[2]);
        EXPECT_EQ(read_file(names[0]) + read_file(names[1]) + read_file(names[2]), "newoldnew");
        platform::ReplacingWriter::let_go_of_old_files();
        EXPECT_EQ(testing_files::count_entries(dir.path()), before + 3); // the three targets alone

#ifndef _WIN32
        // The next group writes into the old files that the last one kept, here or in another
        // folder, but never into one that someone still holds open or that has another name
        // (their old bytes stay as they were), nor for a file of other permissions. Once let
        // go, no old file is left under a temporary name.
        for (const std::string& n : names) write_file(n, "old");
        platform::File reader;
        ASSERT_TRUE(reader.open(names[0], platform::File::Mode::read));
        ASSERT_TRUE(platform::link_file(names[2], dir.file("second name")));
        struct stat was {};
        ::stat(names[1].c_str(), &was);
        for (const std::string& n : names) {
            auto gw = std::make_unique<platform::ReplacingWriter>();
            ASSERT_TRUE(gw->begin(n));
            EXPECT_TRUE(gw->write("new", 3));
            EXPECT_TRUE(g.add(std::move(gw)));
        }
        got = g.commit();
        EXPECT_TRUE(got[0] && got[1] && got[2]);
        ASSERT_TRUE(platform::make_folder(dir.file("next")));
        std::vector<std::string> next = {dir.file("next/private.mp3"), dir.file("next/a.mp3"), names[1]};
        bool reused = false;
        for (const std::string& n : next) {
            write_file(n, "old");
            ::chmod(n.c_str(), n == next[0] ? 0600 : was.st_mode & 07777);
            auto gw = std::make_unique<platform::ReplacingWriter>();
            ASSERT_TRUE(gw->begin(n));
            EXPECT_TRUE(gw->write("next", 4));
            EXPECT_TRUE(g.add(std::move(gw)));
        }
        got = g.commit();
        for (size_t i = 0; i < next.size(); ++i) {
            EXPECT_TRUE(got[i]) << got[i].detail;
            EXPECT_EQ(read_file(next[i]), "next");
            struct stat now {};
            ::stat(next[i].c_str(), &now);
            reused = reused || (now.st_ino == was.st_ino && i == 1);
            if (i == 0) {
                EXPECT_EQ(now.st_mode & 07777, 0600u);
            }
        }
        EXPECT_TRUE(reused); // the old g1, moved into the other folder, for a file like it
        char held[4] = {};
        EXPECT_TRUE(reader.read_at(0, held, 3));
        EXPECT_EQ(std::string(held, 3) + read_file(dir.file("second name")), "oldold");
        platform::ReplacingWriter::let_go_of_old_files();
        EXPECT_EQ(testing_files::count_entries(dir.path()), before + 5);
        EXPECT_EQ(testing_files::count_entries(dir.file("next")), 2);
#endif
    }
}

TEST(ReplacingWriter, LongNamesLinksAndFilesThatAreNoFiles) {
    TempDir dir;
    std::string err;
    // The temporary name does not grow with the target's: a 250-byte name, and 80 Japanese
    // characters (240 bytes in UTF-8), are written like any other.
    std::string japanese;
    for (int i = 0; i < 40; ++i) japanese += "\xE6\x9B\xB2\xE5\x90\x8D"; // 曲名
    for (const std::string& name : {std::string(246, 'n') + ".mp3", japanese + ".mp3"}) {
        std::string path = dir.file(name);
        write_file(path, "old");
        platform::ReplacingWriter w;
        ASSERT_TRUE(testing_files::noted(w.begin(path), err)) << err;
        EXPECT_TRUE(w.write("new", 3));
        ASSERT_TRUE(testing_files::noted(w.commit(), err)) << name.size() << ": " << err;
        EXPECT_EQ(read_file(path), "new");
    }
    EXPECT_EQ(testing_files::count_entries(dir.path()), 2);

    platform::File f;
#ifdef _WIN32
    // Devices are refused by name.
    for (const char* device : {"NUL", "CON"}) {
        EXPECT_FALSE(testing_files::noted(f.open(device, platform::File::Mode::read), err)) << device;
    }

    // A temporary file of ours that a killed writer left two hours ago goes at the next write
    // into the folder; a name that only begins like ours is the user's and stays.
    const std::vector<std::string> users = {".tagzo-my song.mp3", ".tagzo-stale1.mp3", ".tagzo-abcdefg"};
    std::string stale = dir.file(".tagzo-stale1");
    FILETIME now_ft;
    GetSystemTimeAsFileTime(&now_ft);
    ULARGE_INTEGER then;
    then.LowPart = now_ft.dwLowDateTime;
    then.HighPart = now_ft.dwHighDateTime;
    then.QuadPart -= 7200ull * 10000000ull;
    FILETIME old_ft{then.LowPart, then.HighPart};
    for (const std::string& name : {std::string(".tagzo-stale1"), users[0], users[1], users[2]}) {
        write_file(dir.file(name), "aged");
        HANDLE h = CreateFileW(platform::utf8_to_utf16(dir.file(name)).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &old_ft));
        CloseHandle(h);
    }
    platform::ReplacingWriter wn;
    ASSERT_TRUE(testing_files::noted(wn.begin(dir.file(japanese + ".mp3")), err)) << err;
    EXPECT_TRUE(wn.write("next", 4));
    ASSERT_TRUE(testing_files::noted(wn.commit(), err)) << err;
    EXPECT_FALSE(platform::path_kind(stale) == platform::PathKind::file);
    for (const std::string& name : users) {
        EXPECT_EQ(read_file(dir.file(name)), "aged") << name;
        platform::remove_file(dir.file(name));
    }
    EXPECT_EQ(testing_files::count_entries(dir.path()), 2);
#else
    // A FIFO is refused at once, not waited on for a writer; so is writing through it.
    std::string fifo = dir.file("f.mp3");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(testing_files::noted(f.open(fifo, platform::File::Mode::read), err));
    EXPECT_EQ(err, "not a regular file");
    EXPECT_FALSE(testing_files::noted(f.open(fifo, platform::File::Mode::read_write), err));
    platform::ReplacingWriter wf;
    EXPECT_FALSE(testing_files::noted(wf.begin(fifo), err));
    ::unlink(fifo.c_str());

    // Through a symbolic link the file it names gets the new content; the link stays a link.
    std::string real = dir.file("real.mp3"), link = dir.file("link.mp3");
    write_file(real, "old");
    ASSERT_EQ(::symlink("real.mp3", link.c_str()), 0);
    platform::ReplacingWriter wl;
    ASSERT_TRUE(testing_files::noted(wl.begin(link), err)) << err;
    EXPECT_TRUE(wl.write("new", 3));
    ASSERT_TRUE(testing_files::noted(wl.commit(), err)) << err;
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(read_file(real), "new");

    // A writer killed half-way leaves no temporary file behind; one left by a kill (not locked
    // by anyone) goes at the next write into the folder, and one that a running writer holds
    // locked stays.
    pid_t child = ::fork();
    if (child == 0) {
        platform::ReplacingWriter wk;
        std::string e;
        if (testing_files::noted(wk.begin(real), e))
            static_cast<void>(wk.write(std::string(1 << 20, 'k').data(), 1 << 20));
        ::kill(::getpid(), SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    // One that stops after its temporary file got its name, before that takes the target's
    // place, leaves a full copy under our name: nothing holds it, so the next write removes
    // it, however new it is.
    pid_t named_child = ::fork();
    if (named_child == 0) {
        platform::ReplacingWriter::fail_step_for_tests = [](platform::ReplacingWriter::Step, const std::string&,
                                                            const std::string&) -> bool { ::_exit(0); };
        platform::ReplacingWriter wk;
        std::string e;
        if (testing_files::noted(wk.begin(real), e) && wk.write(std::string(1 << 20, 'k').data(), 1 << 20))
            static_cast<void>(testing_files::noted(wk.commit(), e));
        ::_exit(1);
    }
    ASSERT_EQ(::waitpid(named_child, &status, 0), named_child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0); // stopped at the replace
    std::string left;
    std::vector<platform::FolderEntry> entries;
    ASSERT_TRUE(testing_files::noted(platform::list_folder(dir.path(), entries), err)) << err;
    for (const auto& e : entries)
        if (platform::ReplacingWriter::is_temporary_name(e.name)) left = dir.file(e.name);
    ASSERT_FALSE(left.empty());
    EXPECT_EQ(read_file(left).size(), 1u << 20);
    std::string stale = dir.file(".tagzo-stale1"), busy = dir.file(".tagzo-busy22");
    write_file(stale, "left by a kill");
    write_file(busy, "being written");
    struct timespec old_times[2] = {{::time(nullptr) - 7200, 0}, {::time(nullptr) - 7200, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, stale.c_str(), old_times, 0), 0);
    ASSERT_EQ(::utimensat(AT_FDCWD, busy.c_str(), old_times, 0), 0);
    // A name that only begins like ours is the user's, whatever its age: it stays.
    const std::vector<std::string> users = {".tagzo-my song.mp3", ".tagzo-stale1.mp3", ".tagzo-abcdefg", ".tagzo-abc",
                                            ".tagzo-ab-cde"};
    for (const std::string& name : users) {
        write_file(dir.file(name), "mine");
        ASSERT_EQ(::utimensat(AT_FDCWD, dir.file(name).c_str(), old_times, 0), 0);
    }
    int held = ::open(busy.c_str(), O_RDWR);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    // The next command's first write into the folder sweeps it; this process swept it at its
    // first write and does not again.
    platform::ReplacingWriter again;
    ASSERT_TRUE(testing_files::noted(again.begin(real), err)) << err;
    EXPECT_TRUE(platform::path_kind(stale) == platform::PathKind::file);
    again.abort();
    pid_t next = ::fork();
    if (next == 0) {
        platform::ReplacingWriter wn;
        std::string e;
        ::_exit(testing_files::noted(wn.begin(real), e) && wn.write("next", 4) && testing_files::noted(wn.commit(), e)
                    ? 0
                    : 1);
    }
    ASSERT_EQ(::waitpid(next, &status, 0), next);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(held);
    EXPECT_FALSE(platform::path_kind(stale) == platform::PathKind::file);
    EXPECT_FALSE(platform::path_kind(left) == platform::PathKind::file);
    EXPECT_TRUE(platform::path_kind(busy) == platform::PathKind::file);
    ::unlink(busy.c_str());
    for (const std::string& name : users) {
        EXPECT_EQ(read_file(dir.file(name)), "mine") << name;
        ::unlink(dir.file(name).c_str());
    }
    // Left: the target, the link and the long-named files above.
    EXPECT_EQ(testing_files::count_entries(dir.path()), 4);

    // Written by root, another user's file stays that user's (group too), with its mode.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(real.c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
        platform::ReplacingWriter wo;
        ASSERT_TRUE(testing_files::noted(wo.begin(real), err)) << err;
        EXPECT_TRUE(wo.write("own", 3));
        platform::Result committed = wo.commit();
        ASSERT_TRUE(testing_files::noted(committed, err)) << err;
        EXPECT_TRUE(committed.warnings.empty());
        ASSERT_EQ(::stat(real.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
    }
#endif
}

TEST(ReplacingWriter, ExtendedLengthFormOfFullPaths) {
    EXPECT_EQ(platform::extended_length_form("C:\\music\\a.mp3"), "\\\\?\\C:\\music\\a.mp3");
    EXPECT_EQ(platform::extended_length_form("z:/tmp/a.mp3"), "\\\\?\\z:\\tmp\\a.mp3");
    EXPECT_EQ(platform::extended_length_form("\\\\server\\share\\a.mp3"), "\\\\?\\UNC\\server\\share\\a.mp3");
    EXPECT_EQ(platform::extended_length_form("\\\\?\\C:\\a.mp3"), "\\\\?\\C:\\a.mp3");
    EXPECT_EQ(platform::extended_length_form("\\\\.\\NUL"), "\\\\.\\NUL");
    EXPECT_EQ(platform::extended_length_form("a.mp3"), "a.mp3");
    const std::string deep = "C:\\" + std::string(300, 'd') + "\\a.mp3";
    EXPECT_EQ(platform::extended_length_form(deep), "\\\\?\\" + deep);
}

TEST(ReplacingWriter, CopiesFromAFileAndFailsOnAShortSource) {
    TempDir dir;
    std::string path = dir.file("t");
    write_file(path, "keep");
    std::string src(100, 's');
    platform::MemorySource ms(src.data(), src.size());
    platform::ReplacingWriter w;
    std::string err;
    ASSERT_TRUE(testing_files::noted(w.begin(path), err));
    EXPECT_FALSE(w.copy_from(ms, 50, 51));
    EXPECT_FALSE(testing_files::noted(w.commit(), err));
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(read_file(path), "keep");

    // From a file (copied by the system where it can): more than one step of it, from an
    // offset, after bytes written by the program; a file that ends early fails the same way.
    std::string big(9u << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 4096);
    const std::string source = dir.file("source");
    write_file(source, big);
    platform::File f;
    ASSERT_TRUE(f.open(source, platform::File::Mode::read));
    ASSERT_TRUE(testing_files::noted(w.begin(path), err));
    EXPECT_TRUE(w.write("head", 4));
    EXPECT_TRUE(w.copy_from(f, 3, big.size() - 8));
    EXPECT_EQ(w.written(), 4 + big.size() - 8);
    ASSERT_TRUE(testing_files::noted(w.commit(), err)) << err;
    EXPECT_TRUE(read_file(path) == "head" + big.substr(3, big.size() - 8)); // not EXPECT_EQ: 9 MB apart
    ASSERT_TRUE(testing_files::noted(w.begin(path), err));
    EXPECT_FALSE(w.copy_from(f, big.size() - 10, 11));
    EXPECT_FALSE(testing_files::noted(w.commit(), err));
    EXPECT_EQ(read_file(path).size(), 4 + big.size() - 8);
}

TEST(File, KeptSmallReadsLastUntilAWrite) {
    TempDir dir;
    const std::string path = dir.file("f");
    write_file(path, "0123456789" + std::string(1000, 'x') + "TAGabc");
    platform::File f;
    ASSERT_TRUE(f.open(path, platform::File::Mode::read_write));
    f.keep_small_reads();
    char head[4] = {}, tail[6] = {}, part[3] = {};
    ASSERT_TRUE(f.read_at(0, head, 4));
    ASSERT_TRUE(f.read_at(1010, tail, 6));
    // Another program's write is not seen: the two reads are kept, and a part of one too.
    write_file(path, "abcdefghij" + std::string(1000, 'y') + "TAGdef");
    ASSERT_TRUE(f.read_at(0, head, 4));
    ASSERT_TRUE(f.read_at(1013, part, 3));
    EXPECT_EQ(std::string(head, 4) + std::string(part, 3), "0123abc");
    // Each read at an end kept the window there whole: the first and the last 256 bytes.
    char more[6] = {};
    ASSERT_TRUE(f.read_at(8, more, 6));
    EXPECT_EQ(std::string(more, 6), "89xxxx");
    ASSERT_TRUE(f.read_at(1016 - 256, more, 6));
    EXPECT_EQ(std::string(more, 6), "xxxxxx");
    ASSERT_TRUE(f.read_at(255, more, 1));
    EXPECT_EQ(more[0], 'x');
    // A read past the kept bytes, or a larger one, goes to the file.
    ASSERT_TRUE(f.read_at(1016 - 257, more, 6));
    EXPECT_EQ(std::string(more, 6), "yyyyyy");
    std::string large(257, '\0');
    ASSERT_TRUE(f.read_at(0, large.data(), large.size()));
    EXPECT_EQ(large.substr(0, 12), "abcdefghijyy");
    // A small read between the windows is kept as it is, in the place of the one used less
    // lately: here the read before the large one, the head's window having been used since.
    ASSERT_TRUE(f.read_at(0, head, 4));
    ASSERT_TRUE(f.read_at(500, more, 6));
    write_file(path, "ABCDEFGHIJ" + std::string(1000, 'z') + "TAGghi");
    ASSERT_TRUE(f.read_at(502, part, 3));
    ASSERT_TRUE(f.read_at(1, head, 3));
    ASSERT_TRUE(f.read_at(1010, tail, 6));
    EXPECT_EQ(std::string(part, 3) + std::string(head, 3) + std::string(tail, 6), "yyy123TAGghi");
    // Our own write forgets them all.
    ASSERT_TRUE(f.write_at(4, "E", 1));
    ASSERT_TRUE(f.read_at(0, head, 4));
    ASSERT_TRUE(f.read_at(1010, tail, 6));
    EXPECT_EQ(std::string(head, 4) + std::string(tail, 6), "ABCDTAGghi");
    // A file shorter than the window is kept whole by its first small read.
    write_file(path, "0123456789TAGabc");
    platform::File s;
    ASSERT_TRUE(s.open(path, platform::File::Mode::read));
    s.keep_small_reads();
    ASSERT_TRUE(s.read_at(13, part, 3));
    write_file(path, "abcdefghijTAGdef");
    ASSERT_TRUE(s.read_at(0, head, 4));
    EXPECT_EQ(std::string(head, 4) + std::string(part, 3), "0123abc");
    // A read past the end fails as it always did, whatever is kept.
    EXPECT_FALSE(s.read_at(14, part, 3));
    // A file not told so keeps nothing.
    platform::File g;
    ASSERT_TRUE(g.open(path, platform::File::Mode::read));
    ASSERT_TRUE(g.read_at(0, head, 4));
    write_file(path, "ABCD");
    ASSERT_TRUE(g.read_at(0, head, 4));
    EXPECT_EQ(std::string(head, 4), "ABCD");
}

TEST(Paths, ReadOnlyKindsAndTheCurrentFolder) {
    TempDir dir;
    std::string path = dir.file("ro");
    write_file(path, "x");
    std::string err;
    EXPECT_FALSE(platform::is_read_only(path));
    ASSERT_TRUE(testing_files::noted(platform::set_read_only(path, true), err)) << err;
    EXPECT_TRUE(platform::is_read_only(path));
    ASSERT_TRUE(testing_files::noted(platform::set_read_only(path, false), err)) << err;
    EXPECT_FALSE(platform::is_read_only(path));
    EXPECT_EQ(platform::path_kind(path), platform::PathKind::file);
    EXPECT_EQ(platform::path_kind(dir.path()), platform::PathKind::directory);
    EXPECT_EQ(platform::path_kind(dir.file("none")), platform::PathKind::missing);

    // A step that borrows the current folder gives it back; one whose purpose is to change it
    // keeps the change. The folder's name has characters of no single code page.
    const std::string before = platform::current_folder();
    ASSERT_FALSE(before.empty());
    std::string folder = dir.file("\xED\x95\x9C\xE8\xA1\xA8"); // 한表
    ASSERT_TRUE(testing_files::make_folder(folder));
    {
        platform::FolderKept kept;
        ASSERT_TRUE(platform::set_current_folder(folder));
        write_file("here", "x");
        EXPECT_EQ(read_file(folder + "/here"), "x");
    }
    EXPECT_EQ(platform::current_folder(), before);
    {
        platform::FolderKept kept;
        ASSERT_TRUE(platform::set_current_folder(folder));
        kept.keep_new();
    }
    EXPECT_NE(platform::current_folder(), before);
    EXPECT_FALSE(platform::set_current_folder(dir.file("none")));
    ASSERT_TRUE(platform::set_current_folder(before));
    // A folder is the same by another spelling, as a file is; a second name of a file is the
    // same file, moved over another name it replaces it; an empty folder goes, a full one stays.
    EXPECT_TRUE(platform::same_file(folder, folder + "/."));
    EXPECT_FALSE(platform::same_file(folder, dir.path()));
    ASSERT_TRUE(testing_files::noted(platform::link_file(folder + "/here", dir.file("second")), err)) << err;
    EXPECT_TRUE(platform::same_file(folder + "/here", dir.file("second")));
    EXPECT_FALSE(platform::link_file(folder + "/here", dir.file("second")).ok()); // the name is taken
    write_file(dir.file("other"), "other");
    ASSERT_TRUE(testing_files::noted(platform::move_over(dir.file("other"), dir.file("second")), err)) << err;
    EXPECT_EQ(read_file(dir.file("second")), "other");
    EXPECT_EQ(read_file(folder + "/here"), "x");
    EXPECT_FALSE(platform::remove_empty_folder(folder));
    platform::remove_file(folder + "/here");
    EXPECT_TRUE(platform::remove_empty_folder(folder));
    EXPECT_EQ(platform::path_kind(folder), platform::PathKind::missing);
}

TEST(Process, StartsACommandLineAndNamesAProgramThatCannotStart) {
    TempDir dir;
    std::string made = dir.file("made");
    std::string err;
#ifdef _WIN32
    ASSERT_TRUE(testing_files::noted(platform::start_process("cmd /c mkdir \"" + made + "\""), err)) << err;
    EXPECT_FALSE(testing_files::noted(platform::start_process("no-such-program-of-ours.exe /x"), err));
    EXPECT_NE(err.find("no-such-program-of-ours.exe"), std::string::npos) << err;
#else
    ASSERT_TRUE(testing_files::noted(platform::start_process("mkdir '" + made + "'"), err)) << err;
#endif
    for (int i = 0; i < 200 && platform::path_kind(made) != platform::PathKind::directory; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(platform::path_kind(made), platform::PathKind::directory);
}

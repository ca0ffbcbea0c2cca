#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <chrono>
#include <thread>

#include "platform/file.h"
#include "platform/process.h"
#include "platform/text.h"
#include "tests/unit/test_files.h"

using testing_files::read_file;
using testing_files::TempDir;
using testing_files::write_file;

TEST(File, ExactReadsAndWritesAtOffsets) {
    TempDir dir;
    std::string path = dir.file("f.bin");
    write_file(path, "0123456789");
    platform::File f;
    std::string err;
    ASSERT_TRUE(f.open(path, platform::File::Mode::read_write, err)) << err;
    EXPECT_EQ(f.size(), 10u);
    char b[4] = {};
    EXPECT_TRUE(f.read_at(6, b, 4));
    EXPECT_EQ(std::string(b, 4), "6789");
    EXPECT_FALSE(f.read_at(8, b, 4));   // past the end
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
    EXPECT_FALSE(f.open(dir.file("missing"), platform::File::Mode::read, err));
    EXPECT_FALSE(err.empty());
    err.clear();
    EXPECT_FALSE(f.open(dir.path(), platform::File::Mode::read, err));  // a folder
    EXPECT_FALSE(err.empty());
}

TEST(ReplacingWriter, CommitReplacesAbortKeeps) {
    TempDir dir;
    std::string path = dir.file("target.mp3");
    write_file(path, "old content");
    std::string err;
    {
        platform::ReplacingWriter w;
        ASSERT_TRUE(w.begin(path, err)) << err;
        EXPECT_TRUE(w.write("new", 3));
        EXPECT_EQ(testing_files::count_entries(dir.path()), 2);  // the temporary file beside it
        EXPECT_EQ(read_file(path), "old content");
    }  // destroyed without commit
    EXPECT_EQ(read_file(path), "old content");
    EXPECT_EQ(testing_files::count_entries(dir.path()), 1);

    platform::ReplacingWriter w;
    ASSERT_TRUE(w.begin(path, err));
    EXPECT_TRUE(w.write("new ", 4));
    std::string src = "copied part";
    platform::MemorySource ms(src.data(), src.size());
    EXPECT_TRUE(w.copy_from(ms, 7, 4));
    EXPECT_TRUE(w.patch(0, "N", 1));
    EXPECT_FALSE(w.patch(7, "xx", 2));  // past what was written
    EXPECT_FALSE(w.commit(err));         // a failed step fails the whole
    EXPECT_EQ(read_file(path), "old content");
    EXPECT_EQ(testing_files::count_entries(dir.path()), 1);

    platform::ReplacingWriter w2;
    ASSERT_TRUE(w2.begin(path, err));
    EXPECT_TRUE(w2.copy_from(ms, 0, src.size()));
#ifdef _WIN32
    // The new file takes the old one's place with its attributes (on Windows also its creation
    // time, security and other streams, which Wine does not keep).
    const std::wstring wpath = platform::utf8_to_utf16(path);
    SetFileAttributesW(wpath.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
#endif
    ASSERT_TRUE(w2.commit(err)) << err;
    EXPECT_EQ(read_file(path), "copied part");
    EXPECT_EQ(testing_files::count_entries(dir.path()), 1);
#ifdef _WIN32
    EXPECT_TRUE(GetFileAttributesW(wpath.c_str()) & FILE_ATTRIBUTE_HIDDEN);

    // A replacement that cannot be made (another program holds the file open without sharing
    // it) leaves the old file as it was, and no temporary file.
    platform::ReplacingWriter w3;
    ASSERT_TRUE(w3.begin(path, err));
    EXPECT_TRUE(w3.write("lost", 4));
    HANDLE held = CreateFileW(wpath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(w3.commit(err));
    EXPECT_FALSE(err.empty());
    CloseHandle(held);
    EXPECT_EQ(read_file(path), "copied part");
    EXPECT_EQ(testing_files::count_entries(dir.path()), 1) << err;
#endif
}

TEST(ReplacingWriter, CopyFromAShortSourceFails) {
    TempDir dir;
    std::string path = dir.file("t");
    write_file(path, "keep");
    std::string src(100, 's');
    platform::MemorySource ms(src.data(), src.size());
    platform::ReplacingWriter w;
    std::string err;
    ASSERT_TRUE(w.begin(path, err));
    EXPECT_FALSE(w.copy_from(ms, 50, 51));
    EXPECT_FALSE(w.commit(err));
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(read_file(path), "keep");
}

TEST(ReadOnly, AttributeRoundTrip) {
    TempDir dir;
    std::string path = dir.file("ro");
    write_file(path, "x");
    std::string err;
    EXPECT_FALSE(platform::is_read_only(path));
    ASSERT_TRUE(platform::set_read_only(path, true, err)) << err;
    EXPECT_TRUE(platform::is_read_only(path));
    ASSERT_TRUE(platform::set_read_only(path, false, err)) << err;
    EXPECT_FALSE(platform::is_read_only(path));
    EXPECT_EQ(platform::path_kind(path), platform::PathKind::file);
    EXPECT_EQ(platform::path_kind(dir.path()), platform::PathKind::directory);
    EXPECT_EQ(platform::path_kind(dir.file("none")), platform::PathKind::missing);
}

TEST(Process, StartsACommandLineAndNamesAProgramThatCannotStart) {
    TempDir dir;
    std::string made = dir.file("made");
    std::string err;
#ifdef _WIN32
    ASSERT_TRUE(platform::start_process("cmd /c mkdir \"" + made + "\"", err)) << err;
    EXPECT_FALSE(platform::start_process("no-such-program-of-ours.exe /x", err));
    EXPECT_NE(err.find("no-such-program-of-ours.exe"), std::string::npos) << err;
#else
    ASSERT_TRUE(platform::start_process("mkdir '" + made + "'", err)) << err;
#endif
    for (int i = 0; i < 200 && platform::path_kind(made) != platform::PathKind::directory; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(platform::path_kind(made), platform::PathKind::directory);
}

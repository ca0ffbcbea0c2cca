#include <gtest/gtest.h>

#include "core/formats/tag.h"
#include "platform/file.h"
#include "tests/support/test_files.h"
#include "tests/support/result_check.h"

using namespace formats;
using testing_files::read_file;
using testing_files::TempDir;
using testing_files::write_file;

namespace {
std::string record_bytes(const Tag& t) {
    RecordBytes r = make_record(t);
    return std::string(reinterpret_cast<const char*>(r.data()), r.size());
}
std::string sp(size_t n) { return std::string(n, ' '); }

bool write_record(const std::string& path, const Tag& t) {
    platform::File f;
    std::string err;
    if (!testing_files::noted(f.open(path, platform::File::Mode::read_write), err)) return false;
    return testing_files::noted(write_id3v1_record(f, t), err).ok();
}
} // namespace

TEST(Record, LayoutIsSpacePaddedWithGenreLast) {
    Tag t{"ABC", "Artist", "Album", "99", "Comment", 255};
    std::string want =
        "TAG"
        "ABC" +
        sp(27) + "Artist" + sp(24) + "Album" + sp(25) + "99  " + "Comment" + sp(23) + "\xFF";
    EXPECT_EQ(record_bytes(t), want);
}

TEST(Record, LongTextsKeepTheirFirstBytesAtACharacterBoundary) {
    Tag t;
    t.title = std::string(40, 'T');
    t.artist = std::string(29, 'a') + "\x95\x5C"; // 表 would straddle byte 30
    t.year = "19999";
    t.genre = 12;
    std::string r = record_bytes(t);
    EXPECT_EQ(r.substr(3, 30), std::string(30, 'T'));
    EXPECT_EQ(r.substr(33, 30), std::string(29, 'a') + " ");
    EXPECT_EQ(r.substr(93, 4), "1999");
    EXPECT_EQ(static_cast<unsigned char>(r[127]), 12);
}

TEST(Record, ParseCutsAtZeroOrWidth) {
    std::string r = "TAG" + std::string("Title\0junk", 10) + std::string(20, '\0') + std::string(30, 'B') +
                    std::string(30, '\0') + "2003" + "A" + sp(29) + "\x07";
    ASSERT_EQ(r.size(), 128u);
    Id3v1Record rec;
    ASSERT_TRUE(parse_record(reinterpret_cast<const unsigned char*>(r.data()), rec));
    EXPECT_EQ(rec.title, "Title");
    EXPECT_EQ(rec.artist, std::string(30, 'B'));
    EXPECT_EQ(rec.album, "");
    EXPECT_EQ(rec.year, "2003");
    EXPECT_EQ(rec.comment, "A" + sp(29));
    EXPECT_EQ(rec.genre, 7);
    r[0] = 't';
    EXPECT_FALSE(parse_record(reinterpret_cast<const unsigned char*>(r.data()), rec));
}

TEST(RecordFile, AppendedOnceThenOverwrittenInPlace) {
    TempDir dir;
    std::string path = dir.file("a.mp3");
    std::string audio(1000, '\x55');
    write_file(path, audio);
    Tag t{"One", "", "", "", "", 255};
    ASSERT_TRUE(write_record(path, t));
    EXPECT_EQ(read_file(path), audio + record_bytes(t));
    t.title = "Two";
    ASSERT_TRUE(write_record(path, t));
    EXPECT_EQ(read_file(path), audio + record_bytes(t));

    platform::File f;
    std::string err;
    ASSERT_TRUE(testing_files::noted(f.open(path, platform::File::Mode::read), err));
    Id3v1Record rec;
    ASSERT_TRUE(read_id3v1_record(f, rec));
    EXPECT_EQ(rec.title, "Two" + sp(27));
    EXPECT_EQ(rec.genre, 255);
    static_cast<void>(f.close()); // only read from

    // Other programs keep a track number in the comment's last byte, with a zero before it.
    // It stays while the comment leaves those two bytes free; a longer comment takes them.
    std::string with_track = audio + record_bytes(Tag{"Two", "", "", "", "ten bytes!", 255});
    with_track[with_track.size() - 3] = '\0';
    with_track[with_track.size() - 2] = '\x05';
    write_file(path, with_track);
    t = Tag{"Three", "", "", "", "ten bytes!", 255};
    ASSERT_TRUE(write_record(path, t));
    std::string want = audio + record_bytes(t);
    want[want.size() - 3] = '\0';
    want[want.size() - 2] = '\x05';
    EXPECT_EQ(read_file(path), want);
    t.comment = std::string(28, 'c');
    ASSERT_TRUE(write_record(path, t));
    EXPECT_EQ(read_file(path).substr(want.size() - 3, 2), std::string("\0\x05", 2));
    t.comment = std::string(29, 'c');
    ASSERT_TRUE(write_record(path, t));
    EXPECT_EQ(read_file(path), audio + record_bytes(t));
}

TEST(RecordFile, ShortFilesHaveNoRecordAndGetOneAppended) {
    TempDir dir;
    for (size_t size : {0u, 3u, 127u}) {
        std::string path = dir.file("short" + std::to_string(size));
        // Even bytes that spell "TAG" do not make a record in a file shorter than one.
        std::string content =
            std::string("TAG").substr(0, size < 3 ? size : 3) + std::string(size > 3 ? size - 3 : 0, 'x');
        write_file(path, content);
        platform::File f;
        std::string err;
        ASSERT_TRUE(testing_files::noted(f.open(path, platform::File::Mode::read), err));
        Id3v1Record rec;
        EXPECT_FALSE(read_id3v1_record(f, rec)) << size;
        static_cast<void>(f.close()); // only read from
        Tag t{"T", "", "", "", "", 1};
        ASSERT_TRUE(write_record(path, t));
        EXPECT_EQ(read_file(path), content + record_bytes(t)) << size;
    }
}

TEST(RecordFile, LowercaseTagIsNoRecord) {
    std::string image = std::string(10, 'x') + "tag" + std::string(125, ' ');
    platform::MemorySource src(image.data(), image.size());
    Id3v1Record rec;
    EXPECT_FALSE(read_id3v1_record(src, rec));
}

TEST(RecordFile, FailedWriteIsReportedAndLeavesTheFile) {
    TempDir dir;
    std::string path = dir.file("ro.mp3");
    write_file(path, std::string(300, 'z'));
    platform::File f;
    std::string err;
    ASSERT_TRUE(testing_files::noted(f.open(path, platform::File::Mode::read), err)); // no write access
    EXPECT_FALSE(testing_files::noted(write_id3v1_record(f, Tag{"X", "", "", "", "", 0}), err));
    EXPECT_FALSE(err.empty());
    static_cast<void>(f.close()); // only read from
    EXPECT_EQ(read_file(path), std::string(300, 'z'));
}

TEST(Limits, TooLongMeansOver30BytesOrYearOver4) {
    EXPECT_FALSE(texts_too_long(
        Tag{std::string(30, 'a'), std::string(30, 'a'), std::string(30, 'a'), "1234", std::string(30, 'a'), 0}));
    EXPECT_TRUE(texts_too_long(Tag{std::string(31, 'a'), "", "", "", "", 0}));
    EXPECT_TRUE(texts_too_long(Tag{"", "", "", "12345", "", 0}));
    EXPECT_TRUE(texts_too_long(Tag{"", "", "", "", std::string(31, 'c'), 0}));
}

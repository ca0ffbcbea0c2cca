#include <gtest/gtest.h>

#include "core/formats/apply.h"
#include "core/formats/reader.h"
#include "core/formats/rmp.h"
#include "platform/file.h"
#include "tests/support/test_files.h"
#include "tests/support/result_check.h"

using namespace formats;
using testing_files::read_file;
using testing_files::TempDir;
using testing_files::write_file;

namespace {

std::string u32(uint32_t v) {
    unsigned char b[4];
    put_u32le(b, v);
    return std::string(reinterpret_cast<char*>(b), 4);
}
std::string chunk(const std::string& id, const std::string& data) {
    std::string c = id + u32(static_cast<uint32_t>(data.size())) + data;
    if (data.size() & 1) c += '\0';
    return c;
}
std::string text_chunk(const std::string& id, const std::string& text) { return chunk(id, text + '\0'); }
std::string record_of(const Tag& t) {
    RecordBytes r = make_record(t);
    return std::string(reinterpret_cast<const char*>(r.data()), r.size());
}
// An RMP image from a stream and the sub-chunks after "INFO".
std::string rmp_image(const std::string& stream, const std::string& subchunks) {
    std::string data = "data" + u32(static_cast<uint32_t>(stream.size())) + stream;
    if (stream.size() & 1) data += '\0';
    std::string list = "LIST" + u32(static_cast<uint32_t>(4 + subchunks.size())) + "INFO" + subchunks;
    std::string body = "RMP3" + data + list;
    return "RIFF" + u32(static_cast<uint32_t>(body.size())) + body;
}
uint32_t u32_at(const std::string& s, size_t at) {
    return get_u32le(reinterpret_cast<const unsigned char*>(s.data() + at));
}

// A write's result, and what the file holds after it.
struct Written {
    platform::Result result;
    Applied file;
};

Written apply(const std::string& path, const Tag& t, ApplyForm form, const std::string& name = "kessa") {
    Written w;
    w.result = apply_tag_to_file(path, t, form, name, &w.file);
    return w;
}
RmpTexts texts_of(const std::string& image) {
    platform::MemorySource src(image.data(), image.size());
    RmpTexts t;
    read_rmp_texts(src, t);
    return t;
}

} // namespace

TEST(RmpConvert, SmallFileGivesExactBytes) {
    TempDir dir;
    std::string path = dir.file("s.mp3");
    std::string stream =
        "\xFF\xFB\x90\x64"
        "audio"; // 9 bytes: odd, so a pad byte follows
    write_file(path, stream);
    Tag t{"Title", "Artist", "Album", "2001", "Note", 17};
    ASSERT_TRUE(apply(path, t, ApplyForm::convert).result.ok());
    std::string subs = text_chunk("INAM", "Title") + text_chunk("IART", "Artist") + text_chunk("IPRD", "Album") +
                       text_chunk("ICMT", "Note") + text_chunk("ICRD", "2001") + text_chunk("IGNR", "") +
                       text_chunk("ICOP", "") + text_chunk("IENG", "") + text_chunk("ISRC", "") +
                       text_chunk("ISFT", "kessa 0.29") + chunk("IID3", record_of(t));
    EXPECT_EQ(read_file(path), rmp_image(stream, subs));
}

TEST(RmpConvert, MillionByteFileWithRecord) {
    TempDir dir;
    std::string path = dir.file("big.mp3");
    Tag old{"Old", "", "", "", "", 3};
    std::string stream(999873, '\0');
    for (size_t i = 0; i < stream.size(); ++i) stream[i] = static_cast<char>(i * 7);
    write_file(path, stream + record_of(old));
    ASSERT_EQ(read_file(path).size(), 1000001u);

    Tag t{std::string(40, 'L'), "A", "B", "1999", "C", 3};
    Written r = apply(path, t, ApplyForm::convert, "disp");
    ASSERT_TRUE(r.result.ok()) << r.result.detail;
    std::string f = read_file(path);
    EXPECT_EQ(f.substr(0, 4), "RIFF");
    EXPECT_EQ(u32_at(f, 4), f.size() - 8);
    EXPECT_EQ(f.substr(8, 8), "RMP3data");
    EXPECT_EQ(u32_at(f, 16), 999873u);
    EXPECT_EQ(f.substr(20, 999873), stream);
    EXPECT_EQ(f[20 + 999873], '\0'); // the pad byte
    size_t list = 20 + 999874;
    EXPECT_EQ(f.substr(list, 4), "LIST");
    EXPECT_EQ(u32_at(f, list + 4), f.size() - (list + 8));
    EXPECT_EQ(f.substr(list + 8, 4), "INFO");
    EXPECT_EQ(f.substr(f.size() - 128), record_of(t));
    EXPECT_EQ(f.substr(f.size() - 136, 8), "IID3" + u32(128));
    RmpTexts back = texts_of(f);
    ASSERT_TRUE(back.is_rmp);
    EXPECT_EQ(back.text[INAM], std::string(40, 'L'));
    EXPECT_EQ(back.text[ISFT], "disp 0.29");
    EXPECT_EQ(back.text[IGNR], "");
}

TEST(RmpRewrite, KeepsOtherChunksAndTheFileOwnTexts) {
    TempDir dir;
    std::string path = dir.file("r.rmp");
    std::string stream =
        "\xFF\xFB"
        "0123456789";
    Tag old{"Old title", "Old artist", "", "", "", 9};
    std::string keywords = chunk("IKEY", "rock; live"); // 10 bytes of data
    std::string odd = chunk("IXYZ", "abc");             // odd size, with its pad byte
    std::string subs = text_chunk("ISFT", "Other tool 2.0") + keywords + text_chunk("INAM", "Old title") +
                       text_chunk("ICOP", "(c) someone") + odd + text_chunk("IGNR", "Jazz") +
                       text_chunk("IENG", "engineer") + text_chunk("ISRC", "vinyl") + chunk("IID3", record_of(old));
    write_file(path, rmp_image(stream, subs));

    Tag t{"New title", "New artist", "New album", "2020", "New comment", 9};
    Written r = apply(path, t, ApplyForm::rewrite);
    ASSERT_TRUE(r.result.ok()) << r.result.detail;
    std::string want = text_chunk("INAM", "New title") + text_chunk("IART", "New artist") +
                       text_chunk("IPRD", "New album") + text_chunk("ICMT", "New comment") +
                       text_chunk("ICRD", "2020") + text_chunk("IGNR", "Jazz") + text_chunk("ICOP", "(c) someone") +
                       text_chunk("IENG", "engineer") + text_chunk("ISRC", "vinyl") +
                       text_chunk("ISFT", "Other tool 2.0") + keywords + odd + chunk("IID3", record_of(t));
    EXPECT_EQ(read_file(path), rmp_image(stream, want));
    EXPECT_TRUE(r.file.mended.empty());

    // Writing our own output again with the same texts gives the same bytes.
    ASSERT_TRUE(apply(path, t, ApplyForm::rewrite).result.ok());
    EXPECT_EQ(read_file(path), rmp_image(stream, want));
    // Also when the record holds a track number after a zero in the comment's last bytes.
    std::string with_track = read_file(path);
    with_track[with_track.size() - 3] = '\0';
    with_track[with_track.size() - 2] = '\x05';
    write_file(path, with_track);
    ASSERT_TRUE(apply(path, t, ApplyForm::rewrite).result.ok());
    EXPECT_EQ(read_file(path), with_track);
}

TEST(RmpRead, TextsAreCutTo255AndOddDataIsPadded) {
    std::string stream(7, 's'); // odd
    std::string subs = text_chunk("INAM", std::string(300, 'n')) + text_chunk("IART", "a") +
                       text_chunk("IART", "second wins") + chunk("IPRD", "no terminator") +
                       text_chunk("ICMT", std::string(254, 'c') + "\x95\x5C") + // 表 straddles 255
                       chunk("IID3", record_of(Tag{})) + text_chunk("ICRD", "after IID3");
    RmpTexts t = texts_of(rmp_image(stream, subs));
    ASSERT_TRUE(t.is_rmp);
    EXPECT_EQ(t.text[INAM], std::string(255, 'n'));
    EXPECT_EQ(t.text[IART], "second wins");
    EXPECT_EQ(t.text[IPRD], "no terminator");
    EXPECT_EQ(t.text[ICMT], std::string(254, 'c'));
    EXPECT_EQ(t.text[ICRD], ""); // the walk stops at IID3
}

TEST(RmpRead, A255ByteTextIsWrittenAsSize256) {
    TempDir dir;
    std::string path = dir.file("l.mp3");
    write_file(path, "\xFF\xFB\x00\x00");
    Tag t{std::string(255, 'x'), "", "", "", "", 0};
    ASSERT_TRUE(apply(path, t, ApplyForm::convert).result.ok());
    std::string f = read_file(path);
    size_t at = f.find("INAM");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(u32_at(f, at + 4), 256u);
}

TEST(RmpDamage, DataSizeBeyondTheFile) {
    std::string stream =
        "\xFF\xFB"
        "stream";
    Tag old{"Old", "", "", "", "", 1};
    std::string image = "RIFF" + u32(1000) + "RMP3data" + u32(0x7FFFFFF0) + stream + record_of(old);
    RmpTexts t = texts_of(image);
    EXPECT_FALSE(t.is_rmp); // no list can be found: the file is edited as an ID3v1 file

    platform::MemorySource src(image.data(), image.size());
    RmpPlan plan = plan_rmp(src, true, Tag{"New", "", "", "", "", 1}, "kessa");
    EXPECT_EQ(plan.stream.offset, 20u);
    EXPECT_EQ(plan.stream.length, stream.size()); // up to the trailing record
    EXPECT_FALSE(plan.warnings.empty());
    EXPECT_EQ(plan.texts[ISFT], "kessa 0.29");

    TempDir dir;
    std::string path = dir.file("d.rmp");
    write_file(path, image);
    ASSERT_TRUE(apply(path, Tag{"New", "", "", "", "", 1}, ApplyForm::rewrite).result.ok());
    std::string f = read_file(path);
    EXPECT_EQ(u32_at(f, 16), stream.size());
    EXPECT_EQ(f.substr(20, stream.size()), stream);
    EXPECT_EQ(f.substr(f.size() - 128), record_of(Tag{"New", "", "", "", "", 1}));
}

TEST(RmpDamage, SubChunkPastTheEndStopsTheWalk) {
    std::string subs = text_chunk("INAM", "kept") + "IART" + u32(0xFFFFFFF0) + "short";
    std::string image = rmp_image("ab", subs);
    platform::MemorySource src(image.data(), image.size());
    RmpLayout lay = walk_rmp(src);
    EXPECT_TRUE(lay.has_list);
    EXPECT_EQ(lay.texts[INAM], "kept");
    EXPECT_EQ(lay.texts[IART], "");
    EXPECT_FALSE(lay.has_iid3);
    EXPECT_GE(lay.warnings.size(), 2u); // the damaged sub-chunk, and no IID3
}

TEST(RmpDamage, ListWithoutIid3IsReadAndRewrittenWithOne) {
    TempDir dir;
    std::string path = dir.file("n.rmp");
    std::string subs = text_chunk("INAM", "no record here") + text_chunk("ISFT", "elsewhere 1");
    write_file(path, rmp_image("xyz", subs));
    RmpTexts t = texts_of(read_file(path));
    ASSERT_TRUE(t.is_rmp);
    EXPECT_EQ(t.text[INAM], "no record here");

    Tag tag{"with record", "", "", "", "", 5};
    Written r = apply(path, tag, ApplyForm::rewrite);
    ASSERT_TRUE(r.result.ok()) << r.result.detail;
    std::string f = read_file(path);
    EXPECT_EQ(f.substr(f.size() - 128), record_of(tag));
    EXPECT_EQ(texts_of(f).text[ISFT], "elsewhere 1");
    EXPECT_EQ(f.substr(20, 3), "xyz");
}

TEST(RmpDamage, DataNotFollowedByList) {
    TempDir dir;
    std::string path = dir.file("x.rmp");
    // The shape of a file that holds only its data chunk, with an overstated RIFF size.
    std::string stream(100, 'q');
    std::string image = "RIFF" + u32(9999) + "RMP3data" + u32(100) + stream;
    write_file(path, image);
    EXPECT_FALSE(texts_of(image).is_rmp);
    Tag tag{std::string(31, 't'), "", "", "", "", 255};
    Written r = apply(path, tag, ApplyForm::rewrite);
    ASSERT_TRUE(r.result.ok()) << r.result.detail;
    std::string f = read_file(path);
    EXPECT_EQ(f.substr(20, 100), stream);
    RmpTexts back = texts_of(f);
    ASSERT_TRUE(back.is_rmp);
    EXPECT_EQ(back.text[INAM], std::string(31, 't'));
    EXPECT_EQ(back.text[ISFT], "kessa 0.29");
    EXPECT_EQ(u32_at(f, 4), f.size() - 8);
}

TEST(RmpDamage, LargeOtherChunksAndHugeTextsAreHandled) {
    TempDir dir;
    std::string path = dir.file("h.rmp");
    std::string big1 = chunk("IBIG", std::string(70000, 'b')); // more than 64 KiB of other sub-chunks
    std::string big2 = chunk("IPIC", std::string(30001, 'p'));
    std::string huge_text = text_chunk("IENG", std::string(50000, 'e')); // over 40,960 bytes
    Tag old{"o", "", "", "", "", 0};
    write_file(path, rmp_image("s", big1 + huge_text + big2 + chunk("IID3", record_of(old))));
    Tag tag{"t", "", "", "", "", 0};
    Written r = apply(path, tag, ApplyForm::rewrite);
    ASSERT_TRUE(r.result.ok()) << r.result.detail;
    std::string f = read_file(path);
    EXPECT_NE(f.find(big1 + big2), std::string::npos); // both kept, in the order found
    RmpTexts back = texts_of(f);
    EXPECT_EQ(back.text[IENG], std::string(255, 'e'));
    EXPECT_EQ(u32_at(f, 4), f.size() - 8);
}

TEST(RmpDamage, OverstatedListSizeIsBoundedByTheFile) {
    std::string subs = text_chunk("INAM", "t") + chunk("IID3", record_of(Tag{}));
    std::string image = rmp_image("ab", subs);
    size_t list = image.find("LIST");
    std::string bad = image.substr(0, list + 4) + u32(0xFFFFFFFF) + image.substr(list + 8);
    RmpTexts t = texts_of(bad);
    EXPECT_TRUE(t.is_rmp);
    EXPECT_EQ(t.text[INAM], "t");
}

TEST(RmpDamage, ManyEmptySubChunksEndTheWalk) {
    std::string subs;
    for (int i = 0; i < 120000; ++i) subs += "IZRO" + u32(0);
    std::string image = rmp_image("ab", subs);
    platform::MemorySource src(image.data(), image.size());
    RmpLayout lay = walk_rmp(src);
    ASSERT_EQ(lay.others.size(), 1u); // adjacent sub-chunks merge into one range
    EXPECT_EQ(lay.others[0].length, 100000u * 8);
}

TEST(RmpDamage, HeaderShorterThanTwentyBytes) {
    std::string image = "RIFF\x04\x00\x00\x00RMP3da";
    platform::MemorySource src(image.data(), image.size());
    RmpLayout lay = walk_rmp(src);
    EXPECT_FALSE(lay.has_list);
    EXPECT_EQ(lay.stream.length, 0u);
}

namespace {
// A source whose reads fail past a point, like a disk that goes away half-way.
class FailingSource final : public platform::ByteSource {
public:
    FailingSource(const std::string& bytes, uint64_t fail_at) : bytes_(bytes), fail_at_(fail_at) {}
    uint64_t size() const override { return bytes_.size(); }
    bool read_at(uint64_t offset, void* dst, size_t n) override {
        if (offset + n > fail_at_ || offset + n > bytes_.size()) return false;
        std::memcpy(dst, bytes_.data() + offset, n);
        return true;
    }

private:
    std::string bytes_;
    uint64_t fail_at_;
};
} // namespace

TEST(RmpWrite, AFailureHalfWayLeavesTheOriginalAndNoTemporaryFile) {
    TempDir dir;
    std::string path = dir.file("keep.mp3");
    std::string original(3 << 20, 'k');
    write_file(path, original);
    FailingSource src(original, 2 << 20);
    RmpPlan plan = plan_rmp(src, false, Tag{"t", "", "", "", "", 0}, "kessa");
    std::string err;
    {
        platform::ReplacingWriter w;
        ASSERT_TRUE(testing_files::noted(w.begin(path), err));
        EXPECT_FALSE(testing_files::noted(write_rmp_file(w, src, plan), err));
        EXPECT_FALSE(err.empty());
    }
    EXPECT_EQ(read_file(path), original);
    EXPECT_EQ(testing_files::count_entries(dir.path()), 1);
}

TEST(RmpWrite, AFileThatCannotBeOpenedIsReportedNotApplied) {
    TempDir dir;
    Written r = apply(dir.file("missing.mp3"), Tag{std::string(40, 'x'), "", "", "", "", 0}, ApplyForm::convert);
    EXPECT_FALSE(r.result.ok());
    EXPECT_FALSE(r.result.detail.empty());
    EXPECT_EQ(testing_files::count_entries(dir.path()), 0);
}

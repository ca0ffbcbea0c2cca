// Files written by other programs, read as the editor would show them.
#include <gtest/gtest.h>

#include <tuple>

#include "core/formats/id3v2.h"
#include "core/formats/load.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/support/test_files.h"
#include "tests/support/result_check.h"

using namespace formats;

namespace {
struct Shown {
    FileKind kind = FileKind::unknown;
    ShownTexts texts;
};
Shown open_peer(const std::string& rel) {
    Shown s;
    std::string path = testing_files::peers_dir() + "/" + rel;
    platform::File f;
    std::string err;
    EXPECT_TRUE(testing_files::noted(f.open(path, platform::File::Mode::read), err)) << path << ": " << err;
    FileHead head;
    EXPECT_TRUE(read_head(f, path, head));
    s.kind = head.kind;
    if (s.kind == FileKind::mp3) s.texts = open_for_editing(f, true);
    return s;
}
} // namespace

class Peers : public ::testing::Test {
protected:
    void SetUp() override {
        if (testing_files::peers_dir().empty()) GTEST_SKIP() << "no ../shared/testdata/peers beside this clone";
    }
};

TEST_F(Peers, ShiftJisRecordReadsAsJapanese) {
    Shown s = open_peer("nightingale-hacking/MP3_ID3v1_Shift_JIS.mp3");
    EXPECT_EQ(s.kind, FileKind::mp3);
    EXPECT_EQ(s.texts.artist, "\x97\x9D\x91\xBD");
    EXPECT_EQ(platform::cp932_to_utf8(s.texts.album), "Monologue -ものろぉぐ-");
    EXPECT_EQ(s.texts.title, "end of misery");
    EXPECT_EQ(s.texts.year, "2003");
    EXPECT_EQ(s.texts.comment, "MIND+REAPER ED");
    EXPECT_EQ(s.texts.loaded.tag.genre, 36);
}

TEST_F(Peers, RealRmpFileWithGenreText) {
    Shown s = open_peer("taglib/mpeg2.rmp");
    ASSERT_TRUE(s.texts.rmp.is_rmp);
    EXPECT_EQ(s.texts.rmp.text[IGNR], "A Cappella");
    EXPECT_EQ(s.texts.title, "");
    EXPECT_EQ(s.texts.loaded.tag.genre, 123);
    EXPECT_TRUE(s.texts.warnings.empty());
}

TEST_F(Peers, RmpWithoutListIsEditedAsPlainFile) {
    Shown s = open_peer("taglib/xing.rmp");
    EXPECT_EQ(s.kind, FileKind::mp3);
    EXPECT_FALSE(s.texts.rmp.is_rmp);
    EXPECT_FALSE(s.texts.loaded.has_record);
    EXPECT_FALSE(s.texts.warnings.empty());
}

TEST_F(Peers, Id3v1Variants) {
    Shown basic = open_peer("hsaudiotag/id3v1_001_basic.mp3");
    EXPECT_EQ(basic.texts.title, "Title");
    EXPECT_EQ(basic.texts.artist, "Artist");
    EXPECT_EQ(basic.texts.album, "Album");
    EXPECT_EQ(basic.texts.year, "2003");
    EXPECT_EQ(basic.texts.comment, "Comment");
    EXPECT_EQ(basic.texts.loaded.tag.genre, 7);

    EXPECT_FALSE(open_peer("hsaudiotag/id3v1_003_basic_F.mp3").texts.loaded.has_record); // lowercase "tag"
    Shown junk = open_peer("hsaudiotag/id3v1_007_basic_W.mp3");
    EXPECT_EQ(junk.texts.title, "12345"); // the junk after the terminator is not shown
    Shown full = open_peer("hsaudiotag/id3v1_005_basic.mp3");
    EXPECT_EQ(full.texts.title.size(), 30u);
    Shown v11 = open_peer("mutagen/silence-44-s-v1.mp3");
    EXPECT_EQ(v11.texts.title, "Silence");
    EXPECT_EQ(v11.texts.artist, "piman");
    EXPECT_EQ(v11.texts.album, "Quod Libet Test Data");
    EXPECT_EQ(v11.texts.year, "2004");
    EXPECT_EQ(v11.texts.comment, ""); // the track number lives behind a zero byte
    EXPECT_EQ(v11.texts.loaded.tag.genre, 50);
    Shown mixed = open_peer("mutagen/apev2-lyricsv2.mp3");
    EXPECT_EQ(mixed.texts.title, "A song   "); // spaces before zero padding stay
    Shown spaces = open_peer("tinytag/id3v1-latin1.mp3");
    EXPECT_EQ(spaces.texts.comment, std::string(28, ' ')); // 28 spaces, then the track byte
}

TEST_F(Peers, FilesWithoutARecordAtTheEnd) {
    for (const char* rel : {"mutagen/audacious-trailing-id32-id31.mp3", "nightingale-hacking/corrupt.mp3",
                            "nightingale-hacking/MP3_NoTags.mp3", "taglib/xing.mp3", "mutagen/emptyfile.mp3",
                            "taglib/unsynch24.id3", "tinytag/incomplete.mp3"}) {
        Shown s = open_peer(rel);
        EXPECT_EQ(s.kind, FileKind::mp3) << rel;
        EXPECT_FALSE(s.texts.loaded.has_record) << rel;
        EXPECT_EQ(s.texts.loaded.tag.genre, 255) << rel;
    }
}

TEST_F(Peers, OtherKinds) {
    EXPECT_EQ(open_peer("hsaudiotag/composer.jpg").kind, FileKind::jpeg);
    EXPECT_EQ(open_peer("tinytag/mp3_audio.wav").kind, FileKind::mp3);             // RIFF
    EXPECT_EQ(open_peer("nightingale-hacking/fake-file.mp3").kind, FileKind::mp3); // by its name
    EXPECT_EQ(open_peer("taglib/mpeg2.mp3").kind, FileKind::mp3);
}

// The ID3v2 tags of the peers' hard cases, read as the well-known readers read them.
TEST_F(Peers, HardId3v2TagsReadAsTheWellKnownReadersReadThem) {
    auto tag_of = [](const std::string& rel) {
        platform::File f;
        EXPECT_TRUE(f.open(testing_files::peers_dir() + "/" + rel, platform::File::Mode::read).ok()) << rel;
        return find_id3v2(f, f.size());
    };
    // 2.4 frame sizes written as plain numbers, as some iTunes versions wrote them.
    const Id3v2Found plain = tag_of("taglib/005411.id3");
    EXPECT_EQ(std::tie(plain.texts.title, plain.texts.artist, plain.texts.year, plain.track),
              std::make_tuple("Sunshine Superman", "Donovan", "1966", "1"));
    EXPECT_FALSE(plain.damaged);
    // The extended header's flag set with no extended header written.
    const Id3v2Found ext = tag_of("mutagen/issue_21.id3");
    EXPECT_EQ(std::tie(ext.texts.title, ext.texts.artist, ext.texts.year, ext.track),
              std::make_tuple("Punk To Funk", "FatBoy Slim", "1996", "9"));
    // iTunes' normalisation values are no comment.
    for (const char* rel : {"taglib/broken-tenc.id3", "mutagen/too-short.mp3"})
        EXPECT_EQ(tag_of(rel).texts.comment.find("0000"), std::string::npos) << rel << tag_of(rel).texts.comment;
}

#include <gtest/gtest.h>

#include "core/formats/apply.h"
#include "core/editing/carry_over.h"
#include "platform/byte_source.h"

using namespace formats;

namespace {
FileKind kind_of(const std::string& head, const std::string& path) {
    return classify(reinterpret_cast<const unsigned char*>(head.data()), head.size(), path);
}
std::string record_of(const Tag& t) {
    RecordBytes r = make_record(t);
    return std::string(reinterpret_cast<const char*>(r.data()), r.size());
}
// A record whose fields are padded with zero bytes, as other programs write them.
std::string zero_padded_record(const Tag& t) {
    auto field = [](const std::string& s, size_t w) {
        return s.substr(0, w) + std::string(w - std::min(w, s.size()), '\0');
    };
    return "TAG" + field(t.title, 30) + field(t.artist, 30) + field(t.album, 30) + field(t.year, 4) +
           field(t.comment, 30) + std::string(1, static_cast<char>(t.genre));
}
// The carry-over state that the session keeps and a load reads and may change.
struct CarryOver {
    bool on = false;
    Tag undo_snapshot;
};
LoadedTag load(const std::string& image, const Tag& previous, CarryOver& carry) {
    platform::MemorySource src(image.data(), image.size());
    return editing::load_tag(src, previous, carry.on, carry.undo_snapshot);
}
} // namespace

TEST(Classify, SignaturesInOrder) {
    EXPECT_EQ(kind_of("RIFF", "a.wav"), FileKind::mp3);
    EXPECT_EQ(kind_of("ID3\x04", "a.bin"), FileKind::mp3);
    EXPECT_EQ(kind_of("\xFF\xFB\x90\x00", "a.bin"), FileKind::mp3);
    EXPECT_EQ(kind_of("\xFF\xFA\x90\x00", "a.bin"), FileKind::unknown);
    EXPECT_EQ(kind_of("\xFF\xFA\x90\x00", "a.mp3"), FileKind::mp3);
    EXPECT_EQ(kind_of("junk", "A.MP3"), FileKind::mp3);       // the extension ignores case
    EXPECT_EQ(kind_of("PK\x03\x04", "a.mp3"), FileKind::mp3); // the extension comes first
    EXPECT_EQ(kind_of("PK\x03\x04", "a.zip"), FileKind::zip);
    EXPECT_EQ(kind_of("xx-lh5-", "a.lzh"), FileKind::lzh);
    EXPECT_EQ(kind_of("\xFF\xD8\xFF\xE0", "a.jpg"), FileKind::jpeg);
    EXPECT_EQ(kind_of("\xFF\xD8\xFF\xE1", "a.jpg"), FileKind::unknown);
    EXPECT_EQ(kind_of("Hey ", "fake.txt"), FileKind::unknown);
    EXPECT_EQ(kind_of("mp3", "mp3"), FileKind::unknown); // a name of 3 characters has no extension
}

TEST(Classify, ShortFilesUseTheBytesTheyHave) {
    EXPECT_EQ(kind_of("", "empty.mp3"), FileKind::mp3);
    EXPECT_EQ(kind_of("", "empty"), FileKind::unknown);
    EXPECT_EQ(kind_of("ID3", "x"), FileKind::mp3);
    EXPECT_EQ(kind_of("RIF", "x"), FileKind::unknown);
    EXPECT_EQ(kind_of("PK", "x"), FileKind::zip);
    EXPECT_EQ(kind_of("\xFF\xFB", "x"), FileKind::mp3);
    EXPECT_EQ(kind_of("\xFF\xD8\xFF", "x"), FileKind::unknown);
    EXPECT_EQ(kind_of("ab-", "x"), FileKind::unknown);
}

TEST(Load, RecordTextsAfterTheLoadRules) {
    std::string image =
        std::string(500, 'a') + record_of(Tag{"Title", std::string(30, ' '), "Album", "    ", "Comment", 42});
    CarryOver carry;
    LoadedTag l = load(image, Tag{}, carry);
    ASSERT_TRUE(l.has_record);
    EXPECT_EQ(l.tag.title, "Title" + std::string(25, ' ')); // trimmed later, when shown
    EXPECT_EQ(l.tag.artist, "");                            // blank over the full width
    EXPECT_EQ(l.tag.year, "");
    EXPECT_EQ(l.tag.genre, 42);
    EXPECT_EQ(l.record.artist, std::string(30, ' '));

    platform::MemorySource src(image.data(), image.size());
    ShownTexts s = open_for_editing(src, true);
    EXPECT_EQ(s.title, "Title");
    EXPECT_EQ(s.comment, "Comment");
    EXPECT_FALSE(s.rmp.is_rmp);
}

TEST(Load, YearIsNotTrimmedAndZeroPaddingReadsClean) {
    std::string image = zero_padded_record(Tag{"Silence", "piman", "", "99", "", 50});
    platform::MemorySource src(image.data(), image.size());
    ShownTexts s = open_for_editing(src, true);
    EXPECT_EQ(s.title, "Silence");
    EXPECT_EQ(s.artist, "piman");
    EXPECT_EQ(s.year, "99");
    std::string spaced = record_of(Tag{"A", "", "", "99", "", 0});
    platform::MemorySource src2(spaced.data(), spaced.size());
    ShownTexts s2 = open_for_editing(src2, true);
    EXPECT_EQ(s2.title, "A");
    EXPECT_EQ(s2.year, "99  ");
}

TEST(Load, NoRecordGivesEmptyTextsAndNoGenre) {
    CarryOver carry;
    LoadedTag l = load(std::string(400, 'x'), Tag{"t", "a", "b", "1", "c", 7}, carry);
    EXPECT_FALSE(l.has_record);
    EXPECT_EQ(l.tag, (Tag{"", "", "", "", "", 255}));
}

TEST(CarryOver, FileWithoutRecordTakesTheCarriedTexts) {
    CarryOver carry;
    carry.on = true;
    carry.undo_snapshot = Tag{"old title", "Carried", "Album", "2000", "Note", 9};
    LoadedTag l = load(std::string(400, 'x'), Tag{"old title", "Carried", "Album", "2000", "Note", 9}, carry);
    EXPECT_TRUE(carry.on);
    EXPECT_EQ(l.tag, (Tag{"", "Carried", "Album", "2000", "Note", 9}));
}

TEST(CarryOver, BlankRecordTakesTheCarriedTextsAndKeepsItsTitle) {
    CarryOver carry;
    carry.on = true;
    Tag previous{"prev", "Carried", "Album", "2000", "Note", 9};
    Tag rec{"Own title", std::string(30, ' '), std::string(30, ' '), "    ", std::string(30, ' '), 1};
    LoadedTag l = load(record_of(rec), previous, carry);
    EXPECT_TRUE(carry.on);
    EXPECT_FALSE(l.carry_over_ends);
    EXPECT_EQ(l.tag.title, "Own title" + std::string(21, ' '));
    EXPECT_EQ(l.tag.artist, "Carried" + std::string(23, ' '));
    EXPECT_EQ(l.tag.year, "2000");
    EXPECT_EQ(l.tag.genre, 9);
    EXPECT_EQ(carry.undo_snapshot.title, "Own title" + std::string(21, ' ')); // the record as read
    EXPECT_EQ(carry.undo_snapshot.genre, 1);
}

TEST(CarryOver, RecordWithValuesOfItsOwnEndsCarryOver) {
    CarryOver carry;
    carry.on = true;
    Tag previous{"prev", "Carried", "Album", "2000", "Note", 9};
    LoadedTag l = load(record_of(Tag{"T", "Someone else", "", "", "", 9}), previous, carry);
    EXPECT_TRUE(l.carry_over_ends);
    EXPECT_FALSE(carry.on);
    EXPECT_EQ(l.tag.artist, "Someone else" + std::string(18, ' '));
}

TEST(CarryOver, SameValuesIgnoringCaseKeepCarryOver) {
    CarryOver carry;
    carry.on = true;
    Tag previous{"prev", "carried", "album", "2000", "note", 9};
    LoadedTag l = load(record_of(Tag{"T", "CARRIED", "Album", "2000", "NOTE", 9}), previous, carry);
    EXPECT_FALSE(l.carry_over_ends);
    EXPECT_TRUE(carry.on);
}

TEST(ApplyForm, DecisionFollowsLengthSettingAndForm) {
    Tag short_texts{"t", "a", "b", "1999", "c", 0};
    Tag long_title{std::string(31, 't'), "", "", "", "", 0};
    EXPECT_EQ(decide_apply_form(short_texts, true, false, false), ApplyForm::id3);
    EXPECT_EQ(decide_apply_form(long_title, true, false, false), ApplyForm::convert);
    EXPECT_EQ(decide_apply_form(long_title, false, false, false), ApplyForm::id3);
    // An RMP file is written in its form on every apply, however short the texts.
    EXPECT_EQ(decide_apply_form(short_texts, true, true, true), ApplyForm::rewrite);
    // An RMP3 file loaded as ID3v1 (its list unread) is rewritten, not wrapped again.
    EXPECT_EQ(decide_apply_form(long_title, true, false, true), ApplyForm::rewrite);
}

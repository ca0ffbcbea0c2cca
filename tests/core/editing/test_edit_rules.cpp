#include <gtest/gtest.h>

#include "core/editing/edit_rules.h"

using namespace editing;
using formats::Tag;
using settings::slot_text;

namespace {
Tag tag(const std::string& title, const std::string& artist, const std::string& album, uint8_t genre = 1) {
    return Tag{title, artist, album, "2000", "note", genre};
}
} // namespace

TEST(ChangeDetection, CaseAndTextsPastTheRecordAreNoChange) {
    Tag loaded{"Title", "Artist", "Album", "1999", "Note", 3};
    formats::RmpTexts none;
    EXPECT_FALSE(fields_differ({"TITLE", "artist", "ALBUM", "1999", "note"}, false, none, loaded));
    EXPECT_TRUE(fields_differ({"Title2", "Artist", "Album", "1999", "Note"}, false, none, loaded));
    // In the ID3v1 form only the first 30 bytes (the year 4) count.
    Tag full{std::string(30, 'x'), "", "", "1999", "", 0};
    EXPECT_FALSE(fields_differ({std::string(31, 'x'), "", "", "19991", ""}, false, none, full));
    // A cut that would split 表 falls before it, so the text differs from a 30-byte record text.
    Tag cut{std::string(29, 'x'), "", "", "", "", 0};
    EXPECT_FALSE(fields_differ({std::string(29, 'x') + "\x95\x5C", "", "", "", ""}, false, none, cut));
}

TEST(ChangeDetection, RmpFormComparesTheLongTexts) {
    formats::RmpTexts rmp;
    rmp.is_rmp = true;
    rmp.text[formats::INAM] = std::string(40, 'L');
    rmp.text[formats::ICRD] = "2001";
    Tag record{std::string(30, 'L'), "", "", "2001", "", 0};
    EXPECT_FALSE(fields_differ({std::string(40, 'l'), "", "", "2001", ""}, true, rmp, record));
    EXPECT_TRUE(fields_differ({std::string(41, 'L'), "", "", "2001", ""}, true, rmp, record));
    FieldTexts shown = shown_texts(true, rmp, record);
    EXPECT_EQ(shown.title, std::string(40, 'L'));
    EXPECT_EQ(shown_texts(false, rmp, record).title, std::string(30, 'L'));
}

TEST(History, SameTagTwiceChangesNothing) {
    History h{};
    EXPECT_TRUE(add_to_history(h, tag("T", "A", "B")));
    EXPECT_FALSE(add_to_history(h, tag("t", "a", "b", 99))); // case and genre do not count
    EXPECT_EQ(h[0].used, 1);
    EXPECT_EQ(h[1].used, 0);
    EXPECT_EQ(h[0].genre, 1);
}

TEST(History, SameAlbumAndArtistUpdatesInPlace) {
    History h{};
    add_to_history(h, tag("one", "A", "B"));
    add_to_history(h, tag("x", "Other", "B"));
    EXPECT_TRUE(add_to_history(h, tag("two", "a", "b", 7)));
    EXPECT_EQ(slot_text(h[0].title), "two");
    EXPECT_EQ(slot_text(h[0].artist), "a");
    EXPECT_EQ(h[0].genre, 7);
    EXPECT_EQ(slot_text(h[1].artist), "Other");
    EXPECT_EQ(h[2].used, 0);
}

TEST(History, FullHistoryShiftsTowardSlotZero) {
    History h{};
    for (int i = 0; i < 50; ++i) add_to_history(h, tag("t", "artist" + std::to_string(i), "album"));
    h[10].reserved1 = 1234; // reserved fields stay where they are
    EXPECT_TRUE(add_to_history(h, tag("new", "newcomer", "album")));
    EXPECT_EQ(slot_text(h[0].artist), "artist1");
    EXPECT_EQ(slot_text(h[48].artist), "artist49");
    EXPECT_EQ(slot_text(h[49].artist), "newcomer");
    EXPECT_EQ(h[10].reserved1, 1234);
    // A later matching slot wins over an earlier one.
    History d{};
    d[3].used = 1;
    settings::set_history_entry(d[3], "a", "X", "Y", "", "", 0);
    settings::set_history_entry(d[7], "b", "X", "Y", "", "", 0);
    EXPECT_TRUE(add_to_history(d, Tag{"c", "X", "Y", "", "", 0}));
    EXPECT_EQ(slot_text(d[3].title), "a");
    EXPECT_EQ(slot_text(d[7].title), "c");
}

TEST(History, OfferedTextsAreUniqueAndAtLeastTwoBytes) {
    History h{};
    add_to_history(h, Tag{"t", "Artist", "Album", "", "x", 0});
    add_to_history(h, Tag{"t", "ARTIST", "Other", "", "Comment", 0});
    add_to_history(h, Tag{"t", "\x97\x9D", "Album", "", "", 0}); // 理: one character, two bytes
    DropDowns first;
    offer_history_texts(h, false, first);
    EXPECT_EQ(first.artist, (std::vector<std::string>{"Artist", "\x97\x9D"}));
    EXPECT_EQ(first.album, (std::vector<std::string>{"Album", "Other"}));
    EXPECT_EQ(first.comment, (std::vector<std::string>{"Comment"}));
    DropDowns latest;
    latest.album.push_back("album"); // already in the list
    offer_history_texts(h, true, latest);
    EXPECT_EQ(latest.artist, (std::vector<std::string>{"\x97\x9D", "ARTIST"}));
    EXPECT_EQ(latest.album, (std::vector<std::string>{"album", "Other"}));
}

TEST(YearList, SixtyItemsFromTwoYearsAhead) {
    std::vector<std::string> y = year_list(126); // 2026
    ASSERT_EQ(y.size(), 60u);
    EXPECT_EQ(y.front(), "2028");
    EXPECT_EQ(y[3], "2025");
    EXPECT_EQ(y[4], "----");
    EXPECT_EQ(y.back(), "1979");
    EXPECT_EQ(y[y.size() - 2], "----");
    EXPECT_EQ(y[y.size() - 3], "1980");
    EXPECT_EQ(year_list(30).front(), "2032"); // a clock read as 1930 means 2030
}

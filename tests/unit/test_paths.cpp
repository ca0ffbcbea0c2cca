#include <gtest/gtest.h>

#include "editor/window/paths.h"

using namespace editing;

TEST(CommandLine, SwitchQuotesAndBlanks) {
    EXPECT_EQ(start_file_from_tail("/e C:\\My Music\\a b.mp3"), "C:\\My Music\\a b.mp3");
    EXPECT_EQ(start_file_from_tail("/E \"C:\\My Music\\a b.mp3\""), "C:\\My Music\\a b.mp3");
    EXPECT_EQ(start_file_from_tail("\"C:\\My Music\\a b.mp3\""), "C:\\My Music\\a b.mp3");
    EXPECT_EQ(start_file_from_tail("C:\\My \"Music\"\\x.mp3"), "C:\\My Music\\x.mp3");
    EXPECT_EQ(start_file_from_tail(""), "");
    EXPECT_EQ(start_file_from_tail("/e"), "");
    EXPECT_EQ(start_file_from_tail("/x.mp3"), "/x.mp3");  // no switch: a path from its first character
    EXPECT_EQ(start_file_from_tail("100%.mp3"), "100%.mp3");
}

TEST(CommandLine, At255CharactersTheCopyStops) {
    std::string tail = "\"" + std::string(300, 'p');
    EXPECT_EQ(start_file_from_tail(tail), std::string(254, 'p'));  // the quote counts as read
    EXPECT_EQ(start_file_from_tail("/e " + std::string(300, 'q')), std::string(255, 'q'));
}

TEST(Backslash, TrailBytesAreNoSeparators) {
    // "C:\表\ソ" : both 表 (0x95 0x5C) and ソ (0x83 0x5C) end in 0x5C.
    std::string p = "C:\\\x95\x5C\\\x83\x5C";
    EXPECT_EQ(find_last_backslash(p), 5u);
    EXPECT_EQ(find_last_backslash("no separator"), std::string::npos);
    EXPECT_EQ(find_last_backslash("\x95\x5C"), std::string::npos);
}

TEST(RelativeForm, StripsTheCurrentFolder) {
    EXPECT_EQ(relative_form("C:\\Music\\a.mp3", "C:\\Music"), "a.mp3");
    EXPECT_EQ(relative_form("c:\\music\\sub\\a.mp3", "C:\\Music"), "sub\\a.mp3");
    EXPECT_EQ(relative_form("C:\\a.mp3", "C:\\"), "a.mp3");
    // Not in the current folder, or shorter than it: the whole path, never a read past its end.
    EXPECT_EQ(relative_form("D:\\x.mp3", "C:\\Music"), "D:\\x.mp3");
    EXPECT_EQ(relative_form("C:\\Mu", "C:\\Music"), "C:\\Mu");
    EXPECT_EQ(relative_form("C:\\Musical\\a.mp3", "C:\\Music"), "C:\\Musical\\a.mp3");
}

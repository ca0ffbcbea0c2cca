#include <gtest/gtest.h>

#include "core/editing/paths.h"

using namespace editing;

TEST(CommandLine, SwitchQuotesAndBlanks) {
    EXPECT_EQ(start_file_from_tail("/e C:\\My Music\\a b.mp3"), "C:\\My Music\\a b.mp3");
    EXPECT_EQ(start_file_from_tail("/E \"C:\\My Music\\a b.mp3\""), "C:\\My Music\\a b.mp3");
    EXPECT_EQ(start_file_from_tail("\"C:\\My Music\\a b.mp3\""), "C:\\My Music\\a b.mp3");
    EXPECT_EQ(start_file_from_tail("C:\\My \"Music\"\\x.mp3"), "C:\\My Music\\x.mp3");
    EXPECT_EQ(start_file_from_tail(""), "");
    EXPECT_EQ(start_file_from_tail("/e"), "");
    EXPECT_EQ(start_file_from_tail("/x.mp3"), "/x.mp3"); // no switch: a path from its first character
    EXPECT_EQ(start_file_from_tail("100%.mp3"), "100%.mp3");
}

TEST(CommandLine, At255CharactersTheCopyStops) {
    std::string tail = "\"" + std::string(300, 'p');
    EXPECT_EQ(start_file_from_tail(tail), std::string(254, 'p')); // the quote counts as read
    EXPECT_EQ(start_file_from_tail("/e " + std::string(300, 'q')), std::string(255, 'q'));
    // Characters, not bytes: a Japanese path is never cut inside a character.
    std::string kana;
    for (int i = 0; i < 300; ++i) kana += "あ";
    EXPECT_EQ(start_file_from_tail(kana), kana.substr(0, 255 * 3));
}

TEST(Backslash, TrailBytesAreNoSeparators) {
    // "C:\表\ソ" : both 表 (0x95 0x5C) and ソ (0x83 0x5C) end in 0x5C.
    std::string p = "C:\\\x95\x5C\\\x83\x5C";
    EXPECT_EQ(find_last_backslash(p), 5u);
    EXPECT_EQ(find_last_backslash("no separator"), std::string::npos);
    EXPECT_EQ(find_last_backslash("\x95\x5C"), std::string::npos);

    // The folder of a file, from its UTF-8 path: "C:\曲表\a.mp3" lies in "C:\曲表".
    EXPECT_EQ(editing::folder_of("C:\\\xE6\x9B\xB2\xE8\xA1\xA8\\a.mp3"), "C:\\\xE6\x9B\xB2\xE8\xA1\xA8");
    EXPECT_EQ(editing::folder_of("C:\\a.mp3"), "C:\\");
    EXPECT_EQ(editing::folder_of("\\\\server\\share\\a.mp3"), "\\\\server\\share");
    EXPECT_EQ(editing::folder_of("a.mp3"), "");
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

TEST(RenameByTag, NamesFromBothPatternsInTheFolder) {
    const std::string artist = "\x92\x6E\x8D\x96\x8E\xD4";                                // 地獄車
    const std::string title = "\x8B\xF3\x8E\xE8\x83\x6F\x83\x4A\x81\x99\x88\xEA\x91\xE3"; // 空手バカ☆一代
    EXPECT_EQ(name_by_tag(0, "C:\\Music\\", artist, title), "C:\\Music\\(" + artist + ")" + title + ".mp3");
    EXPECT_EQ(name_by_tag(1, "C:\\Music\\", artist, title), "C:\\Music\\" + artist + "-" + title + ".mp3");
    EXPECT_EQ(name_by_tag(7, "C:\\", "a", "b"), "C:\\(a)b.mp3"); // a stray setting names like 0
    // A title holding "%" is copied as it stands.
    EXPECT_EQ(name_by_tag(1, "C:\\", "100%", "%s%n"), "C:\\100%-%s%n.mp3");

    EXPECT_EQ(folder_with_backslash("C:\\"), "C:\\");
    EXPECT_EQ(folder_with_backslash("C:\\Music"), "C:\\Music\\");
    EXPECT_EQ(folder_with_backslash("C:\\Music\\"), "C:\\Music\\");
    // Paths are UTF-8: a folder ending in 表 or ソ (0x95 0x5C and 0x83 0x5C in cp932) still
    // needs its backslash, and one in "C:\表\ソ" is found by its byte alone.
    EXPECT_EQ(folder_with_backslash("C:\\表"), "C:\\表\\");
    EXPECT_EQ(folder_with_backslash("C:\\表\\ソ"), "C:\\表\\ソ\\");
    EXPECT_EQ(relative_form("C:\\表\\ソ\\a.mp3", "c:\\表\\ソ"), "a.mp3");
    // "あ" is E3 81 82 in UTF-8: read as cp932, its 0x82 would swallow the backslash after it.
    EXPECT_EQ(relative_form("C:\\あ\\a.mp3", "C:\\あ"), "a.mp3");

    // The plan of a rename: the name lands in the file's folder with that path's separator.
    EXPECT_EQ(plan_tag_rename("C:\\Music\\old.mp3", 1, true, "A", "T").new_path, "C:\\Music\\A-T.mp3");
    EXPECT_EQ(plan_tag_rename("/music/old.mp3", 0, true, "A", "T").new_path, "/music/(A)T.mp3");
    EXPECT_EQ(plan_tag_rename("old.mp3", 0, true, "A", "T").new_path, "(A)T.mp3");
    // On Linux a backslash is a character of a name, a Shift-JIS name's second byte too (ソ).
    EXPECT_EQ(plan_tag_rename("d/old\\x.mp3", 0, true, "A", "T", k_posix_separators).new_path, "d/(A)T.mp3");
    EXPECT_EQ(path_beside("/m/\x83\x5C.mp3", "(A)T.mp3", k_posix_separators), "/m/(A)T.mp3");
    EXPECT_FALSE(has_name("m\\(a)t.mp3", "(A)T.mp3", k_posix_separators));
    EXPECT_EQ(plan_tag_rename("C:\\old.mp3", 0, true, artist, title).new_path,
              "C:\\(\xE5\x9C\xB0\xE7\x8D\x84\xE8\xBB\x8A)\xE7\xA9\xBA\xE6\x89\x8B\xE3\x83\x90"
              "\xE3\x82\xAB\xE2\x98\x86\xE4\xB8\x80\xE4\xBB\xA3.mp3");
    // In the ID3v1 form the artist is cut to the record's 30 bytes, before a double-byte
    // character that would not fit; the title stays whole. The RMP form takes both whole.
    std::string long_artist = "a"; // a and 15 x 表: 31 bytes
    for (int i = 0; i < 15; ++i) long_artist += "\x95\x5C";
    const std::string long_title(40, 't');
    EXPECT_EQ(plan_tag_rename("/m/x.mp3", 1, false, long_artist, long_title).name,
              long_artist.substr(0, 29) + "-" + long_title + ".mp3");
    EXPECT_EQ(plan_tag_rename("/m/x.mp3", 1, true, long_artist, long_title).name,
              long_artist + "-" + long_title + ".mp3");
    // Both texts are needed; a cut that leaves nothing counts as none.
    EXPECT_TRUE(plan_tag_rename("/m/x.mp3", 0, false, "A", "T").has_texts);
    EXPECT_FALSE(plan_tag_rename("/m/x.mp3", 0, false, "", "T").has_texts);
    EXPECT_FALSE(plan_tag_rename("/m/x.mp3", 0, false, "A", "").has_texts);
    // The name the file has already, letter case aside (full-width letters too), is no rename.
    EXPECT_TRUE(plan_tag_rename("C:\\m\\(a)T.MP3", 0, false, "A", "t").same_name);
    EXPECT_TRUE(plan_tag_rename("/m/(\xEF\xBD\x81)t.mp3", 0, false, "\x82\x60", "T").same_name); // ａ and Ａ
    EXPECT_FALSE(plan_tag_rename("/m/(a)t.mp3.bak", 0, false, "A", "T").same_name);
    EXPECT_FALSE(plan_tag_rename("/m/(b)t.mp3", 0, false, "A", "T").same_name);
    EXPECT_TRUE(
        has_name("x/(a)b\xEF\xBC\x8F"
                 "c.mp3",
                 "(a)b\x81\x5E"
                 "c.mp3")); // ／
}

TEST(RenameByTag, UnusableCharactersGetFullWidthLookAlikes) {
    std::string out;
    EXPECT_TRUE(replace_unusable_chars("(a/b)c:d*e?f\"g<h>i|j,k;l.mp3", out));
    EXPECT_EQ(out,
              "(a\x81\x5E"
              "b)c\x81\x46"
              "d\x81\x96"
              "e\x81\x48"
              "f\x81\x68"
              "g\x81\x83"
              "h\x81\x84"
              "i\x81\x62"
              "j\x81\x43"
              "k\x81\x47"
              "l.mp3");
    // Nothing to replace: the name comes back whole, and false.
    EXPECT_FALSE(replace_unusable_chars("(Artist)Title.mp3", out));
    EXPECT_EQ(out, "(Artist)Title.mp3");
    // The backslash is not in the table.
    EXPECT_FALSE(replace_unusable_chars("a\\b.mp3", out));
    EXPECT_EQ(out, "a\\b.mp3");
    // ポ (0x83 0x7C) and 表 (0x95 0x5C) are copied whole: their trail bytes are no | or \.
    EXPECT_FALSE(replace_unusable_chars("\x83\x7C\x95\x5C.mp3", out));
    EXPECT_EQ(out, "\x83\x7C\x95\x5C.mp3");
    EXPECT_TRUE(replace_unusable_chars("\x83\x7C|", out));
    EXPECT_EQ(out, "\x83\x7C\x81\x62");
    // A lead byte at the very end is copied as a byte.
    EXPECT_FALSE(replace_unusable_chars("a\x83", out));
    EXPECT_EQ(out, "a\x83");
}

#include <gtest/gtest.h>

#include "core/formats/text_rules.h"
#include "platform/text.h"

using namespace formats;

TEST(Blank, EmptyAndFullWidthSpacesAreBlankShorterSpacesAreNot) {
    EXPECT_TRUE(is_blank("", 30));
    EXPECT_TRUE(is_blank(std::string(30, ' '), 30));
    EXPECT_TRUE(is_blank("    ", 4));
    // "   " followed by the terminator: the zero counts as a byte that is not a space.
    EXPECT_FALSE(is_blank("   ", 30));
    EXPECT_FALSE(is_blank(std::string(29, ' ') + "A", 30));
}

TEST(Blank, ClearIfBlankEmptiesOnlyFullWidthSpaces) {
    std::string t(30, ' ');
    EXPECT_TRUE(clear_if_blank(30, t));
    EXPECT_EQ(t, "");
    std::string y = "    ";
    EXPECT_TRUE(clear_if_blank(4, y));
    EXPECT_EQ(y, "");
    std::string a = "A" + std::string(29, ' ');
    EXPECT_FALSE(clear_if_blank(30, a));
    EXPECT_EQ(a, "A" + std::string(29, ' '));
    std::string s = std::string(30, ' ');
    EXPECT_FALSE(clear_if_blank(0, s));
    EXPECT_FALSE(clear_if_blank(-1, s));
    EXPECT_EQ(s.size(), 30u);
}

TEST(Trim, DropsPaddingOfFullFieldsOnly) {
    std::string t = "ABC" + std::string(27, ' ');
    trim_trailing_spaces(t);
    EXPECT_EQ(t, "ABC");
    // A shorter text ends in its terminator, which stops the trim at once.
    std::string k = "A  ";
    trim_trailing_spaces(k);
    EXPECT_EQ(k, "A  ");
    // Byte 0 is never touched.
    std::string all(30, ' ');
    trim_trailing_spaces(all);
    EXPECT_EQ(all, " ");
    std::string full(30, 'x');
    trim_trailing_spaces(full);
    EXPECT_EQ(full, std::string(30, 'x'));
}

TEST(Cut, NeverSplitsADoubleByteCharacter) {
    // "表" is 0x95 0x5C and "ポ" 0x83 0x7C: their second bytes look like '\' and '|'.
    std::string hyou = "\x95\x5C", po = "\x83\x7C";
    std::string text = std::string(29, 'a') + hyou; // 31 bytes, the lead byte at 29
    EXPECT_EQ(cut_to_width(text, 30), std::string(29, 'a'));
    EXPECT_EQ(pad_to_width(text, 30), std::string(29, 'a') + " ");
    std::string three = po + po + po; // 6 bytes
    EXPECT_EQ(cut_to_width(three, 5), po + po);
    EXPECT_EQ(cut_to_width(three, 4), po + po);
    EXPECT_EQ(cut_to_width(three, 6), three);
    EXPECT_EQ(cut_to_width("1999", 4), "1999");
    EXPECT_EQ(cut_to_width("\x95\x5C"
                           "99",
                           3),
              "\x95\x5C"
              "9");
    // Half-width katakana are single bytes.
    EXPECT_EQ(cut_to_width("\xB1\xB2\xB3", 2), "\xB1\xB2");
    // A lone lead byte at the very end counts as one byte.
    EXPECT_EQ(cut_to_width("ab\x95", 3), "ab\x95");
}

TEST(Compare, IgnoresCaseOfWholeCharactersOnly) {
    EXPECT_TRUE(equal_ignoring_case("Hello", "hELLO"));
    EXPECT_FALSE(equal_ignoring_case("Hello", "Hello "));
    // "ア" is 0x83 0x41 and "ヂ" 0x83 0x61: their trail bytes are 'A' and 'a'.
    EXPECT_FALSE(equal_ignoring_case("\x83\x41", "\x83\x61"));
    EXPECT_TRUE(equal_ignoring_case("\x83\x41", "\x83\x41"));
    // Full-width Ａ and ａ, Greek Α and α, Cyrillic Я and я.
    EXPECT_TRUE(equal_ignoring_case("\x82\x60", "\x82\x81"));
    EXPECT_TRUE(equal_ignoring_case("\x83\x9F", "\x83\xBF"));
    EXPECT_TRUE(equal_ignoring_case("\x84\x60", "\x84\x91"));
    EXPECT_TRUE(equal_ignoring_case("\x84\x4E", "\x84\x7E")); // М and м, before the gap
    EXPECT_TRUE(equal_ignoring_case("\x84\x4F", "\x84\x80")); // Н and н, after the gap
}

TEST(Conversion, Cp932ToUtf8AndBack) {
    std::string cp =
        "\x97\x9D\x91\xBD"
        " \x83\x5E\x83\x43\x83\x67\x83\x8B"
        " \xB6\xC0\xB6\xC5"; // 理多 タイトル ｶﾀｶﾅ
    std::string utf8 = platform::cp932_to_utf8(cp);
    EXPECT_EQ(utf8, "理多 タイトル ｶﾀｶﾅ");
    std::string back, bad;
    ASSERT_TRUE(platform::utf8_to_cp932(utf8, back, bad));
    EXPECT_EQ(back, cp);
    // "表" and "ソ" carry 0x5C as second byte.
    ASSERT_TRUE(platform::utf8_to_cp932("表ソ\\", back, bad));
    EXPECT_EQ(back, "\x95\x5C\x83\x5C\x5C");
    // The window's boundary goes straight between cp932 and UTF-16.
    EXPECT_EQ(platform::cp932_to_utf16(cp), L"理多 タイトル ｶﾀｶﾅ");
    size_t unmapped = 9;
    EXPECT_EQ(platform::utf16_to_cp932(L"理多 タイトル ｶﾀｶﾅ", &unmapped), cp);
    EXPECT_EQ(unmapped, 0u);
}

TEST(Conversion, InvalidBytesBecomeReplacementCharacters) {
    EXPECT_EQ(platform::cp932_to_utf8("A\x80"
                                      "B"),
              "A\xEF\xBF\xBD"
              "B");
    EXPECT_EQ(platform::cp932_to_utf8("A\x81"), "A\xEF\xBF\xBD");    // lead byte at the end
    EXPECT_EQ(platform::cp932_to_utf8("\x81\x20"), "\xEF\xBF\xBD "); // a trail that is none
    EXPECT_EQ(platform::cp932_to_utf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Conversion, CharactersWithoutACp932FormAreRefused) {
    std::string out, bad;
    EXPECT_FALSE(platform::utf8_to_cp932("ok \xF0\x9F\x8E\xB5", out, bad)); // a musical note emoji
    EXPECT_EQ(bad, "\xF0\x9F\x8E\xB5");
    EXPECT_FALSE(platform::utf8_to_cp932("\xC3\xA9", out, bad)); // é
    EXPECT_FALSE(platform::utf8_to_cp932("\xFF", out, bad));
    EXPECT_EQ(bad, "invalid UTF-8");
    EXPECT_EQ(platform::sanitize_utf8("a\xFF"
                                      "b"),
              "a\xEF\xBF\xBD"
              "b");
    // Typed into a window, such a character becomes "?" and is counted, never dropped silently;
    // a lone surrogate is no character either.
    size_t unmapped = 0;
    EXPECT_EQ(platform::utf16_to_cp932(L"한\u8868\xE9", &unmapped), "?\x95\x5C?");
    EXPECT_EQ(unmapped, 2u);
    EXPECT_EQ(platform::utf16_to_cp932(std::wstring(1, wchar_t(0xD800)) + L"a", &unmapped), "?a");
    EXPECT_EQ(unmapped, 1u);
}

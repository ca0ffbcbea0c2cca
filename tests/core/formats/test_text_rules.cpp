#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/formats/text_rules.h"
#include "platform/text.h"

using namespace formats;

namespace {

// What the system's converter makes of one cp932 character of one or two bytes (iconv, or code
// page 932 of MultiByteToWideChar on Windows), asked at the time of the test rather than
// through the tables built from it. False where the bytes are no character.
bool system_char(const unsigned char* bytes, size_t n, char32_t& cp) {
    return platform::system_decode_cp932(bytes, n, cp);
}

bool is_lead(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// The characters of cp932 as we take them from the system: a single byte is ASCII or a
// half-width katakana (0x80, 0xA0 and 0xFD to 0xFF are none, whatever the system makes of
// them); a pair is a lead byte and a trail of 0x40 to 0xFC but 0x7F, and a U+FFFD the system
// gives for a pair counts as none.
bool single_char(unsigned b, char32_t& cp) {
    unsigned char c = static_cast<unsigned char>(b);
    return (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) && system_char(&c, 1, cp);
}
bool pair_char(unsigned lead, unsigned trail, char32_t& cp) {
    unsigned char two[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
    return is_lead(lead) && trail >= 0x40 && trail <= 0xFC && trail != 0x7F && system_char(two, 2, cp) && cp != 0xFFFD;
}

// What a lone byte decodes to: a lead byte without its trail, or a byte that is no character,
// is U+FFFD.
char32_t lone_byte(unsigned b) {
    char32_t cp = 0;
    return !is_lead(b) && single_char(b, cp) ? cp : char32_t(0xFFFD);
}

std::string utf8_of(const std::u32string& cps) {
    std::string out;
    for (char32_t cp : cps) platform::put_utf8(out, cp);
    return out;
}
std::wstring utf16_of(const std::u32string& cps) {
    std::wstring out;
    for (char32_t cp : cps) {
        if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
            out += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(cp);
        }
    }
    return out;
}

// Where several codes stand for one character (the NEC and IBM extension rows), the encoder
// writes the JIS rows first, then the IBM rows (lead 0xFA to 0xFC), then the NEC-selected
// copies of the IBM rows (lead 0xED and 0xEE), and of equals the lowest code.
int row_rank(unsigned code) {
    unsigned lead = code >> 8;
    if (lead == 0xED || lead == 0xEE) return 2;
    if (lead >= 0xFA) return 1;
    return 0;
}

// The code each character the system decodes is written as.
std::map<char32_t, unsigned> system_codes() {
    std::map<char32_t, unsigned> codes;
    char32_t cp = 0;
    for (unsigned b = 0; b < 0x100; ++b)
        if (single_char(b, cp)) codes.emplace(cp, b);
    for (unsigned code = 0x100; code < 0x10000; ++code) {
        if (!pair_char(code >> 8, code & 0xFF, cp)) continue;
        auto [it, fresh] = codes.emplace(cp, code);
        if (!fresh && row_rank(code) < row_rank(it->second)) it->second = code;
    }
    return codes;
}

std::string bytes_of(unsigned code) {
    std::string out;
    if (code > 0xFF) out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
    return out;
}

} // namespace

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

    // Every single byte and every two bytes decode as the system's converter has them, the
    // bytes that are no character included; a text of ASCII alone passes untouched.
    int wrong = 0;
    auto check_decode = [&](const std::string& in, const std::u32string& want) {
        std::string got = platform::cp932_to_utf8(in);
        if (got == utf8_of(want) && platform::cp932_to_utf16(in) == utf16_of(want)) return;
        if (++wrong <= 8) ADD_FAILURE() << "decoding " << testing::PrintToString(in) << " gives " << got;
    };
    for (unsigned b = 0; b < 0x100; ++b) check_decode(std::string(1, static_cast<char>(b)), {lone_byte(b)});
    for (unsigned code = 0; code < 0x10000; ++code) {
        unsigned lead = code >> 8, trail = code & 0xFF;
        std::string in = {static_cast<char>(lead), static_cast<char>(trail)};
        char32_t ch = 0;
        if (lead < 0x80 && trail < 0x80) check_decode(in, {char32_t(lead), char32_t(trail)});
        else if (pair_char(lead, trail, ch)) check_decode(in, {ch});
        else check_decode(in, {lone_byte(lead), lone_byte(trail)});
    }
    EXPECT_EQ(wrong, 0);

    // And back: every character the system decodes is written as its code, the one of its
    // preferred row where several codes stand for it.
    wrong = 0;
    std::map<char32_t, unsigned> codes = system_codes();
    EXPECT_GT(codes.size(), 7000u);
    for (auto [ch, code] : codes) {
        std::string want = ch < 0x80 ? std::string(1, static_cast<char>(ch)) : bytes_of(code);
        std::string out, no;
        bool ok = platform::utf8_to_cp932(utf8_of({ch}), out, no);
        size_t missed = 9;
        std::string from_utf16 = platform::utf16_to_cp932(utf16_of({ch}), &missed);
        if (ok && out == want && from_utf16 == want && missed == 0) continue;
        if (++wrong <= 8) ADD_FAILURE() << "U+" << std::hex << unsigned(ch) << " gives " << testing::PrintToString(out);
    }
    EXPECT_EQ(wrong, 0);
}

TEST(Conversion, InvalidBytesBecomeReplacementCharacters) {
    EXPECT_EQ(platform::cp932_to_utf8("A\x80"
                                      "B"),
              "A\xEF\xBF\xBD"
              "B");
    EXPECT_EQ(platform::cp932_to_utf8("A\x81"), "A\xEF\xBF\xBD");    // lead byte at the end
    EXPECT_EQ(platform::cp932_to_utf8("\x81\x20"), "\xEF\xBF\xBD "); // a trail that is none
    EXPECT_EQ(platform::cp932_to_utf8(std::string("a\0b", 3)), std::string("a\0b", 3));
    // Into a string that held a longer text before: only the new text stays.
    std::string reused = "a longer text held before, in both forms";
    platform::cp932_to_utf8("A\x80", reused);
    EXPECT_EQ(reused, "A\xEF\xBF\xBD");
    platform::cp932_to_utf8("ab", reused);
    EXPECT_EQ(reused, "ab");
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

    // Every character that no cp932 code decodes to is refused, and named; but the characters
    // that Unicode's mapping of JIS pairs with a code where Windows has a look-alike are written
    // as the look-alike's code (a WAVE DASH from a Mac as the FULLWIDTH TILDE's), one way only.
    const std::map<char32_t, unsigned> lookalikes = {{0x301C, 0x8160}, {0x2212, 0x817C}, {0x2016, 0x8161},
                                                     {0x00A2, 0x8191}, {0x00A3, 0x8192}, {0x00AC, 0x81CA},
                                                     {0x2014, 0x815C}, {0x00A6, 0xFA55}};
    std::map<char32_t, unsigned> codes = system_codes();
    int wrong = 0;
    for (auto [ch, code] : lookalikes) {
        EXPECT_FALSE(codes.count(ch)) << std::hex << unsigned(ch);
        size_t missed = 9;
        EXPECT_TRUE(platform::utf8_to_cp932(utf8_of({ch}), out, bad));
        EXPECT_EQ(out, bytes_of(code)) << std::hex << unsigned(ch);
        EXPECT_EQ(platform::utf16_to_cp932(utf16_of({ch}), &missed), bytes_of(code));
        EXPECT_EQ(missed, 0u);
        EXPECT_NE(platform::cp932_to_utf8(out), utf8_of({ch})); // decoded, it is the look-alike
    }
    for (char32_t ch = 0x80; ch <= 0x10FFFF; ++ch) {
        if ((ch >= 0xD800 && ch <= 0xDFFF) || codes.count(ch) || lookalikes.count(ch)) continue;
        std::string utf8 = utf8_of({ch});
        size_t missed = 0;
        bool refused = !platform::utf8_to_cp932(utf8, out, bad) && bad == utf8;
        if (refused && platform::utf16_to_cp932(utf16_of({ch}), &missed) == "?" && missed == 1) continue;
        if (++wrong <= 8) ADD_FAILURE() << "U+" << std::hex << unsigned(ch) << " is not refused";
    }
    EXPECT_EQ(wrong, 0);
}

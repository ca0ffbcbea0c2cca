#include <gtest/gtest.h>

#include <string>

#include "core/formats/id3v2.h"
#include "platform/byte_source.h"

using namespace formats;
using namespace std::string_literals;

namespace {

Id3v2Found read(const std::string& bytes) {
    platform::MemorySource src(bytes.data(), bytes.size());
    return read_id3v2(src, 0, bytes.size());
}

std::string syncsafe(size_t n) {
    return {static_cast<char>((n >> 21) & 0x7F), static_cast<char>((n >> 14) & 0x7F),
            static_cast<char>((n >> 7) & 0x7F), static_cast<char>(n & 0x7F)};
}
std::string be32(size_t n) {
    return {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8), static_cast<char>(n)};
}
std::string tag(char major, const std::string& body, char flags = 0) {
    return "ID3"s + major + '\0' + flags + syncsafe(body.size()) + body;
}
std::string frame22(const std::string& id, const std::string& body) { return id + be32(body.size()).substr(1) + body; }
std::string frame23(const std::string& id, const std::string& body, const std::string& flags = "\0\0"s) {
    return id + be32(body.size()) + flags + body;
}
std::string frame24(const std::string& id, const std::string& body, const std::string& flags = "\0\0"s) {
    return id + syncsafe(body.size()) + flags + body;
}

} // namespace

TEST(Id3v2Write, TextsInUtf16ForVersion3AndUtf8ForVersion4) {
    // 曲 is U+66F2; 𝄞 (U+1D11E) needs a surrogate pair in UTF-16.
    const Id3v2Texts texts{"\xE6\x9B\xB2", "", "", "1999", "c", "(17)"};
    EXPECT_EQ(make_id3v2(3, texts, {}), tag(3, frame23("TIT2", "\x01\xFF\xFE\xF2\x66"s) +
                                                   frame23("TYER",
                                                           "\x01\xFF\xFE"
                                                           "1\0"
                                                           "9\0"
                                                           "9\0"
                                                           "9\0"s) +
                                                   frame23("TCON",
                                                           "\x01\xFF\xFE(\0"
                                                           "1\0"
                                                           "7\0)\0"s) +
                                                   frame23("COMM",
                                                           "\x01jpn\xFF\xFE\0\0\xFF\xFE"
                                                           "c\0"s)));
    EXPECT_EQ(make_id3v2(4, texts, {}), tag(4, frame24("TIT2", "\x03\xE6\x9B\xB2"s) +
                                                   frame24("TDRC",
                                                           "\x03"
                                                           "1999"s) +
                                                   frame24("TCON", "\x03(17)"s) + frame24("COMM", "\x03jpn\0c"s)));
    EXPECT_EQ(make_id3v2(3, {"\xF0\x9D\x84\x9E", "", "", "", "", ""}, {}),
              tag(3, frame23("TIT2", "\x01\xFF\xFE\x34\xD8\x1E\xDD"s)));
    // Nothing to say is a tag without frames.
    EXPECT_EQ(make_id3v2(4, {}, {}), tag(4, ""));
}

TEST(Id3v2Read, PicturesAndLyricsOfEveryVersionGoOver) {
    // 2.2: PIC with its three-letter format and ULT become APIC and USLT; the rest is left.
    Id3v2Found v22 = read(tag(2, frame22("TT2", "\0old"s) +
                                     frame22("PIC",
                                             "\0JPG\x03"
                                             "d\0\xFF\xD8\xFF"s) +
                                     frame22("ULT", "\0eng\0words"s) + std::string(10, '\0')) +
                          "\xFF\xFB");
    ASSERT_TRUE(v22.present);
    EXPECT_EQ(v22.size, 10u + 10 + 16 + 16 + 10); // header, three frames, padding; not the audio
    ASSERT_EQ(v22.kept.size(), 2u);
    EXPECT_EQ(make_id3v2(3, {}, v22.kept), tag(3, frame23("APIC",
                                                          "\0image/jpeg\0\x03"
                                                          "d\0\xFF\xD8\xFF"s) +
                                                      frame23("USLT", "\0eng\0words"s)));

    // 2.4 with UTF-8 lyrics, a data length indicator and a picture in UTF-16BE: kept as they
    // are in 2.4; in 2.3, which knows neither encoding, the texts become UTF-16 with a mark.
    const std::string apic = "\x02image/png\0\x03\x66\xF2\0\0PNG"s;
    Id3v2Found v24 = read(tag(4, frame24("USLT",
                                         "\0\0\0\x04"
                                         "\x03jpn\0\xE6\x9B\xB2"s,
                                         "\0\x01"s) +
                                     frame24("APIC", apic)));
    ASSERT_EQ(v24.kept.size(), 2u);
    EXPECT_EQ(v24.kept[0].body, "\x03jpn\0\xE6\x9B\xB2"s);
    EXPECT_EQ(make_id3v2(4, {}, v24.kept), tag(4, frame24("USLT", "\x03jpn\0\xE6\x9B\xB2"s) + frame24("APIC", apic)));
    EXPECT_EQ(make_id3v2(3, {}, v24.kept), tag(3, frame23("USLT", "\x01jpn\xFF\xFE\0\0\xFF\xFE\xF2\x66"s) +
                                                      frame23("APIC", "\x01image/png\0\x03\xFF\xFE\xF2\x66\0\0PNG"s)));

    // 2.3 with its whole tag unsynchronised and an extended header.
    const std::string body = be32(6) + std::string(6, '\0') + frame23("APIC", "\0image/png\0\x03\0\xFF\xE0"s);
    std::string unsynced;
    for (char c : body) {
        unsynced += c;
        if (c == '\xFF') unsynced += '\0';
    }
    Id3v2Found v23 = read(tag(3, unsynced, '\xC0'));
    ASSERT_EQ(v23.kept.size(), 1u);
    EXPECT_EQ(v23.kept[0].body, "\0image/png\0\x03\0\xFF\xE0"s);
}

TEST(Id3v2Read, DamageIsNamedAndNeverReadPast) {
    // A size past the end: no tag, the bytes stay audio.
    Id3v2Found past = read("ID3\x03\0\0\x7F\x7F\x7F\x7F"s + frame23("APIC", "\0x\0\x03\0p"s));
    EXPECT_FALSE(past.present);
    EXPECT_EQ(past.warnings.size(), 1u);
    // A frame past its tag ends the frames; the tag is still one, and is replaced.
    Id3v2Found frame = read(tag(3, "APIC"s + be32(999999) + "\0\0\0x\0\x03\0p"s));
    EXPECT_TRUE(frame.present);
    EXPECT_TRUE(frame.kept.empty());
    EXPECT_EQ(frame.warnings.size(), 1u);
    // Version 5, a size byte with its top bit set, a short head: none of them a tag.
    EXPECT_FALSE(read(tag(5, "")).present);
    EXPECT_FALSE(read("ID3\x03\0\0\0\0\0\x80"s).present);
    EXPECT_FALSE(read("ID3\x03\0\0\0\0"s).present);
    // A compressed picture is not kept; a picture too damaged to turn is left out, and said.
    Id3v2Found packed = read(tag(3, frame23("APIC", "\0\0\0\x10xxxx"s, "\0\x80"s)));
    EXPECT_TRUE(packed.kept.empty());
    EXPECT_EQ(packed.warnings.size(), 1u);
    std::vector<std::string> warnings;
    EXPECT_EQ(make_id3v2(3, {}, {{2, "PIC", "\0JP"s}}, &warnings), tag(3, ""));
    EXPECT_EQ(warnings.size(), 1u);
}

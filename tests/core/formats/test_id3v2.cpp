#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "core/formats/id3v2.h"
#include "platform/byte_source.h"

using namespace formats;
using namespace std::string_literals;

namespace {

// Memory that refuses every read touching [from, to): the bytes a reader must not need.
class Untouchable final : public platform::ByteSource {
public:
    Untouchable(const std::string& bytes, size_t from, size_t to) : bytes_(bytes), from_(from), to_(to) {}
    uint64_t size() const override { return bytes_.size(); }
    bool read_at(uint64_t offset, void* dst, size_t n) override {
        if (offset + n > from_ && offset < to_) return false;
        return platform::MemorySource(bytes_.data(), bytes_.size()).read_at(offset, dst, n);
    }

private:
    const std::string& bytes_;
    size_t from_, to_;
};

// Every tag is read whole and for its texts alone, which must find the same but the frames.
Id3v2Found read(const std::string& bytes) {
    platform::MemorySource src(bytes.data(), bytes.size());
    Id3v2Found whole = read_id3v2(src, 0, bytes.size());
    Id3v2Found texts = read_id3v2(src, 0, bytes.size(), Id3v2Depth::texts);
    EXPECT_TRUE(texts.frames.empty());
    EXPECT_EQ(std::tie(texts.present, texts.major, texts.offset, texts.size, texts.track, texts.mis_marked,
                       texts.other_frames, texts.warnings, texts.damaged),
              std::tie(whole.present, whole.major, whole.offset, whole.size, whole.track, whole.mis_marked,
                       whole.other_frames, whole.warnings, whole.damaged));
    const Id3v2Texts &a = texts.texts, &b = whole.texts;
    EXPECT_EQ(std::tie(a.title, a.artist, a.album, a.year, a.comment, a.genre),
              std::tie(b.title, b.artist, b.album, b.year, b.comment, b.genre));
    return whole;
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
    EXPECT_EQ(make_id3v2(3, texts), tag(3, frame23("TIT2", "\x01\xFF\xFE\xF2\x66"s) +
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
    EXPECT_EQ(make_id3v2(4, texts), tag(4, frame24("TIT2", "\x03\xE6\x9B\xB2"s) +
                                                   frame24("TDRC",
                                                           "\x03"
                                                           "1999"s) +
                                                   frame24("TCON", "\x03(17)"s) + frame24("COMM", "\x03jpn\0c"s)));
    EXPECT_EQ(make_id3v2(3, {"\xF0\x9D\x84\x9E", "", "", "", "", ""}),
              tag(3, frame23("TIT2", "\x01\xFF\xFE\x34\xD8\x1E\xDD"s)));
    // Nothing to say is a tag without frames.
    EXPECT_EQ(make_id3v2(4, {}), tag(4, ""));
}

TEST(Id3v2Read, PicturesAndLyricsOfEveryVersionGoOver) {
    // 2.2: PIC with its three-letter format and ULT become APIC and USLT; the padding is left.
    Id3v2Found v22 = read(tag(2, frame22("TT2", "\0old"s) +
                                     frame22("PIC",
                                             "\0JPG\x03"
                                             "d\0\xFF\xD8\xFF"s) +
                                     frame22("ULT", "\0eng\0words"s) + std::string(10, '\0')) +
                          "\xFF\xFB");
    ASSERT_TRUE(v22.present);
    EXPECT_EQ(v22.size, 10u + 10 + 16 + 16 + 10); // header, three frames, padding; not the audio
    EXPECT_EQ(v22.texts.title, "old");
    EXPECT_EQ(v22.other_frames, 2u); // the picture and the lyrics
    ASSERT_EQ(v22.frames.size(), 3u);
    EXPECT_EQ(rewrite_id3v2(3, {}, v22).tag, tag(3, frame23("TIT2", "\0old"s) +
                                                        frame23("APIC", "\0image/jpeg\0\x03" "d\0\xFF\xD8\xFF"s) +
                                                        frame23("USLT", "\0eng\0words"s)));

    // 2.4 with UTF-8 lyrics, a data length indicator and a picture in UTF-16BE: kept as they
    // are in 2.4; in 2.3, which knows neither encoding, the texts become UTF-16 with a mark.
    const std::string apic = "\x02image/png\0\x03\x66\xF2\0\0PNG"s;
    Id3v2Found v24 = read(tag(4, frame24("USLT",
                                         "\0\0\0\x04"
                                         "\x03jpn\0\xE6\x9B\xB2"s,
                                         "\0\x01"s) +
                                     frame24("APIC", apic)));
    ASSERT_EQ(v24.frames.size(), 2u);
    EXPECT_EQ(v24.frames[0].raw, "\0\0\0\x04\x03jpn\0\xE6\x9B\xB2"s); // a new version takes off the length
    EXPECT_EQ(rewrite_id3v2(4, {}, v24).tag,
              tag(4, frame24("USLT", "\0\0\0\x04\x03jpn\0\xE6\x9B\xB2"s, "\0\x01"s) + frame24("APIC", apic)));
    // The texts alone are read without a byte of the picture or the lyrics.
    const std::string pictured =
        tag(3, frame23("TIT2", "\0t"s) + frame23("APIC", "\0image/jpeg\0\x03\0"s + std::string(70000, 'j')) +
                   frame23("TPE1", "\0a"s) + std::string(20, '\0'));
    Untouchable shy(pictured, 10 + 12 + 10, 10 + 12 + 10 + 14 + 70000);
    Id3v2Found texts = read_id3v2(shy, 0, pictured.size(), Id3v2Depth::texts);
    EXPECT_TRUE(texts.warnings.empty());
    EXPECT_EQ(texts.texts.title + texts.texts.artist, "ta");
    EXPECT_EQ(texts.other_frames, 1u);
    EXPECT_FALSE(read_id3v2(shy, 0, pictured.size()).warnings.empty()); // the whole read needs them
    EXPECT_EQ(rewrite_id3v2(3, {}, v24).tag, tag(3, frame23("USLT", "\x01jpn\xFF\xFE\0\0\xFF\xFE\xF2\x66"s) +
                                                    frame23("APIC", "\x01image/png\0\x03\xFF\xFE\xF2\x66\0\0PNG"s)));

    // 2.3 with its whole tag unsynchronised and an extended header.
    const std::string body = be32(6) + std::string(6, '\0') + frame23("APIC", "\0image/png\0\x03\0\xFF\xE0"s);
    std::string unsynced;
    for (char c : body) {
        unsynced += c;
        if (c == '\xFF') unsynced += '\0';
    }
    Id3v2Found v23 = read(tag(3, unsynced, '\xC0'));
    ASSERT_EQ(v23.frames.size(), 1u);
    EXPECT_EQ(rewrite_id3v2(3, {}, v23).tag, tag(3, frame23("APIC", "\0image/png\0\x03\0\xFF\xE0"s)));

    // The texts of every version, in UTF-8: 2.3 in UTF-16 with its mark, a comment with a
    // description standing in only until one without comes, 2.4's several values (the first
    // counts) and its date frame; frames of no text are counted.
    Id3v2Found texts23 = read(tag(3, frame23("TIT2", "\x01\xFF\xFE\xF2\x66\0\0"s) +
                                         frame23("COMM", "\0engdesc\0other"s) + frame23("COMM", "\0eng\0mine"s) +
                                         frame23("TRCK",
                                                 "\0"
                                                 "3/12"s) +
                                         frame23("TXXX", "\0replaygain\0-6 dB"s) + frame23("PRIV", "x"s)));
    EXPECT_EQ(texts23.texts.title, "\xE6\x9B\xB2");
    EXPECT_EQ(texts23.texts.comment, "mine");
    EXPECT_EQ(texts23.track, "3/12");
    EXPECT_EQ(texts23.other_frames, 2u);
    EXPECT_TRUE(texts23.mis_marked.empty());
    Id3v2Found texts24 = read(tag(4, frame24("TPE1", "\x03\xE6\x98\x9F\0two"s) +
                                         frame24("TDRC",
                                                 "\x03"
                                                 "2001-04-01"s) +
                                         frame24("TCON", "\x02\0R\0o\0c\0k"s)));
    EXPECT_EQ(texts24.texts.artist, "\xE6\x98\x9F");
    EXPECT_EQ(texts24.texts.year, "2001-04-01");
    EXPECT_EQ(texts24.texts.genre, "Rock");

    // cp932 marked as Latin-1, as old Japanese rippers wrote it: read as cp932 and named. 星に
    //願いを and アイ are; Western titles in Latin-1 or code page 1252 are not, though some of
    // their bytes pair up into cp932 characters.
    Id3v2Found sjis = read(tag(3, frame23("TIT2", "\0\x90\xAF\x82\xC9\x8A\xE8\x82\xA2\x82\xF0"s) +
                                      frame23("TALB", "\0Caf\xE9"s) + frame23("TPE1", "\0\x83\x41\x83\x43"s)));
    EXPECT_EQ(sjis.texts.title, "\xE6\x98\x9F\xE3\x81\xAB\xE9\xA1\x98\xE3\x81\x84\xE3\x82\x92");
    EXPECT_EQ(sjis.texts.album, "Caf\xC3\xA9");
    EXPECT_EQ(sjis.texts.artist, "\xE3\x82\xA2\xE3\x82\xA4");
    EXPECT_EQ(sjis.mis_marked, (std::vector<std::string>{"title", "artist"}));
    // Repaired, they read the same in Unicode; the Latin-1 album stays byte for byte.
    std::vector<Id3v2Repair> repairs;
    Id3v2Rewrite repaired = repair_id3v2(3, sjis, repairs);
    ASSERT_EQ(repairs.size(), 2u);
    EXPECT_EQ(repairs[0].id, "TIT2");
    EXPECT_EQ(repairs[0].after, sjis.texts.title);
    EXPECT_EQ(repairs[1].before, "\xC2\x83\x41\xC2\x83\x43"); // as Latin-1 showed it
    Id3v2Found fixed = read(repaired.tag);
    EXPECT_EQ(fixed.texts.title, sjis.texts.title);
    EXPECT_EQ(fixed.texts.artist, sjis.texts.artist);
    EXPECT_TRUE(fixed.mis_marked.empty());
    EXPECT_NE(repaired.tag.find(frame23("TALB", "\0Caf\xE9"s)), std::string::npos);
    repairs.clear();
    EXPECT_TRUE(repair_id3v2(3, fixed, repairs).tag.empty()); // nothing left to repair
    EXPECT_TRUE(repairs.empty());
    // In a comment both the description and the text are repaired; 2.4 writes UTF-8.
    Id3v2Found comm = read(tag(4, frame24("COMM", "\0jpn\x83\x41\x83\x43\0\x90\xAF"s)));
    EXPECT_EQ(comm.texts.comment, "\xE6\x98\x9F"); // a described comment stands in
    EXPECT_EQ(repair_id3v2(4, comm, repairs).tag,
              tag(4, frame24("COMM", "\x03jpn\xE3\x82\xA2\xE3\x82\xA4\0\xE6\x98\x9F"s)));
    for (const char* western : {"M\xE4"
                                "dchen",
                                "\xE9l\xE9gie", "Canci\xF3n",
                                "Stra\xDF"
                                "e",
                                "Don\x92t stop", "\x93Hi\x94", "Gar\xE7on", "\xC9t\xE9",
                                "Espa\xF1"
                                "a",
                                "\xDC"
                                "ber"})
        EXPECT_FALSE(is_mis_marked_cp932(western)) << western;
    EXPECT_FALSE(is_mis_marked_cp932("\xF0\x40\xF0\x41")); // the user-defined rows are no text
    // Half-width katakana alone: ﾗｽﾄｿﾝｸﾞ, which Latin-1 shows as ×½Ä¿Ý¸Þ; capitals and signs
    // that Western text strings together by twos at most stay Latin-1.
    EXPECT_TRUE(is_mis_marked_cp932("\xD7\xBD\xC4\xBF\xDD\xB8\xDE"));
    EXPECT_TRUE(is_mis_marked_cp932("AB \xC3\xDA\xCB\xDE")); // ﾃﾚﾋﾞ
    for (const char* western : {"\xC9LE\xC9 \xAB\xC0 \xC9\xBB", "\xBFQu\xE9?", "CAF\xC9 \xA9 \xB0" "C"})
        EXPECT_FALSE(is_mis_marked_cp932(western)) << western;

    // A rewrite keeps every frame: in its own version byte for byte, flags and all (a
    // compressed frame too), the given texts replacing their own frames and the comments
    // without a description; an empty text keeps the old frame.
    const std::string compressed = frame23("TXXX", "\0\0\0\x10zz"s, "\0\x80"s);
    const std::string others = frame23("TRCK",
                                       "\0"
                                       "3/12"s) +
                               frame23("TXXX", "\0replaygain\0-6 dB"s, "\x40\0"s) + frame23("UFID", "owner\0id"s) +
                               frame23("PRIV", "x"s) + frame23("POPM", "a@b\0\xC8\0\0\0\x01"s);
    const std::string described = frame23("COMM", "\0engdesc\0other"s);
    Id3v2Found old23 = read(tag(3, frame23("TIT2", "\0old"s) + others + described + frame23("COMM", "\0eng\0mine"s) +
                                       frame23("TALB", "\0kept"s) + compressed +
                                       frame23("TYER",
                                               "\0"
                                               "1999"s) +
                                       frame23("TDAT",
                                               "\0"
                                               "3105"s)));
    ASSERT_EQ(old23.frames.size(), 12u);
    Id3v2Rewrite same = rewrite_id3v2(3, {"new", "", "", "", "c", ""}, old23);
    EXPECT_TRUE(same.left_behind.empty());
    EXPECT_EQ(same.tag, tag(3, frame23("TIT2", "\x01\xFF\xFEn\0e\0w\0"s) +
                                   frame23("COMM",
                                           "\x01jpn\xFF\xFE\0\0\xFF\xFE"
                                           "c\0"s) +
                                   others + described + frame23("TALB", "\0kept"s) + compressed +
                                   frame23("TYER",
                                           "\0"
                                           "1999"s) +
                                   frame23("TDAT",
                                           "\0"
                                           "3105"s)));
    // A grouped comment without a description reads as the comment, so it is replaced as well.
    const Id3v2Found grouped = read(tag(3, frame23("COMM", "\x07\0eng\0old"s, "\0\x20"s)));
    EXPECT_EQ(grouped.texts.comment, "old");
    EXPECT_EQ(rewrite_id3v2(3, {"", "", "", "", "c", ""}, grouped).tag, tag(3, frame23("COMM",
                                                                                       "\x01jpn\xFF\xFE\0\0\xFF\xFE"
                                                                                       "c\0"s)));
    // Another version: the compressed frame cannot be turned, so nothing is written.
    Id3v2Rewrite to24 = rewrite_id3v2(4, {"new", "", "", "", "", ""}, old23);
    EXPECT_EQ(to24.left_behind, "TXXX");
    EXPECT_TRUE(to24.tag.empty());
    // Without it, 2.3's date frames become 2.4's one and the flags move to their new bits.
    old23.frames.erase(old23.frames.begin() + 9);
    to24 = rewrite_id3v2(4, {}, old23);
    ASSERT_TRUE(to24.left_behind.empty());
    Id3v2Found back24 = read(to24.tag);
    EXPECT_EQ(back24.texts.year, "1999-05-31");
    EXPECT_EQ(back24.texts.title, "old");
    EXPECT_EQ(back24.track, "3/12");
    EXPECT_NE(to24.tag.find(frame24("TXXX", "\0replaygain\0-6 dB"s, "\x20\0"s)), std::string::npos);
    EXPECT_EQ(back24.other_frames, old23.other_frames - 2); // TYER and TDAT are TDRC now
    // And back: 2.4's date and UTF-8 texts become 2.3's date frames and UTF-16.
    Id3v2Found old24 = read(tag(4, frame24("TDRC",
                                           "\x03"
                                           "2001-04-01T12:30"s) +
                                       frame24("TXXX", "\x03k\0\xE6\x9B\xB2"s) +
                                       frame24("TPE1",
                                               "\x03"
                                               "a\0b"s) +
                                       frame24("TSOP", "\0b"s)));
    EXPECT_EQ(rewrite_id3v2(3, {}, old24).left_behind, "TSOP"); // 2.3 has no sort order frames
    old24.frames.pop_back();
    Id3v2Rewrite to23 = rewrite_id3v2(3, {}, old24);
    EXPECT_EQ(to23.tag, tag(3, frame23("TYER",
                                       "\x01\xFF\xFE"
                                       "2\0"
                                       "0\0"
                                       "0\0"
                                       "1\0"s) +
                                   frame23("TDAT",
                                           "\x01\xFF\xFE"
                                           "0\0"
                                           "1\0"
                                           "0\0"
                                           "4\0"s) +
                                   frame23("TIME",
                                           "\x01\xFF\xFE"
                                           "1\0"
                                           "2\0"
                                           "3\0"
                                           "0\0"s) +
                                   frame23("TXXX", "\x01\xFF\xFEk\0\0\0\xFF\xFE\xF2\x66"s) +
                                   frame23("TPE1",
                                           "\x01\xFF\xFE"
                                           "a\0/\0b\0"s)));
    // A release date (eyeD3 writes one) gives 2.3 its year where no recording date does, and
    // the original release date its year alone; beside a recording date it still has no place.
    Id3v2Found released = read(tag(4, frame24("TDRL", "\x03" "2003-07-09"s) + frame24("TDOR", "\x03" "1999-01-02"s)));
    EXPECT_EQ(rewrite_id3v2(3, {}, released).tag,
              tag(3, frame23("TYER", "\x01\xFF\xFE" "2\0" "0\0" "0\0" "3\0"s) +
                         frame23("TDAT", "\x01\xFF\xFE" "0\0" "9\0" "0\0" "7\0"s) +
                         frame23("TORY", "\x01\xFF\xFE" "1\0" "9\0" "9\0" "9\0"s)));
    EXPECT_EQ(rewrite_id3v2(3, {}, read(tag(4, frame24("TDRC", "\x03" "2001"s) + frame24("TDRL", "\x03" "2003"s))))
                  .left_behind,
              "TDRL");
    // 2.2's names become 2.3's; a frame 2.3 has no name for is not guessed at.
    Id3v2Found old22 = read(tag(2, frame22("TRK",
                                           "\0"
                                           "7"s) +
                                       frame22("CNT", "\0\0\0\x05"s) + frame22("TCP", "\0" "1"s)));
    EXPECT_EQ(rewrite_id3v2(3, {}, old22).tag, tag(3, frame23("TRCK",
                                                              "\0"
                                                              "7"s) +
                                                          frame23("PCNT", "\0\0\0\x05"s) +
                                                          frame23("TCMP", "\0" "1"s))); // iTunes' compilation
    EXPECT_EQ(rewrite_id3v2(3, {}, read(tag(2, frame22("XYZ", "\0"s)))).left_behind, "XYZ");

    // A 2.4 tag with a footer at the end of the file, before the ID3v1 record; not found at the
    // start, where the audio is.
    const std::string body24 = frame24("TIT2",
                                       "\x03"
                                       "end"s);
    const std::string tail =
        "ID3\x04\0\x10"s + syncsafe(body24.size()) + body24 + "3DI\x04\0\x10"s + syncsafe(body24.size());
    for (const std::string& record : {""s, "TAG"s + std::string(125, '\0')}) {
        const std::string file = "\xFF\xFB\x90\x00"s + std::string(400, 'a') + tail + record;
        platform::MemorySource src(file.data(), file.size());
        Id3v2Found end = find_id3v2(src, file.size());
        ASSERT_TRUE(end.present);
        EXPECT_EQ(end.offset, 404u);
        EXPECT_EQ(end.size, tail.size());
        EXPECT_EQ(end.texts.title, "end");
    }
}

TEST(Id3v2Read, DamageIsNamedAndNeverReadPast) {
    // A size past the end: no tag, the bytes stay audio.
    Id3v2Found past = read("ID3\x03\0\0\x7F\x7F\x7F\x7F"s + frame23("APIC", "\0x\0\x03\0p"s));
    EXPECT_FALSE(past.present);
    EXPECT_EQ(past.warnings.size(), 1u);
    // A frame past its tag ends the frames; the tag is still one, and is replaced.
    Id3v2Found frame = read(tag(3, "APIC"s + be32(999999) + "\0\0\0x\0\x03\0p"s));
    EXPECT_TRUE(frame.present);
    EXPECT_TRUE(frame.frames.empty());
    EXPECT_EQ(frame.warnings.size(), 1u);
    EXPECT_TRUE(frame.damaged); // what follows the damage was not read: no rewrite may drop it
    EXPECT_FALSE(read(tag(3, frame23("TIT2", "\0ok"s))).damaged);
    // Version 5, a size byte with its top bit set, a short head: none of them a tag.
    EXPECT_FALSE(read(tag(5, "")).present);
    EXPECT_FALSE(read("ID3\x03\0\0\0\0\0\x80"s).present);
    EXPECT_FALSE(read("ID3\x03\0\0\0\0"s).present);
    // A compressed picture is not turned; a picture too damaged to turn fails the tag, named.
    Id3v2Found packed = read(tag(3, frame23("APIC", "\0\0\0\x10xxxx"s, "\0\x80"s)));
    EXPECT_EQ(rewrite_id3v2(4, {}, packed).left_behind, "APIC");
    EXPECT_EQ(packed.warnings.size(), 1u);
    const Id3v2Rewrite damaged = rewrite_id3v2(3, {}, read(tag(2, frame22("PIC", "\0JP"s))));
    EXPECT_TRUE(damaged.tag.empty() && damaged.left_behind == "PIC");
}

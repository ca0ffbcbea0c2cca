// ID3v2 tags for players that read Unicode: the frames an export writes (texts in UTF-16 with a
// byte order mark for version 2.3, UTF-8 for 2.4), and the reading of a tag that a file holds
// already, so that its pictures and lyrics go over into the new one.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform {
class ByteSource;
}

namespace formats {

// The texts of a tag, in UTF-8; in a new tag an empty text gets no frame. `genre` is a name, or
// an ID3v1 genre number written as "(17)".
struct Id3v2Texts {
    std::string title, artist, album, year, comment, genre;
};

// A frame exactly as it stood in its tag: the identifier, the two flag bytes (0 in 2.2) and the
// body as stored (a 2.3 tag's unsynchronisation undone; in 2.4 a frame keeps its own).
struct Id3v2Frame {
    std::string id;
    uint16_t flags = 0;
    std::string raw;
};

struct Id3v2Found {
    bool present = false;
    int major = 0;                     // 2, 3 or 4
    uint64_t offset = 0;               // where the tag starts in the file
    uint64_t size = 0;                 // the whole tag: header, frames, padding and footer
    std::vector<std::string> warnings; // damage and frames left behind, in words
    // What the tag says: the first value of each text frame (for the comment, the first COMM
    // frame with an empty description, else the first COMM frame), and the track as it stands
    // ("3", "3/12").
    Id3v2Texts texts;
    std::string track;
    // The texts (by their names in `k_id3v2_text_names`) whose frame was marked Latin-1 but held
    // cp932; they are given above in their cp932 reading.
    std::vector<std::string> mis_marked;
    size_t other_frames = 0;        // frames that are none of the seven texts (pictures too)
    std::vector<Id3v2Frame> frames; // every frame, in the tag's order
    // The frames end at damage: bytes of the tag that may hold frames were not read, and a new
    // tag made from `frames` would lose them.
    bool damaged = false;
};

// The names of the texts, as `show` gives them.
inline constexpr const char* k_id3v2_text_names[] = {"title", "artist", "album", "year", "comment", "genre", "track"};

// How much of a tag a reader takes: everything (to write a new tag that keeps it), or the texts
// alone (to show them), which leaves `frames` empty and reads no other frame's bytes.
// The rest of what is found (the texts, the counts, the warnings, the damage) is the same.
enum class Id3v2Depth { whole, texts };

// Looks for a tag at `offset`, in the `length` bytes there. A tag whose size runs past them, or
// of a version this reader does not know, is reported and not taken as one; a frame that runs
// past its tag ends the frames.
Id3v2Found read_id3v2(platform::ByteSource& source, uint64_t offset, uint64_t length,
                      Id3v2Depth depth = Id3v2Depth::whole);

// The tag of a file of `length` bytes: at its start, else a version 2.4 tag with a footer at its
// end (before the ID3v1 record when there is one). `present` is false when there is neither.
Id3v2Found find_id3v2(platform::ByteSource& source, uint64_t length, Id3v2Depth depth = Id3v2Depth::whole);

// Whether bytes marked Latin-1 are cp932 instead: every character is a cp932 one of the
// standard set, and the bytes show what Latin-1 text never does: a double-byte character whose
// lead byte is one of Latin-1's control codes (0x81 to 0x9F) and whose second byte is no ASCII
// character, two double-byte characters in a row of which one has such a lead byte, or three
// half-width katakana in a row (which Latin-1 shows as accented capitals and signs). A text
// in a Western language ("Mädchen", "élégie", "Don’t" in code page 1252) stays Latin-1.
bool is_mis_marked_cp932(const std::string& bytes);

// The whole tag, header included, in version 2.3 or 2.4 (`major` 3 or 4), with the frames of the
// texts alone. A frame too large for a tag is left out and named in `warnings`.
std::string make_id3v2(int major, const Id3v2Texts& texts, std::vector<std::string>* warnings = nullptr);

// A new tag of version `major` (3 or 4) that keeps every frame of `old`: the texts given replace
// the frames of their kind (an empty text keeps the old frame; the comment replaces the comments
// without a description), and every other frame goes over byte for byte when the version stays,
// or turned into the new version's form (2.2's names, the date frames, the size coding, texts
// in encodings that 2.3 lacks). A frame that cannot be turned (compressed, encrypted, grouped, or
// one the new version has no place for) fails the whole tag: `left_behind` names it and `tag`
// is empty.
struct Id3v2Rewrite {
    std::string tag;
    std::string left_behind;
    std::vector<std::string> warnings;
};
// `cleared` (bit i for the text `k_id3v2_text_names[i]`) removes the frames of those texts and
// writes none.
Id3v2Rewrite rewrite_id3v2(int major, const Id3v2Texts& texts, const Id3v2Found& old, unsigned cleared = 0);

// The tag with its text frames (T***, TXXX, COMM, USLT) whose Latin-1 texts are cp932 written
// again in Unicode (UTF-16 with a byte order mark for 2.2 and 2.3, UTF-8 for 2.4), in version
// `major`, every other frame kept as `rewrite_id3v2` keeps it. `repairs` names each changed
// frame with its text as Latin-1 showed it and as it reads now, both in UTF-8. When nothing was
// mis-marked and the version stays, there is nothing to write: `tag` and `left_behind` are empty.
struct Id3v2Repair {
    std::string id, before, after;
};
Id3v2Rewrite repair_id3v2(int major, const Id3v2Found& old, std::vector<Id3v2Repair>& repairs);

// A 2.4 tag made to stand at the end of a file, where a reader finds it by its footer: the
// header's footer flag set and the footer ("3DI", then the header's other bytes) after it.
std::string id3v2_with_footer(const std::string& tag);

} // namespace formats

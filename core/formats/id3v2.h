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

// A frame as it stood in its tag: the identifier and the body, in the form of `major` (2, 3
// or 4), unsynchronisation undone and any data length indicator taken off.
struct Id3v2Frame {
    int major = 0;
    std::string id;
    std::string body;
};

struct Id3v2Found {
    bool present = false;
    int major = 0;                     // 2, 3 or 4
    uint64_t size = 0;                 // the whole tag: header, frames, padding and footer
    std::vector<Id3v2Frame> kept;      // the pictures and the lyrics
    std::vector<std::string> warnings; // damage and frames left behind, in words
};

// Looks for a tag at `offset`, in the `length` bytes there. A tag whose size runs past them, or
// of a version this reader does not know, is reported and not taken as one; a frame that runs
// past its tag ends the frames.
Id3v2Found read_id3v2(platform::ByteSource& source, uint64_t offset, uint64_t length);

// The texts of a new tag, in UTF-8; an empty text gets no frame. `genre` is a name, or an
// ID3v1 genre number written as "(17)".
struct Id3v2Texts {
    std::string title, artist, album, year, comment, genre;
};

// The whole tag, header included, in version 2.3 or 2.4 (`major` 3 or 4). Kept frames are
// turned into that version's form: 2.2's PIC and ULT become APIC and USLT, and texts in
// encodings that 2.3 lacks (UTF-16BE, UTF-8) become UTF-16 with a byte order mark. A kept frame
// too damaged to turn is left out and named in `warnings`.
std::string make_id3v2(int major, const Id3v2Texts& texts, const std::vector<Id3v2Frame>& kept,
                       std::vector<std::string>* warnings = nullptr);

} // namespace formats

// What ID3v2 knows of each frame, as one table: its 2.2 name, the versions it exists in, the
// layout of its body, and what becomes of it in a version that lacks it.
#pragma once
#include <string>

namespace formats::id3v2 {

// How a frame's body is laid out, as far as a version change or a repair needs to know.
enum class Layout : unsigned char {
    binary,         // no text this writer turns: goes over byte for byte
    text,           // an encoding byte, then texts (T***)
    year,           // a text of one year (2.3's TORY): from 2.4's date it takes the year alone
    described_text, // an encoding byte, a description, then the text (TXXX)
    language_text,  // an encoding byte, a language, a description, then the text (COMM, USLT)
    picture,        // an encoding byte, an image format, a type, a description, the image (APIC)
    other_text,     // an encoding byte in a layout this writer does not turn (GEOB, WXXX, ...)
};

// The versions (2.3 and 2.4; 2.2 reads as 2.3) a frame exists in.
enum class Versions : unsigned char { both, only_23, only_24 };

// What becomes of a frame in the version that lacks it.
enum class Missing : unsigned char {
    dropped,     // nothing: a tag that holds it cannot be turned
    renamed,     // it goes under `counterpart`
    date_merged, // 2.3's year, day and time frames: one date (TDRC) in 2.4
    date_split,  // 2.4's date: 2.3's year, day and time frames
};

struct FrameRule {
    const char* id;  // in 2.3 and 2.4
    const char* v22; // the 2.2 name, or null
    Versions versions;
    Layout layout;
    Missing missing;         // when `versions` is not both
    const char* counterpart; // for `renamed`
    int text;                // which of the seven texts (`k_id3v2_text_names`), or -1
};

// The rule of a frame by its id of any version (2.2's three letters or the four of 2.3 and
// 2.4); null for a frame the table does not know.
const FrameRule* frame_rule(const std::string& id);

// The 2.3 id of a 2.2 frame; empty for a name 2.2 does not have.
std::string v23_name(const std::string& id22);

// The layout of a frame by its id of 2.3 or 2.4; a frame the table does not know is text when
// its id starts with T, else binary.
Layout layout_of(const std::string& id);

// Which of the seven texts a frame of any version holds; -1 for any other frame.
int text_index(const std::string& id);

// A picture or the lyrics (a text after a language that is none of the seven texts).
bool is_picture_or_lyrics(const std::string& id);

// Whether `major` (3 or 4) has the frame of this 2.3 or 2.4 id.
bool exists_in(const FrameRule& rule, int major);

} // namespace formats::id3v2

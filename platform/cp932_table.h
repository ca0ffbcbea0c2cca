// The cp932 tables behind every conversion: the character each code stands for, and the code
// each character is written as. They come from the system's converter: on POSIX at build time
// (cp932_gen.cpp asks iconv and writes them out as source), on Windows at their first use.
#pragma once
#include <cstddef>
#include <cstdint>

namespace platform::cp932 {

// A code that stands for no character.
constexpr char32_t k_none = 0xFFFFFFFF;

// The two ranges of lead bytes, and the trail bytes a pair can have (0x7F is never one).
inline bool is_lead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
inline bool is_trail(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }
constexpr size_t k_leads = (0x9F - 0x81 + 1) + (0xFC - 0xE0 + 1);
constexpr size_t k_trails = 0xFC - 0x40 + 1;
constexpr size_t k_pairs = k_leads * k_trails;

// The place of a lead byte and a trail byte in Tables::pair; both must be in their ranges.
inline size_t pair_index(unsigned char lead, unsigned char trail) {
    size_t row = lead <= 0x9F ? lead - 0x81u : lead - 0xE0u + (0x9F - 0x81 + 1);
    return row * k_trails + (trail - 0x40u);
}

// One character and the code it is written as: a single byte below 0x100, else the lead byte
// times 256 plus the trail byte.
struct Encoding {
    char32_t ch;
    uint16_t code;
};

struct Tables {
    const char32_t* single; // 256 entries, by byte; k_none for a byte that is no character alone
    const char32_t* pair;   // k_pairs entries, by pair_index; k_none for a pair that is none
    // Sorted by character, one row each. The encoder takes a character's row as it stands and
    // never looks at the decoding tables, so a row may name a code that decodes to another
    // character: a look-alike written one way only is one more row here.
    const Encoding* encode;
    size_t encode_count;
};

const Tables& tables();

} // namespace platform::cp932

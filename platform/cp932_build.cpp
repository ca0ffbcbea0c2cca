#include "platform/cp932_build.h"

#include <algorithm>
#include <map>

namespace platform::cp932 {

namespace {

// Several cp932 codes can stand for one character (NEC and IBM extension rows); the encoder
// prefers the JIS rows, then the IBM rows over the NEC-selected copies.
int preference(uint16_t code) {
    unsigned lead = code >> 8;
    if (lead == 0xED || lead == 0xEE) return 2;
    if (lead >= 0xFA) return 1;
    return 0;
}

} // namespace

BuiltTables build_tables(bool (*decode)(const unsigned char* bytes, size_t n, char32_t& out)) {
    BuiltTables t;
    t.single.assign(256, k_none);
    t.pair.assign(k_pairs, k_none);
    std::map<char32_t, uint16_t> code_of;
    for (unsigned b = 0; b < 256; ++b) {
        unsigned char c = static_cast<unsigned char>(b);
        char32_t cp = k_none;
        // Single-byte characters are ASCII and the half-width katakana; the bytes 0x80, 0xA0
        // and 0xFD to 0xFF are none, whatever a system's table makes of them.
        bool single = b < 0x80 || (b >= 0xA1 && b <= 0xDF);
        if (!single || !decode(&c, 1, cp)) continue;
        t.single[b] = cp;
        code_of.emplace(cp, static_cast<uint16_t>(b));
    }
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!is_lead(static_cast<unsigned char>(lead))) continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (!is_trail(static_cast<unsigned char>(trail))) continue;
            unsigned char two[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
            char32_t cp = k_none;
            if (!decode(two, 2, cp) || cp == 0xFFFD) continue;
            uint16_t code = static_cast<uint16_t>(lead << 8 | trail);
            t.pair[pair_index(two[0], two[1])] = cp;
            auto [it, fresh] = code_of.emplace(cp, code);
            if (!fresh && preference(code) < preference(it->second)) it->second = code;
        }
    }
    // Characters that Unicode's own mapping of JIS and Windows' code page pair differently: a
    // text from a Mac, from Linux or from a tag in Unicode holds the one, code page 932 decodes
    // to the other. Each is written as the code of the character Windows shows for it.
    static constexpr struct {
        char32_t lookalike, windows;
    } k_lookalikes[] = {
        {0x301C, 0xFF5E}, // WAVE DASH as FULLWIDTH TILDE
        {0x2212, 0xFF0D}, // MINUS SIGN as FULLWIDTH HYPHEN-MINUS
        {0x2016, 0x2225}, // DOUBLE VERTICAL LINE as PARALLEL TO
        {0x00A2, 0xFFE0}, // CENT SIGN as FULLWIDTH CENT SIGN
        {0x00A3, 0xFFE1}, // POUND SIGN as FULLWIDTH POUND SIGN
        {0x00AC, 0xFFE2}, // NOT SIGN as FULLWIDTH NOT SIGN
        {0x2014, 0x2015}, // EM DASH as HORIZONTAL BAR
        {0x00A6, 0xFFE4}, // BROKEN BAR as FULLWIDTH BROKEN BAR
    };
    for (const auto& l : k_lookalikes)
        if (auto it = code_of.find(l.windows); it != code_of.end()) code_of.emplace(l.lookalike, it->second);
    t.encode.reserve(code_of.size());
    for (auto [ch, code] : code_of) t.encode.push_back({ch, code});
    return t;
}

} // namespace platform::cp932

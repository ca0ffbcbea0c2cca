// Table-driven cp932 conversion (the tables are in cp932_table.h), and a UTF-8 codec.
#include <algorithm>

#include "platform/cp932_table.h"
#include "platform/text.h"

namespace platform {

namespace {

using cp932::is_lead;
using cp932::k_none;

// Appends the cp932 form of a character; false where it has none.
bool put_cp932(std::string& out, char32_t cp) {
    const cp932::Tables& t = cp932::tables();
    const cp932::Encoding* end = t.encode + t.encode_count;
    const cp932::Encoding* it =
        std::lower_bound(t.encode, end, cp, [](const cp932::Encoding& e, char32_t c) { return e.ch < c; });
    if (it == end || it->ch != cp) return false;
    if (it->code > 0xFF) out += static_cast<char>(it->code >> 8);
    out += static_cast<char>(it->code & 0xFF);
    return true;
}

// Decodes one UTF-8 character at s[i]; returns its length, or 0 for an invalid sequence.
size_t take_utf8(std::string_view s, size_t i, char32_t& cp) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    size_t len;
    char32_t min;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
        min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
        min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
        min = 0x10000;
    } else return 0;
    if (len > s.size() - i) return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

bool is_ascii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

} // namespace

void put_utf8(std::string& out, char32_t cp) {
    char b[4];
    size_t n = 0;
    if (cp < 0x80) {
        b[n++] = static_cast<char>(cp);
    } else if (cp < 0x800) {
        b[n++] = static_cast<char>(0xC0 | (cp >> 6));
        b[n++] = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        b[n++] = static_cast<char>(0xE0 | (cp >> 12));
        b[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        b[n++] = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        b[n++] = static_cast<char>(0xF0 | (cp >> 18));
        b[n++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        b[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        b[n++] = static_cast<char>(0x80 | (cp & 0x3F));
    }
    out.append(b, n);
}

// ASCII is the same in both encodings; such texts skip the tables, which on Windows are built
// at their first use.
std::string cp932_to_utf8(std::string_view in) {
    std::string out;
    cp932_to_utf8(in, out);
    return out;
}

void cp932_to_utf8(std::string_view in, std::string& out) {
    if (is_ascii(in)) {
        out.assign(in);
        return;
    }
    const cp932::Tables& t = cp932::tables();
    out.clear();
    out.reserve(in.size() * 3 / 2);
    for (size_t i = 0; i < in.size();) {
        auto c = static_cast<unsigned char>(in[i]);
        if (is_lead(c) && i + 1 < in.size()) {
            auto trail = static_cast<unsigned char>(in[i + 1]);
            char32_t cp = cp932::is_trail(trail) ? t.pair[cp932::pair_index(c, trail)] : k_none;
            if (cp != k_none) {
                put_utf8(out, cp);
                i += 2;
                continue;
            }
        }
        char32_t cp = is_lead(c) ? k_none : t.single[c];
        put_utf8(out, cp == k_none ? char32_t(0xFFFD) : cp);
        ++i;
    }
}

bool utf8_to_cp932(std::string_view in, std::string& out, std::string& bad) {
    if (is_ascii(in)) {
        out.assign(in);
        return true;
    }
    out.clear();
    for (size_t i = 0; i < in.size();) {
        char32_t cp = 0;
        size_t len = take_utf8(in, i, cp);
        if (len == 0) {
            bad = "invalid UTF-8";
            return false;
        }
        if (!put_cp932(out, cp)) {
            bad = std::string(in.substr(i, len));
            return false;
        }
        i += len;
    }
    return true;
}

std::string sanitize_utf8(std::string_view in) {
    if (is_ascii(in)) return std::string(in);
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size();) {
        char32_t cp = 0;
        size_t len = take_utf8(in, i, cp);
        if (len == 0) {
            put_utf8(out, 0xFFFD);
            ++i;
        } else {
            out.append(in.substr(i, len));
            i += len;
        }
    }
    return out;
}

std::wstring utf8_to_utf16(std::string_view in) {
    std::wstring out;
    for (size_t i = 0; i < in.size();) {
        char32_t cp = 0;
        size_t len = take_utf8(in, i, cp);
        if (len == 0) {
            cp = 0xFFFD;
            len = 1;
        }
        i += len;
        if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<wchar_t>(cp);
        }
    }
    return out;
}

std::wstring cp932_to_utf16(std::string_view cp932) { return utf8_to_utf16(cp932_to_utf8(cp932)); }

std::string utf16_to_cp932(std::wstring_view utf16, size_t* unmapped) {
    std::string in = utf16_to_utf8(utf16);
    if (unmapped) *unmapped = 0;
    if (is_ascii(in)) return in;
    std::string out;
    for (size_t i = 0; i < in.size();) {
        char32_t cp = 0;
        size_t len = take_utf8(in, i, cp);
        i += len ? len : 1;
        if (len == 0 || !put_cp932(out, cp)) {
            out += '?';
            if (unmapped) ++*unmapped;
        }
    }
    return out;
}

std::string utf16_to_utf8(std::wstring_view in) {
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        char32_t cp = static_cast<char32_t>(in[i]);
        if (sizeof(wchar_t) == 2 && cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size()) {
            char32_t lo = static_cast<char32_t>(in[i + 1]);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            }
        }
        if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
        put_utf8(out, cp);
    }
    return out;
}

} // namespace platform

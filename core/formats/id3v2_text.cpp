// The text encodings of ID3v2 frames, and the telling of cp932 marked as Latin-1.
#include "core/formats/id3v2_internal.h"
#include "core/formats/text_rules.h"
#include "platform/text.h"

namespace formats {

namespace id3v2 {

namespace {

// The code points of UTF-8 text; a byte that starts no valid sequence counts as U+FFFD.
std::u32string code_points(const std::string& utf8) {
    std::u32string out;
    for (size_t i = 0; i < utf8.size();) {
        auto b = static_cast<unsigned char>(utf8[i]);
        size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        char32_t cp = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
        bool ok = n != 0 && utf8.size() - i >= n;
        for (size_t k = 1; ok && k < n; ++k) {
            auto c = static_cast<unsigned char>(utf8[i + k]);
            ok = (c & 0xC0) == 0x80;
            cp = cp << 6 | (c & 0x3F);
        }
        static const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (!ok || cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += U'\uFFFD';
            ++i;
        } else {
            out += cp;
            i += n;
        }
    }
    return out;
}

} // namespace

// Frame texts: 0 Latin-1, 1 UTF-16 with a byte order mark, 2 UTF-16BE, 3 UTF-8.
std::string decode(int enc, const std::string& raw) {
    if (enc == 3) return raw;
    std::string out;
    if (enc == 0) {
        for (char c : raw) platform::put_utf8(out, static_cast<unsigned char>(c));
        return out;
    }
    size_t i = 0;
    bool little = false;
    if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF && static_cast<unsigned char>(raw[1]) == 0xFE) {
        little = true;
        i = 2;
    } else if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFE &&
               static_cast<unsigned char>(raw[1]) == 0xFF) {
        i = 2;
    }
    auto unit = [&](size_t at) {
        auto a = static_cast<unsigned char>(raw[at]), b = static_cast<unsigned char>(raw[at + 1]);
        return static_cast<char32_t>(little ? (b << 8 | a) : (a << 8 | b));
    };
    for (; i + 1 < raw.size(); i += 2) {
        char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < raw.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF) {
            platform::put_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 2) - 0xDC00));
            i += 2;
        } else {
            platform::put_utf8(out, u >= 0xD800 && u <= 0xDFFF ? U'\uFFFD' : u);
        }
    }
    return out;
}

std::string encode(int major, const std::string& utf8) {
    if (major == 4) return utf8;
    std::string out = "\xFF\xFE";
    for (char32_t cp : code_points(utf8)) {
        auto unit = [&](char32_t u) {
            out += static_cast<char>(u & 0xFF);
            out += static_cast<char>(u >> 8);
        };
        if (cp >= 0x10000) {
            unit(0xD800 + ((cp - 0x10000) >> 10));
            unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

// Takes a text that ends in the encoding's terminator (or at the end of the body).
bool take_text(const std::string& body, size_t& pos, int enc, std::string& raw) {
    if (pos > body.size()) return false;
    size_t step = enc == 1 || enc == 2 ? 2 : 1;
    size_t at = pos;
    while (at + step <= body.size()) {
        if (body[at] == 0 && (step == 1 || body[at + 1] == 0)) {
            raw = body.substr(pos, at - pos);
            pos = at + step;
            return true;
        }
        at += step;
    }
    return false;
}

std::string text_frame_body(int major, const std::string& utf8) {
    std::string body(1, static_cast<char>(encoding_for(major)));
    body += encode(major, utf8);
    return body;
}

// The values of a text frame's body after its encoding byte, in UTF-8.
std::vector<std::string> text_values(int enc, const std::string& raw) {
    std::vector<std::string> values;
    size_t pos = 0;
    std::string one;
    while (pos < raw.size() && take_text(raw, pos, enc, one)) values.push_back(decode(enc, one));
    if (pos < raw.size()) values.push_back(decode(enc, raw.substr(pos)));
    return values;
}

// A text frame's body in `major`'s encoding. 2.3 holds one value: several are joined with "/".
std::string text_body(int major, const std::vector<std::string>& values) {
    std::string joined;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) joined += major == 4 ? std::string(1, '\0') : "/";
        joined += values[i];
    }
    return text_frame_body(major, joined);
}

std::string frame_text(int enc, const std::string& raw, bool& mis_marked) {
    mis_marked = enc == 0 && is_mis_marked_cp932(raw);
    return mis_marked ? platform::cp932_to_utf8(raw) : decode(enc, raw);
}

} // namespace id3v2

bool is_mis_marked_cp932(const std::string& bytes) {
    bool telling = false, last_double = false, last_telling = false;
    size_t kana_run = 0;
    for (size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) {
            // Three half-width katakana in a row: Latin-1 reads them as accented capitals and
            // signs (ﾗｽﾄ as ×½Ä), which no Western text strings together.
            kana_run = b >= 0xA1 ? kana_run + 1 : 0;
            if (kana_run >= 3) telling = true;
            last_double = false;
            ++i;
            continue;
        }
        kana_run = 0;
        if (!is_lead_byte(b) || i + 1 >= bytes.size()) return false;
        const auto trail = static_cast<unsigned char>(bytes[i + 1]);
        if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return false;
        // A character of the standard set: not the user-defined rows, not unmapped.
        const std::string utf8 = platform::cp932_to_utf8(bytes.substr(i, 2));
        if (utf8 == "\xEF\xBF\xBD" || (utf8.size() == 3 && static_cast<unsigned char>(utf8[0]) == 0xEE) ||
            (utf8.size() == 3 && static_cast<unsigned char>(utf8[0]) == 0xEF &&
             static_cast<unsigned char>(utf8[1]) < 0xA4))
            return false;
        const bool control_lead = b <= 0x9F;
        if (control_lead && trail >= 0x80) telling = true;
        if (last_double && (control_lead || last_telling)) telling = true;
        last_double = true;
        last_telling = control_lead;
        i += 2;
    }
    return telling;
}

} // namespace formats

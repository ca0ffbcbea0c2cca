#include "core/formats/id3v2.h"

#include "core/formats/reader.h"
#include "platform/text.h"

namespace formats {

namespace {

// A syncsafe integer keeps the top bit of each of its four bytes clear.
bool syncsafe(const unsigned char* p, uint32_t& out) {
    if ((p[0] | p[1] | p[2] | p[3]) & 0x80) return false;
    out = static_cast<uint32_t>(p[0]) << 21 | static_cast<uint32_t>(p[1]) << 14 | static_cast<uint32_t>(p[2]) << 7 |
          static_cast<uint32_t>(p[3]);
    return true;
}

void put_syncsafe(std::string& out, uint32_t v) {
    for (int shift : {21, 14, 7, 0}) out += static_cast<char>((v >> shift) & 0x7F);
}

void put_be32(std::string& out, uint32_t v) {
    for (int shift : {24, 16, 8, 0}) out += static_cast<char>((v >> shift) & 0xFF);
}

uint32_t be(const std::string& s, size_t at, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
    return v;
}

// Unsynchronisation put a zero after every 0xFF; this takes each such zero out again.
std::string undo_unsync(const std::string& in) {
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        out += in[i];
        if (static_cast<unsigned char>(in[i]) == 0xFF && i + 1 < in.size() && in[i + 1] == 0) ++i;
    }
    return out;
}

bool is_kept(const std::string& id) { return id == "APIC" || id == "PIC" || id == "USLT" || id == "ULT"; }

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

// The text encoding a version writes: UTF-16 with a byte order mark (2.3), UTF-8 (2.4).
int encoding_for(int major) { return major == 4 ? 3 : 1; }

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

std::string terminator(int enc) { return enc == 1 || enc == 2 ? std::string(2, '\0') : std::string(1, '\0'); }

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
    return std::string(1, static_cast<char>(encoding_for(major))) + encode(major, utf8);
}

void add_frame(std::string& out, int major, const std::string& id, const std::string& body,
               std::vector<std::string>* warnings) {
    if (body.size() > 0x0FFFFFFF) {
        if (warnings) warnings->push_back("the " + id + " frame is too large for a tag; it is left out");
        return;
    }
    out += id;
    if (major == 4) put_syncsafe(out, static_cast<uint32_t>(body.size()));
    else put_be32(out, static_cast<uint32_t>(body.size()));
    out += std::string(2, '\0');
    out += body;
}

// A kept frame in the form of `major`; false when its body is too damaged to turn.
bool convert(const Id3v2Frame& f, int major, std::string& id, std::string& body) {
    if (f.body.empty()) return false;
    const int enc = static_cast<unsigned char>(f.body[0]);
    if (enc > 3) return false;
    const bool enc_fits = major == 4 || enc <= 1;
    const bool picture = f.id == "APIC" || f.id == "PIC";
    id = picture ? "APIC" : "USLT";
    if (enc_fits && f.major != 2) {
        body = f.body;
        return true;
    }
    const int to = enc_fits ? enc : encoding_for(major);
    auto text = [&](const std::string& raw) { return enc_fits ? raw : encode(major, decode(enc, raw)); };
    size_t pos = 1;
    std::string head, desc;
    if (picture) {
        if (f.major == 2) {
            if (f.body.size() < 5) return false;
            std::string format = f.body.substr(1, 3);
            for (char& c : format)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            head = "image/" + (format == "jpg" ? std::string("jpeg") : format) + std::string(1, '\0');
            pos = 4;
        } else {
            std::string mime;
            if (!take_text(f.body, pos, 0, mime)) return false;
            head = mime + std::string(1, '\0');
        }
        if (pos >= f.body.size()) return false;
        head += f.body[pos++]; // the picture type
        if (!take_text(f.body, pos, enc, desc)) return false;
        body = std::string(1, static_cast<char>(to)) + head + text(desc) + terminator(to) + f.body.substr(pos);
        return true;
    }
    if (f.body.size() < 4) return false;
    head = f.body.substr(1, 3); // the language
    pos = 4;
    if (!take_text(f.body, pos, enc, desc)) return false;
    std::string lyrics = f.body.substr(pos);
    if (!enc_fits) {
        std::string cut;
        size_t p = 0;
        if (take_text(lyrics, p, enc, cut)) lyrics = cut; // a terminator at the end is no text
    }
    body = std::string(1, static_cast<char>(to)) + head + text(desc) + terminator(to) + text(lyrics);
    return true;
}

} // namespace

Id3v2Found read_id3v2(platform::ByteSource& source, uint64_t offset, uint64_t length) {
    Id3v2Found found;
    unsigned char h[10];
    if (length < 10 || !source.read_at(offset, h, 10) || h[0] != 'I' || h[1] != 'D' || h[2] != '3') return found;
    uint32_t size = 0;
    if (h[3] < 2 || h[3] > 4 || h[4] == 0xFF || !syncsafe(h + 6, size)) {
        found.warnings.push_back("an ID3v2 tag of an unknown version or with a damaged header stays as it is");
        return found;
    }
    const int major = h[3];
    const unsigned flags = h[5];
    const uint64_t total = 10 + uint64_t{size} + (major == 4 && (flags & 0x10) ? 10 : 0);
    if (total > length) {
        found.warnings.push_back("the ID3v2 tag claims " + std::to_string(total) +
                                 " bytes, more than the file holds; it stays as it is");
        return found;
    }
    found.present = true;
    found.major = major;
    found.size = total;
    std::string body(size, '\0');
    if (size && !source.read_at(offset + 10, body.data(), size)) {
        found.warnings.push_back("the ID3v2 tag cannot be read; its frames are not kept");
        return found;
    }
    if (major < 4 && (flags & 0x80)) body = undo_unsync(body);
    if (major == 2 && (flags & 0x40)) {
        found.warnings.push_back("the ID3v2.2 tag is compressed; its frames are not kept");
        return found;
    }
    size_t pos = 0;
    if (major >= 3 && (flags & 0x40)) {
        if (body.size() < 6) return found;
        uint32_t ext = 0;
        if (major == 3) {
            ext = 4 + be(body, 0, 4);
        } else if (!syncsafe(reinterpret_cast<const unsigned char*>(body.data()), ext)) {
            ext = UINT32_MAX;
        }
        if (ext > body.size()) {
            found.warnings.push_back("the ID3v2 tag's extended header runs past the tag; its frames are not kept");
            return found;
        }
        pos = ext;
    }
    const size_t id_length = major == 2 ? 3 : 4, header = major == 2 ? 6 : 10;
    while (body.size() - pos >= header && body[pos] != 0) {
        std::string id = body.substr(pos, id_length);
        bool valid = true;
        for (char c : id) valid = valid && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'));
        uint32_t n = 0;
        if (major == 2) n = be(body, pos + 3, 3);
        else if (major == 3) n = be(body, pos + 4, 4);
        else valid = valid && syncsafe(reinterpret_cast<const unsigned char*>(body.data() + pos + 4), n);
        if (!valid || n > body.size() - pos - header) {
            found.warnings.push_back(
                "an ID3v2 frame is damaged or runs past the tag; the frames after it are not kept");
            break;
        }
        const unsigned frame_flags = major == 2 ? 0 : be(body, pos + 8, 2);
        std::string frame = body.substr(pos + header, n);
        pos += header + n;
        if (!is_kept(id)) continue;
        const bool packed = major == 3 ? (frame_flags & 0x00C0) != 0 : (frame_flags & 0x000C) != 0;
        if (packed) {
            found.warnings.push_back("a compressed or encrypted " + id + " frame is not kept");
            continue;
        }
        size_t skip = 0;
        if (major == 3 && (frame_flags & 0x0020)) skip += 1; // group
        if (major == 4 && (frame_flags & 0x0040)) skip += 1; // group
        if (major == 4 && (frame_flags & 0x0001)) skip += 4; // data length indicator
        if (skip > frame.size()) continue;
        frame.erase(0, skip);
        if (major == 4 && ((frame_flags & 0x0002) || (flags & 0x80))) frame = undo_unsync(frame);
        found.kept.push_back({major, id, std::move(frame)});
    }
    return found;
}

std::string make_id3v2(int major, const Id3v2Texts& t, const std::vector<Id3v2Frame>& kept,
                       std::vector<std::string>* warnings) {
    std::string frames;
    const struct {
        const char* id;
        const std::string& text;
    } texts[] = {{"TIT2", t.title},
                 {"TPE1", t.artist},
                 {"TALB", t.album},
                 {major == 4 ? "TDRC" : "TYER", t.year},
                 {"TCON", t.genre}};
    for (const auto& x : texts)
        if (!x.text.empty()) add_frame(frames, major, x.id, text_frame_body(major, x.text), warnings);
    if (!t.comment.empty()) {
        // Language, an empty description, then the comment.
        const int enc = encoding_for(major);
        std::string body = std::string(1, static_cast<char>(enc)) + "jpn" + encode(major, "") + terminator(enc) +
                           encode(major, t.comment);
        add_frame(frames, major, "COMM", body, warnings);
    }
    for (const Id3v2Frame& f : kept) {
        std::string id, body;
        if (convert(f, major, id, body)) add_frame(frames, major, id, body, warnings);
        else if (warnings) warnings->push_back("a damaged " + f.id + " frame is left out");
    }
    std::string tag = "ID3";
    tag += static_cast<char>(major);
    tag += std::string(2, '\0'); // revision, flags
    if (frames.size() > 0x0FFFFFFF) {
        if (warnings) warnings->push_back("the frames are too large for a tag; only the texts are written");
        return make_id3v2(major, t, {}, warnings);
    }
    put_syncsafe(tag, static_cast<uint32_t>(frames.size()));
    return tag + frames;
}

} // namespace formats

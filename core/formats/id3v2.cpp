#include "core/formats/id3v2.h"

#include "core/formats/reader.h"
#include "core/formats/text_rules.h"
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

// The seven texts by their frames' names in each version; -1 for any other frame.
int text_index(const std::string& id) {
    static const char* const names[][3] = {{"TIT2", "TT2", nullptr}, {"TPE1", "TP1", nullptr}, {"TALB", "TAL", nullptr},
                                           {"TYER", "TDRC", "TYE"},  {"COMM", "COM", nullptr}, {"TCON", "TCO", nullptr},
                                           {"TRCK", "TRK", nullptr}};
    for (int i = 0; i < 7; ++i)
        for (const char* n : names[i])
            if (n && id == n) return i;
    return -1;
}

// A text as it stands in a frame's body from `pos`: cp932 marked as Latin-1 is read as cp932.
std::string frame_text(int enc, const std::string& raw, bool& mis_marked) {
    mis_marked = enc == 0 && is_mis_marked_cp932(raw);
    return mis_marked ? platform::cp932_to_utf8(raw) : decode(enc, raw);
}

void take_text_frame(Id3v2Found& found, int index, const std::string& body, bool& comment_final) {
    if (body.empty()) return;
    const int enc = static_cast<unsigned char>(body[0]);
    if (enc > 3) {
        found.warnings.push_back(std::string("the ") + k_id3v2_text_names[index] +
                                 " frame has an unknown text encoding; it is not read");
        return;
    }
    std::string raw;
    size_t pos = 1;
    if (index == 4) { // COMM: the language, a description, then the comment
        if (body.size() < 4) return;
        pos = 4;
        std::string description;
        if (!take_text(body, pos, enc, description)) return;
        // iTunes keeps machine values in comments (iTunNORM, iTunSMPB): never the user's comment.
        if (decode(enc, description).rfind("iTun", 0) == 0) return;
        // The first comment without a description wins; another only stands in until one comes.
        if (comment_final || (!description.empty() && !found.texts.comment.empty())) return;
        raw = body.substr(pos);
        comment_final = description.empty();
    } else {
        raw = body.substr(pos);
    }
    // Only the first value of a frame that holds several (2.4 separates them with a terminator).
    std::string first;
    size_t p = 0;
    if (take_text(raw, p, enc, first)) raw = first;
    std::string* const slots[] = {&found.texts.title,   &found.texts.artist, &found.texts.album, &found.texts.year,
                                  &found.texts.comment, &found.texts.genre,  &found.track};
    if (index != 4 && !slots[index]->empty()) return; // the first frame of a kind wins
    bool mis = false;
    *slots[index] = frame_text(enc, raw, mis);
    auto& names = found.mis_marked;
    std::erase(names, std::string(k_id3v2_text_names[index]));
    if (mis) names.push_back(k_id3v2_text_names[index]);
}

} // namespace

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

Id3v2Found find_id3v2(platform::ByteSource& source, uint64_t length, Id3v2Depth depth) {
    Id3v2Found at_start = read_id3v2(source, 0, length, depth);
    if (at_start.present || !at_start.warnings.empty()) return at_start;
    // A footer is the header's copy with "3DI": it ends the tag, before any ID3v1 record.
    for (uint64_t end : {length, length >= 128 ? length - 128 : 0}) {
        unsigned char f[10];
        uint32_t size = 0;
        if (end < 20 || !source.read_at(end - 10, f, 10) || f[0] != '3' || f[1] != 'D' || f[2] != 'I' || f[3] != 4 ||
            !syncsafe(f + 6, size))
            continue;
        const uint64_t total = 20 + uint64_t{size};
        if (total > end) continue;
        Id3v2Found found = read_id3v2(source, end - total, total, depth);
        if (found.present) return found;
    }
    return at_start;
}

namespace {

// The bytes of a tag after its header: read at once, or, for the texts alone, piece by piece
// from the source as they are asked for, so that the bytes of a picture are never read.
class TagBody {
public:
    TagBody(platform::ByteSource& source, uint64_t offset, size_t size) : source_(source), offset_(offset), size_(size) {}
    bool read_whole() {
        whole_.assign(size_, '\0');
        if (size_ && !source_.read_at(offset_, whole_.data(), size_)) return false;
        is_whole_ = true;
        return true;
    }
    void undo_unsync() { whole_ = formats::undo_unsync(whole_), size_ = whole_.size(); }
    size_t size() const { return size_; }
    // The n bytes at pos, which the caller has checked lie in the body.
    bool get(size_t pos, size_t n, std::string& out) {
        if (is_whole_) {
            out.assign(whole_, pos, n);
            return true;
        }
        out.resize(n);
        return n == 0 || source_.read_at(offset_ + pos, out.data(), n);
    }

private:
    platform::ByteSource& source_;
    uint64_t offset_;
    size_t size_;
    bool is_whole_ = false;
    std::string whole_;
};

// How far a walk of a 2.4 tag's frame headers from `pos` gets: the number of frames whose id
// is a frame id and whose size stays inside the tag, with the sizes syncsafe or plain.
size_t frames_walked(TagBody& body, size_t pos, bool plain) {
    size_t count = 0;
    std::string head;
    while (body.size() - pos >= 10 && body.get(pos, 10, head) && head[0] != 0) {
        bool valid = true;
        for (size_t i = 0; i < 4; ++i)
            valid = valid && ((head[i] >= 'A' && head[i] <= 'Z') || (head[i] >= '0' && head[i] <= '9'));
        uint32_t n = 0;
        if (plain) n = be(head, 4, 4);
        else valid = valid && syncsafe(reinterpret_cast<const unsigned char*>(head.data() + 4), n);
        if (!valid || n > body.size() - pos - 10) break;
        ++count;
        pos += 10 + n;
    }
    return count;
}

bool plain_sizes_walk_further(TagBody& body, size_t pos) {
    return frames_walked(body, pos, true) > frames_walked(body, pos, false);
}

} // namespace

Id3v2Found read_id3v2(platform::ByteSource& source, uint64_t offset, uint64_t length, Id3v2Depth depth) {
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
    found.offset = offset;
    found.size = total;
    const bool whole = depth == Id3v2Depth::whole;
    const char* const unreadable = "the ID3v2 tag cannot be read; its frames are not kept";
    TagBody body(source, offset + 10, size);
    // A 2.3 or 2.2 tag unsynchronised as a whole is read at once to undo that.
    const bool tag_unsync = major < 4 && (flags & 0x80);
    if ((whole || tag_unsync) && !body.read_whole()) {
        found.warnings.push_back(unreadable);
        return found;
    }
    if (tag_unsync) body.undo_unsync();
    if (major == 2 && (flags & 0x40)) {
        found.warnings.push_back("the ID3v2.2 tag is compressed; its frames are not kept");
        return found;
    }
    size_t pos = 0;
    std::string bytes;
    if (major >= 3 && (flags & 0x40)) {
        if (body.size() < 6) {
            found.damaged = true;
            return found;
        }
        if (!body.get(0, 4, bytes)) {
            found.warnings.push_back(unreadable);
            return found;
        }
        uint32_t ext = 0;
        // Some writers set the flag and write no extended header: the frames begin at once.
        bool frame_id = true;
        for (char c : bytes.substr(0, 4)) frame_id = frame_id && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'));
        if (frame_id) {
            // no extended header after all
        } else if (major == 3) {
            ext = 4 + be(bytes, 0, 4);
        } else if (!syncsafe(reinterpret_cast<const unsigned char*>(bytes.data()), ext)) {
            ext = UINT32_MAX;
        }
        if (!frame_id && ext > body.size()) {
            found.warnings.push_back("the ID3v2 tag's extended header runs past the tag; its frames are not kept");
            found.damaged = true;
            return found;
        }
        pos = frame_id ? 0 : ext;
    }
    const size_t id_length = major == 2 ? 3 : 4, header = major == 2 ? 6 : 10;
    // Some writers put 2.3's plain sizes into a 2.4 tag. Where those walk the frames further
    // than the syncsafe ones, they are what the tag means.
    const bool plain_sizes = major == 4 && plain_sizes_walk_further(body, pos);
    bool comment_final = false;
    std::string head;
    while (body.size() - pos >= header) {
        if (!body.get(pos, header, head)) {
            found.warnings.push_back(unreadable);
            found.damaged = true;
            break;
        }
        if (head[0] == 0) break; // the padding
        std::string id = head.substr(0, id_length);
        bool valid = true;
        for (char c : id) valid = valid && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'));
        uint32_t n = 0;
        if (major == 2) n = be(head, 3, 3);
        else if (major == 3 || plain_sizes) n = be(head, 4, 4);
        else valid = valid && syncsafe(reinterpret_cast<const unsigned char*>(head.data() + 4), n);
        if (!valid || n > body.size() - pos - header) {
            found.warnings.push_back(
                "an ID3v2 frame is damaged or runs past the tag; the frames after it are not kept");
            found.damaged = true;
            break;
        }
        const unsigned frame_flags = major == 2 ? 0 : be(head, 8, 2);
        const size_t at = pos + header;
        pos = at + n;
        const int text = text_index(id);
        const bool packed = major == 3 ? (frame_flags & 0x00C0) != 0 : (frame_flags & 0x000C) != 0;
        if (text < 0 || packed) ++found.other_frames;
        const bool wanted = is_kept(id) || (text >= 0 && !packed);
        std::string frame;
        if ((whole || (wanted && !packed && text >= 0)) && !body.get(at, n, frame)) {
            found.warnings.push_back(unreadable);
            found.damaged = true;
            break;
        }
        // A 2.4 tag marked unsynchronised as a whole may leave its frames unmarked.
        const bool tag_unsync_only = major == 4 && (flags & 0x80) && !(frame_flags & 0x0002);
        if (whole) found.frames.push_back({id, static_cast<uint16_t>(frame_flags), tag_unsync_only ? undo_unsync(frame) : frame});
        if (!wanted) continue;
        if (packed) {
            found.warnings.push_back("a compressed or encrypted " + id + " frame is not kept");
            continue;
        }
        if (text < 0 && !whole) continue; // a picture or the lyrics: only the whole read keeps them
        size_t skip = 0;
        if (major == 3 && (frame_flags & 0x0020)) skip += 1; // group
        if (major == 4 && (frame_flags & 0x0040)) skip += 1; // group
        if (major == 4 && (frame_flags & 0x0001)) skip += 4; // data length indicator
        if (skip > frame.size()) continue;
        frame.erase(0, skip);
        if (major == 4 && ((frame_flags & 0x0002) || (flags & 0x80))) frame = undo_unsync(frame);
        if (text >= 0) take_text_frame(found, text, frame, comment_final);
        else found.kept.push_back({major, id, std::move(frame)});
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

namespace {

// 2.2's three-letter names and their 2.3 forms.
const char* const k_v22_names[][2] = {
    {"BUF", "RBUF"}, {"CNT", "PCNT"}, {"COM", "COMM"}, {"CRA", "AENC"}, {"ETC", "ETCO"}, {"EQU", "EQUA"},
    {"GEO", "GEOB"}, {"IPL", "IPLS"}, {"LNK", "LINK"}, {"MCI", "MCDI"}, {"MLL", "MLLT"}, {"PIC", "APIC"},
    {"POP", "POPM"}, {"REV", "RVRB"}, {"RVA", "RVAD"}, {"SLT", "SYLT"}, {"STC", "SYTC"}, {"TAL", "TALB"},
    {"TBP", "TBPM"}, {"TCM", "TCOM"}, {"TCO", "TCON"}, {"TCR", "TCOP"}, {"TDA", "TDAT"}, {"TDY", "TDLY"},
    {"TEN", "TENC"}, {"TFT", "TFLT"}, {"TIM", "TIME"}, {"TKE", "TKEY"}, {"TLA", "TLAN"}, {"TLE", "TLEN"},
    {"TMT", "TMED"}, {"TOA", "TOPE"}, {"TOF", "TOFN"}, {"TOL", "TOLY"}, {"TOR", "TORY"}, {"TOT", "TOAL"},
    {"TP1", "TPE1"}, {"TP2", "TPE2"}, {"TP3", "TPE3"}, {"TP4", "TPE4"}, {"TPA", "TPOS"}, {"TPB", "TPUB"},
    {"TRC", "TSRC"}, {"TRD", "TRDA"}, {"TRK", "TRCK"}, {"TSI", "TSIZ"}, {"TSS", "TSSE"}, {"TT1", "TIT1"},
    {"TT2", "TIT2"}, {"TT3", "TIT3"}, {"TXT", "TEXT"}, {"TXX", "TXXX"}, {"TYE", "TYER"}, {"UFI", "UFID"},
    {"ULT", "USLT"}, {"WAF", "WOAF"}, {"WAR", "WOAR"}, {"WAS", "WOAS"}, {"WCM", "WCOM"}, {"WCP", "WCOP"},
    {"WPB", "WPUB"}, {"WXX", "WXXX"},
    // Ids of 2.2 that iTunes writes for its own frames, under the names players know in 2.3 and 2.4.
    {"TCP", "TCMP"}, {"TS2", "TSO2"}, {"TSC", "TSOC"}, {"TST", "TSOT"}, {"TSA", "TSOA"}, {"TSP", "TSOP"},
    {"GP1", "GRP1"}, {"MVN", "MVNM"}, {"MVI", "MVIN"}, {"PCS", "PCST"}, {"TDS", "TDES"}, {"TID", "TGID"},
    {"WFD", "WFED"}};

std::string v23_name(const std::string& id22) {
    for (const auto& n : k_v22_names)
        if (id22 == n[0]) return n[1];
    return {};
}

bool one_of(const std::string& id, std::initializer_list<const char*> ids) {
    for (const char* i : ids)
        if (id == i) return true;
    return false;
}

// Frames that 2.4 dropped, and frames that 2.4 brought, with no counterpart to turn them into.
bool only_in_23(const std::string& id) { return one_of(id, {"EQUA", "RVAD", "TRDA", "TSIZ"}); }
bool only_in_24(const std::string& id) {
    return one_of(id, {"ASPI", "EQU2", "RVA2", "SEEK", "SIGN", "TDEN", "TDRL", "TDTG", "TMCL", "TMOO", "TPRO", "TSOA",
                       "TSOP", "TSOT", "TSST", "CHAP", "CTOC"});
}
// Frames that start with a text encoding byte in a layout this writer does not turn.
bool has_other_encoded_text(const std::string& id) {
    return one_of(id, {"GEOB", "SYLT", "USER", "OWNE", "COMR", "WXXX", "IPLS", "TIPL"});
}

// The frame's body with its version's coding undone; false when it is compressed, encrypted or
// grouped, which this writer does not turn. With `as_read`, a grouped frame gives its body after
// the group byte, as the reader takes it.
bool plain_body(int major, const Id3v2Stored& f, std::string& body, bool as_read = false) {
    body = f.raw;
    const unsigned group = major == 3 ? 0x0020 : major == 4 ? 0x0040 : 0;
    if ((f.flags & group) && !as_read) return false;
    if ((f.flags & group) && body.empty()) return false;
    if (f.flags & group) body.erase(0, 1);
    if (major == 3) return (f.flags & 0x00C0) == 0;
    if (major != 4) return true;
    if (f.flags & 0x000C) return false;
    if (f.flags & 0x0001) {
        if (body.size() < 4) return false;
        body.erase(0, 4);
    }
    if (f.flags & 0x0002) body = undo_unsync(body);
    return true;
}

void put_frame(std::string& out, int major, const std::string& id, uint16_t flags, const std::string& body) {
    out += id;
    if (major == 4) put_syncsafe(out, static_cast<uint32_t>(body.size()));
    else put_be32(out, static_cast<uint32_t>(body.size()));
    out += static_cast<char>(flags >> 8);
    out += static_cast<char>(flags & 0xFF);
    out += body;
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

// One frame of version `from` in the form of `to` (different versions). False when it cannot
// be turned; `out` may receive no frame (a date frame merged elsewhere).
struct Turned {
    std::string id;
    uint16_t flags;
    std::string body;
};
bool turn(int from, int to, const Id3v2Stored& f, std::vector<Turned>& out) {
    std::string body;
    if (!plain_body(from, f, body)) return false;
    std::string id = from == 2 ? v23_name(f.id) : f.id;
    if (id.empty()) return false;
    // Status flags: 2.3 keeps them in the top three bits, 2.4 one bit lower.
    uint16_t status = from == 3 && to == 4 ? static_cast<uint16_t>((f.flags & 0xE000) >> 1)
                      : from == 4          ? static_cast<uint16_t>((f.flags & 0x7000) << 1)
                                           : 0;
    if (to == 4 && only_in_23(id)) return false;
    if (to == 3 && only_in_24(id)) return false;
    const int enc = body.empty() ? 0 : static_cast<unsigned char>(body[0]);
    if (enc > 3 && (id[0] == 'T' || one_of(id, {"COMM", "USLT", "APIC"}) || has_other_encoded_text(id))) return false;
    // Renamed frames.
    if (to == 4 && id == "TORY") id = "TDOR";
    else if (to == 3 && id == "TDOR") id = "TORY";
    else if (to == 4 && id == "IPLS") id = "TIPL";
    else if (to == 3 && id == "TIPL") id = "IPLS";
    const bool enc_fits = to == 4 || enc <= 1;
    if (id == "APIC" || id == "USLT" || id == "COMM") {
        Id3v2Frame old{from, id == "COMM" ? "USLT" : (from == 2 ? f.id : id), body};
        std::string turned_id, turned;
        if (!convert(old, to, turned_id, turned)) return false;
        out.push_back({id, status, turned});
        return true;
    }
    if (id == "TORY" && from == 4 && !body.empty()) {
        // 2.3's original release year: the year of 2.4's original release date.
        const auto v = text_values(enc, body.substr(1));
        out.push_back({id, status, text_body(to, {v.empty() ? "" : v[0].substr(0, 4)})});
        return true;
    }
    if (id[0] == 'T' && id != "TXXX" && !body.empty()) {
        if (!enc_fits || from == 4) out.push_back({id, status, text_body(to, text_values(enc, body.substr(1)))});
        else out.push_back({id, status, body});
        return true;
    }
    if (id == "TXXX" && !body.empty()) {
        size_t pos = 1;
        std::string desc;
        if (!take_text(body, pos, enc, desc)) return false;
        if (enc_fits) {
            out.push_back({id, status, body});
        } else {
            const int e = encoding_for(to);
            out.push_back({id, status,
                           std::string(1, static_cast<char>(e)) + encode(to, decode(enc, desc)) + terminator(e) +
                               encode(to, decode(enc, body.substr(pos)))});
        }
        return true;
    }
    if (has_other_encoded_text(id) && !enc_fits) return false;
    out.push_back({id, status, body});
    return true;
}

// Which of the seven texts a frame holds (as `text_index`), for frames of any version.
bool replaced_by(const Id3v2Stored& f, int major, const Id3v2Texts& t, unsigned cleared) {
    const int i = text_index(f.id);
    const std::string* given[] = {&t.title, &t.artist, &t.album, &t.year, &t.comment, &t.genre};
    if (i < 0 || i > 5 || (given[i]->empty() && !(cleared & (1u << i)))) return false;
    if (i != 4) return true;
    // A comment replaces only the comments without a description.
    std::string body;
    if (!plain_body(major, f, body, true) || body.size() < 4) return false;
    const int enc = static_cast<unsigned char>(body[0]);
    size_t pos = 4;
    std::string desc;
    return enc <= 3 && take_text(body, pos, enc, desc) && desc.empty();
}

} // namespace

Id3v2Rewrite rewrite_id3v2(int major, const Id3v2Texts& texts, const Id3v2Found& old, unsigned cleared) {
    Id3v2Rewrite r;
    std::vector<Id3v2Stored> carried;
    for (const Id3v2Stored& f : old.frames)
        if (!replaced_by(f, old.major, texts, cleared)) carried.push_back(f);
    // The date of a 2.3 tag is three frames; 2.4 has one.
    Id3v2Texts t = texts;
    std::vector<Turned> frames;
    if (old.present && old.major != major) {
        const int from = old.major;
        std::string year, date, time;
        for (const Id3v2Stored& f : carried) {
            std::string body;
            const std::string id = from == 2 ? v23_name(f.id) : f.id;
            if (major == 4 && one_of(id, {"TYER", "TDAT", "TIME"}) && plain_body(from, f, body) && !body.empty()) {
                const auto v = text_values(static_cast<unsigned char>(body[0]) & 3, body.substr(1));
                (id == "TYER" ? year : id == "TDAT" ? date : time) = v.empty() ? "" : v[0];
            }
        }
        if (major == 4 && t.year.empty() && !year.empty()) {
            t.year = year;
            if (date.size() == 4) t.year += "-" + date.substr(2, 2) + "-" + date.substr(0, 2);
            if (date.size() == 4 && time.size() == 4) t.year += "T" + time.substr(0, 2) + ":" + time.substr(2, 2);
        }
        // 2.3 has no release date: where the tag has no recording date, the release date's year
        // stands in as the year, as a reader of a 2.3 tag looks for it there.
        bool has_tdrc = false;
        for (const Id3v2Stored& f : carried) has_tdrc = has_tdrc || f.id == "TDRC";
        for (const Id3v2Stored& f : carried) {
            const std::string id = from == 2 ? v23_name(f.id) : f.id;
            if (major == 4 && one_of(id, {"TYER", "TDAT", "TIME"})) continue;
            if (major == 3 && (id == "TDRC" || (id == "TDRL" && !has_tdrc)) && t.year.empty()) {
                std::string body;
                if (!plain_body(from, f, body) || body.empty()) {
                    r.left_behind = f.id;
                    return r;
                }
                const auto v = text_values(static_cast<unsigned char>(body[0]) & 3, body.substr(1));
                const std::string d = v.empty() ? "" : v[0];
                if (d.size() >= 4) frames.push_back({"TYER", 0, text_frame_body(3, d.substr(0, 4))});
                if (d.size() >= 10) frames.push_back({"TDAT", 0, text_frame_body(3, d.substr(8, 2) + d.substr(5, 2))});
                if (d.size() >= 16)
                    frames.push_back({"TIME", 0, text_frame_body(3, d.substr(11, 2) + d.substr(14, 2))});
                continue;
            }
            if (!turn(from, major, f, frames)) {
                r.left_behind = f.id;
                return r;
            }
        }
    } else {
        for (const Id3v2Stored& f : carried) frames.push_back({f.id, f.flags, f.raw});
    }
    std::string body = make_id3v2(major, t, {}, &r.warnings).substr(10);
    for (const Turned& f : frames) {
        if (f.body.size() > 0x0FFFFFFF) {
            r.left_behind = f.id;
            return r;
        }
        put_frame(body, major, f.id, f.flags, f.body);
    }
    if (body.size() > 0x0FFFFFFF) {
        r.left_behind = "the tag as a whole";
        return r;
    }
    r.tag = "ID3";
    r.tag += static_cast<char>(major);
    r.tag += std::string(2, '\0');
    put_syncsafe(r.tag, static_cast<uint32_t>(body.size()));
    r.tag += body;
    return r;
}

std::string id3v2_with_footer(const std::string& tag) {
    if (tag.size() < 10 || tag[3] != 4) return tag;
    std::string out = tag;
    out[5] = static_cast<char>(out[5] | 0x10);
    out += "3DI";
    out += out.substr(3, 7);
    return out;
}

Id3v2Rewrite repair_id3v2(int major, const Id3v2Found& old, std::vector<Id3v2Repair>& repairs) {
    Id3v2Found fixed = old;
    const int own = old.major == 4 ? 4 : 3; // the encoding of the tag's own version
    for (Id3v2Stored& f : fixed.frames) {
        const std::string id = old.major == 2 ? v23_name(f.id) : f.id;
        const bool text = id.size() == 4 && id[0] == 'T';
        if (!text && id != "COMM" && id != "USLT") continue;
        std::string body;
        if (!plain_body(old.major, f, body) || body.empty() || body[0] != 0) continue;
        // The fields of the body: a description first for TXXX, COMM and USLT, after the language
        // for the last two.
        size_t pos = id == "COMM" || id == "USLT" ? 4 : 1;
        if (pos > body.size()) continue;
        const std::string head = body.substr(1, pos - 1);
        std::vector<std::string> fields;
        if (id == "TXXX" || id == "COMM" || id == "USLT") {
            std::string desc;
            if (!take_text(body, pos, 0, desc)) continue;
            fields.push_back(desc);
        }
        fields.push_back(body.substr(pos));
        bool any = false;
        for (const std::string& s : fields) any = any || is_mis_marked_cp932(s);
        if (!any) continue;
        std::string rebuilt(1, static_cast<char>(encoding_for(own)));
        rebuilt += head;
        std::string before, after;
        for (size_t i = 0; i < fields.size(); ++i) {
            const bool last = i + 1 == fields.size();
            const std::string utf8 =
                is_mis_marked_cp932(fields[i]) ? platform::cp932_to_utf8(fields[i]) : decode(0, fields[i]);
            if (last) {
                before = decode(0, fields[i]);
                after = utf8;
            }
            rebuilt += encode(own, utf8);
            if (!last) rebuilt += terminator(encoding_for(own));
        }
        repairs.push_back({f.id, before, after});
        f.raw = rebuilt;
        f.flags &= old.major == 4 ? 0x7000 : 0xE000; // the body is plain now
    }
    if (repairs.empty() && major == old.major) return {};
    return rewrite_id3v2(major, {}, fixed);
}

} // namespace formats

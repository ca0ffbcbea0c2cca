// The writing of an ID3v2 tag: a new one from the texts, or a rewrite that keeps every frame.
#include "core/formats/id3v2_frames.h"
#include "core/formats/id3v2_internal.h"

namespace formats {

using namespace id3v2;

namespace {

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

void put_frame(std::string& out, int major, const std::string& id, uint16_t flags, const std::string& body) {
    out += id;
    if (major == 4) put_syncsafe(out, static_cast<uint32_t>(body.size()));
    else put_be32(out, static_cast<uint32_t>(body.size()));
    out += static_cast<char>(flags >> 8);
    out += static_cast<char>(flags & 0xFF);
    out += body;
}

// Which of the seven texts a frame holds (as `text_index`), for frames of any version.
bool replaced_by(const Id3v2Frame& f, int major, const Id3v2Texts& t, unsigned cleared) {
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

// The frames of the texts given; an empty text gets none.
std::string text_frames(int major, const Id3v2Texts& t, std::vector<std::string>* warnings) {
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
    return frames;
}

} // namespace

std::string make_id3v2(int major, const Id3v2Texts& t, std::vector<std::string>* warnings) {
    std::string frames = text_frames(major, t, warnings);
    std::string tag = "ID3";
    tag += static_cast<char>(major);
    tag += std::string(2, '\0'); // revision, flags
    if (frames.size() > 0x0FFFFFFF) {
        if (warnings) warnings->push_back("the texts are too large for a tag; none is written");
        frames.clear();
    }
    put_syncsafe(tag, static_cast<uint32_t>(frames.size()));
    return tag + frames;
}

Id3v2Rewrite rewrite_id3v2(int major, const Id3v2Texts& texts, const Id3v2Found& old, unsigned cleared) {
    Id3v2Rewrite r;
    std::vector<Id3v2Frame> carried;
    for (const Id3v2Frame& f : old.frames)
        if (!replaced_by(f, old.major, texts, cleared)) carried.push_back(f);
    Id3v2Texts t = texts;
    std::vector<Id3v2Frame> frames;
    if (old.present && old.major != major) {
        r.left_behind = turn_frames(old.major, major, carried, t, frames);
        if (!r.left_behind.empty()) return r;
    } else {
        frames = std::move(carried);
    }
    std::string body = text_frames(major, t, &r.warnings);
    for (const Id3v2Frame& f : frames) {
        if (f.raw.size() > 0x0FFFFFFF) {
            r.left_behind = f.id;
            return r;
        }
        put_frame(body, major, f.id, f.flags, f.raw);
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

} // namespace formats

// The reading of an ID3v2 tag: its header, the frames, the seven texts.
#include "core/formats/id3v2_frames.h"
#include "core/formats/id3v2_internal.h"
#include "core/formats/reader.h"

namespace formats {

namespace id3v2 {

std::string undo_unsync(const std::string& in) {
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        out += in[i];
        if (static_cast<unsigned char>(in[i]) == 0xFF && i + 1 < in.size() && in[i + 1] == 0) ++i;
    }
    return out;
}

// the group byte, as the reader takes it.
bool plain_body(int major, const Id3v2Frame& f, std::string& body, bool as_read) {
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

} // namespace id3v2

using namespace id3v2;

namespace {

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
    TagBody(platform::ByteSource& source, uint64_t offset, size_t size)
        : source_(source), offset_(offset), size_(size) {}
    bool read_whole() {
        whole_.assign(size_, '\0');
        if (size_ && !source_.read_at(offset_, whole_.data(), size_)) return false;
        is_whole_ = true;
        return true;
    }
    void undo_unsync() { whole_ = id3v2::undo_unsync(whole_), size_ = whole_.size(); }
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
        const bool wanted = is_picture_or_lyrics(id) || (text >= 0 && !packed);
        std::string frame;
        if ((whole || (wanted && !packed && text >= 0)) && !body.get(at, n, frame)) {
            found.warnings.push_back(unreadable);
            found.damaged = true;
            break;
        }
        // A 2.4 tag marked unsynchronised as a whole may leave its frames unmarked.
        const bool tag_unsync_only = major == 4 && (flags & 0x80) && !(frame_flags & 0x0002);
        if (whole)
            found.frames.push_back(
                {id, static_cast<uint16_t>(frame_flags), tag_unsync_only ? undo_unsync(frame) : frame});
        if (!wanted) continue;
        if (packed) {
            found.warnings.push_back("a compressed or encrypted " + id + " frame is not kept");
            continue;
        }
        if (text < 0) continue; // a picture or the lyrics: `frames` holds it
        size_t skip = 0;
        if (major == 3 && (frame_flags & 0x0020)) skip += 1; // group
        if (major == 4 && (frame_flags & 0x0040)) skip += 1; // group
        if (major == 4 && (frame_flags & 0x0001)) skip += 4; // data length indicator
        if (skip > frame.size()) continue;
        frame.erase(0, skip);
        if (major == 4 && ((frame_flags & 0x0002) || (flags & 0x80))) frame = undo_unsync(frame);
        take_text_frame(found, text, frame, comment_final);
    }
    return found;
}

} // namespace formats

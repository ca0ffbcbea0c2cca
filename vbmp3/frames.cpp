#include "frames.h"

#include <algorithm>
#include <cstring>

namespace vbmp3 {
namespace {

const int kBitrateV1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
const int kBitrateV2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
const int kRateV1[4] = {44100, 48000, 32000, 0};

// The first audio frame is searched within this much of the stream.
constexpr uint64_t kFirstFrameSearch = 262144;
// A container with more chunks or tags in front than this is not walked further: the open
// reads a bounded amount whatever the file says.
constexpr int kMaxChunks = 4096;
constexpr int kMaxId3v2Tags = 64;

uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
uint32_t le32(const uint8_t* p) {
    return (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

// True when `n` bytes starting at `pos` lie inside [0, size).
bool fits(uint64_t size, uint64_t pos, uint64_t n) { return pos <= size && n <= size - pos; }

bool same_stream(const FrameHeader& a, const FrameHeader& b) {
    return a.version == b.version && a.sample_rate == b.sample_rate;
}

// The header at `pos`, when its frame lies whole before `end` and in the source.
bool complete_frame(BufferedReader& r, uint64_t pos, uint64_t end, FrameHeader& h) {
    const uint8_t* p = r.get(pos, 4);
    return p && parse_header(p, h) && fits(end, pos, uint64_t(h.length)) && r.get(pos, size_t(h.length));
}

// A header counts as a frame's start after a jump or lost sync only when its frame is complete
// and is followed either by the end of the range or by another header of the same stream.
bool confirmed_frame(BufferedReader& r, uint64_t pos, uint64_t end, FrameHeader& h) {
    if (!complete_frame(r, pos, end, h)) return false;
    uint64_t next = pos + uint64_t(h.length);
    if (next == end) return true;
    FrameHeader n;
    const uint8_t* p = r.get(next, 4);
    return p && parse_header(p, n) && same_stream(h, n);
}

// Offset of the Xing/Info tag inside a frame: after the header and the side information.
size_t side_info_end(const FrameHeader& h) {
    if (h.version == 1) return h.channels == 2 ? 36 : 21;
    return h.channels == 2 ? 21 : 13;
}

// A Xing/Info or VBRI header in the frame `f` (whole, `h.length` bytes); false when none.
bool read_vbr_tag(const uint8_t* f, const FrameHeader& h, Probe& out) {
    const size_t len = size_t(h.length);
    const size_t x = side_info_end(h);
    const bool xing = fits(len, x, 8) && !std::memcmp(f + x, "Xing", 4);
    if (xing || (fits(len, x, 8) && !std::memcmp(f + x, "Info", 4))) {
        const uint32_t flags = be32(f + x + 4);
        size_t at = x + 8;
        if ((flags & 1) && fits(len, at, 4)) out.tag_frames = be32(f + at), at += 4;
        if ((flags & 2) && fits(len, at, 4)) out.tag_bytes = be32(f + at), at += 4;
        if ((flags & 4) && fits(len, at, 100)) {
            std::memcpy(out.toc, f + at, 100);
            out.has_toc = true;
        }
        out.tag_vbr = xing;
        return true;
    }
    if (fits(len, 36, 18) && !std::memcmp(f + 36, "VBRI", 4)) {
        out.tag_bytes = be32(f + 36 + 10);
        out.tag_frames = be32(f + 36 + 14);
        out.tag_vbr = true;
        return true;
    }
    return false;
}

// Where the MPEG stream lies: the body of an RMP file's "data" chunk, else the whole file; in
// either, after ID3v2 tags in front (skipped by their synchsafe sizes, a footer adds ten
// bytes) and before a trailing ID3v1 record. Empty when the container is damaged.
StreamRange locate_stream(BufferedReader& r, uint64_t size) {
    StreamRange range{0, size};
    const uint8_t* head = r.get(0, 12);
    if (head && !std::memcmp(head, "RIFF", 4) && !std::memcmp(head + 8, "RMP3", 4)) {
        uint64_t pos = 12;
        bool found = false;
        for (int n = 0; n < kMaxChunks && fits(size, pos, 8); ++n) {
            const uint8_t* c = r.get(pos, 8);
            if (!c) break;
            const uint32_t len = le32(c + 4);
            if (!std::memcmp(c, "data", 4)) {
                range.begin = pos + 8;
                range.end = fits(size, range.begin, len) ? range.begin + len : size;
                found = true;
                break;
            }
            const uint64_t skip = uint64_t(len) + (len & 1);
            if (!fits(size, pos + 8, skip)) break;
            pos += 8 + skip;
        }
        if (!found) return StreamRange{0, 0};
    }
    for (int n = 0; n < kMaxId3v2Tags && fits(range.end, range.begin, 10); ++n) {
        const uint8_t* t = r.get(range.begin, 10);
        if (!t || std::memcmp(t, "ID3", 3) || ((t[6] | t[7] | t[8] | t[9]) & 0x80)) break;
        uint64_t len = (uint64_t(t[6]) << 21) | (uint64_t(t[7]) << 14) | (uint64_t(t[8]) << 7) | t[9];
        len += 10;
        if (t[5] & 0x10) len += 10;
        if (!fits(range.end, range.begin, len)) return StreamRange{range.begin, range.begin};
        range.begin += len;
    }
    if (range.end - range.begin >= 128) {
        const uint8_t* t = r.get(range.end - 128, 3);
        if (t && !std::memcmp(t, "TAG", 3)) range.end -= 128;
    }
    return range;
}

} // namespace

bool parse_header(const uint8_t* p, FrameHeader& out) {
    const uint32_t h = be32(p);
    if ((h & 0xFFE00000u) != 0xFFE00000u) return false;
    const int ver_bits = int((h >> 19) & 3), layer_bits = int((h >> 17) & 3);
    const int br_index = int((h >> 12) & 15), sr_index = int((h >> 10) & 3);
    if (ver_bits == 1 || layer_bits != 1 || br_index == 0 || br_index == 15 || sr_index == 3) return false;
    if ((h & 3) == 2) return false; // reserved emphasis
    FrameHeader r;
    r.version = ver_bits == 3 ? 1 : ver_bits == 2 ? 2 : 25;
    r.bitrate = r.version == 1 ? kBitrateV1[br_index] : kBitrateV2[br_index];
    r.sample_rate = kRateV1[sr_index] / (r.version == 1 ? 1 : r.version == 2 ? 2 : 4);
    r.channels = ((h >> 6) & 3) == 3 ? 1 : 2;
    const int padding = int((h >> 9) & 1);
    r.samples = r.version == 1 ? 1152 : 576;
    r.length = (r.version == 1 ? 144 : 72) * r.bitrate * 1000 / r.sample_rate + padding;
    if (r.length < 21) return false;
    out = r;
    return true;
}

const uint8_t* BufferedReader::get(uint64_t pos, size_t n) {
    if (pos >= start_ && pos - start_ <= len_ && n <= len_ - size_t(pos - start_)) return buf_.data() + (pos - start_);
    // The last read found the source's end before this request's: nothing more is there.
    if (short_ && pos >= start_) return nullptr;
    const size_t want = std::max(block_, n);
    if (buf_.size() < want) buf_.resize(want);
    start_ = pos;
    len_ = source_.read_at(pos, buf_.data(), want);
    short_ = len_ < want;
    return n <= len_ ? buf_.data() : nullptr;
}

bool probe_stream(BufferedReader& r, uint64_t file_size, Probe& out) {
    Probe p;
    p.range = locate_stream(r, file_size);
    const uint64_t end = p.range.end;
    if (p.range.begin >= end) return false;
    const uint64_t search_end = std::min(end, p.range.begin + kFirstFrameSearch);
    uint64_t pos = p.range.begin;
    FrameHeader h;
    while (pos < search_end && !confirmed_frame(r, pos, end, h)) ++pos;
    if (pos >= search_end) return false;
    p.first = h;
    p.audio_begin = pos;
    const uint8_t* frame = r.get(pos, size_t(h.length));
    if (frame && read_vbr_tag(frame, h, p)) {
        // The tag's frame carries no audio: the stream's audio starts at the next frame.
        uint64_t next = pos + uint64_t(h.length);
        if (find_frame(r, next, end, h, p.first, true, search_end > next ? search_end - next : 0) != Find::found)
            return false;
        p.tag_begin = pos;
        p.audio_begin = next;
    }
    out = p;
    return true;
}

Totals provisional_totals(const Probe& p) {
    const FrameHeader& f = p.first;
    const uint64_t bytes = p.range.end - p.audio_begin;
    Totals t;
    if (p.tag_frames) {
        t.frames = p.tag_frames;
    } else {
        // A constant rate: the stream's bytes over the mean frame length, padding included.
        const uint64_t per_frame_x_rate = uint64_t(f.version == 1 ? 144 : 72) * 1000 * uint64_t(f.bitrate);
        t.frames = std::max<uint64_t>(1, (bytes * uint64_t(f.sample_rate) + per_frame_x_rate / 2) / per_frame_x_rate);
    }
    const uint64_t samples = t.frames * uint64_t(f.samples);
    t.seconds = int(std::min<uint64_t>(samples / uint64_t(f.sample_rate), 0x7FFFFFFF));
    const uint64_t counted = p.tag_bytes > uint64_t(f.length) ? p.tag_bytes - uint64_t(f.length) : bytes;
    t.average_bitrate = p.tag_frames ? int(counted * 8 * uint64_t(f.sample_rate) / samples / 1000) : f.bitrate;
    t.vbr = p.tag_vbr;
    return t;
}

Totals walked_totals(const Probe& p, uint64_t frames, uint64_t bytes, bool vbr) {
    const FrameHeader& f = p.first;
    uint64_t tag = p.tag_frames;
    if (tag > 2 * frames + 16 || tag * 2 + 16 < frames) tag = 0;
    Totals t;
    t.frames = tag ? tag : frames;
    t.seconds = int(std::min<uint64_t>(t.frames * uint64_t(f.samples) / uint64_t(f.sample_rate), 0x7FFFFFFF));
    t.average_bitrate = frames ? int(bytes * 8 * uint64_t(f.sample_rate) / (frames * uint64_t(f.samples)) / 1000) : 0;
    t.vbr = vbr;
    t.final = true;
    return t;
}

Find find_frame(BufferedReader& r, uint64_t& pos, uint64_t end, const FrameHeader& first, FrameHeader& out,
                bool confirm, uint64_t max_scan) {
    if (pos >= end) return Find::end;
    FrameHeader h;
    if (!confirm) {
        if (!r.get(pos, 4)) return Find::end; // the source ends here (cut, or a read error)
        if (complete_frame(r, pos, end, h) && same_stream(h, first)) {
            out = h;
            return Find::found;
        }
        ++pos; // lost sync: look for the next frame that is followed by another
    }
    const uint64_t limit = end - pos > max_scan ? pos + max_scan : end;
    for (; pos < limit; ++pos) {
        if (confirmed_frame(r, pos, end, h) && same_stream(h, first)) {
            out = h;
            return Find::found;
        }
        if (!r.get(pos, 4)) return Find::end;
    }
    return pos >= end ? Find::end : Find::gap;
}

void FrameIndex::note(uint64_t frame, uint64_t offset) {
    if (frame % step_ != 0 || frame / step_ != offsets_.size()) return;
    if (offsets_.size() == capacity_) {
        // Thinned before it grows: the vector never holds more than its capacity.
        for (size_t i = 0; 2 * i < offsets_.size(); ++i) offsets_[i] = offsets_[2 * i];
        offsets_.resize((offsets_.size() + 1) / 2);
        step_ *= 2;
        if (frame % step_ != 0 || frame / step_ != offsets_.size()) return;
    }
    offsets_.push_back(offset);
}

bool FrameIndex::before(uint64_t frame, uint64_t& at_frame, uint64_t& offset) const {
    if (offsets_.empty()) return false;
    const size_t i = size_t(std::min<uint64_t>(frame / step_, offsets_.size() - 1));
    at_frame = uint64_t(i) * step_;
    offset = offsets_[i];
    return true;
}

} // namespace vbmp3

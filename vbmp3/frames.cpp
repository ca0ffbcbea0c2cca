#include "frames.h"

#include <cstring>

namespace vbmp3 {
namespace {

const int kBitrateV1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
const int kBitrateV2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
const int kRateV1[4] = {44100, 48000, 32000, 0};

uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
uint32_t le32(const uint8_t* p) {
    return (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

// True when `n` bytes starting at `pos` lie inside a buffer of `size` bytes.
bool fits(size_t size, size_t pos, size_t n) { return pos <= size && n <= size - pos; }

bool same_stream(const FrameHeader& a, const FrameHeader& b) {
    return a.version == b.version && a.sample_rate == b.sample_rate;
}

// A header counts as the start of the stream only when its frame is complete and is followed
// either by the end of the range or by another header of the same stream.
bool confirmed_frame(const uint8_t* data, size_t end, size_t pos, FrameHeader& h) {
    if (!parse_header(data, end, pos, h) || !fits(end, pos, size_t(h.length))) return false;
    size_t next = pos + size_t(h.length);
    if (next == end) return true;
    FrameHeader n;
    return parse_header(data, end, next, n) && same_stream(h, n);
}

// Offset of the Xing/Info tag inside a frame: after the header and the side information.
size_t side_info_end(const FrameHeader& h) {
    if (h.version == 1) return h.channels == 2 ? 36 : 21;
    return h.channels == 2 ? 21 : 13;
}

// The frame count of a Xing/Info or VBRI header in the frame at `pos`; 0 when there is none.
uint32_t vbr_frame_count(const uint8_t* data, size_t pos, const FrameHeader& h) {
    const uint8_t* f = data + pos; // the caller checked that the whole frame is inside
    size_t len = size_t(h.length);
    size_t x = side_info_end(h);
    if (fits(len, x, 12) && (!std::memcmp(f + x, "Xing", 4) || !std::memcmp(f + x, "Info", 4))) {
        uint32_t flags = be32(f + x + 4);
        if (flags & 1) return be32(f + x + 8);
        return 0;
    }
    if (fits(len, 36, 18) && !std::memcmp(f + 36, "VBRI", 4)) return be32(f + 36 + 14);
    return 0;
}

bool has_vbr_tag(const uint8_t* data, size_t pos, const FrameHeader& h) {
    const uint8_t* f = data + pos;
    size_t len = size_t(h.length);
    size_t x = side_info_end(h);
    if (fits(len, x, 4) && (!std::memcmp(f + x, "Xing", 4) || !std::memcmp(f + x, "Info", 4))) return true;
    return fits(len, 36, 4) && !std::memcmp(f + 36, "VBRI", 4);
}

} // namespace

bool parse_header(const uint8_t* data, size_t size, size_t pos, FrameHeader& out) {
    if (!fits(size, pos, 4)) return false;
    uint32_t h = be32(data + pos);
    if ((h & 0xFFE00000u) != 0xFFE00000u) return false;
    int ver_bits = int((h >> 19) & 3), layer_bits = int((h >> 17) & 3);
    int br_index = int((h >> 12) & 15), sr_index = int((h >> 10) & 3);
    if (ver_bits == 1 || layer_bits != 1 || br_index == 0 || br_index == 15 || sr_index == 3) return false;
    if ((h & 3) == 2) return false; // reserved emphasis
    FrameHeader r;
    r.version = ver_bits == 3 ? 1 : ver_bits == 2 ? 2 : 25;
    r.bitrate = r.version == 1 ? kBitrateV1[br_index] : kBitrateV2[br_index];
    r.sample_rate = kRateV1[sr_index] / (r.version == 1 ? 1 : r.version == 2 ? 2 : 4);
    r.channels = ((h >> 6) & 3) == 3 ? 1 : 2;
    int padding = int((h >> 9) & 1);
    r.samples = r.version == 1 ? 1152 : 576;
    r.length = (r.version == 1 ? 144 : 72) * r.bitrate * 1000 / r.sample_rate + padding;
    if (r.length < 21) return false;
    out = r;
    return true;
}

StreamRange locate_stream(const uint8_t* data, size_t size) {
    StreamRange r{0, size};
    // RIFF "RMP3": the stream is the body of the "data" chunk.
    if (size >= 12 && !std::memcmp(data, "RIFF", 4) && !std::memcmp(data + 8, "RMP3", 4)) {
        size_t pos = 12;
        while (fits(size, pos, 8)) {
            uint32_t len = le32(data + pos + 4);
            if (!std::memcmp(data + pos, "data", 4)) {
                r.begin = pos + 8;
                r.end = fits(size, r.begin, len) ? r.begin + len : size;
                break;
            }
            size_t skip = size_t(len) + (len & 1);
            if (!fits(size, pos + 8, skip)) return StreamRange{0, 0};
            pos += 8 + skip;
        }
        if (r.begin == 0) return StreamRange{0, 0};
    }
    // ID3v2 tags in front, skipped by their synchsafe sizes (a footer adds ten bytes).
    while (fits(r.end, r.begin, 10) && !std::memcmp(data + r.begin, "ID3", 3)) {
        const uint8_t* t = data + r.begin;
        if ((t[6] | t[7] | t[8] | t[9]) & 0x80) break;
        size_t len = (size_t(t[6]) << 21) | (size_t(t[7]) << 14) | (size_t(t[8]) << 7) | t[9];
        len += 10;
        if (t[5] & 0x10) len += 10;
        if (!fits(r.end, r.begin, len)) return StreamRange{r.begin, r.begin};
        r.begin += len;
    }
    // A trailing ID3v1 record.
    if (r.end - r.begin >= 128 && !std::memcmp(data + r.end - 128, "TAG", 3)) r.end -= 128;
    return r;
}

bool scan_stream(const uint8_t* data, size_t size, StreamRange range, StreamInfo& out) {
    if (range.end > size || range.begin > range.end) return false;
    const size_t end = range.end;
    // The first frame: searched within the first 256 KiB of the stream.
    size_t first = range.begin;
    const size_t search_end = end - range.begin > 262144 ? range.begin + 262144 : end;
    FrameHeader h;
    while (first < search_end && !confirmed_frame(data, end, first, h)) ++first;
    if (first >= search_end) return false;

    StreamInfo info;
    info.first = h;
    uint32_t tag_frames = 0;
    size_t pos = first;
    if (has_vbr_tag(data, pos, h)) {
        tag_frames = vbr_frame_count(data, pos, h);
        pos += size_t(h.length); // the tag frame carries no audio
    }
    uint64_t bytes = 0;
    int last_bitrate = 0;
    while (pos < end) {
        FrameHeader f;
        if (parse_header(data, end, pos, f) && same_stream(f, info.first) && fits(end, pos, size_t(f.length))) {
            if (info.frames.empty()) {
                info.first = f;
            } else if (f.bitrate != last_bitrate) {
                info.vbr = true;
            }
            last_bitrate = f.bitrate;
            info.frames.push_back(uint32_t(pos));
            bytes += uint64_t(f.length);
            pos += size_t(f.length);
            continue;
        }
        // Lost sync: look for the next frame that is followed by another.
        size_t next = pos + 1;
        FrameHeader g;
        while (next < end && !(confirmed_frame(data, end, next, g) && same_stream(g, info.first))) ++next;
        pos = next;
    }
    if (info.frames.empty()) return false;
    // A header's count is believed unless it is far from what the walk found (a damaged tag).
    const uint64_t walked_frames = info.frames.size();
    if (uint64_t(tag_frames) > 2 * walked_frames + 16 || uint64_t(tag_frames) * 2 + 16 < walked_frames) tag_frames = 0;
    info.vbr_header = tag_frames != 0;
    info.total_frames = tag_frames ? tag_frames : uint32_t(walked_frames);
    const uint64_t samples = uint64_t(info.total_frames) * uint64_t(info.first.samples);
    info.total_seconds = int(samples / uint64_t(info.first.sample_rate));
    const uint64_t walked = uint64_t(info.frames.size()) * uint64_t(info.first.samples);
    info.average_bitrate = int(bytes * 8 * uint64_t(info.first.sample_rate) / walked / 1000);
    out = std::move(info);
    return true;
}

} // namespace vbmp3

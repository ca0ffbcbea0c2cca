// MPEG audio layer III frame headers and the containers around the stream: ID3v2 in front,
// RIFF "RMP3", a trailing ID3v1 record. Everything here reads outside data: each read is
// checked against the buffer's length and no size from the file is trusted.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vbmp3 {

struct FrameHeader {
    int version = 0;     // 1 = MPEG-1, 2 = MPEG-2, 25 = MPEG-2.5
    int bitrate = 0;     // kbit/s
    int sample_rate = 0; // Hz
    int channels = 0;    // 1 or 2
    int length = 0;      // bytes, header included
    int samples = 0;     // per channel in one frame
};

// Reads the four bytes at data[pos]; false when they are no layer III header we can play
// (free format and reserved values included) or fewer than four bytes are left.
bool parse_header(const uint8_t* data, size_t size, size_t pos, FrameHeader& out);

// Where the MPEG stream lies inside a whole file: [begin, end).
struct StreamRange {
    size_t begin = 0;
    size_t end = 0;
};
StreamRange locate_stream(const uint8_t* data, size_t size);

struct StreamInfo {
    FrameHeader first;            // the first audio frame
    std::vector<uint32_t> frames; // offsets of the audio frames, relative to the data
    uint32_t total_frames = 0;    // from the Xing/Info or VBRI header, else frames.size()
    bool vbr_header = false;      // a Xing or VBRI header gave the count
    bool vbr = false;             // bitrates differ between frames
    int average_bitrate = 0;      // kbit/s
    int total_seconds = 0;
};

// Finds the first frame inside the range, reads a Xing/Info or VBRI header and walks all frame
// headers. False when the range holds no complete audio frame.
bool scan_stream(const uint8_t* data, size_t size, StreamRange range, StreamInfo& out);

} // namespace vbmp3

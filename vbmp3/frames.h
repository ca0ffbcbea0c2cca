// MPEG audio layer III frame headers and the containers around the stream: ID3v2 in front,
// RIFF "RMP3", a trailing ID3v1 record. Everything here reads outside data through a buffered
// reader of a few blocks, never the whole file: each read is checked, no size from the file is
// trusted, and every offset is 64-bit.
#pragma once
#include <algorithm>
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

// Reads the four bytes at p; false when they are no layer III header we can play (free format
// and reserved values included).
bool parse_header(const uint8_t* p, FrameHeader& out);

// Where bytes come from: a file, or memory in a test.
class ByteSource {
public:
    // Copies up to `n` bytes from `offset`; fewer at the end of the source or after an error.
    virtual size_t read_at(uint64_t offset, uint8_t* out, size_t n) = 0;

protected:
    ~ByteSource() = default;
};

// One block of a source at a time, read again from where a request falls outside it.
class BufferedReader {
public:
    BufferedReader(ByteSource& source, size_t block) : source_(source), block_(block) {}
    // `n` (at most a block) contiguous bytes at `pos`, valid until the next call; null when
    // the source has fewer (its end, a cut, a read error).
    const uint8_t* get(uint64_t pos, size_t n);

private:
    ByteSource& source_;
    const size_t block_;
    std::vector<uint8_t> buf_;
    uint64_t start_ = 0;
    size_t len_ = 0;
    bool short_ = false; // the last read ended before the block did: the source ends there
};

// Where the MPEG stream lies inside a file: [begin, end).
struct StreamRange {
    uint64_t begin = 0;
    uint64_t end = 0;
};

// What the open reads: the container, the first frame and a Xing/Info or VBRI header.
struct Probe {
    StreamRange range;
    FrameHeader first;        // the first audio frame
    uint64_t tag_begin = 0;   // the offset of a Xing/Info or VBRI header's frame
    uint64_t audio_begin = 0; // its offset (after a Xing/Info or VBRI frame, which holds no audio)
    uint32_t tag_frames = 0;  // the audio frames a Xing/Info or VBRI header counts; 0 = none
    uint64_t tag_bytes = 0;   // the bytes a Xing header counts (from its own frame on); 0 = none
    bool tag_vbr = false;     // a "Xing" or VBRI header (an "Info" one marks a constant rate)
    bool has_toc = false;     // the Xing header's table of contents
    uint8_t toc[100] = {};    // byte position at each percent of the time, in 256ths
};

// Reads the container and finds the first frame within the first 256 KiB of the stream. False
// when the file holds no complete audio frame there.
bool probe_stream(BufferedReader& r, uint64_t file_size, Probe& out);

// The total time and bit rate: from the open's headers (or arithmetic for a constant rate)
// until the walk of all frame headers has ended, from the walk after that.
struct Totals {
    uint64_t frames = 0;
    int seconds = 0;
    int average_bitrate = 0; // kbit/s
    bool vbr = false;
    bool final = false; // the walk has ended
};
Totals provisional_totals(const Probe& p);
// After a walk that counted `frames` frames of `bytes` bytes: a header's count is believed
// unless it is far from the walk's (a damaged tag).
Totals walked_totals(const Probe& p, uint64_t frames, uint64_t bytes, bool vbr);

enum class Find {
    found, // a frame starts at pos
    end,   // no frame before the end of the range, or the source ended early
    gap,   // `max_scan` bytes searched without a frame: pos moved on, call again
};
// Finds the next audio frame of the stream at or after `pos` (before `end`). A header at `pos`
// itself is taken when its frame is complete, unless `confirm` asks, as after a jump into the
// middle of the stream, that each frame be followed by another header of the stream (or the
// end). Sets `pos` to the frame's offset and `out` to its header.
Find find_frame(BufferedReader& r, uint64_t& pos, uint64_t end, const FrameHeader& first, FrameHeader& out,
                bool confirm, uint64_t max_scan);

// A sparse index of the stream: the offsets of every `step`-th frame, about one a second. When
// it is full, every other entry goes and the step doubles, so it never outgrows its capacity.
class FrameIndex {
public:
    FrameIndex(uint32_t step, size_t capacity) : step_(step ? step : 1), capacity_(capacity < 2 ? 2 : capacity) {}
    uint32_t step() const { return step_; }
    // Room for the entries of a stream of about `frames` frames, in one block.
    void reserve(uint64_t frames) { offsets_.reserve(size_t(std::min<uint64_t>(frames / step_ + 2, capacity_))); }
    // Frames come in order, from 0; only those at a multiple of the step are kept.
    void note(uint64_t frame, uint64_t offset);
    // The last kept frame at or before `frame`; false while the index is empty.
    bool before(uint64_t frame, uint64_t& at_frame, uint64_t& offset) const;
    size_t size() const { return offsets_.size(); }

private:
    uint32_t step_;
    size_t capacity_;
    std::vector<uint64_t> offsets_; // entry i: frame i * step_
};

} // namespace vbmp3

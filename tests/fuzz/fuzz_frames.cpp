// The input is a whole file as vbmp3.dll reads it: the open's look at the container, the first
// frame and a Xing/Info or VBRI header; the walk of every frame with its sparse index; and the
// starts a seek asks for, found again by a second header. The reads come in small blocks, so
// that frames and headers fall across the block edges.
#include <algorithm>
#include <cstring>

#include "tests/fuzz/fuzz_check.h"
#include "vbmp3/frames.h"

using namespace vbmp3;

namespace {

class Memory final : public ByteSource {
public:
    Memory(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t read_at(uint64_t offset, uint8_t* out, size_t n) override {
        if (offset >= size_) return 0;
        n = std::min<uint64_t>(n, size_ - offset);
        std::memcpy(out, data_ + offset, n);
        return n;
    }

private:
    const uint8_t* data_;
    size_t size_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Memory source(data, size);
    BufferedReader reader(source, 1500); // about one large frame: refills at every other frame
    Probe p;
    if (!probe_stream(reader, size, p)) return 0;
    const uint64_t end = p.range.end;
    FUZZ_CHECK(p.range.begin <= p.audio_begin && p.audio_begin < end && end <= size);
    FUZZ_CHECK(p.first.length >= 21 && p.audio_begin + uint64_t(p.first.length) <= end);
    const Totals open = provisional_totals(p);
    FUZZ_CHECK(open.frames > 0 && open.seconds >= 0 && !open.final);

    // The walk, with an index small enough to thin out on the way.
    FrameIndex index(2, 4);
    uint64_t pos = p.audio_begin, frames = 0, bytes = 0;
    FrameHeader f;
    for (;;) {
        const uint64_t before = pos;
        const Find found = find_frame(reader, pos, end, p.first, f, false, 64);
        FUZZ_CHECK(pos >= before);
        if (found == Find::gap) continue;
        if (found == Find::end) break;
        FUZZ_CHECK(pos + uint64_t(f.length) <= end && f.sample_rate == p.first.sample_rate);
        index.note(frames, pos);
        bytes += uint64_t(f.length);
        pos += uint64_t(f.length);
        ++frames;
    }
    FUZZ_CHECK(frames >= 1 && index.size() <= 4);
    const Totals walked = walked_totals(p, frames, bytes, false);
    FUZZ_CHECK(walked.final && walked.seconds >= 0);

    // Seeks: the index's entry at or before each target is a frame the walk passed, and a
    // search from anywhere finds a frame inside the stream or reaches its end.
    for (uint64_t target : {uint64_t(0), frames / 2, frames, frames * 3}) {
        uint64_t at = 0, offset = 0;
        FUZZ_CHECK(index.before(target, at, offset));
        FUZZ_CHECK(at <= std::max(target, frames) && offset >= p.audio_begin && offset < end);
        uint64_t from = p.range.begin + (target * 7919) % (end - p.range.begin);
        if (find_frame(reader, from, end, p.first, f, true, end) == Find::found)
            FUZZ_CHECK(from + uint64_t(f.length) <= end);
    }
    return 0;
}

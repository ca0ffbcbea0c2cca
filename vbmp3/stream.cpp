#include "stream.h"

#include <algorithm>
#include <memory>

namespace vbmp3 {
namespace {

// The open reads a block or two: the container's headers and the first frames.
constexpr size_t kOpenBlock = 64 * 1024;
// The walk's reads: the file once through, a block at a time.
constexpr size_t kWalkBlock = 64 * 1024;
// Searched for a frame before the walk looks at its cancel flag again.
constexpr uint64_t kWalkScan = 1 << 20;
// About one index entry a second; at most this many (128 KiB, four and a half hours at one a
// second), after which the step doubles.
constexpr size_t kIndexCapacity = 16384;
// A start this many frames (about 13 s) past the walk's last entry is walked to from there
// rather than estimated.
constexpr uint64_t kShortWalk = 512;

uint32_t frames_per_second(const FrameHeader& h) {
    return uint32_t(std::max(1, (h.sample_rate + h.samples / 2) / h.samples));
}

// The mean length of a frame in bytes, from the open's headers.
double mean_frame_bytes(const Probe& p) {
    if (p.tag_frames) return double(p.range.end - p.audio_begin) / double(p.tag_frames);
    const FrameHeader& f = p.first;
    return double(f.version == 1 ? 144 : 72) * 1000.0 * double(f.bitrate) / double(f.sample_rate);
}

} // namespace

void wait_for_thread(HANDLE thread) {
    // Looked up, not imported: systems before Vista lack the call.
    using CancelFn = BOOL(WINAPI*)(HANDLE);
    static const CancelFn cancel = [] {
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        return kernel
                   ? reinterpret_cast<CancelFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "CancelSynchronousIo")))
                   : nullptr;
    }();
    // The thread has been asked to end and does so within moments, unless a read it is blocked
    // in keeps it from looking: that read is cancelled then (again, should the thread start
    // another before it looks).
    if (WaitForSingleObject(thread, 1000) != WAIT_TIMEOUT) return;
    while (WaitForSingleObject(thread, 50) == WAIT_TIMEOUT)
        if (cancel) cancel(thread);
}

size_t FileSource::read_at(uint64_t offset, uint8_t* out, size_t n) {
    size_t done = 0;
    while (done < n) {
        const uint64_t at = offset + done;
        OVERLAPPED where{};
        where.Offset = DWORD(at & 0xFFFFFFFFu);
        where.OffsetHigh = DWORD(at >> 32);
        DWORD got = 0;
        const DWORD want = DWORD(std::min<size_t>(n - done, size_t(1) << 20));
        if (!ReadFile(file_, out + done, want, &got, &where) || got == 0) break;
        done += got;
    }
    return done;
}

Stream::Stream(HANDLE file, const Probe& probe)
    : file_(file),
      probe_(probe),
      index_(frames_per_second(probe.first), kIndexCapacity),
      totals_(provisional_totals(probe)) {
    index_.reserve(totals_.frames);
    InitializeCriticalSection(&lock_);
}

Stream::~Stream() {
    stop_walk();
    DeleteCriticalSection(&lock_);
    CloseHandle(file_);
}

std::shared_ptr<Stream> Stream::open(const wchar_t* path) {
    if (!path || !*path) return nullptr;
    HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return nullptr;
    std::shared_ptr<Stream> stream;
    try {
        LARGE_INTEGER size{};
        Probe probe;
        FileSource source(f);
        BufferedReader reader(source, kOpenBlock);
        if (GetFileSizeEx(f, &size) && size.QuadPart > 0 && probe_stream(reader, uint64_t(size.QuadPart), probe))
            stream.reset(new Stream(f, probe));
    } catch (...) {}
    if (!stream) {
        CloseHandle(f);
        return nullptr;
    }
    // The walk holds the stream too: it is never freed under the walk's feet.
    auto* keep = new std::shared_ptr<Stream>(stream);
    stream->walker_ = CreateThread(nullptr, 0, walk_thread, keep, 0, &stream->walker_id_);
    if (!stream->walker_) delete keep; // the totals stay those of the open
    return stream;
}

DWORD WINAPI Stream::walk_thread(LPVOID param) {
    std::unique_ptr<std::shared_ptr<Stream>> keep(static_cast<std::shared_ptr<Stream>*>(param));
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    try {
        (*keep)->walk();
    } catch (...) {
        // Out of memory: the totals stay those of the open.
    }
    return 0;
}

void Stream::walk() {
    FileSource source(file_);
    BufferedReader reader(source, kWalkBlock);
    const uint64_t end = probe_.range.end;
    uint64_t pos = probe_.audio_begin, frames = 0, bytes = 0;
    int last_bitrate = 0;
    bool vbr = false;
    for (;;) {
        if (InterlockedCompareExchange(&cancel_, 0, 0)) return;
        FrameHeader f;
        const Find found = find_frame(reader, pos, end, probe_.first, f, false, kWalkScan);
        if (found == Find::gap) continue;
        if (found == Find::end) break;
        // Only this thread changes the index, so it reads the step without the lock.
        if (frames % index_.step() == 0) {
            EnterCriticalSection(&lock_);
            index_.note(frames, pos);
            walked_frames_ = frames;
            walked_bytes_ = bytes;
            LeaveCriticalSection(&lock_);
        }
        if (frames && f.bitrate != last_bitrate) vbr = true;
        last_bitrate = f.bitrate;
        bytes += uint64_t(f.length);
        pos += uint64_t(f.length);
        ++frames;
    }
    // Ended early, perhaps by a cancelled read: what was counted is not the whole stream.
    if (InterlockedCompareExchange(&cancel_, 0, 0)) return;
    EnterCriticalSection(&lock_);
    walked_frames_ = frames;
    walked_bytes_ = bytes;
    if (frames) totals_ = walked_totals(probe_, frames, bytes, vbr);
    totals_.final = true;
    LeaveCriticalSection(&lock_);
}

void Stream::stop_walk() {
    if (!walker_) return;
    InterlockedExchange(&cancel_, 1);
    // The walk checks the flag between frames; it never waits for itself (it lets the stream go
    // last when the others dropped it without this call).
    if (walker_id_ != GetCurrentThreadId()) wait_for_thread(walker_);
    CloseHandle(walker_);
    walker_ = nullptr;
}

Totals Stream::totals() const {
    EnterCriticalSection(&lock_);
    Totals t = totals_;
    LeaveCriticalSection(&lock_);
    return t;
}

Stream::Start Stream::start_for(uint64_t target) const {
    const Probe& p = probe_;
    Start s;
    s.offset = p.audio_begin;
    uint64_t walked, bytes;
    bool done;
    EnterCriticalSection(&lock_);
    walked = walked_frames_;
    bytes = walked_bytes_;
    done = totals_.final;
    index_.before(target, s.frame, s.offset);
    LeaveCriticalSection(&lock_);
    // Passed by the walk, or close enough after where it is: walked to from the index.
    if (done || target <= s.frame + kShortWalk) {
        s.exact = true;
        return s;
    }
    uint64_t estimate;
    if (p.has_toc && p.tag_frames) {
        // The table of contents: the byte position at each percent of the time, in 256ths of
        // the bytes from the header's frame on.
        const double percent = std::min(99.999, double(target) * 100.0 / double(p.tag_frames));
        const int i = int(percent);
        const double a = p.toc[i], b = i < 99 ? p.toc[i + 1] : 256.0;
        const uint64_t span = p.tag_bytes ? p.tag_bytes : p.range.end - p.tag_begin;
        estimate = p.tag_begin + uint64_t((a + (b - a) * (percent - i)) / 256.0 * double(span));
    } else {
        // The mean frame length, from the walk where it has gone far enough.
        const double mean = walked >= 64 ? double(bytes) / double(walked) : mean_frame_bytes(p);
        estimate = s.offset + uint64_t(double(target - s.frame) * mean);
    }
    // Never before what the walk has seen of the stream.
    s.offset = std::min(std::max(estimate, s.offset), p.range.end);
    s.frame = target;
    s.exact = false;
    return s;
}

} // namespace vbmp3

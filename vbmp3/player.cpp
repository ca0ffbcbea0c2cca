// The playback thread.
//
// Shared with the caller's thread (all single aligned 32-bit LONGs in g_shared, see player.h):
//   state        - caller writes 1 before starting the thread and flips 1<->2 for pause and
//                  resume (compare-exchange, so a finished player's 0 stays); this thread
//                  writes 0 when it ends; the caller also writes 0 after joining it
//   want_stop    - caller writes, this thread reads
//   want_pause   - caller writes, this thread reads
//   seek_to      - caller writes a second count, this thread takes it (exchanges in -1)
//   position_ms  - this thread writes, caller reads
//   volume       - caller writes, this thread reads and hands to waveOutSetVolume
//   scope[512]   - this thread writes, caller reads slot by slot
// Nothing else is shared but the stream (stream.h): the PlayJob is handed over when the thread
// starts. The file is read here, in blocks a little ahead of the decoder; a read that fails or
// comes up short (a file cut while it plays) ends the stream as its end does.
#include "player.h"

#include <mmreg.h>
#include <msacm.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>

namespace vbmp3 {

Shared g_shared = {0, 0, 0, -1, 0, LONG(0xFFFFFFFF), {}};

namespace {

LONG get(volatile LONG& v) { return InterlockedCompareExchange(&v, 0, 0); }
void put(volatile LONG& v, LONG x) { InterlockedExchange(&v, x); }

// One ACM conversion stream from MPEG layer III to 16-bit PCM, fed whole frames.
class Decoder {
public:
    ~Decoder() { close(); }
    bool open(const FrameHeader& h) {
        close();
        MPEGLAYER3WAVEFORMAT src{};
        src.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
        src.wfx.nChannels = WORD(h.channels);
        src.wfx.nSamplesPerSec = DWORD(h.sample_rate);
        src.wfx.nAvgBytesPerSec = DWORD(h.bitrate * 1000 / 8);
        src.wfx.nBlockAlign = 1;
        src.wfx.wBitsPerSample = 0;
        src.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
        src.wID = MPEGLAYER3_ID_MPEG;
        src.fdwFlags = MPEGLAYER3_FLAG_PADDING_OFF;
        src.nBlockSize = WORD(h.length);
        src.nFramesPerBlock = 1;
        src.nCodecDelay = 1393;
        WAVEFORMATEX dst{};
        dst.wFormatTag = WAVE_FORMAT_PCM;
        dst.nChannels = WORD(h.channels);
        dst.nSamplesPerSec = DWORD(h.sample_rate);
        dst.wBitsPerSample = 16;
        dst.nBlockAlign = WORD(2 * h.channels);
        dst.nAvgBytesPerSec = dst.nSamplesPerSec * dst.nBlockAlign;
        if (acmStreamOpen(&stream_, nullptr, &src.wfx, &dst, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0) {
            stream_ = nullptr;
            return false;
        }
        return true;
    }
    void close() {
        if (stream_) acmStreamClose(stream_, 0);
        stream_ = nullptr;
    }
    // Converts `n` bytes of whole frames; appends the PCM samples (interleaved) to `out`.
    bool convert(const uint8_t* src, size_t n, size_t max_samples, std::vector<int16_t>& out) {
        if (!stream_ || n == 0) return false;
        in_.assign(src, src + n);
        pcm_.resize(max_samples);
        ACMSTREAMHEADER hdr{};
        hdr.cbStruct = sizeof(hdr);
        hdr.pbSrc = in_.data();
        hdr.cbSrcLength = DWORD(n);
        hdr.pbDst = reinterpret_cast<LPBYTE>(pcm_.data());
        hdr.cbDstLength = DWORD(pcm_.size() * sizeof(int16_t));
        if (acmStreamPrepareHeader(stream_, &hdr, 0) != 0) return false;
        MMRESULT r = acmStreamConvert(stream_, &hdr, 0);
        acmStreamUnprepareHeader(stream_, &hdr, 0);
        if (r != 0) return false;
        size_t got = hdr.cbDstLengthUsed / sizeof(int16_t);
        out.insert(out.end(), pcm_.begin(), pcm_.begin() + ptrdiff_t(std::min(got, pcm_.size())));
        return true;
    }

private:
    HACMSTREAM stream_ = nullptr;
    std::vector<uint8_t> in_;
    std::vector<int16_t> pcm_;
};

// The player's reads: a block ahead of the frames it decodes (16 frames are at most 23 KiB).
constexpr size_t kPlayBlock = 64 * 1024;
// Searched for a frame before the thread looks at its requests again.
constexpr uint64_t kPlayScan = 256 * 1024;

class Player {
public:
    explicit Player(PlayJob& job)
        : job_(job),
          stream_(*job.stream),
          h_(stream_.probe().first),
          source_(stream_.file()),
          reader_(source_, kPlayBlock) {}
    ~Player() { shut(); }

    bool start() {
        out_rate_ = DWORD(h_.sample_rate / job_.decimate);
        fmt_.wFormatTag = WAVE_FORMAT_PCM;
        fmt_.nChannels = WORD(h_.channels);
        fmt_.nSamplesPerSec = out_rate_;
        fmt_.wBitsPerSample = 16;
        fmt_.nBlockAlign = WORD(2 * h_.channels);
        fmt_.nAvgBytesPerSec = out_rate_ * fmt_.nBlockAlign;
        event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (!event_) return false;
        if (waveOutOpen(&wave_, WAVE_MAPPER, &fmt_, DWORD_PTR(event_), 0, CALLBACK_EVENT) != MMSYSERR_NOERROR) {
            wave_ = nullptr;
            return false;
        }
        size_t frames = std::max<size_t>(256, size_t(out_rate_) * size_t(job_.buffer_ms) / 1000);
        for (auto& b : bufs_) {
            b.pcm.resize(frames * size_t(h_.channels));
            b.hdr = WAVEHDR{};
            b.hdr.lpData = reinterpret_cast<LPSTR>(b.pcm.data());
            b.hdr.dwBufferLength = DWORD(b.pcm.size() * sizeof(int16_t));
            if (waveOutPrepareHeader(wave_, &b.hdr, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) return false;
            b.prepared = true;
        }
        // What is written but not yet played never spans more than the buffers.
        history_frames_ = frames * std::size(bufs_);
        history_.assign(history_frames_ * size_t(h_.channels), 0);
        return restart_at(job_.start_seconds);
    }

    void run() {
        LONG volume_set = -1;
        bool paused = false;
        for (;;) {
            if (get(g_shared.want_stop)) break;
            LONG seek = InterlockedExchange(&g_shared.seek_to, -1);
            if (seek >= 0) {
                waveOutReset(wave_);
                if (!restart_at(int(seek))) break;
                if (paused) waveOutPause(wave_);
            }
            bool want_pause = get(g_shared.want_pause) != 0;
            if (want_pause != paused) {
                if (want_pause) waveOutPause(wave_);
                else waveOutRestart(wave_);
                paused = want_pause;
            }
            LONG vol = get(g_shared.volume);
            if (vol != volume_set) {
                waveOutSetVolume(wave_, DWORD(vol));
                volume_set = vol;
            }
            bool queued = false;
            for (auto& b : bufs_) {
                if (b.queued && (b.hdr.dwFlags & WHDR_DONE)) b.queued = false;
                if (!b.queued && !ended_) fill(b);
                queued = queued || b.queued;
            }
            publish();
            if (ended_ && !queued) break;
            WaitForSingleObject(event_, 20);
        }
    }

private:
    struct Buffer {
        std::vector<int16_t> pcm;
        WAVEHDR hdr{};
        bool prepared = false;
        bool queued = false;
    };

    // Starts decoding at a second; the device's position counts from here on. The start comes
    // from the stream's index, walked on to the frame, or from an estimate, refined to the next
    // frame that a second header confirms.
    bool restart_at(int seconds) {
        for (auto& b : bufs_) b.queued = false;
        const uint64_t target = uint64_t(std::max(0, seconds)) * uint64_t(h_.sample_rate) / uint64_t(h_.samples);
        const Stream::Start start = stream_.start_for(target);
        const uint64_t end = stream_.probe().range.end;
        pos_ = start.offset;
        at_end_ = false;
        uint64_t frame = start.frame;
        FrameHeader f;
        while (!at_end_ && !get(g_shared.want_stop)) {
            if (start.exact && frame == target) break;
            const Find found = find_frame(reader_, pos_, end, stream_.probe().first, f, !start.exact, kPlayScan);
            if (found == Find::end) at_end_ = true;
            if (found != Find::found) continue;
            if (!start.exact) break; // confirmed: the frame to start with
            pos_ += uint64_t(f.length);
            ++frame;
        }
        base_samples_ = (start.exact ? frame : target) * uint64_t(h_.samples);
        written_ = 0;
        pending_.clear();
        pending_pos_ = 0;
        carry_.clear();
        ended_ = false;
        put(g_shared.position_ms, LONG(base_samples_ * 1000 / uint64_t(h_.sample_rate)));
        return decoder_.open(h_);
    }

    // Decodes a few more frames into pending_ (at the output rate). False at the end.
    bool decode_more() {
        if (at_end_) return false;
        const uint64_t end = stream_.probe().range.end;
        uint64_t from = pos_, to = pos_;
        size_t count = 0;
        while (count < 16) {
            FrameHeader f;
            uint64_t at = pos_;
            const Find found = find_frame(reader_, at, end, stream_.probe().first, f, false, kPlayScan);
            if (found == Find::end) {
                at_end_ = true;
                break;
            }
            if (count && at != to) break; // after damage: the frames handed over are contiguous
            pos_ = at;
            if (found == Find::gap) break;
            if (!count) from = at;
            pos_ = at + uint64_t(f.length);
            to = pos_;
            ++count;
        }
        if (!count) return !at_end_; // searched on without a frame yet
        const uint8_t* bytes = reader_.get(from, size_t(to - from));
        if (!bytes) {
            at_end_ = true;
            return false;
        }
        std::vector<int16_t> pcm;
        size_t room = (count + 8) * size_t(h_.samples) * size_t(h_.channels);
        if (!decoder_.convert(bytes, size_t(to - from), room, pcm)) return true; // skip bad data
        // Decimate by averaging groups of `decimate` frames.
        const size_t ch = size_t(h_.channels), d = size_t(job_.decimate);
        if (d == 1) {
            pending_.insert(pending_.end(), pcm.begin(), pcm.end());
        } else {
            carry_.insert(carry_.end(), pcm.begin(), pcm.end());
            size_t groups = carry_.size() / (ch * d);
            for (size_t g = 0; g < groups; ++g)
                for (size_t c = 0; c < ch; ++c) {
                    int sum = 0;
                    for (size_t k = 0; k < d; ++k) sum += carry_[(g * d + k) * ch + c];
                    pending_.push_back(int16_t(sum / int(d)));
                }
            carry_.erase(carry_.begin(), carry_.begin() + ptrdiff_t(groups * ch * d));
        }
        return true;
    }

    void fill(Buffer& b) {
        size_t need = b.pcm.size(), have = 0;
        while (have < need) {
            if (pending_pos_ >= pending_.size()) {
                pending_.clear();
                pending_pos_ = 0;
                if (get(g_shared.want_stop) || !decode_more()) break;
                continue;
            }
            size_t n = std::min(need - have, pending_.size() - pending_pos_);
            std::memcpy(b.pcm.data() + have, pending_.data() + pending_pos_, n * sizeof(int16_t));
            have += n;
            pending_pos_ += n;
        }
        if (have == 0) {
            ended_ = true;
            return;
        }
        // Keep a copy for the scope, indexed by the output frame number.
        const size_t ch = size_t(h_.channels);
        for (size_t i = 0; i < have; ++i) {
            uint64_t frame = written_ + i / ch;
            history_[size_t(frame % history_frames_) * ch + i % ch] = b.pcm[i];
        }
        written_ += have / ch;
        b.hdr.dwBufferLength = DWORD(have * sizeof(int16_t));
        b.hdr.dwFlags &= ~DWORD(WHDR_DONE);
        if (waveOutWrite(wave_, &b.hdr, sizeof(WAVEHDR)) == MMSYSERR_NOERROR) b.queued = true;
        else ended_ = true;
    }

    // Position and scope of what the device plays now.
    void publish() {
        MMTIME t{};
        t.wType = TIME_SAMPLES;
        uint64_t played = 0;
        if (waveOutGetPosition(wave_, &t, sizeof(t)) == MMSYSERR_NOERROR) {
            if (t.wType == TIME_SAMPLES) played = t.u.sample;
            else if (t.wType == TIME_BYTES) played = t.u.cb / fmt_.nBlockAlign;
        }
        played = std::min<uint64_t>(played, written_);
        uint64_t src = base_samples_ + played * uint64_t(job_.decimate);
        put(g_shared.position_ms, LONG(src * 1000 / uint64_t(h_.sample_rate)));
        const size_t ch = size_t(h_.channels);
        for (size_t i = 0; i < 256; ++i) {
            uint64_t frame = played + i;
            LONG l = 0, r = 0;
            if (frame < written_ && written_ - frame <= history_frames_) {
                const int16_t* s = &history_[size_t(frame % history_frames_) * ch];
                l = LONG(s[0]) * 100 / 32768;
                r = LONG(s[ch - 1]) * 100 / 32768;
            }
            put(g_shared.scope[i], l);
            put(g_shared.scope[256 + i], r);
        }
    }

    void shut() {
        if (wave_) {
            waveOutReset(wave_);
            for (auto& b : bufs_)
                if (b.prepared) waveOutUnprepareHeader(wave_, &b.hdr, sizeof(WAVEHDR));
            waveOutClose(wave_);
            wave_ = nullptr;
        }
        if (event_) CloseHandle(event_);
        event_ = nullptr;
        decoder_.close();
    }

    PlayJob& job_;
    const Stream& stream_;
    FrameHeader h_;
    FileSource source_;
    BufferedReader reader_;
    uint64_t pos_ = 0;    // where the next frame is looked for
    bool at_end_ = false; // no frame left to decode: the range's end, a cut, a read error
    Decoder decoder_;
    WAVEFORMATEX fmt_{};
    DWORD out_rate_ = 0;
    HWAVEOUT wave_ = nullptr;
    HANDLE event_ = nullptr;
    Buffer bufs_[4];
    std::vector<int16_t> pending_, carry_;
    std::vector<int16_t> history_; // the PCM handed to the device, for the scope, by frame number
    size_t history_frames_ = 1;
    size_t pending_pos_ = 0;
    uint64_t base_samples_ = 0; // source samples before the point playback started from
    uint64_t written_ = 0;      // output frames handed to the device since then
    bool ended_ = false;
};

} // namespace

DWORD WINAPI play_thread(LPVOID param) {
    std::unique_ptr<PlayJob> job(static_cast<PlayJob*>(param));
    try {
        Player p(*job);
        if (p.start()) p.run();
    } catch (...) {
        // Out of memory: playback just ends.
    }
    for (auto& s : g_shared.scope) put(s, 0);
    put(g_shared.state, 0);
    return 0;
}

} // namespace vbmp3

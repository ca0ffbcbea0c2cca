// An open MP3 file and what is known of its stream: what the open read (the container, the
// first frame, a Xing/Info or VBRI header), and what a walk of all frame headers, on a thread
// of its own, adds later: the exact total and a sparse index of frame offsets.
//
// Threads: the caller's thread opens the stream, reads its totals and ends the walk; the walk
// thread fills the index and the totals; the playback thread reads the file and asks where
// to start. Each holds the stream through a shared_ptr, so the file stays open until the last
// of them lets go. The index, the walk's counts and the totals are read and written under
// `lock_` only; everything else is set at the open and read-only after it.
#pragma once
#include <windows.h>

#include <memory>

#include "frames.h"

namespace vbmp3 {

// Reads a file at offsets (never through its file pointer), so threads can share the handle.
class FileSource final : public ByteSource {
public:
    explicit FileSource(HANDLE file) : file_(file) {}
    size_t read_at(uint64_t offset, uint8_t* out, size_t n) override;

private:
    HANDLE file_;
};

// Waits until a thread of the library has ended, with no time limit: the library may be
// unloaded only once none of its threads runs. A read that blocks (a stalled network share)
// is cancelled while the wait lasts, where the system can cancel it (Windows Vista and
// later); elsewhere the wait lasts until the read returns.
void wait_for_thread(HANDLE thread);

class Stream {
public:
    // Opens the file with read, write and delete sharing (the editor writes the ID3v1 record
    // in place while it plays) and reads only what the open needs, then starts the walk. Null
    // when the file cannot be read or holds no audio frame where the stream should start.
    static std::shared_ptr<Stream> open(const wchar_t* path);
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    HANDLE file() const { return file_; }
    const Probe& probe() const { return probe_; }
    // Provisional until the walk has ended (Totals::final), exact after it.
    Totals totals() const;

    // Where playback of a frame starts: the offset of frame `frame` when `exact` (the player
    // then walks `target - frame` frames on from there), else an estimate from the Xing
    // table of contents or from the mean frame length, to be refined to the next frame that a
    // second header confirms.
    struct Start {
        uint64_t offset = 0;
        uint64_t frame = 0;
        bool exact = false;
    };
    Start start_for(uint64_t target) const;

    // Ends the walk early and waits for its thread to end; the totals then stay as they are.
    void stop_walk();

private:
    Stream(HANDLE file, const Probe& probe);
    static DWORD WINAPI walk_thread(LPVOID param);
    void walk();

    HANDLE file_;
    Probe probe_;
    HANDLE walker_ = nullptr;
    DWORD walker_id_ = 0;
    volatile LONG cancel_ = 0; // the caller's thread writes 1, the walk reads it

    mutable CRITICAL_SECTION lock_;
    FrameIndex index_;           // guarded
    uint64_t walked_frames_ = 0; // guarded: frames the walk has passed
    uint64_t walked_bytes_ = 0;  // guarded: their bytes
    Totals totals_;              // guarded
};

} // namespace vbmp3

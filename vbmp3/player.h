// The playback thread: decodes through the system's MP3 codec (ACM) and plays through waveOut.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>

#include "stream.h"

namespace vbmp3 {

// Values the caller's thread and the playback thread share; each one is a single aligned
// 32-bit LONG, read and written with Interlocked calls only.
struct Shared {
    volatile LONG state;       // 0 stopped/ended, 1 playing, 2 paused: the caller writes 1 at
                               // start and 1<->2 by compare-exchange, the thread 0 at its end
    volatile LONG want_stop;   // caller writes 1; the thread reads it
    volatile LONG want_pause;  // caller writes 0/1; the thread follows it
    volatile LONG seek_to;     // caller writes seconds, -1 = no request; the thread takes it
    volatile LONG position_ms; // written by the thread: where playback is now
    volatile LONG volume;      // caller writes waveOut's packed volume; the thread applies it
    volatile LONG scope[512];  // written by the thread: 256 left then 256 right samples of what
                               // plays now, scaled to +-100; each slot on its own
};
extern Shared g_shared;

// Everything the thread needs, handed over whole when the thread starts and owned by it from
// then on; the caller's thread never touches it again. The stream is shared (stream.h says
// how): the thread reads the file through it, a little ahead of the decoder.
struct PlayJob {
    std::shared_ptr<Stream> stream;
    int start_seconds = 0;
    int decimate = 1; // 1, 2 or 4: output rate = sample rate / decimate
    int buffer_ms = 100;
};

// Thread entry; the parameter is a PlayJob* the thread deletes.
DWORD WINAPI play_thread(LPVOID param);

} // namespace vbmp3

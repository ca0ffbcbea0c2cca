// The entry points of vbmp3.dll. All are __stdcall, exported by plain names (vbmp3.def), and
// none lets a C++ exception out: each body runs inside guard(). Files are opened by their
// UTF-16 names only: vbmp3_open's ANSI path is converted first.
//
// An open reads only the file's first blocks (stream.h): the total it gives is provisional
// until the walk of the frame headers, on a thread of its own, has ended; vbmp3_getMpegInfo
// gives the refined one from then on, and a 1 at offset 32 of its block says so.
//
// Threads: the caller's thread runs these functions; the playback thread (player.cpp) shares
// the 32-bit values of g_shared with it, and the stream with it and the walk.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "player.h"
#include "stream.h"

using namespace vbmp3;

extern "C" {
int WINAPI vbmp3_getMpegInfo(void* block56);
void WINAPI vbmp3_close(void);
}

namespace {

// Caller-side state; only the caller's thread touches it.
struct Library {
    bool ready = false;
    std::shared_ptr<Stream> stream; // the open file; null when none is open
    HANDLE thread = nullptr;
    int start_seconds = 0; // where the next play starts
    int player_option[4] = {128, 0, 30, 0};
    int decode_option[3] = {0, 0, 24000};
    int volume_left = 100, volume_right = 100;
};
Library g_lib;

template <class F>
auto guard(F f, decltype(f()) fallback) -> decltype(f()) {
    try {
        return f();
    } catch (...) {
        return fallback;
    }
}

LONG get(volatile LONG& v) { return InterlockedCompareExchange(&v, 0, 0); }
void put(volatile LONG& v, LONG x) { InterlockedExchange(&v, x); }

void put_int(void* block, size_t offset, int value) {
    std::memcpy(static_cast<char*>(block) + offset, &value, sizeof(value));
}

// Stops the playback thread and waits until it has ended, however long its read takes: a
// thread left running could be in the library's code when the caller unloads it, and a
// second play would start beside it. Harmless when none runs.
void join_player() {
    if (!g_lib.thread) return;
    put(g_shared.want_stop, 1);
    wait_for_thread(g_lib.thread);
    CloseHandle(g_lib.thread);
    g_lib.thread = nullptr;
    put(g_shared.state, 0);
}

DWORD packed_volume() {
    auto scale = [](int v) { return DWORD(v < 0 ? 0 : v > 100 ? 0xFFFF : v * 0xFFFF / 100); };
    return scale(g_lib.volume_left) | (scale(g_lib.volume_right) << 16);
}

int decimation() {
    switch (g_lib.decode_option[0]) {
    case 1: return 2;
    case 2: return 4;
    default: return 1;
    }
}

// The one way in for both open calls; a failed open leaves no file open.
int open_file(const wchar_t* path, void* info272) {
    if (!g_lib.ready || !path) return 0;
    vbmp3_close();
    g_lib.stream = Stream::open(path);
    if (!g_lib.stream) return 0;
    g_lib.start_seconds = 0;
    if (info272) {
        std::memset(info272, 0, 272);
        vbmp3_getMpegInfo(info272);
    }
    return 1;
}

// A path in the system's ANSI code page, in UTF-16; empty when its bytes are no text of that
// code page (an empty name opens nothing: such a path fails as a missing file does).
std::wstring ansi_to_utf16(const char* path) {
    int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (n <= 1) return {};
    std::wstring wide(size_t(n), L'\0');
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, wide.data(), n) != n) return {};
    wide.resize(size_t(n - 1)); // the count held the terminating zero
    return wide;
}

} // namespace

extern "C" {

int WINAPI vbmp3_init(void) {
    return guard(
        [] {
            g_lib.ready = true;
            put(g_shared.state, 0);
            put(g_shared.seek_to, -1);
            return 1;
        },
        0);
}

int WINAPI vbmp3_getState(int* seconds) {
    return guard(
        [&] {
            LONG state = get(g_shared.state);
            if (seconds) *seconds = g_lib.thread ? int(get(g_shared.position_ms) / 1000) : g_lib.start_seconds;
            return int(state);
        },
        0);
}

int WINAPI vbmp3_getMpegInfo(void* block56) {
    return guard(
        [&] {
            if (!block56 || !g_lib.stream) return 0;
            std::memset(block56, 0, 56);
            const FrameHeader& h = g_lib.stream->probe().first;
            const Totals t = g_lib.stream->totals();
            const StreamRange& range = g_lib.stream->probe().range;
            put_int(block56, 0, h.version);
            put_int(block56, 4, 3); // layer
            put_int(block56, 8, h.sample_rate);
            put_int(block56, 12, h.channels);
            put_int(block56, 16, t.average_bitrate);
            put_int(block56, 20, int(std::min<uint64_t>(t.frames, 0x7FFFFFFF)));
            put_int(block56, 24, t.vbr ? 1 : 0);
            put_int(block56, 28, int(std::min<uint64_t>(range.end - range.begin, 0x7FFFFFFF)));
            put_int(block56, 32, t.final ? 1 : 0);
            put_int(block56, 52, t.seconds);
            return 1;
        },
        0);
}

int WINAPI vbmp3_getWave(int* left256, int* right256) {
    return guard(
        [&] {
            if (!left256 || !right256) return 0;
            for (int i = 0; i < 256; ++i) {
                left256[i] = int(get(g_shared.scope[i]));
                right256[i] = int(get(g_shared.scope[256 + i]));
            }
            return get(g_shared.state) == 1 ? 1 : 0;
        },
        0);
}

int WINAPI vbmp3_getVolume(int* left, int* right) {
    return guard(
        [&] {
            if (left) *left = g_lib.volume_left;
            if (right) *right = g_lib.volume_right;
            return 1;
        },
        0);
}

void WINAPI vbmp3_setVolume(int left, int right) {
    guard(
        [&] {
            g_lib.volume_left = left < 0 ? 0 : left > 100 ? 100 : left;
            g_lib.volume_right = right < 0 ? 0 : right > 100 ? 100 : right;
            put(g_shared.volume, LONG(packed_volume()));
            return 0;
        },
        0);
}

int WINAPI vbmp3_openW(const wchar_t* path, void* info272) {
    return guard([&] { return open_file(path, info272); }, 0);
}

// For callers that hold paths in the system's ANSI code page; a name with characters outside
// it can only be opened by vbmp3_openW.
int WINAPI vbmp3_open(const char* path, void* info272) {
    return guard(
        [&] {
            if (!path) return 0;
            return open_file(ansi_to_utf16(path).c_str(), info272);
        },
        0);
}

void WINAPI vbmp3_seek(int seconds) {
    guard(
        [&] {
            if (!g_lib.stream) return 0;
            if (seconds < 0) seconds = 0;
            seconds = std::min(seconds, g_lib.stream->totals().seconds);
            if (g_lib.thread && get(g_shared.state) != 0) {
                put(g_shared.position_ms, LONG(seconds) * 1000);
                put(g_shared.seek_to, seconds);
            } else {
                join_player();
                g_lib.start_seconds = seconds;
            }
            return 0;
        },
        0);
}

void WINAPI vbmp3_setVbmp3Option(const int* four) {
    guard(
        [&] {
            if (four) std::memcpy(g_lib.player_option, four, sizeof(g_lib.player_option));
            return 0;
        },
        0);
}

void WINAPI vbmp3_setDecodeOption(const int* three) {
    guard(
        [&] {
            if (three) std::memcpy(g_lib.decode_option, three, sizeof(g_lib.decode_option));
            return 0;
        },
        0);
}

void WINAPI vbmp3_play(void) {
    guard(
        [&] {
            if (!g_lib.stream) return 0;
            join_player();
            auto* job = new (std::nothrow) PlayJob;
            if (!job) return 0;
            job->stream = g_lib.stream;
            job->start_seconds = g_lib.start_seconds;
            job->decimate = decimation();
            // The first player value sets the buffer length: larger values buffer more.
            int hint = g_lib.player_option[0];
            job->buffer_ms = hint >= 64 ? 200 : hint >= 16 ? 120 : 80;
            put(g_shared.want_stop, 0);
            put(g_shared.want_pause, 0);
            put(g_shared.seek_to, -1);
            put(g_shared.volume, LONG(packed_volume()));
            put(g_shared.position_ms, g_lib.start_seconds * 1000);
            put(g_shared.state, 1);
            g_lib.thread = CreateThread(nullptr, 0, play_thread, job, 0, nullptr);
            if (!g_lib.thread) {
                put(g_shared.state, 0);
                delete job;
            }
            g_lib.start_seconds = 0;
            return 0;
        },
        0);
}

void WINAPI vbmp3_pause(void) {
    guard(
        [&] {
            if (g_lib.thread && InterlockedCompareExchange(&g_shared.state, 2, 1) == 1) put(g_shared.want_pause, 1);
            return 0;
        },
        0);
}

void WINAPI vbmp3_restart(void) {
    guard(
        [&] {
            if (g_lib.thread && InterlockedCompareExchange(&g_shared.state, 1, 2) == 2) put(g_shared.want_pause, 0);
            return 0;
        },
        0);
}

void WINAPI vbmp3_stop(void) {
    guard(
        [&] {
            join_player();
            g_lib.start_seconds = 0;
            return 0;
        },
        0);
}

void WINAPI vbmp3_close(void) {
    guard(
        [&] {
            join_player();
            // The file closes once the walk and the playback thread have let it go.
            if (g_lib.stream) g_lib.stream->stop_walk();
            g_lib.stream.reset();
            g_lib.start_seconds = 0;
            return 0;
        },
        0);
}

void WINAPI vbmp3_free(void) {
    guard(
        [&] {
            vbmp3_close();
            g_lib.ready = false;
            return 0;
        },
        0);
}

} // extern "C"

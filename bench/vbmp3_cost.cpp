// Cost of playing one file through vbmp3.dll: the process's CPU time (our decoding thread plus
// the system's audio threads in this process) and memory, before the library is loaded and
// while it plays.
//   vbmp3_bench FILE [MODE]     plays FILE whole (MODE 0, 1 or 2 as in the editor)
//   vbmp3_bench --long FILE WARM-UP SECONDS WALK
//                               a long file: the open's time, the total the open gives and,
//                               with WALK 1 (a library that walks the stream after the open),
//                               when the refined one comes; memory and CPU while it plays for
//                               SECONDS, a seek near its end and the play to the end. WARM-UP,
//                               a short file played first, loads the system's audio code, so
//                               that the memory counted from then on is the play's; it then
//                               plays once more, for what any play costs, whatever its file.
// Memory is the process's private memory (PagefileUsage; under Wine its anonymous memory).
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "win32/decoder/decoder.h"
#include "platform/text.h"

namespace {

double cpu_seconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto secs = [](const FILETIME& t) { return double((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7; };
    return secs(kernel) + secs(user);
}

double now_ms() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

PROCESS_MEMORY_COUNTERS_EX counters() {
    PROCESS_MEMORY_COUNTERS_EX m{};
    m.cb = sizeof(m);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof(m));
    return m;
}
long private_kib() { return long(counters().PagefileUsage / 1024); }

void memory(const char* when) {
    PROCESS_MEMORY_COUNTERS_EX m = counters();
    std::printf("memory %-14s working set %6lu KiB, pagefile %6lu KiB\n", when,
                static_cast<unsigned long>(m.WorkingSetSize / 1024),
                static_cast<unsigned long>(m.PagefileUsage / 1024));
}

// The file names from the wide command line: argv holds them in the ANSI code page only.
std::string wide_arg(int i, char** argv) {
    int n = 0;
    LPWSTR* w = CommandLineToArgvW(GetCommandLineW(), &n);
    std::string out = w && n > i ? platform::utf16_to_utf8(w[i]) : argv[i];
    if (w) LocalFree(w);
    return out;
}

// The total seconds the library gives now, and whether its walk of the stream has ended (a 1
// at offset 32; a library before the walk leaves 0 there).
int total_seconds(bool& final) {
    alignas(4) unsigned char block[56] = {};
    if (!decoder::decoder_get_mpeg_info(block)) return -1;
    int total, done;
    std::memcpy(&total, block + 52, sizeof total);
    std::memcpy(&done, block + 32, sizeof done);
    final = done == 1;
    return total;
}

int position() {
    int s = -1;
    decoder::decoder_get_state(&s);
    return s;
}

bool start_library() {
    if (!decoder::load_decoder() || !decoder::init_decoder(0)) {
        std::fprintf(stderr, "vbmp3.dll did not load\n");
        return false;
    }
    return true;
}

int long_file(const std::string& path, const std::string& warm_up, int seconds, bool walk) {
    if (!start_library()) return 1;
    char info[272];
    if (decoder::decoder_open(warm_up, info)) {
        decoder::decoder_play();
        Sleep(1500);
        decoder::decoder_stop();
        decoder::decoder_close();
    }
    Sleep(500);
    const long base = private_kib();
    long floor = base;
    if (decoder::decoder_open(warm_up, info)) {
        decoder::decoder_play();
        for (int i = 0; i < 50 && decoder::decoder_get_state(nullptr) != 0; ++i) {
            Sleep(100);
            floor = std::max(floor, private_kib());
        }
        decoder::decoder_stop();
        decoder::decoder_close();
    }
    std::printf("any play: a short file's extra memory while it plays %ld KiB\n", floor - base);
    const double t0 = now_ms();
    const platform::Result opened = decoder::decoder_open(path, info);
    const double open_ms = now_ms() - t0;
    if (!opened) {
        std::printf("open: failed after %.1f ms\n", open_ms);
        decoder::release_decoder(false);
        return 0;
    }
    const long after_open = private_kib();
    bool final = false;
    int total = total_seconds(final);
    std::printf("open: %.1f ms, total %d s%s, extra memory %ld KiB\n", open_ms, total, final ? "" : " (provisional)",
                after_open - base);
    if (walk) {
        // A seek at once, before the walk has got there (on a long file): by the Xing table
        // of contents or the mean frame length.
        const int early = total * 3 / 4;
        decoder::decoder_play();
        decoder::decoder_seek(early);
        double walked_at = 0;
        auto poll = [&] {
            Sleep(5);
            const bool was = final;
            total = total_seconds(final);
            if (final && !was) walked_at = now_ms() - t0;
        };
        for (const double seek0 = now_ms(); now_ms() - seek0 < 1000;) poll();
        std::printf("seek at once to %d s: position %d s after 1 s; the walk %s then\n", early, position(),
                    final ? "had ended" : "had not ended");
        decoder::decoder_stop();
        while (!final && now_ms() - t0 < 600000) poll();
        std::printf("walk: total %d s, %.0f ms after the open\n", total, walked_at);
    }

    long peak = after_open;
    decoder::decoder_play();
    const double play0 = now_ms(), cpu0 = cpu_seconds();
    for (int i = 0; i < seconds * 10; ++i) {
        Sleep(100);
        peak = std::max(peak, private_kib());
    }
    const double wall = (now_ms() - play0) / 1000.0, cpu = cpu_seconds() - cpu0;
    std::printf("playing: %.1f s wall, position %d s, CPU %.3f s (%.2f %% of one core), extra memory %ld KiB\n", wall,
                position(), cpu, 100.0 * cpu / wall, peak - base);
    const int near_end = std::max(0, total - 10);
    decoder::decoder_seek(near_end);
    Sleep(1000);
    std::printf("seek to %d s: position %d s after 1 s\n", near_end, position());
    const double end0 = now_ms();
    int last = position();
    while (decoder::decoder_get_state(&last) != 0 && now_ms() - end0 < 30000) {
        Sleep(100);
        peak = std::max(peak, private_kib());
    }
    std::printf("end: state %d at %d s, %.1f s after the seek's second; extra memory at most %ld KiB\n",
                decoder::decoder_get_state(nullptr), last, (now_ms() - end0) / 1000.0 + 1.0, peak - base);
    decoder::release_decoder(true);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 6 && !std::strcmp(argv[1], "--long"))
        return long_file(wide_arg(2, argv), wide_arg(3, argv), std::atoi(argv[4]), std::atoi(argv[5]) == 1);
    if (argc < 2) {
        std::fprintf(stderr, "usage: vbmp3_bench FILE [MODE] | vbmp3_bench --long FILE WARM-UP SECONDS WALK\n");
        return 2;
    }
    int mode = argc > 2 ? std::atoi(argv[2]) : 0;
    memory("before load");
    if (!start_library()) return 1;
    decoder::apply_decoder_options(mode);
    const std::string path = wide_arg(1, argv);
    char info[272];
    if (!decoder::decoder_open(path, info)) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    memory("after open");
    double cpu0 = cpu_seconds();
    DWORD t0 = GetTickCount();
    decoder::decoder_play();
    int seconds = 0, last = -1;
    while (decoder::decoder_get_state(&seconds) != 0) {
        if (seconds == 10 && last != 10) memory("playing (10 s)");
        last = seconds;
        Sleep(100);
    }
    double wall = double(GetTickCount() - t0) / 1000.0;
    double cpu = cpu_seconds() - cpu0;
    memory("after the end");
    std::printf("mode %d: played %.1f s wall, CPU %.3f s (%.2f %% of one core)\n", mode, wall, cpu, 100.0 * cpu / wall);
    decoder::release_decoder(true);
    return 0;
}

// Cost of playing one file through vbmp3.dll: the process's CPU time (our decoding thread plus
// the system's audio threads in this process) and memory, before the library is loaded and
// while it plays. Usage: vbmp3_bench FILE [MODE]   (MODE 0, 1 or 2 as in the editor)
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "editor/audio/decoder.h"
#include "platform/text.h"

namespace {

double cpu_seconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto secs = [](const FILETIME& t) { return double((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7; };
    return secs(kernel) + secs(user);
}

void memory(const char* when) {
    PROCESS_MEMORY_COUNTERS_EX m{};
    m.cb = sizeof(m);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof(m));
    std::printf("memory %-14s working set %6lu KiB, pagefile %6lu KiB\n", when,
                static_cast<unsigned long>(m.WorkingSetSize / 1024),
                static_cast<unsigned long>(m.PagefileUsage / 1024));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: vbmp3_bench FILE [MODE]\n");
        return 2;
    }
    int mode = argc > 2 ? std::atoi(argv[2]) : 0;
    memory("before load");
    if (audio::load_decoder() != 1 || audio::init_decoder(0) != 1) {
        std::fprintf(stderr, "vbmp3.dll did not load\n");
        return 1;
    }
    audio::apply_decoder_options(mode);
    // The file's name from the wide command line: argv holds it in the ANSI code page only.
    int wide_argc = 0;
    LPWSTR* wide_argv = CommandLineToArgvW(GetCommandLineW(), &wide_argc);
    const std::string path = wide_argv && wide_argc > 1 ? platform::utf16_to_utf8(wide_argv[1]) : argv[1];
    if (wide_argv) LocalFree(wide_argv);
    char info[272];
    if (audio::decoder_open(path, info) != 1) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    memory("after open");
    double cpu0 = cpu_seconds();
    DWORD t0 = GetTickCount();
    audio::decoder_play();
    int seconds = 0, last = -1;
    while (audio::decoder_get_state(&seconds) != 0) {
        if (seconds == 10 && last != 10) memory("playing (10 s)");
        last = seconds;
        Sleep(100);
    }
    double wall = double(GetTickCount() - t0) / 1000.0;
    double cpu = cpu_seconds() - cpu0;
    memory("after the end");
    std::printf("mode %d: played %.1f s wall, CPU %.3f s (%.2f %% of one core)\n", mode, wall, cpu, 100.0 * cpu / wall);
    audio::release_decoder();
    return 0;
}

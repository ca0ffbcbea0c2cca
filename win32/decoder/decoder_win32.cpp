#include "win32/decoder/decoder.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <climits>
#include <string>

#include "platform/file.h"
#include "platform/text.h"

namespace decoder {
namespace {

using InitFn = int(WINAPI*)();
using GetStateFn = int(WINAPI*)(int*);
using GetMpegInfoFn = int(WINAPI*)(void*);
using GetWaveFn = int(WINAPI*)(int*, int*);
using GetVolumeFn = int(WINAPI*)(int*, int*);
using SetVolumeFn = void(WINAPI*)(int, int);
using OpenFn = int(WINAPI*)(const char*, void*);
using OpenWideFn = int(WINAPI*)(const wchar_t*, void*);
using SeekFn = void(WINAPI*)(int);
using OptionFn = void(WINAPI*)(const int*);
using VoidFn = void(WINAPI*)();

struct Decoder {
    HMODULE module = nullptr;
    InitFn init = nullptr;
    GetStateFn get_state = nullptr;
    GetMpegInfoFn get_mpeg_info = nullptr;
    GetWaveFn get_wave = nullptr;
    GetVolumeFn get_volume = nullptr;
    SetVolumeFn set_volume = nullptr;
    OpenFn open = nullptr;
    OpenWideFn open_wide = nullptr; // vbmp3_openW: absent from libraries older than it
    SeekFn seek = nullptr;
    OptionFn set_player_option = nullptr;
    OptionFn set_decode_option = nullptr;
    VoidFn play = nullptr;
    VoidFn pause = nullptr;
    VoidFn restart = nullptr;
    VoidFn stop = nullptr;
    VoidFn close = nullptr;
    VoidFn free = nullptr;
};
Decoder g_decoder;
// Read by the monitor thread as well: set by a successful init, and by the Play command
// whatever its init gave, so that the player's steps run from then on.
std::atomic<bool> g_ready{false};

template <class F>
bool resolve(HMODULE m, const char* name, F& out) {
    out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
    return out != nullptr;
}

// The path in the system's ANSI code page, for a library that takes no other; false when a
// character has no form there. A best-fit stand-in ("e" for "\u00e9", a backslash for the yen
// sign under code page 932) would name another file, so none is taken.
bool to_ansi(const std::wstring& wide, std::string& out) {
    out.clear();
    if (wide.empty()) return true;
    if (wide.size() > size_t(INT_MAX)) return false;
    const int n = static_cast<int>(wide.size());
    // Code page 65001 takes neither the flag nor the default-character question; it fails on
    // an unpaired surrogate instead, the one text it has no form for.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL defaulted = FALSE;
    int size = WideCharToMultiByte(CP_ACP, flags, wide.data(), n, nullptr, 0, nullptr, utf8 ? nullptr : &defaulted);
    if (size <= 0 || defaulted) return false;
    out.resize(static_cast<size_t>(size));
    int done =
        WideCharToMultiByte(CP_ACP, flags, wide.data(), n, out.data(), size, nullptr, utf8 ? nullptr : &defaulted);
    if (done != size || defaulted) {
        out.clear();
        return false;
    }
    return true;
}

// The library's full path in the program's own folder: loaded by its name alone, it would be
// looked for in the current folder as well, which start-up makes the start file's folder.
std::wstring library_path() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
    auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    return path.substr(0, slash + 1) + L"vbmp3.dll";
}

using platform::failure;
using platform::Fault;
using platform::Result;

// The library's answer to a call: 1 is done.
Result answer(int library_result, const char* call) {
    if (library_result == 1) return {};
    return failure(Fault::refused, std::string(call) + " answered " + std::to_string(library_result));
}

Result not_loaded() { return failure(Fault::refused, "vbmp3.dll is not loaded"); }

} // namespace

Result load_decoder() {
    if (g_decoder.module) return failure(Fault::refused, "vbmp3.dll is loaded already");
    const std::wstring path = library_path();
    if (path.empty()) return failure(Fault::cannot_open, "the program's own folder is unknown");
    HMODULE m = LoadLibraryW(path.c_str());
    if (!m)
        return failure(Fault::cannot_open, "vbmp3.dll cannot be loaded (error " + std::to_string(GetLastError()) + ")");
    Decoder d;
    d.module = m;
    bool ok = resolve(m, "vbmp3_init", d.init) && resolve(m, "vbmp3_getState", d.get_state) &&
              resolve(m, "vbmp3_getMpegInfo", d.get_mpeg_info) && resolve(m, "vbmp3_getWave", d.get_wave) &&
              resolve(m, "vbmp3_getVolume", d.get_volume) && resolve(m, "vbmp3_setVolume", d.set_volume) &&
              resolve(m, "vbmp3_open", d.open) && resolve(m, "vbmp3_seek", d.seek) &&
              resolve(m, "vbmp3_setVbmp3Option", d.set_player_option) &&
              resolve(m, "vbmp3_setDecodeOption", d.set_decode_option) && resolve(m, "vbmp3_play", d.play) &&
              resolve(m, "vbmp3_pause", d.pause) && resolve(m, "vbmp3_restart", d.restart) &&
              resolve(m, "vbmp3_stop", d.stop) && resolve(m, "vbmp3_close", d.close) &&
              resolve(m, "vbmp3_free", d.free);
    if (!ok) {
        FreeLibrary(m);
        return failure(Fault::cannot_open, "vbmp3.dll lacks one of its entry points");
    }
    resolve(m, "vbmp3_openW", d.open_wide);
    g_decoder = d;
    return {};
}

Result init_decoder(int playback_mode) {
    if (!g_decoder.module) return not_loaded();
    if (Result r = answer(g_decoder.init(), "vbmp3_init"); !r) return r;
    g_ready = true;
    apply_decoder_options(playback_mode);
    return {};
}

void apply_decoder_options(int playback_mode) {
    static const int player[3][4] = {{128, 0, 30, 0}, {8, 1, 1, 0}, {16, 16, 10, 0}};
    static const int decode[3][3] = {{0, 0, 24000}, {2, 0, 24000}, {1, 0, 24000}};
    if (!g_decoder.module || playback_mode < 0 || playback_mode > 2) return;
    g_decoder.set_player_option(player[playback_mode]);
    g_decoder.set_decode_option(decode[playback_mode]);
}

void release_decoder(bool file_open) {
    // Play marks the decoder ready even when its init failed; the library is released then
    // too, and only a loaded one.
    if (!g_ready.exchange(false) || !g_decoder.module) return;
    g_decoder.stop();
    if (file_open) g_decoder.close();
    g_decoder.free();
    FreeLibrary(g_decoder.module);
    g_decoder = Decoder{};
}

bool decoder_loaded() { return g_decoder.module != nullptr; }
bool decoder_ready() { return g_ready; }
void mark_decoder_ready() { g_ready = true; }
std::atomic<int32_t> repaint_count{0};

Result decoder_init() { return g_decoder.module ? answer(g_decoder.init(), "vbmp3_init") : not_loaded(); }
int decoder_get_state(int* seconds) {
    int ignored = 0; // a library may write the position without looking
    return g_decoder.module ? g_decoder.get_state(seconds ? seconds : &ignored) : 0;
}
Result decoder_get_mpeg_info(void* block56) {
    return g_decoder.module ? answer(g_decoder.get_mpeg_info(block56), "vbmp3_getMpegInfo") : not_loaded();
}
Result decoder_get_wave(int* left256, int* right256) {
    return g_decoder.module ? answer(g_decoder.get_wave(left256, right256), "vbmp3_getWave") : not_loaded();
}
Result decoder_get_volume(int* left, int* right) {
    return g_decoder.module ? answer(g_decoder.get_volume(left, right), "vbmp3_getVolume") : not_loaded();
}
void decoder_set_volume(int left, int right) {
    if (g_decoder.module) g_decoder.set_volume(left, right);
}
Result decoder_open(const std::string& path, void* info272) {
    if (!g_decoder.module) return not_loaded();
    // A zero inside would end the name early, at another file's name.
    if (path.find('\0') != std::string::npos) return failure(Fault::cannot_open, "the path holds a zero");
    const std::wstring wide = platform::utf8_to_utf16(path);
    int r;
    if (g_decoder.open_wide) {
        r = g_decoder.open_wide(platform::system_path(path).c_str(), info272); // a long path too
    } else {
        std::string ansi;
        // The library is not called: its open file stays.
        if (!to_ansi(wide, ansi)) return failure(Fault::cannot_open, "the path has no form in the ANSI code page");
        r = g_decoder.open(ansi.c_str(), info272);
    }
    return answer(r, "vbmp3_open");
}
void decoder_seek(int seconds) {
    if (g_decoder.module) g_decoder.seek(seconds);
}
void decoder_set_player_option(const int* four) {
    if (g_decoder.module) g_decoder.set_player_option(four);
}
void decoder_set_decode_option(const int* three) {
    if (g_decoder.module) g_decoder.set_decode_option(three);
}
void decoder_play() {
    if (g_decoder.module) g_decoder.play();
}
void decoder_pause() {
    if (g_decoder.module) g_decoder.pause();
}
void decoder_restart() {
    if (g_decoder.module) g_decoder.restart();
}
void decoder_stop() {
    repaint_count = 0; // the meter is redrawn for a while as it falls to zero
    if (g_decoder.module) g_decoder.stop();
}
void decoder_close() {
    if (!g_decoder.module) return;
    g_decoder.close();
}
void decoder_free() {
    if (g_decoder.module) g_decoder.free();
}

namespace {
uint32_t now_ms() { return timeGetTime(); }
} // namespace

constinit const preview::DecoderCalls decoder_calls{
    .ready = decoder_ready,
    .mark_ready = mark_decoder_ready,
    .init = init_decoder,
    .get_state = decoder_get_state,
    .get_mpeg_info = decoder_get_mpeg_info,
    .open = decoder_open,
    .play = decoder_play,
    .pause = decoder_pause,
    .restart = decoder_restart,
    .stop = decoder_stop,
    .close = decoder_close,
    .seek = decoder_seek,
    .set_volume = decoder_set_volume,
    .now_ms = now_ms,
};

} // namespace decoder

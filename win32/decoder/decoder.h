// The editor's link to the MP3 player library vbmp3.dll: loaded at run time, so the editor also
// runs without it (then every call below does nothing, and those with a result fail). The
// library's entry points answer 1 or 0; here they answer with the platform's result.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "core/preview/preview.h"
#include "platform/result.h"

namespace decoder {

// The preview's table of the calls below, with the system's millisecond clock.
extern const preview::DecoderCalls decoder_calls;

// Done when vbmp3.dll was loaded and the 16 entry points that every version of it has were
// found; a failure when it was already loaded, is missing, or lacks one of them (then nothing
// stays loaded). The 17th, vbmp3_openW, is used when the library has it.
platform::Result load_decoder();
// Done when the library is loaded and initialised itself; then the options of the playback
// mode (the setting) are set.
platform::Result init_decoder(int playback_mode);
// Sets the library's options for a playback mode (0 normal, 1 light, 2 middle); other values
// set nothing.
void apply_decoder_options(int playback_mode);
// Stops, closes the open file (`file_open`: the caller's preview has one open, which it alone
// keeps track of), frees the library and unloads it; only after init_decoder.
void release_decoder(bool file_open);
bool decoder_loaded();
// True after a successful init_decoder or mark_decoder_ready, until release_decoder.
bool decoder_ready();
void mark_decoder_ready();
// Passes of the monitor thread since the latest decoder_stop, which sets it to 0.
extern std::atomic<int32_t> repaint_count;

// The library's calls; a failure (or state 0) and no effect while it is not loaded.
platform::Result decoder_init();
int decoder_get_state(int* seconds); // the player's state
platform::Result decoder_get_mpeg_info(void* block56);
platform::Result decoder_get_wave(int* left256, int* right256);
platform::Result decoder_get_volume(int* left, int* right);
void decoder_set_volume(int left, int right);
// Opens the file at a UTF-8 path: done when the library can play it. The library gets the
// path in UTF-16 (vbmp3_openW) when it takes that; an older one gets it in the system's ANSI
// code page, and a path with a character that has no form there fails without a call,
// leaving the library's open file as it was.
platform::Result decoder_open(const std::string& path, void* info272);
void decoder_seek(int seconds);
void decoder_set_player_option(const int* four);
void decoder_set_decode_option(const int* three);
void decoder_play();
void decoder_pause();
void decoder_restart();
void decoder_stop();
void decoder_close();
void decoder_free();

} // namespace decoder

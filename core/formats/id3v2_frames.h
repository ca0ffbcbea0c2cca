// What ID3v2 knows of frames by their ids: 2.2's names, the versions a frame exists in, the
// seven texts' frames.
#pragma once
#include <initializer_list>
#include <string>

namespace formats::id3v2 {

// The 2.3 id of a 2.2 frame; empty for a name 2.2 does not have.
std::string v23_name(const std::string& id22);
bool one_of(const std::string& id, std::initializer_list<const char*> ids);
// Frames that 2.4 dropped, and frames that 2.4 brought, with no counterpart to turn them into.
bool only_in_23(const std::string& id);
bool only_in_24(const std::string& id);
// Frames that start with a text encoding byte in a layout this writer does not turn.
bool has_other_encoded_text(const std::string& id);
// The pictures and the lyrics.
bool is_kept(const std::string& id);
// The seven texts by their frames' names in each version; -1 for any other frame.
int text_index(const std::string& id);

} // namespace formats::id3v2

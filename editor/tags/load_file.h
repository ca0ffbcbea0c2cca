// The load of a file into the editing session: what it is, its record with the carry-over
// rules, its RMP texts, and whether it lies on read-only media.
#pragma once
#include <string>

#include "editor/session.h"
#include "editor/settings/settings.h"

namespace editing {

// 1 when the file was opened for editing; 0 when it was not (a notice was shown, or it is an
// archive or picture, which the editor does not edit), and then the session is unchanged.
int load_file(Session& s, const settings::Settings& settings, UserInterface& ui, const std::string& path);

} // namespace editing

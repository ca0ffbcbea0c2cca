// The apply step of the editor: the edit fields into the current file, with its questions.
#pragma once
#include "editor/session.h"
#include "editor/settings/settings.h"

namespace editing {

// 0 when nothing was done (CD-ROM, nothing changed, read-only and refused, or the file could
// not be written: then the tag stays modified and the undo snapshot as it was); 1 when the
// tag was applied, also when the conversion was refused and only the record was written.
int apply_tag(Session& s, settings::Settings& settings, UserInterface& ui);

} // namespace editing

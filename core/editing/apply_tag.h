// The apply step of the editor: the edit fields into the current file, with its questions.
#pragma once
#include "core/editing/result.h"
#include "core/editing/session.h"
#include "core/formats/apply.h"
#include "core/settings/settings.h"
#include "platform/file.h"

namespace editing {

// Done when the file holds the fields: applied (also when the conversion was refused and
// only the record was written), or nothing was modified. Fails on read-only media, when the
// user keeps the file read-only (read_only), or when the file could not be written
// (write_failed); then the tag stays modified and the undo snapshot as it was. The warnings
// name what the written file could not keep.
Result apply_tag(Session& s, settings::Settings& settings, UserInterface& ui);

// The same with the caller's lock on the file: one taken before the load that the fields were
// built on stays held through the write, which goes through its file where it holds one open
// for writing; the caller's release then ends the write. One not held is taken for the write
// alone, after the questions, so that other writers never wait on a question.
// `hand_over`, where given with a lock held by the caller, takes a new file that is to replace
// the old one (formats::apply_tag_to_file); the caller then keeps the lock until it has.
Result apply_tag(Session& s, settings::Settings& settings, UserInterface& ui, platform::WriteLock& lock,
                 const formats::HandOver& hand_over = {});

} // namespace editing

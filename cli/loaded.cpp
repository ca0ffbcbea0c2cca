#include "cli/loaded.h"

#include "cli/files.h"
#include "editor/tags/load_file.h"
#include "platform/file.h"

namespace cli {

Loaded load(const std::string& path) {
    Loaded l;
    platform::File f;
    tags::FileHead head;
    editing::Result r = editing::open_and_classify(path, f, head);
    if (!r.ok()) {
        l.error = r.fault == editing::Fault::cannot_read ? "cannot read: " + r.detail : folder_refusal(path, r.detail);
        return l;
    }
    l.opened = true;
    l.kind = head.kind;
    if (l.kind == tags::FileKind::mp3) l.texts = tags::open_for_editing(f, true);
    return l;
}

} // namespace cli

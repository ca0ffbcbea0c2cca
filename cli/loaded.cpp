#include "cli/loaded.h"

#include "cli/files.h"
#include "cli/flag_user.h"
#include "core/editing/load_file.h"
#include "core/formats/rmp.h"
#include "platform/file.h"

namespace cli {

Loaded load(const std::string& path) {
    Loaded l;
    platform::File f;
    formats::FileHead head;
    editing::Result r = editing::open_and_classify(path, f, head);
    if (!r.ok()) {
        l.error = r.fault == editing::Fault::cannot_read ? "cannot read: " + r.detail : folder_refusal(path, r.detail);
        return l;
    }
    l.opened = true;
    l.kind = head.kind;
    if (l.kind != formats::FileKind::mp3) return l;
    l.texts = formats::open_for_editing(f, true);
    // The stream of the RMP form is the data chunk's; its tag is at the chunk's start.
    if (l.texts.rmp.is_rmp || formats::is_rmp_file(f)) {
        const formats::RmpLayout layout = formats::walk_rmp(f);
        l.id3v2 = formats::read_id3v2(f, layout.stream.offset, layout.stream.length);
    } else {
        l.id3v2 = formats::find_id3v2(f, f.size());
    }
    for (const std::string& w : l.id3v2.warnings) l.texts.warnings.push_back(w);
    return l;
}

platform::Result load_mp3(const std::string& path, Loaded& l) {
    l = load(path);
    for (const std::string& w : l.texts.warnings) report(path, "warning: " + w);
    if (!l.opened) return platform::failure(platform::Fault::cannot_open, l.error);
    if (l.kind != formats::FileKind::mp3)
        return platform::failure(platform::Fault::not_mp3,
                                 std::string("not an MP3 file (") + formats::kind_name(l.kind) + ")");
    return {};
}

} // namespace cli

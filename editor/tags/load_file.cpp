#include "editor/tags/load_file.h"

#include "editor/tags/load.h"
#include "platform/file.h"

namespace editing {

int load_file(Session& s, const settings::Settings& st, UserInterface& ui, const std::string& path) {
    platform::File file;
    std::string err;
    if (!file.open(path, platform::File::Mode::read, err)) {
        ui.notice(Notice::cannot_open, err);
        return 0;
    }
    tags::FileHead head;
    if (!tags::read_head(file, path, head)) {
        ui.notice(Notice::cannot_open, file.error());
        return 0;
    }
    tags::FileKind kind = head.kind;
    if (kind == tags::FileKind::unknown) {
        ui.notice(Notice::not_mp3, "");
        return 0;
    }
    if (kind != tags::FileKind::mp3) {
        file.close();
        ui.hand_over(kind, path);
        return 0;
    }

    s.rmp_texts = tags::RmpTexts{};
    s.file_loaded = false;
    tags::CarryOver carry{ui.carry_over_on(), s.undo_snapshot};
    tags::LoadedTag loaded = tags::load_tag(file, s.current_tag, carry);
    s.current_tag = loaded.tag;
    s.undo_snapshot = carry.undo_snapshot;
    if (loaded.carry_over_ends) ui.end_carry_over();
    s.file_loaded = true;

    // Read-only media: a read-only file on a CD-ROM drive is never written.
    s.read_only_media = platform::is_read_only(path) && platform::is_on_cdrom(path);
    // The RMP texts are read only from a file that can be written, so a read-only RMP file
    // is edited by its ID3v1 record.
    if (st.rmp_enabled != 0 && head.rmp) {
        platform::File rw;
        if (!platform::is_read_only(path) && rw.open(path, platform::File::Mode::read_write, err))
            tags::read_rmp_texts(rw, s.rmp_texts);
    }
    ui.set_field_limits(st.rmp_enabled != 0);
    ui.set_mode_label(s.rmp_texts.is_rmp);
    return 1;
}

} // namespace editing

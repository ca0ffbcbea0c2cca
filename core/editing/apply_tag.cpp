#include "core/editing/apply_tag.h"

#include <utility>

#include "core/formats/apply.h"
#include "core/formats/text_rules.h"
#include "platform/file.h"

namespace editing {

using formats::cut_to_width;

Result apply_tag(Session& s, settings::Settings& st, UserInterface& ui) {
    platform::WriteLock lock;
    return apply_tag(s, st, ui, lock);
}

Result apply_tag(Session& s, settings::Settings& st, UserInterface& ui, platform::WriteLock& lock,
                 const formats::HandOver& hand_over) {
    // The window lets nothing count as a change on read-only media; a caller that marks the
    // session all the same is told the file stays as it is.
    if (s.read_only_media) return failure(Fault::read_only);
    if (!s.modified) return {};
    const FieldTexts f = edited_texts(s, ui);

    // A read-only file loses its attribute only with the user's consent. The attribute is
    // asked for itself, not through a failing open: an administrator could open the file
    // anyway, and the user's mark would be overridden without a word.
    // A lock that holds the file looked at its attribute when it was taken.
    if (lock.file() ? lock.read_only() : platform::is_read_only(s.current_path)) {
        bool consent = st.no_confirm_readonly != 0 || ui.ask_clear_read_only(st.no_confirm_readonly);
        if (!consent) {
            ui.notice(Notice::apply_cancelled, "");
            return failure(Fault::read_only);
        }
        if (Result cleared = platform::set_read_only(s.current_path, false); !cleared) {
            ui.notice(Notice::apply_failed, cleared.detail);
            return failure(Fault::write_failed, cleared.detail);
        }
    }

    // The texts as typed (up to 255 bytes) decide the form; the record keeps their first 30.
    formats::Tag edited, applied;
    for (const Field& field : k_fields) {
        edited.*field.tag = cut_to_width(f.*field.text, formats::k_text_capacity);
        applied.*field.tag = cut_to_width(f.*field.text, field.id3_width);
    }
    edited.genre = applied.genre = ui.genre().value_or(s.current_tag.genre);
    const std::optional<uint8_t> track = ui.track();
    if (track) edited.track = *track;
    // Whether the file is in the RMP form matters only where the texts could take that form;
    // a batch of short texts pays no second open for it.
    bool file_is_rmp = false;
    if ((st.rmp_enabled != 0 && formats::texts_too_long(edited)) || s.rmp_texts.is_rmp) {
        platform::File head;
        if (lock.file()) file_is_rmp = formats::is_rmp_file(*lock.file());
        else if (head.open(s.current_path, platform::File::Mode::read)) file_is_rmp = formats::is_rmp_file(head);
    }
    formats::ApplyForm form =
        formats::decide_apply_form(edited, st.rmp_enabled != 0, s.rmp_texts.is_rmp, file_is_rmp, s.id3v2_major != 0);
    // The file's own ID3v2 tag takes each field the user changed, whole.
    formats::Id3v2Edit v2;
    if (s.id3v2_major != 0) {
        const FieldTexts loaded = shown_for(s);
        for (size_t i = 0; i < k_fields.size(); ++i) {
            const Field& field = k_fields[i];
            const std::string& now = edited.*field.tag;
            if (now != loaded.*field.text || (ui.field_given(i) && now != s.id3v2_texts.*field.tag)) v2.texts[i] = now;
        }
    }
    if (form == formats::ApplyForm::convert && st.no_confirm_rmp == 0 && !ui.ask_convert_to_rmp(st.no_confirm_rmp))
        form = formats::ApplyForm::id3;

    // Other writers of the file wait while it is read and written, never while a question is
    // open.
    const bool own_lock = !lock.held();
    if (own_lock) lock.hold(s.current_path, true);
    bool replacing = false;
    formats::Applied written;
    Result r = formats::apply_tag_to_file(
        s.current_path, edited, form, settings::slot_text(st.display_name), &written,
        [&](bool new_file) {
            replacing = true;
            return ui.before_replace(new_file);
        },
        lock.writable() ? lock.file() : nullptr, &v2, own_lock ? formats::HandOver{} : hand_over);
    // A lock taken here ends here, and the close of a file written through it is part of the
    // write.
    if (own_lock) {
        if (Result closed = lock.release(); !closed && r.ok())
            r = failure(Fault::write_failed, "closing the file failed: " + closed.detail);
    }
    if (replacing) ui.after_replace(s.current_path);
    if (!r.ok()) {
        ui.notice(Notice::apply_failed, r.detail);
        return failure(Fault::write_failed, r.detail);
    }

    // A field the user changed stands for its own text now.
    for (size_t i = 0; i < k_fields.size(); ++i)
        if (v2.texts[i]) s.id3v2_unicode[i].clear();
    if (written.id3v2_written)
        for (size_t i = 0; i < k_fields.size(); ++i)
            if (v2.texts[i])
                s.id3v2_texts.*k_fields[i].tag =
                    i == 3 ? cut_to_width(*v2.texts[i], formats::k_id3_year_width) : *v2.texts[i];
    if (!written.id3v2_left.empty()) ui.notice(Notice::id3v2_left, written.id3v2_left);
    s.current_tag = applied;
    s.undo_snapshot = s.current_tag;
    if (track) s.track = *track;
    for (const Field& field : k_fields) s.rmp_texts.text[field.info] = edited.*field.tag;
    if (form != formats::ApplyForm::id3) {
        // The session holds the texts the file holds now. A file read in the ID3v1 form (a
        // read-only one) gave it none of the texts that a rewrite keeps.
        s.rmp_texts.text = written.rmp_texts;
        s.rmp_texts.is_rmp = true;
        ui.set_mode_label(true);
    }
    ui.show_id3v2(s.id3v2_major, id3v2_differs(s));
    // Last, when the session holds the applied texts: the window runs its change detection
    // while the button is switched off, and must find the fields equal to them.
    s.modified = false;
    ui.set_apply_enabled(false);
    // The damage mended on the way (written.mended) repeats what the load warned of; r's
    // warnings name what the written file could not keep.
    return r;
}

} // namespace editing

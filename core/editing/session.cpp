#include "core/editing/session.h"

#include "core/formats/load.h"
#include "core/formats/tag.h"
#include "core/formats/text_rules.h"

namespace editing {

FieldTexts shown_for(const Session& s) {
    return shown_texts(s.rmp_texts.is_rmp || s.fields_from_id3v2, s.rmp_texts, s.current_tag);
}

void show_fields(const Session& s, UserInterface& ui) {
    ui.show_texts(shown_for(s));
    if (!s.fields_from_id3v2) return;
    for (size_t i = 0; i < s.id3v2_unicode.size(); ++i)
        if (!s.id3v2_unicode[i].empty()) ui.show_unicode(i, s.id3v2_unicode[i]);
}

bool id3v2_differs(const Session& s) {
    if (s.id3v2_major == 0) return false;
    const FieldTexts shown = shown_for(s);
    for (const Field& field : k_fields) {
        const std::string& mine = shown.*field.text;
        const std::string& theirs = s.id3v2_texts.*field.tag;
        if (theirs.empty() || theirs == mine) continue;
        // The record holds a cut of the tag's longer text.
        const bool cut = mine.size() + 2 > field.id3_width && theirs.compare(0, mine.size(), mine) == 0;
        if (!cut) return true;
    }
    return false;
}

FieldTexts edited_texts(const Session& s, UserInterface& ui) {
    FieldTexts f = ui.field_texts();
    const FieldTexts shown = shown_for(s);
    for (const Field& field : k_fields)
        if (f.*field.text == ui.read_back(shown.*field.text)) f.*field.text = shown.*field.text;
    return f;
}

bool detect_change(Session& s, const settings::Settings& st, UserInterface& ui) {
    if (!s.file_loaded || s.read_only_media || s.modified) return false;
    const FieldTexts f = edited_texts(s, ui);
    const std::optional<uint8_t> genre = ui.genre();
    const std::optional<uint8_t> track = ui.track();
    // In the ID3v1 form fields_differ counts only what the record holds; while long texts are
    // allowed a longer text is a change all the same, since an apply puts it into the RMP form.
    // Not so for the very text last applied (the session keeps it with the RMP texts), which
    // the answer No to the conversion left in the ID3v1 form.
    bool longer_than_record = false;
    if (!s.rmp_texts.is_rmp && st.rmp_enabled != 0)
        for (const Field& field : k_fields)
            longer_than_record =
                longer_than_record || ((f.*field.text).size() > field.id3_width &&
                                       !formats::equal_ignoring_case(f.*field.text, s.rmp_texts.text[field.info]));
    // A text the caller named that the file's ID3v2 tag lacks is a change even where the record
    // holds it.
    bool tag_lacks_given = false;
    for (size_t i = 0; i < k_fields.size() && s.id3v2_major != 0; ++i)
        tag_lacks_given = tag_lacks_given || (ui.field_given(i) && formats::cut_to_width(f.*k_fields[i].text,
                                                                                         formats::k_text_capacity) !=
                                                                      s.id3v2_texts.*k_fields[i].tag);
    if (!fields_differ(f, s.rmp_texts.is_rmp, s.rmp_texts, s.current_tag) && !longer_than_record && !tag_lacks_given &&
        !(genre && *genre != s.current_tag.genre) && !(track && *track != s.track))
        return false;
    s.modified = true;
    ui.set_apply_enabled(true);
    return true;
}

void window_opened(Session& s, const settings::Settings& st, UserInterface& ui) {
    formats::trim_fields(s.current_tag);
    if (!s.file_loaded) s.current_tag = formats::Tag{"", "", "", "", "", s.current_tag.genre};
    ui.set_field_limits(st.rmp_enabled != 0);
    ui.set_mode_label(s.rmp_texts.is_rmp);
    show_fields(s, ui);
    ui.show_id3v2(s.id3v2_major, id3v2_differs(s));
    s.undo_snapshot = s.current_tag;
    s.window_ready = true;
}

void renamed(Session& s, const std::string& new_path) { s.current_path = new_path; }

void set_carry_over(Session& s, UserInterface& ui, bool on) {
    s.carry_over = on;
    ui.show_carry_over(on);
}

void undo(Session& s, UserInterface& ui) {
    if (s.carry_over) set_carry_over(s, ui, false);
    s.current_tag = s.file_loaded ? s.undo_snapshot : formats::Tag{"", "", "", "", "", s.undo_snapshot.genre};
    show_fields(s, ui);
    // Cleared once the fields show the tag: change detection may run while they are rewritten
    // one by one, and must not leave the session modified.
    s.modified = false;
    ui.set_apply_enabled(false);
}

} // namespace editing

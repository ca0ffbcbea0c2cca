#include "core/editing/load_file.h"
#include "core/editing/carry_over.h"

#include "core/formats/id3v2.h"
#include "core/formats/load.h"
#include "core/formats/text_rules.h"
#include "platform/text.h"

namespace editing {

Result open_and_classify(const std::string& path, platform::File& file, formats::FileHead& head) {
    if (Result opened = file.open(path, platform::File::Mode::read); !opened) return opened;
    if (!formats::read_head(file, path, head)) return failure(Fault::cannot_read, file.read_error());
    return {};
}

formats::Tag id3v2_fields(const formats::Id3v2Found& v2, std::array<bool, 5>* lacking) {
    const std::string* utf8[] = {&v2.texts.title, &v2.texts.artist, &v2.texts.album, &v2.texts.year, &v2.texts.comment};
    formats::Tag t;
    for (size_t i = 0; i < formats::k_tag_texts.size(); ++i) {
        size_t unmapped = 0;
        const std::string cp932 = platform::utf16_to_cp932(platform::utf8_to_utf16(*utf8[i]), &unmapped);
        if (lacking) (*lacking)[i] = unmapped > 0;
        t.*formats::k_tag_texts[i].text =
            formats::cut_to_width(cp932, i == 3 ? formats::k_id3_year_width : formats::k_text_capacity);
    }
    return t;
}

namespace {

// The file's own ID3v2 tag: at the start (or, in the RMP form, at the data chunk's), or at the
// end. Where the file has neither a record nor the RMP form, the fields show its texts: the
// title, and the rest unless they carry over.
void read_id3v2_texts(Session& s, platform::ByteSource& file, bool rmp_head, bool has_record) {
    s.id3v2_major = 0;
    s.id3v2_texts = formats::Tag{};
    s.fields_from_id3v2 = false;
    s.id3v2_unicode = {};
    formats::Id3v2Found v2;
    if (rmp_head) {
        const formats::RmpLayout lay = formats::walk_rmp(file);
        v2 = formats::read_id3v2(file, lay.stream.offset, lay.stream.length, formats::Id3v2Depth::texts);
    } else {
        v2 = formats::find_id3v2(file, file.size(), formats::Id3v2Depth::texts);
    }
    if (!v2.present) return;
    s.id3v2_major = v2.major;
    std::array<bool, 5> lacking{};
    const formats::Tag& t = s.id3v2_texts = id3v2_fields(v2, &lacking);
    if (has_record || rmp_head || s.rmp_texts.is_rmp) return;
    s.fields_from_id3v2 = true;
    const std::string* utf8[] = {&v2.texts.title, &v2.texts.artist, &v2.texts.album, &v2.texts.year, &v2.texts.comment};
    for (size_t i = 0; i < formats::k_tag_texts.size(); ++i) {
        const formats::TagText& f = formats::k_tag_texts[i];
        if (lacking[i] && i != 3 && (i == 0 || !s.carry_over)) s.id3v2_unicode[i] = *utf8[i];
        if (i == 0 || !s.carry_over) s.current_tag.*f.text = formats::cut_to_width(t.*f.text, f.id3_width);
        s.rmp_texts.text[f.info] = i == 0 || !s.carry_over ? t.*f.text : s.current_tag.*f.text;
    }
}

} // namespace

Result load_file(Session& s, const settings::Settings& st, UserInterface& ui, const std::string& path,
                 platform::WriteLock* lock) {
    platform::File own;
    platform::File* const locked = lock ? lock->file() : nullptr;
    formats::FileHead head;
    Result opened;
    if (locked) {
        opened = formats::read_head(*locked, path, head) ? Result{} : failure(Fault::cannot_read, locked->read_error());
    } else {
        opened = open_and_classify(path, own, head);
    }
    platform::File& file = locked ? *locked : own;
    if (!opened.ok()) {
        ui.notice(Notice::cannot_open, opened.detail);
        return opened;
    }
    formats::FileKind kind = head.kind;
    if (kind == formats::FileKind::unknown) {
        ui.notice(Notice::not_mp3, "");
        return failure(Fault::not_mp3);
    }
    if (kind != formats::FileKind::mp3) {
        static_cast<void>(own.close()); // only read from: the program of its kind opens it
        ui.hand_over(kind, path);
        return failure(Fault::handed_over);
    }

    s.rmp_texts = formats::RmpTexts{};
    s.file_loaded = false;
    formats::LoadedTag loaded = load_tag(file, s.current_tag, s.carry_over, s.undo_snapshot);
    s.current_tag = loaded.tag;
    s.track = loaded.track;
    if (loaded.carry_over_ends) ui.show_carry_over(false);
    s.file_loaded = true;

    // Read-only media: a read-only file on a CD-ROM drive is never written.
    // The drive is asked first: a POSIX system has no CD-ROM drive letters and needs no call.
    s.read_only_media = platform::is_on_cdrom(path) && platform::is_read_only(path);
    // The RMP texts are read only from a file that can be written, so a read-only RMP file
    // is edited by its ID3v1 record.
    Result done;
    if (st.rmp_enabled != 0 && head.rmp && !platform::is_read_only(path)) {
        platform::File rw;
        // One that cannot be opened for writing is edited by its ID3v1 record, as a read-only one.
        if (lock && lock->writable()) formats::read_rmp_texts(file, s.rmp_texts, &done.warnings);
        else if (rw.open(path, platform::File::Mode::read_write)) formats::read_rmp_texts(rw, s.rmp_texts, &done.warnings);
    }
    read_id3v2_texts(s, file, head.rmp, loaded.has_record);
    ui.set_field_limits(st.rmp_enabled != 0);
    ui.set_mode_label(s.rmp_texts.is_rmp);
    ui.show_id3v2(s.id3v2_major, false);
    return done;
}

Result open_file(Session& s, const settings::Settings& st, UserInterface& ui, const std::string& path,
                 platform::WriteLock* lock) {
    Result loaded = load_file(s, st, ui, path, lock);
    if (!loaded.ok()) return loaded;
    s.current_path = path;
    formats::trim_fields(s.current_tag);
    show_fields(s, ui);
    ui.show_id3v2(s.id3v2_major, id3v2_differs(s));
    // Cleared once the fields show the new texts: change detection may run while they are
    // rewritten one by one.
    s.undo_snapshot = s.current_tag;
    s.modified = false;
    ui.set_apply_enabled(false);
    return loaded;
}

} // namespace editing

// The editing session of the editor, and the one interface through which the core reaches the
// user: the questions, the notices and the edit fields. The editor wires it to its dialogs;
// the tests wire it to a script.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/formats/load.h"
#include "core/formats/rmp.h"
#include "core/formats/tag.h"
#include "core/editing/edit_rules.h"

namespace editing {

struct Session {
    std::string current_path; // UTF-8, as the file layer takes it
    bool file_loaded = false;
    bool modified = false;
    bool window_ready = false;
    bool read_only_media = false;
    // Carry-over mode: artist, album, year and comment carry over to the next file loaded.
    // Switched by the window's button (set_carry_over); a load or an undo may end it.
    bool carry_over = false;
    formats::Tag current_tag;
    formats::Tag undo_snapshot;
    formats::RmpTexts rmp_texts; // rmp_texts.is_rmp: the current file is in the RMP form
    uint8_t track = 0;           // the record's track number as loaded or applied, 0 for none
    // The file's own ID3v2 tag: its version (0 for none) and its five texts in code page 932
    // (a character that code page lacks as "?"), as loaded and since applied; the year is its
    // first four characters.
    int id3v2_major = 0;
    formats::Tag id3v2_texts;
    // The fields stand for the ID3v2 texts (a file with neither a record nor the RMP form):
    // rmp_texts.text holds them whole, current_tag as the record would hold them.
    bool fields_from_id3v2 = false;
    // While they do: a field's tag text in UTF-8 where it holds a character code page 932 lacks
    // (the field shows it as it is, and stands for the tag's text until the user edits it).
    std::array<std::string, 5> id3v2_unicode;
};

// Notices are named, not worded: the wording lives with the window, in the user's language.
enum class Notice {
    apply_cancelled, // read-only file, consent refused
    apply_failed,    // the file could not be written; the detail says why
    cannot_open,     // a file to load could not be opened
    not_mp3,         // a file to load is no MP3 file (nor anything the editor hands on)
    id3v2_left,      // the record was written, the ID3v2 tag could not be; the detail says why
};

class UserInterface {
public:
    virtual ~UserInterface() = default;
    // The question dialogs. Their never-ask-again check box flips the setting passed in at the
    // moment it is clicked, whichever answer follows.
    virtual bool ask_clear_read_only(int32_t& no_confirm_readonly) = 0;
    virtual bool ask_convert_to_rmp(int32_t& no_confirm_rmp) = 0;
    virtual void notice(Notice what, const std::string& detail) = 0;
    // The texts of the five edit fields, each at most 255 bytes.
    virtual FieldTexts field_texts() = 0;
    // The fields show these texts. An interface without fields of its own shows nothing.
    virtual void show_texts(const FieldTexts&) {}
    // A field shows this text (UTF-8) in place of its code page 932 form, which stands in for it
    // ("?" for each character that code page lacks) in the session and its change detection.
    virtual void show_unicode(size_t /*field*/, const std::string& /*utf8*/) {}
    // What a field gives back for a text it was shown. The window's fields hold UTF-16, so
    // bytes that are no cp932 text, and the duplicate codes, come back as other bytes; an
    // interface that keeps the bytes gives them back as they are.
    virtual std::string read_back(const std::string& shown) { return shown; }
    // The genre the user chose, where the interface offers one; otherwise the file's stays.
    virtual std::optional<uint8_t> genre() { return std::nullopt; }
    // The record's track number to write (0 removes it); none keeps the record's.
    virtual std::optional<uint8_t> track() { return std::nullopt; }
    virtual void set_apply_enabled(bool enabled) = 0;
    virtual void set_mode_label(bool rmp) = 0;
    // The file carries an ID3v2 tag of version 2.`major` (0: none), whose texts differ from the
    // fields' where `differs`. Shown beside the mode; an interface without one shows nothing.
    virtual void show_id3v2(int /*major*/, bool /*differs*/) {}
    // A field the caller named itself (an option of a script), which the ID3v2 tag takes
    // wherever it holds another text, even when the record holds this one already.
    virtual bool field_given(size_t /*field*/) { return false; }
    // The edit-length limits: 255 bytes for every field while long texts are allowed.
    virtual void set_field_limits(bool long_texts) = 0;
    // Carry-over mode (the session's) has been switched on or off: the window shows it by
    // disabling the fields that carry over. An interface without fields shows nothing.
    virtual void show_carry_over(bool /*on*/) {}
    // A ZIP or LZH archive or a JPEG picture is no file to tag: it goes to the program that
    // opens its kind.
    virtual void hand_over(formats::FileKind kind, const std::string& path) = 0;
    // An apply in the RMP form is about to put a new file in the place of the one at `path`,
    // and has done so (or failed, leaving it as it was). Windows refuses that while another
    // handle holds the file open, as the preview's decoder does while it plays: the window
    // stops the preview before and resumes it after.
    // False holds the change back (a script whose journal cannot take the old file): nothing is
    // written, and the apply fails.
    // `new_file` says whether a new file takes the old one's place, or it is written in place.
    virtual bool before_replace(bool /*new_file*/) { return true; }
    virtual void after_replace(const std::string& /*path*/) {}
};

// The texts the five fields stand for. A field that gives back what it was shown for the
// current tag stands for the bytes it was shown, even where those are no cp932 text: only a
// field the user edited stands for its own text. Change detection and the apply read the
// fields through this, so a field the user never touched is written back as it was loaded.
FieldTexts edited_texts(const Session& s, UserInterface& ui);

// What the fields show for the session's file: the RMP texts, the ID3v2 texts whole, or the tag.
FieldTexts shown_for(const Session& s);
// Shows them, each text of the tag that code page 932 cannot hold as it is.
void show_fields(const Session& s, UserInterface& ui);

// Whether the file's ID3v2 tag holds a text other than the field's for some field (a text the
// record cut to its width counts as the same).
bool id3v2_differs(const Session& s);

// Change detection: marks the session modified and switches the apply on when what the user
// has typed (or the genre chosen) differs from the current file's texts. Letter case is no
// difference. Nothing counts as a change before a file is loaded or on read-only media. True
// when it marked the session now.
bool detect_change(Session& s, const settings::Settings& settings, UserInterface& ui);

// The window has come up: the fields get their limits and show the start file's texts (empty
// without one), the mode shows its form, and the shown tag is the undo snapshot.
void window_opened(Session& s, const settings::Settings& settings, UserInterface& ui);

// The current file has a new name (a rename by tag).
void renamed(Session& s, const std::string& new_path);

// Switches carry-over mode and shows it.
void set_carry_over(Session& s, UserInterface& ui, bool on);

// Undo: the fields show the tag of the last load or apply again (empty fields without a
// file), carry-over mode ends, and nothing is modified.
void undo(Session& s, UserInterface& ui);

} // namespace editing

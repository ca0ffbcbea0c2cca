// tagzo-cli's side of the editing session: the fields filled from the options of `set`, the
// questions answered by its flags, and the notices written to stderr.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/editing/session.h"
#include "core/settings/settings.h"

namespace cli {

class JournalFile;

// The options of `set`; the texts in code page 932.
struct SetOptions {
    std::optional<std::string> title, artist, album, year, comment;
    std::optional<uint8_t> genre;
    std::optional<uint8_t> track; // 0 removes the record's track number
    bool no_rmp = false;
    bool no_id3v2 = false; // --no-id3v2: the file's ID3v2 tag is left as it is
    std::string display_name = "kessa";
    std::vector<std::string> files;
    JournalFile* journal = nullptr; // --journal: what each change replaces goes there first
};

// The settings of an editor that works as these options say: long texts (and so the RMP form)
// unless --no-rmp, and the display name that a conversion records.
settings::Settings settings_for(const SetOptions& options);

// Applies the options to each of `o.files` as the editor's apply does, each file read and
// written under its write lock; k_failed when some file failed (named on stderr).
int set_files(const SetOptions& o, settings::Settings& st);

// Names what befell a file on stderr: "tagzo-cli: FILE: WHAT".
void report(const std::string& path, const std::string& what);

class FlagUser final : public editing::UserInterface {
public:
    // `session` holds the file loaded at `path`; all three outlive this object.
    FlagUser(const SetOptions& options, const editing::Session& session, const std::string& path)
        : options_(options), session_(session), path_(path) {}

    // A script leaves a file as read-only as its owner marked it.
    bool ask_clear_read_only(int32_t&) override { return false; }
    bool ask_convert_to_rmp(int32_t&) override { return !options_.no_rmp; }
    void notice(editing::Notice what, const std::string& detail) override;
    // The options given, over the texts of the loaded file.
    editing::FieldTexts field_texts() override;
    std::optional<uint8_t> genre() override { return options_.genre; }
    std::optional<uint8_t> track() override { return options_.track; }
    void set_apply_enabled(bool) override {}
    void set_mode_label(bool) override {}
    void set_field_limits(bool) override {}
    void hand_over(formats::FileKind kind, const std::string& path) override;
    bool field_given(size_t field) override;
    // A whole new file is about to replace this one: the journal takes the old one first.
    bool before_replace(bool new_file) override;

    // Where the journal holds this file's whole old content, once before_replace wrote it; a
    // failure of the journal there, in words.
    std::optional<uint64_t> whole_at;
    std::string journal_failure;
    // The record was written and the file's ID3v2 tag could not be (named on stderr).
    bool id3v2_left = false;

private:
    const SetOptions& options_;
    const editing::Session& session_;
    const std::string& path_;
};

} // namespace cli

// tagzo-cli's side of the editing session: the fields filled from the options of `set`, the
// questions answered by its flags, and the notices written to stderr.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/set.h"
#include "core/editing/session.h"

namespace cli {

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

#include "cli/flag_user.h"

#include "cli/files.h"
#include "cli/journal_file.h"
#include "core/formats/load.h"
#include "platform/text.h"

namespace cli {

void FlagUser::notice(editing::Notice what, const std::string& detail) {
    using editing::Notice;
    switch (what) {
    case Notice::apply_cancelled: report(path_, "the file is read-only; nothing written"); return;
    case Notice::apply_failed:
        report(path_, (journal_failure.empty() ? detail : "the journal cannot take the change: " + journal_failure) +
                          "; the file is as it was");
        return;
    case Notice::cannot_open: report(path_, folder_refusal(path_, detail)); return;
    case Notice::not_mp3: report(path_, "not an MP3 file (unknown); nothing written"); return;
    case Notice::id3v2_left:
        id3v2_left = true;
        report(path_, "the record is written, but the ID3v2 tag, which players read first, is as it was: " + detail);
        return;
    }
}

editing::FieldTexts FlagUser::field_texts() {
    const editing::FieldTexts file = editing::shown_for(session_);
    const SetOptions& o = options_;
    return {o.title.value_or(file.title), o.artist.value_or(file.artist), o.album.value_or(file.album),
            o.year.value_or(file.year), o.comment.value_or(file.comment)};
}

bool FlagUser::field_given(size_t field) {
    const std::optional<std::string>* given[] = {&options_.title, &options_.artist, &options_.album, &options_.year,
                                                 &options_.comment};
    return field < 5 && given[field]->has_value();
}

bool FlagUser::before_replace(bool new_file) {
    if (!options_.journal) return true;
    uint64_t at = 0;
    // A file written in place has no old file to keep: its bytes go into the journal.
    if (platform::Result kept = new_file ? options_.journal->before_replace(path_, at)
                                         : options_.journal->before_region(path_, editing::JournalChange::Kind::whole, 0, at);
        !kept)
        journal_failure = kept.detail;
    else whole_at = at;
    // Written ahead or not at all: a change the journal cannot take is not made.
    return journal_failure.empty();
}

void FlagUser::hand_over(formats::FileKind kind, const std::string& path) {
    report(path, std::string("not an MP3 file (") + formats::kind_name(kind) + "); nothing written");
}

} // namespace cli

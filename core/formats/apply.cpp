#include "core/formats/apply.h"

#include <cstring>

#include "core/formats/rmp.h"
#include "platform/file.h"

namespace formats {

ApplyForm decide_apply_form(const Tag& edited, bool rmp_enabled, bool is_rmp, bool file_is_rmp) {
    if (!(rmp_enabled && texts_too_long(edited)) && !is_rmp) return ApplyForm::id3;
    return file_is_rmp ? ApplyForm::rewrite : ApplyForm::convert;
}

namespace {

// A record goes at the end of the file, over the record there or after the last byte. A file
// in the RMP form without a record at its end would get it where its list is read: the bytes
// could complete a list header, and the file would read back with other texts than those
// written. Only the first 12 and the last 128 bytes are read for this.
bool record_would_be_appended_to_rmp(platform::File& file) {
    if (!is_rmp_file(file)) return false;
    unsigned char tail[3];
    return file.size() < k_record_size || !file.read_at(file.size() - k_record_size, tail, sizeof tail) ||
           std::memcmp(tail, "TAG", 3) != 0;
}

} // namespace

platform::Result apply_tag_to_file(const std::string& path, const Tag& edited, ApplyForm form,
                                   const std::string& display_name, Applied* applied,
                                   const std::function<void()>& before_replace, platform::File* open) {
    platform::File own;
    // Opening for writing first tells a read-only or locked file apart before any work.
    if (!open) {
        if (platform::Result opened = own.open(path, platform::File::Mode::read_write); !opened) {
            opened.detail = "cannot open for writing: " + opened.detail;
            return opened;
        }
    }
    platform::File& file = open ? *open : own;
    // Such a file is written whole in the RMP form instead, which reads back as written.
    if (form == ApplyForm::id3 && record_would_be_appended_to_rmp(file)) form = ApplyForm::rewrite;
    if (form == ApplyForm::id3) {
        if (platform::Result written = write_id3v1_record(file, edited); !written) return written;
        // A file of the caller's is closed by the caller, who is told of a failure there.
        if (platform::Result closed = own.close(); !closed)
            return platform::failure(platform::Fault::write_failed, "closing the file failed: " + closed.detail);
        return {};
    }
    // The RMP form replaces the whole file: the new one is written beside it, and the record
    // goes straight into its IID3 sub-chunk, so the original is never touched half-way.
    RmpPlan plan = plan_rmp(file, form == ApplyForm::rewrite, edited, display_name);
    if (applied) applied->mended = plan.warnings;
    platform::ReplacingWriter out;
    if (platform::Result begun = out.begin(path); !begun) return begun;
    if (platform::Result written = write_rmp_file(out, file, plan); !written) return written;
    // Only read from: the new file replaces it.
    static_cast<void>(own.close());
    if (before_replace) before_replace();
    platform::Result committed = out.commit();
    if (committed && applied) applied->rmp_texts = plan.texts;
    return committed;
}

} // namespace formats

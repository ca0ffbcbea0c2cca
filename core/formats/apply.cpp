#include "core/formats/apply.h"

#include <cstring>
#include <memory>

#include "core/formats/rmp.h"
#include "platform/file.h"

namespace formats {

ApplyForm decide_apply_form(const Tag& edited, bool rmp_enabled, bool is_rmp, bool file_is_rmp, bool has_id3v2) {
    if (!(rmp_enabled && texts_too_long(edited) && !has_id3v2) && !is_rmp) return ApplyForm::id3;
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

platform::Result held_back() {
    return platform::failure(platform::Fault::write_failed, "the change was held back before it was written");
}

// The record and a new ID3v2 tag. A tag that fits its old room is written over it in place
// after the record, and a failure there puts the old bytes back. A larger one goes into a new
// file (the tag, the stream, the record) that replaces the old one only when whole.
platform::Result write_with_id3v2(const std::string& path, platform::File& file, platform::File& own,
                                  const Tag& edited, const Id3v2Found& old, const Id3v2EditPlan& v2,
                                  const std::function<bool(bool new_file)>& before_replace, const HandOver& hand_over) {
    const uint64_t size = file.size();
    RecordBytes last{};
    const bool has_record = size >= old.size + k_record_size &&
                            file.read_at(size - k_record_size, last.data(), last.size()) &&
                            std::memcmp(last.data(), "TAG", 3) == 0;
    if (v2.in_place) {
        std::string before(v2.tag.size(), '\0');
        if (!file.read_at(old.offset, before.data(), before.size()))
            return platform::failure(platform::Fault::cannot_read, "cannot read the ID3v2 tag: " + file.read_error());
        if (before_replace && !before_replace(false)) return held_back();
        if (platform::Result written = write_id3v1_record(file, edited); !written) return written;
        platform::Result put = file.write_at(old.offset, v2.tag.data(), v2.tag.size());
        if (put) return put;
        static_cast<void>(file.write_at(old.offset, before.data(), before.size()));
        if (has_record) static_cast<void>(file.write_at(size - k_record_size, last.data(), last.size()));
        else static_cast<void>(file.truncate(size));
        put.detail = "cannot write the ID3v2 tag: " + put.detail;
        return put;
    }
    const uint8_t kept = has_record ? record_track(last.data()) : 0;
    const RecordBytes record = make_record(edited, edited.track == k_keep_track ? kept : static_cast<uint8_t>(edited.track));
    const uint64_t stream_end = has_record ? size - k_record_size : size;
    auto out = std::make_unique<platform::ReplacingWriter>();
    if (platform::Result begun = out->begin(path); !begun) return begun;
    if (platform::Result put = out->write(v2.tag.data(), v2.tag.size()); !put) return put;
    if (platform::Result put = out->copy_from(file, old.size, stream_end - old.size); !put) return put;
    if (platform::Result put = out->write(record.data(), record.size()); !put) return put;
    // Only read from: the new file replaces it.
    static_cast<void>(own.close());
    if (before_replace && !before_replace(true)) return held_back();
    return hand_over ? hand_over(std::move(out)) : out->commit();
}

} // namespace

platform::Result apply_tag_to_file(const std::string& path, const Tag& edited, ApplyForm form,
                                   const std::string& display_name, Applied* applied,
                                   const std::function<bool(bool new_file)>& before_replace, platform::File* open,
                                   const Id3v2Edit* id3v2, const HandOver& hand_over) {
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
    if (form == ApplyForm::id3 && id3v2 && id3v2->any()) {
        const Id3v2Found old = find_id3v2(file, file.size());
        const Id3v2EditPlan v2 = plan_id3v2_edit(old, 0, *id3v2);
        if (applied) applied->id3v2_left = v2.why_not;
        if (!v2.tag.empty()) {
            platform::Result written = write_with_id3v2(path, file, own, edited, old, v2, before_replace, hand_over);
            if (applied) applied->id3v2_written = written.ok();
            if (platform::Result closed = own.close(); !closed && written)
                return platform::failure(platform::Fault::write_failed, "closing the file failed: " + closed.detail);
            return written;
        }
    }
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
    // The tag inside the data chunk takes the edit as well; the new file is written whole anyway.
    if (id3v2 && id3v2->any()) {
        const Id3v2Found old = read_id3v2(file, plan.stream.offset, plan.stream.length);
        Id3v2EditPlan v2 = plan_id3v2_edit(old, plan.stream.offset, *id3v2);
        if (applied) applied->id3v2_left = v2.why_not;
        if (!v2.tag.empty()) {
            plan.stream_head = std::move(v2.tag);
            plan.head_replaces = old.size;
        }
    }
    auto out = std::make_unique<platform::ReplacingWriter>();
    if (platform::Result begun = out->begin(path); !begun) return begun;
    if (platform::Result written = write_rmp_file(*out, file, plan); !written) return written;
    // Only read from: the new file replaces it.
    static_cast<void>(own.close());
    if (before_replace && !before_replace(true)) return held_back();
    platform::Result committed = hand_over ? hand_over(std::move(out)) : out->commit();
    if (committed && applied) {
        applied->rmp_texts = plan.texts;
        applied->id3v2_written = !plan.stream_head.empty();
    }
    return committed;
}

} // namespace formats

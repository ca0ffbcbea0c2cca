#include "editor/tags/apply.h"
#include "editor/tags/rmp.h"
#include "platform/file.h"

namespace tags {

ApplyForm decide_apply_form(const Tag& edited, bool rmp_enabled, bool is_rmp, bool file_is_rmp) {
    if (!(rmp_enabled && texts_too_long(edited)) && !is_rmp) return ApplyForm::id3;
    return file_is_rmp ? ApplyForm::rewrite : ApplyForm::convert;
}

ApplyResult apply_tag_to_file(const std::string& path, const Tag& edited, ApplyForm form,
                              const std::string& display_name) {
    ApplyResult res;
    platform::File file;
    // Opening for writing first tells a read-only or locked file apart before any work.
    if (!file.open(path, platform::File::Mode::read_write, res.error)) {
        res.error = "cannot open for writing: " + res.error;
        return res;
    }
    if (form == ApplyForm::id3) {
        res.ok = write_id3v1_record(file, edited, res.error);
        if (res.ok && !file.close()) {
            res.ok = false;
            res.error = "closing the file failed: " + file.error();
        }
        return res;
    }
    // The RMP form replaces the whole file: the new one is written beside it, and the record
    // goes straight into its IID3 sub-chunk, so the original is never touched half-way.
    RmpPlan plan = plan_rmp(file, form == ApplyForm::rewrite, edited, display_name);
    res.notices = plan.notices;
    platform::ReplacingWriter out;
    if (!out.begin(path, res.error) || !write_rmp_file(out, file, plan, res.error)) return res;
    file.close();
    res.ok = out.commit(res.error);
    return res;
}

} // namespace tags

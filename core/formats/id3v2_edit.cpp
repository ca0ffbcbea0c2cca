#include "core/formats/id3v2_edit.h"

#include "platform/text.h"

namespace formats {

Id3v2EditPlan plan_id3v2_edit(const Id3v2Found& old, uint64_t stream_start, const Id3v2Edit& edit) {
    Id3v2EditPlan plan;
    if (!old.present) return plan;
    if (old.offset != stream_start) {
        plan.why_not = "the ID3v2 tag sits at the end of the file, where this writer does not write";
        return plan;
    }
    if (old.major != 3 && old.major != 4) {
        plan.why_not = "ID3v2." + std::to_string(old.major) + " tags are not written";
        return plan;
    }
    // Damage ends the frames that are read: the tag written again would lose those after it.
    if (old.damaged) {
        plan.why_not = "the ID3v2 tag is damaged, and writing it again would lose the frames after the damage";
        return plan;
    }
    Id3v2Texts texts;
    std::string Id3v2Texts::*const fields[] = {&Id3v2Texts::title, &Id3v2Texts::artist, &Id3v2Texts::album,
                                               &Id3v2Texts::year, &Id3v2Texts::comment};
    unsigned cleared = 0;
    for (size_t i = 0; i < edit.texts.size(); ++i) {
        if (!edit.texts[i]) continue;
        std::string utf8 = platform::cp932_to_utf8(*edit.texts[i]);
        // The record pads the year; the tag holds the digits.
        if (i == 3)
            while (!utf8.empty() && utf8.back() == ' ') utf8.pop_back();
        if (utf8.empty()) cleared |= 1u << i;
        else texts.*fields[i] = utf8;
    }
    Id3v2Rewrite r = rewrite_id3v2(old.major, texts, old, cleared);
    if (!r.left_behind.empty()) {
        plan.why_not = "its " + r.left_behind + " frame cannot be written again";
        return plan;
    }
    plan.tag = std::move(r.tag);
    // The new frames in the old tag's place, the rest of it padding: the header's size is the
    // old one, and every byte after the tag stays where it is.
    if (plan.tag.size() <= old.size && old.size - 10 <= 0x0FFFFFFF) {
        plan.tag.resize(static_cast<size_t>(old.size), '\0'); // at most 256 MiB: the size field says so
        const uint32_t body = static_cast<uint32_t>(old.size - 10);
        for (int k = 0; k < 4; ++k) plan.tag[6 + k] = static_cast<char>((body >> (7 * (3 - k))) & 0x7F);
        plan.in_place = true;
    }
    return plan;
}

} // namespace formats

// The rules behind the five edit fields that need no window: change detection, the tag
// history and the texts it offers, and the year list. The window code feeds them the texts
// of its controls and shows what they return.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "core/settings/settings.h"
#include "core/formats/rmp.h"
#include "core/formats/tag.h"

namespace editing {

// The texts of the controls 1000, 1012, 1018, 1019 and 1020, as read.
struct FieldTexts {
    std::string title, artist, album, year, comment;
};

// The five fields in the window's order, top to bottom: where each one's text stands in
// FieldTexts, and in the tag and the RMP form.
struct Field {
    std::string FieldTexts::*text;
    std::string formats::Tag::*tag;
    formats::RmpId info;
    size_t id3_width;
};
inline const std::array<Field, 5> k_fields = [] {
    constexpr std::string FieldTexts::*texts[] = {&FieldTexts::title, &FieldTexts::artist, &FieldTexts::album,
                                                  &FieldTexts::year, &FieldTexts::comment};
    std::array<Field, 5> fields{};
    for (size_t i = 0; i < fields.size(); ++i) {
        const formats::TagText& t = formats::k_tag_texts[i];
        fields[i] = {texts[i], t.text, t.info, t.id3_width};
    }
    return fields;
}();

// True when a field differs from the loaded tag: from `rmp` in the RMP form, otherwise from
// `current` after cutting the field to 30 bytes (the year 4). Letter case is no difference.
bool fields_differ(const FieldTexts& fields, bool is_rmp, const formats::RmpTexts& rmp, const formats::Tag& current);

// What the fields show for a tag: the RMP texts in the RMP form, else the tag's texts.
FieldTexts shown_texts(bool is_rmp, const formats::RmpTexts& rmp, const formats::Tag& current);

using History = std::array<settings::HistoryEntry, settings::k_history_count>;

// Enters a tag into the history, keyed by album and artist. False when an entry already holds
// the same tag (nothing changed, nothing to save); true when a slot was written.
bool add_to_history(History& history, const formats::Tag& tag);

// The items of the artist, album and comment drop-downs.
struct DropDowns {
    std::vector<std::string> artist, album, comment;
};
// Adds the history's texts of at least two bytes that the lists do not hold yet (ignoring
// case): slots 0 to 49 after a load, 49 down to 0 (latest first) at start-up.
void offer_history_texts(const History& history, bool latest_first, DropDowns& lists);

// The 60 items of the year list: 50 years from this year + 2 downwards, with "----" after
// each year divisible by 5. `tm_year` is the year count since 1900 of the local time.
std::vector<std::string> year_list(int tm_year);

} // namespace editing

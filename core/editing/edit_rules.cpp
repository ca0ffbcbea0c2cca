#include "core/editing/edit_rules.h"

#include "core/formats/text_rules.h"

namespace editing {

using formats::equal_ignoring_case;

bool fields_differ(const FieldTexts& f, bool is_rmp, const formats::RmpTexts& rmp, const formats::Tag& t) {
    for (const Field& field : k_fields) {
        // In the ID3v1 form only what the record can hold counts.
        bool same = is_rmp ? equal_ignoring_case(f.*field.text, rmp.text[field.info])
                           : equal_ignoring_case(formats::cut_to_width(f.*field.text, field.id3_width), t.*field.tag);
        if (!same) return true;
    }
    return false;
}

FieldTexts shown_texts(bool is_rmp, const formats::RmpTexts& rmp, const formats::Tag& t) {
    FieldTexts shown;
    for (const Field& field : k_fields) shown.*field.text = is_rmp ? rmp.text[field.info] : t.*field.tag;
    return shown;
}

bool add_to_history(History& history, const formats::Tag& tag) {
    using settings::slot_text;
    int chosen = -1;
    for (int i = 0; i < static_cast<int>(history.size()); ++i) {
        const settings::HistoryEntry& e = history[static_cast<size_t>(i)];
        if (e.used == 0 || !equal_ignoring_case(slot_text(e.album), tag.album) ||
            !equal_ignoring_case(slot_text(e.artist), tag.artist))
            continue;
        if (equal_ignoring_case(slot_text(e.title), tag.title) && equal_ignoring_case(slot_text(e.year), tag.year) &&
            equal_ignoring_case(slot_text(e.comment), tag.comment))
            return false;
        chosen = i; // a later matching slot wins
    }
    if (chosen < 0) {
        for (int i = 0; i < static_cast<int>(history.size()); ++i)
            if (history[static_cast<size_t>(i)].used == 0) {
                chosen = i;
                break;
            }
    }
    if (chosen < 0) {
        // Full: every entry moves one slot towards slot 0, the oldest drops out.
        for (size_t n = 0; n + 1 < history.size(); ++n) {
            settings::HistoryEntry& to = history[n];
            const settings::HistoryEntry& from = history[n + 1];
            to.title = from.title;
            to.artist = from.artist;
            to.album = from.album;
            to.year = from.year;
            to.comment = from.comment;
            to.genre = from.genre;
        }
        chosen = static_cast<int>(history.size()) - 1;
    }
    settings::set_history_entry(history[static_cast<size_t>(chosen)], tag.title, tag.artist, tag.album, tag.year,
                                tag.comment, tag.genre);
    return true;
}

namespace {
void offer(std::vector<std::string>& items, const std::string& text) {
    if (text.size() < 2) return;
    for (const std::string& it : items)
        if (equal_ignoring_case(it, text)) return;
    items.push_back(text);
}
} // namespace

void offer_history_texts(const History& history, bool latest_first, DropDowns& lists) {
    for (size_t k = 0; k < history.size(); ++k) {
        const settings::HistoryEntry& e = history[latest_first ? history.size() - 1 - k : k];
        if (e.used == 0) continue;
        offer(lists.album, settings::slot_text(e.album));
        offer(lists.artist, settings::slot_text(e.artist));
        offer(lists.comment, settings::slot_text(e.comment));
    }
}

std::vector<std::string> year_list(int tm_year) {
    int base = tm_year + (tm_year > 45 ? 1900 : 2000);
    std::vector<std::string> items;
    for (int y = base + 2; y > base + 2 - 50; --y) {
        items.push_back(std::to_string(y));
        if (y % 5 == 0) items.emplace_back("----");
    }
    return items;
}

} // namespace editing

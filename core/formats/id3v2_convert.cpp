// Version changes of an ID3v2 tag's frames, and the repair of texts marked Latin-1 that are cp932.
#include "core/formats/id3v2_frames.h"
#include "core/formats/id3v2_internal.h"
#include "platform/text.h"

namespace formats {

namespace id3v2 {

namespace {

// A picture's or a text-after-a-language frame's body (`layout`) of version `from` in the form
// of `major`: 2.2's image format becomes a MIME type, and texts in encodings that `major` lacks
// become its own. False when the body is too damaged to turn.
bool convert(int from, Layout layout, const std::string& in, int major, std::string& body) {
    if (in.empty()) return false;
    const int enc = static_cast<unsigned char>(in[0]);
    if (enc > 3) return false;
    const bool enc_fits = major == 4 || enc <= 1;
    if (enc_fits && from != 2) {
        body = in;
        return true;
    }
    const int to = enc_fits ? enc : encoding_for(major);
    auto text = [&](const std::string& raw) { return enc_fits ? raw : encode(major, decode(enc, raw)); };
    size_t pos = 1;
    std::string head, desc;
    if (layout == Layout::picture) {
        if (from == 2) {
            if (in.size() < 5) return false;
            std::string format = in.substr(1, 3);
            for (char& c : format)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            head = "image/" + (format == "jpg" ? std::string("jpeg") : format) + std::string(1, '\0');
            pos = 4;
        } else {
            std::string mime;
            if (!take_text(in, pos, 0, mime)) return false;
            head = mime + std::string(1, '\0');
        }
        if (pos >= in.size()) return false;
        head += in[pos++]; // the picture type
        if (!take_text(in, pos, enc, desc)) return false;
        body = std::string(1, static_cast<char>(to)) + head + text(desc) + terminator(to) + in.substr(pos);
        return true;
    }
    if (in.size() < 4) return false;
    head = in.substr(1, 3); // the language
    pos = 4;
    if (!take_text(in, pos, enc, desc)) return false;
    std::string rest = in.substr(pos);
    if (!enc_fits) {
        std::string cut;
        size_t p = 0;
        if (take_text(rest, p, enc, cut)) rest = cut; // a terminator at the end is no text
    }
    body = std::string(1, static_cast<char>(to)) + head + text(desc) + terminator(to) + text(rest);
    return true;
}

// One frame of version `from` in the form of `to` (different versions). False when it cannot
// be turned.
bool turn(int from, int to, const Id3v2Frame& f, std::vector<Id3v2Frame>& out) {
    std::string body;
    if (!plain_body(from, f, body)) return false;
    std::string id = from == 2 ? v23_name(f.id) : f.id;
    if (id.empty()) return false;
    // Status flags: 2.3 keeps them in the top three bits, 2.4 one bit lower.
    uint16_t status = from == 3 && to == 4 ? static_cast<uint16_t>((f.flags & 0xE000) >> 1)
                      : from == 4          ? static_cast<uint16_t>((f.flags & 0x7000) << 1)
                                           : 0;
    const int enc = body.empty() ? 0 : static_cast<unsigned char>(body[0]);
    if (enc > 3 && layout_of(id) != Layout::binary) return false;
    if (const FrameRule* rule = frame_rule(id); rule && !exists_in(*rule, to)) {
        if (rule->missing != Missing::renamed) return false;
        id = rule->counterpart;
    }
    const Layout layout = layout_of(id);
    const bool enc_fits = to == 4 || enc <= 1;
    if (layout == Layout::picture || layout == Layout::language_text) {
        std::string turned;
        if (!convert(from, layout, body, to, turned)) return false;
        out.push_back({id, status, turned});
        return true;
    }
    if (layout == Layout::year && from == 4 && !body.empty()) {
        // 2.3's original release year: the year of 2.4's original release date.
        const auto v = text_values(enc, body.substr(1));
        out.push_back({id, status, text_body(to, {v.empty() ? "" : v[0].substr(0, 4)})});
        return true;
    }
    if ((layout == Layout::text || layout == Layout::year) && !body.empty()) {
        if (!enc_fits || from == 4) out.push_back({id, status, text_body(to, text_values(enc, body.substr(1)))});
        else out.push_back({id, status, body});
        return true;
    }
    if (layout == Layout::described_text && !body.empty()) {
        size_t pos = 1;
        std::string desc;
        if (!take_text(body, pos, enc, desc)) return false;
        if (enc_fits) {
            out.push_back({id, status, body});
        } else {
            const int e = encoding_for(to);
            out.push_back({id, status,
                           std::string(1, static_cast<char>(e)) + encode(to, decode(enc, desc)) + terminator(e) +
                               encode(to, decode(enc, body.substr(pos)))});
        }
        return true;
    }
    if (layout == Layout::other_text && !enc_fits) return false;
    out.push_back({id, status, body});
    return true;
}

} // namespace

std::string turn_frames(int from, int to, const std::vector<Id3v2Frame>& carried, Id3v2Texts& t,
                        std::vector<Id3v2Frame>& frames) {
    // Whether `to` lacks the frame and takes its content in the way `way`.
    auto becomes = [to](const std::string& id, Missing way) {
        const FrameRule* rule = frame_rule(id);
        return rule && !exists_in(*rule, to) && rule->missing == way;
    };
    // The date of a 2.3 tag is three frames; 2.4 has one.
    std::string year, date, time;
    for (const Id3v2Frame& f : carried) {
        std::string body;
        const std::string id = from == 2 ? v23_name(f.id) : f.id;
        if (becomes(id, Missing::date_merged) && plain_body(from, f, body) && !body.empty()) {
            const auto v = text_values(static_cast<unsigned char>(body[0]) & 3, body.substr(1));
            (id == "TYER" ? year : id == "TDAT" ? date : time) = v.empty() ? "" : v[0];
        }
    }
    if (to == 4 && t.year.empty() && !year.empty()) {
        t.year = year;
        if (date.size() == 4) t.year += "-" + date.substr(2, 2) + "-" + date.substr(0, 2);
        if (date.size() == 4 && time.size() == 4) t.year += "T" + time.substr(0, 2) + ":" + time.substr(2, 2);
    }
    // 2.3 has no release date: where the tag has no recording date, the release date's year
    // stands in as the year, as a reader of a 2.3 tag looks for it there.
    bool has_tdrc = false;
    for (const Id3v2Frame& f : carried) has_tdrc = has_tdrc || f.id == "TDRC";
    for (const Id3v2Frame& f : carried) {
        const std::string id = from == 2 ? v23_name(f.id) : f.id;
        if (becomes(id, Missing::date_merged)) continue;
        if (becomes(id, Missing::date_split) && (id == "TDRC" || !has_tdrc) && t.year.empty()) {
            std::string body;
            if (!plain_body(from, f, body) || body.empty()) return f.id;
            const auto v = text_values(static_cast<unsigned char>(body[0]) & 3, body.substr(1));
            const std::string d = v.empty() ? "" : v[0];
            if (d.size() >= 4) frames.push_back({"TYER", 0, text_frame_body(3, d.substr(0, 4))});
            if (d.size() >= 10) frames.push_back({"TDAT", 0, text_frame_body(3, d.substr(8, 2) + d.substr(5, 2))});
            if (d.size() >= 16) frames.push_back({"TIME", 0, text_frame_body(3, d.substr(11, 2) + d.substr(14, 2))});
            continue;
        }
        if (!turn(from, to, f, frames)) return f.id;
    }
    return {};
}

} // namespace id3v2

using namespace id3v2;

Id3v2Rewrite repair_id3v2(int major, const Id3v2Found& old, std::vector<Id3v2Repair>& repairs) {
    Id3v2Found fixed = old;
    const int own = old.major == 4 ? 4 : 3; // the encoding of the tag's own version
    for (Id3v2Frame& f : fixed.frames) {
        const std::string id = old.major == 2 ? v23_name(f.id) : f.id;
        const Layout layout = layout_of(id);
        const bool described = layout == Layout::described_text || layout == Layout::language_text;
        if (!described && layout != Layout::text && layout != Layout::year) continue;
        std::string body;
        if (!plain_body(old.major, f, body) || body.empty() || body[0] != 0) continue;
        // The fields of the body: a description first for TXXX, COMM and USLT, after the language
        // for the last two.
        size_t pos = layout == Layout::language_text ? 4 : 1;
        if (pos > body.size()) continue;
        const std::string head = body.substr(1, pos - 1);
        std::vector<std::string> fields;
        if (described) {
            std::string desc;
            if (!take_text(body, pos, 0, desc)) continue;
            fields.push_back(desc);
        }
        fields.push_back(body.substr(pos));
        bool any = false;
        for (const std::string& s : fields) any = any || is_mis_marked_cp932(s);
        if (!any) continue;
        std::string rebuilt(1, static_cast<char>(encoding_for(own)));
        rebuilt += head;
        std::string before, after;
        for (size_t i = 0; i < fields.size(); ++i) {
            const bool last = i + 1 == fields.size();
            const std::string utf8 =
                is_mis_marked_cp932(fields[i]) ? platform::cp932_to_utf8(fields[i]) : decode(0, fields[i]);
            if (last) {
                before = decode(0, fields[i]);
                after = utf8;
            }
            rebuilt += encode(own, utf8);
            if (!last) rebuilt += terminator(encoding_for(own));
        }
        repairs.push_back({f.id, before, after});
        f.raw = rebuilt;
        f.flags &= old.major == 4 ? 0x7000 : 0xE000; // the body is plain now
    }
    if (repairs.empty() && major == old.major) return {};
    return rewrite_id3v2(major, {}, fixed);
}

} // namespace formats

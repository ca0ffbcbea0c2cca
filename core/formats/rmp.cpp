#include <cstring>

#include "core/formats/reader.h"
#include "core/formats/rmp.h"
#include "core/formats/text_rules.h"
#include "platform/file.h"

namespace formats {

const std::array<const char*, k_rmp_text_count> k_rmp_ids = {"INAM", "IART", "IPRD", "ICMT", "ICRD",
                                                             "IGNR", "ICOP", "IENG", "ISRC", "ISFT"};

namespace {

// A list may hold any number of sub-chunks; past this many the walk stops, so that a file
// of empty sub-chunks cannot make the walk hold millions of ranges.
constexpr size_t k_max_subchunks = 100000;

std::string number(uint64_t v) { return std::to_string(v); }

std::string printable_id(const unsigned char* id) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        unsigned char c = id[i];
        if (c >= 0x20 && c < 0x7F) s += static_cast<char>(c);
        else {
            static const char hex[] = "0123456789ABCDEF";
            s += "\\x";
            s += hex[c >> 4];
            s += hex[c & 15];
        }
    }
    return s;
}

int text_index(const unsigned char* id) {
    for (int i = 0; i < k_rmp_text_count; ++i)
        if (std::memcmp(id, k_rmp_ids[static_cast<size_t>(i)], 4) == 0) return i;
    return -1;
}

// A text sub-chunk's text: its bytes up to the first zero or its end, at most 255 bytes.
std::string chunk_text(Reader& r, uint64_t n) {
    unsigned char buf[k_text_capacity + 1];
    size_t take = static_cast<size_t>(n < sizeof buf ? n : sizeof buf);
    if (!r.bytes(buf, take)) return {};
    size_t len = 0;
    while (len < take && buf[len] != 0) ++len;
    return cut_to_width(std::string_view(reinterpret_cast<const char*>(buf), len), k_text_capacity);
}

void add_range(std::vector<ByteRange>& ranges, uint64_t offset, uint64_t length) {
    if (!ranges.empty() && ranges.back().offset + ranges.back().length == offset) ranges.back().length += length;
    else ranges.push_back({offset, length});
}

bool tail_is_record(platform::ByteSource& file, uint64_t not_before) {
    uint64_t size = file.size();
    unsigned char tag[3];
    return size >= k_record_size && size - k_record_size >= not_before && file.read_at(size - k_record_size, tag, 3) &&
           std::memcmp(tag, "TAG", 3) == 0;
}

} // namespace

bool is_rmp_head(const unsigned char* head, size_t n) { return n >= 12 && std::memcmp(head + 8, "RMP3", 4) == 0; }

bool is_rmp_file(platform::ByteSource& file) {
    unsigned char head[12];
    return file.size() >= 12 && file.read_at(0, head, 12) && is_rmp_head(head, 12);
}

RmpLayout walk_rmp(platform::ByteSource& file) {
    RmpLayout lay;
    const uint64_t size = file.size();
    Reader r(file);
    uint32_t d = 0;
    if (size < 20 || !r.seek(16) || !r.u32le(d)) {
        lay.stream = {size < 20 ? size : 20, 0};
        lay.warnings.push_back("the file ends inside the RIFF header");
        return lay;
    }
    if (d > size - 20) {
        // A size beyond the file: the stream is what is there, up to a trailing record.
        uint64_t limit = tail_is_record(file, 20) ? size - k_record_size : size;
        lay.stream = {20, limit - 20};
        lay.warnings.push_back("the data chunk claims " + number(d) + " bytes but only " + number(size - 20) +
                               " follow; the stream is taken as the " + number(limit - 20) + " bytes there");
        return lay;
    }
    lay.stream = {20, d};
    uint64_t pos = 20 + static_cast<uint64_t>(d);
    if (pos & 1) ++pos;
    unsigned char head[12];
    if (pos > size || size - pos < 12 || !r.seek(pos) || !r.bytes(head, 12) || std::memcmp(head, "LIST", 4) != 0) {
        lay.warnings.push_back("no LIST chunk follows the data chunk");
        return lay;
    }
    lay.has_list = true;
    uint64_t end = pos + 8 + get_u32le(head + 4);
    if (end > size) {
        lay.warnings.push_back("the LIST chunk claims " + number(end - pos - 8) + " bytes but the file ends after " +
                               number(size - pos - 8));
        end = size;
    }
    pos += 12;
    size_t count = 0;
    while (pos < end) {
        if (end - pos < 8) {
            lay.warnings.push_back(number(end - pos) + " stray bytes at the end of the list are dropped");
            break;
        }
        unsigned char sub[8];
        if (!r.seek(pos) || !r.bytes(sub, 8)) break;
        uint64_t n = get_u32le(sub + 4);
        uint64_t data = pos + 8;
        if (n > end - data) {
            lay.warnings.push_back("sub-chunk '" + printable_id(sub) + "' claims " + number(n) + " bytes but only " +
                                   number(end - data) + " remain in the list; it and what follows are dropped");
            break;
        }
        if (std::memcmp(sub, "IID3", 4) == 0) {
            lay.has_iid3 = true;
            lay.iid3_data = data;
            break;
        }
        int idx = text_index(sub);
        if (idx >= 0) lay.texts[static_cast<size_t>(idx)] = chunk_text(r, n);
        uint64_t next = data + n;
        if ((next & 1) && next < end) ++next; // the pad byte after odd data
        if (idx < 0) add_range(lay.others, pos, next - pos);
        pos = next;
        if (++count >= k_max_subchunks) {
            lay.warnings.push_back("the list holds more than " + number(k_max_subchunks) +
                                   " sub-chunks; the rest is not read");
            break;
        }
    }
    if (!lay.has_iid3) lay.warnings.push_back("the list has no IID3 sub-chunk");
    return lay;
}

bool read_rmp_texts(platform::ByteSource& file, RmpTexts& texts, std::vector<std::string>* warnings) {
    texts = RmpTexts{};
    if (!is_rmp_file(file)) return false;
    RmpLayout lay = walk_rmp(file);
    if (warnings) warnings->insert(warnings->end(), lay.warnings.begin(), lay.warnings.end());
    if (!lay.has_list) return false;
    texts.text = std::move(lay.texts);
    texts.is_rmp = true;
    return true;
}

std::string software_name(const std::string& display_name) {
    return cut_to_width(display_name + " " + k_software_version, k_text_capacity);
}

RmpPlan plan_rmp(platform::ByteSource& file, bool already_rmp, const Tag& tag, const std::string& display_name) {
    RmpPlan plan;
    // The record keeps the track number of the one it replaces, in the file's last 128 bytes
    // (none when the file has no record there).
    Id3v1Record old;
    uint8_t track = 0;
    read_id3v1_record(file, old, &track);
    plan.record = make_record(tag, tag.track == k_keep_track ? track : static_cast<uint8_t>(tag.track));
    bool keep_from_file = false;
    if (already_rmp) {
        RmpLayout lay = walk_rmp(file);
        plan.stream = lay.stream;
        plan.warnings = std::move(lay.warnings);
        if (lay.has_list) {
            keep_from_file = true;
            for (int i : {IGNR, ICOP, IENG, ISRC, ISFT})
                plan.texts[static_cast<size_t>(i)] = lay.texts[static_cast<size_t>(i)];
            plan.others = std::move(lay.others);
        }
    } else {
        // The stream is the whole file without its trailing record.
        uint64_t size = file.size();
        plan.stream = {0, tail_is_record(file, 0) ? size - k_record_size : size};
    }
    if (!keep_from_file) plan.texts[ISFT] = software_name(display_name);
    for (const TagText& t : k_tag_texts) plan.texts[t.info] = cut_to_width(tag.*t.text, k_text_capacity);
    return plan;
}

platform::Result write_rmp_file(platform::ReplacingWriter& w, platform::ByteSource& file, const RmpPlan& plan) {
    // Sizes are known in advance, so the file is written front to back in one pass.
    auto even = [](uint64_t v) { return v + (v & 1); };
    uint64_t list = 4; // "INFO"
    for (const auto& t : plan.texts) list += 8 + even(t.size() + 1);
    for (const auto& o : plan.others) list += o.length;
    list = even(list); // the list starts at an even offset, so this pads the file to even
    list += 8 + k_record_size;
    const uint64_t skip = plan.head_replaces < plan.stream.length ? plan.head_replaces : plan.stream.length;
    const uint64_t data_length = plan.stream_head.size() + plan.stream.length - skip;
    uint64_t total = 20 + even(data_length) + 8 + list;
    if (total - 8 > 0xFFFFFFFFu)
        return platform::failure(platform::Fault::write_failed,
                                 "the file is too large for the RMP form (a RIFF file holds at most 4 GiB)");

    const unsigned char zero[1] = {0};
    unsigned char b[4];
    platform::Result first; // the writer's first failure; it takes nothing after one
    auto step = [&](platform::Result r) {
        if (first) first = std::move(r);
        return first.ok();
    };
    auto put = [&](const void* data, size_t n) { return step(w.write(data, n)); };
    auto copy = [&](uint64_t offset, uint64_t n) { return step(w.copy_from(file, offset, n)); };
    auto tag4 = [&](const char* id) { return put(id, 4); };
    auto u32 = [&](uint64_t v) {
        put_u32le(b, static_cast<uint32_t>(v));
        return put(b, 4);
    };
    auto pad = [&] { return (w.written() & 1) == 0 || put(zero, 1); };

    bool ok = tag4("RIFF") && u32(total - 8) && tag4("RMP3") && tag4("data") && u32(data_length) &&
              put(plan.stream_head.data(), plan.stream_head.size()) &&
              copy(plan.stream.offset + skip, plan.stream.length - skip) && pad() && tag4("LIST") && u32(list) && tag4("INFO");
    for (size_t i = 0; ok && i < plan.texts.size(); ++i) {
        const std::string& t = plan.texts[i];
        ok = tag4(k_rmp_ids[i]) && u32(t.size() + 1) && put(t.data(), t.size()) && put(zero, 1) && pad();
    }
    for (size_t i = 0; ok && i < plan.others.size(); ++i) ok = copy(plan.others[i].offset, plan.others[i].length);
    ok = ok && pad() && tag4("IID3") && u32(k_record_size) && put(plan.record.data(), plan.record.size());
    if (ok && w.written() != total)
        return platform::failure(platform::Fault::write_failed, "internal size mismatch while writing the RMP form");
    if (!ok) {
        if (first.detail.empty()) first.detail = "writing the RMP form failed";
        return first;
    }
    return {};
}

} // namespace formats

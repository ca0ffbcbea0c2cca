#include "core/editing/journal.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>

#include "core/formats/reader.h"
#include "platform/byte_source.h"

namespace editing {

namespace {

void put_u64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void put_text(std::string& out, std::string_view s) {
    put_u64(out, s.size());
    out += s;
}

bool get_u64(formats::Reader& r, uint64_t& v) {
    unsigned char b[8];
    if (!r.bytes(b, 8)) return false;
    v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | b[i];
    return true;
}

// A text of the length its field gives, which must lie inside the journal.
bool get_text(formats::Reader& r, std::string& s) {
    uint64_t n = 0;
    if (!get_u64(r, n) || n > r.remaining()) return false;
    s.resize(static_cast<size_t>(n));
    return r.bytes(s.data(), s.size());
}

} // namespace

uint64_t hash_bytes(uint64_t hash, std::string_view bytes) {
    for (char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

bool hash_range(platform::ByteSource& source, uint64_t offset, uint64_t n, uint64_t& hash) {
    hash = k_hash_start;
    if (offset > source.size() || n > source.size() - offset) return false;
    std::string block(64 * 1024, '\0');
    while (n > 0) {
        const size_t take = static_cast<size_t>(std::min<uint64_t>(n, block.size()));
        if (!source.read_at(offset, block.data(), take)) return false;
        hash = hash_bytes(hash, std::string_view(block.data(), take));
        offset += take;
        n -= take;
    }
    return true;
}

namespace {

constexpr uint64_t k_p1 = 0x9E3779B185EBCA87ull, k_p2 = 0xC2B2AE3D27D4EB4Full, k_p3 = 0x165667B19E3779F9ull,
                   k_p4 = 0x85EBCA77C2B2AE63ull, k_p5 = 0x27D4EB2F165667C5ull;

uint64_t rotl(uint64_t v, int n) { return v << n | v >> (64 - n); }
uint64_t le64(const unsigned char* p) {
    uint64_t v = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&v, p, 8); // one load
    } else {
        for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    }
    return v;
}
uint64_t le32(const unsigned char* p) { return uint64_t{p[0]} | uint64_t{p[1]} << 8 | uint64_t{p[2]} << 16 | uint64_t{p[3]} << 24; }
uint64_t lane_round(uint64_t acc, uint64_t input) { return rotl(acc + input * k_p2, 31) * k_p1; }
uint64_t merge_lane(uint64_t h, uint64_t lane) { return (h ^ lane_round(0, lane)) * k_p1 + k_p4; }

} // namespace

void FastHash::add(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t n = bytes.size();
    total_ += n;
    if (held_size_ > 0) {
        const size_t take = std::min(n, sizeof held_ - held_size_);
        std::copy(p, p + take, held_ + held_size_);
        held_size_ += take;
        p += take;
        n -= take;
        if (held_size_ < sizeof held_) return;
        for (int i = 0; i < 4; ++i) lanes_[i] = lane_round(lanes_[i], le64(held_ + 8 * i));
        held_size_ = 0;
    }
    uint64_t a = lanes_[0], b = lanes_[1], c = lanes_[2], d = lanes_[3];
    for (; n >= 32; p += 32, n -= 32) {
        a = lane_round(a, le64(p));
        b = lane_round(b, le64(p + 8));
        c = lane_round(c, le64(p + 16));
        d = lane_round(d, le64(p + 24));
    }
    lanes_[0] = a, lanes_[1] = b, lanes_[2] = c, lanes_[3] = d;
    std::copy(p, p + n, held_);
    held_size_ = n;
}

uint64_t FastHash::value() const {
    uint64_t h = 0;
    if (total_ >= 32) {
        h = rotl(lanes_[0], 1) + rotl(lanes_[1], 7) + rotl(lanes_[2], 12) + rotl(lanes_[3], 18);
        for (uint64_t lane : lanes_) h = merge_lane(h, lane);
    } else {
        h = lanes_[2] + k_p5; // the seed
    }
    h += total_;
    const unsigned char* p = held_;
    size_t n = held_size_;
    for (; n >= 8; p += 8, n -= 8) h = rotl(h ^ lane_round(0, le64(p)), 27) * k_p1 + k_p4;
    if (n >= 4) {
        h = rotl(h ^ le32(p) * k_p1, 23) * k_p2 + k_p3;
        p += 4;
        n -= 4;
    }
    for (; n > 0; ++p, --n) h = rotl(h ^ *p * k_p5, 11) * k_p1;
    h ^= h >> 33;
    h *= k_p2;
    h ^= h >> 29;
    h *= k_p3;
    return h ^ h >> 32;
}

bool change_hash(JournalChange::Kind kind, platform::ByteSource& source, uint64_t offset, uint64_t n,
                 uint64_t& hash) {
    if (kind != JournalChange::Kind::linked) return hash_range(source, offset, n, hash);
    if (offset > source.size() || n > source.size() - offset) return false;
    FastHash fast;
    std::string block(256 * 1024, '\0');
    while (n > 0) {
        const size_t take = static_cast<size_t>(std::min<uint64_t>(n, block.size()));
        if (!source.read_at(offset, block.data(), take)) return false;
        fast.add(std::string_view(block.data(), take));
        offset += take;
        n -= take;
    }
    hash = fast.value();
    return true;
}

namespace {

constexpr std::string_view k_record_mark = "TZJR";
constexpr uint64_t k_record_overhead = 4 + 1 + 8 + 8; // mark, type, length, hash

std::string framed(char type, const std::string& payload) {
    std::string out(k_record_mark);
    out += type;
    put_u64(out, payload.size());
    out += payload;
    put_u64(out, hash_bytes(k_hash_start, std::string_view(out).substr(k_record_mark.size())));
    return out;
}

// The payload of a 'B' record (in the first form, the record after its type byte).
std::string before_payload(const JournalChange& c) {
    std::string out(1, static_cast<char>(c.kind));
    put_text(out, c.path);
    put_text(out, c.new_path);
    put_u64(out, c.offset);
    put_u64(out, c.old_size);
    put_text(out, c.old_bytes);
    return out;
}

bool read_before(formats::Reader& r, JournalChange& c) {
    unsigned char kind = 0;
    if (!r.bytes(&kind, 1) || kind < 1 || kind > 4 || !get_text(r, c.path) || !get_text(r, c.new_path) ||
        !get_u64(r, c.offset) || !get_u64(r, c.old_size) || !get_text(r, c.old_bytes))
        return false;
    c.kind = static_cast<JournalChange::Kind>(kind);
    return true;
}

std::string damaged_at(uint64_t at) {
    return "the journal is damaged at byte " + std::to_string(at) + "; the changes from there on are left out";
}

// The first form: records without marks or hashes; damage ends the reading.
void read_v1(formats::Reader& r, JournalRead& j) {
    std::vector<uint64_t> starts; // each change's 'B' record offset
    while (r.remaining() > 0) {
        const uint64_t at = r.offset();
        char type = 0;
        if (!r.bytes(&type, 1)) break;
        if (type == 'B') {
            JournalChange c;
            if (!read_before(r, c)) {
                j.warnings.push_back(damaged_at(at));
                return;
            }
            c.at = at;
            j.changes.push_back(std::move(c));
            starts.push_back(at);
        } else if (type == 'A') {
            uint64_t of = 0, size = 0, hash = 0;
            if (!get_u64(r, of) || !get_u64(r, size) || !get_u64(r, hash)) {
                j.warnings.push_back("the journal ends inside a record at byte " + std::to_string(at));
                return;
            }
            auto it = std::find(starts.begin(), starts.end(), of);
            if (it == starts.end()) {
                j.warnings.push_back(damaged_at(at));
                return;
            }
            JournalChange& c = j.changes[static_cast<size_t>(it - starts.begin())];
            c.done = true;
            c.new_size = size;
            c.new_hash = hash;
        } else {
            j.warnings.push_back(damaged_at(at));
            return;
        }
    }
}

// One whole record of this form at `at`, its hash right: its type and payload, and where the
// next one starts.
bool whole_record(platform::ByteSource& source, uint64_t at, char& type, std::string& payload, uint64_t& next) {
    const uint64_t size = source.size();
    if (at > size || size - at < k_record_overhead) return false;
    unsigned char head[13];
    if (!source.read_at(at, head, sizeof head) || std::string_view(reinterpret_cast<char*>(head), 4) != k_record_mark)
        return false;
    uint64_t n = 0;
    for (int i = 7; i >= 0; --i) n = n << 8 | head[5 + i];
    if (n > size - at - k_record_overhead) return false;
    std::string body(static_cast<size_t>(9 + n + 8), '\0');
    if (!source.read_at(at + 4, body.data(), body.size())) return false;
    uint64_t hash = 0;
    for (int i = 7; i >= 0; --i) hash = hash << 8 | static_cast<unsigned char>(body[static_cast<size_t>(9 + n) + i]);
    if (hash != hash_bytes(k_hash_start, std::string_view(body).substr(0, static_cast<size_t>(9 + n)))) return false;
    type = body[0];
    payload = body.substr(9, static_cast<size_t>(n));
    next = at + k_record_overhead + n;
    return true;
}

// The next whole record after damage at `at`, found by its mark; the journal's size if none.
uint64_t next_whole_record(platform::ByteSource& source, uint64_t at) {
    const uint64_t size = source.size();
    std::string block(64 * 1024, '\0');
    for (uint64_t from = at + 1; from < size;) {
        const size_t take = static_cast<size_t>(std::min<uint64_t>(block.size(), size - from));
        if (!source.read_at(from, block.data(), take)) return size;
        for (size_t i = 0; i + k_record_mark.size() <= take; ++i) {
            if (block.compare(i, k_record_mark.size(), k_record_mark) != 0) continue;
            char type = 0;
            std::string payload;
            uint64_t next = 0;
            if (whole_record(source, from + i, type, payload, next)) return from + i;
        }
        if (take < k_record_mark.size()) break;
        from += take - (k_record_mark.size() - 1);
    }
    return size;
}

void read_v2(platform::ByteSource& source, uint64_t at, JournalRead& j) {
    const uint64_t size = source.size();
    while (at < size) {
        char type = 0;
        std::string payload;
        uint64_t next = 0;
        bool taken = whole_record(source, at, type, payload, next);
        if (taken) {
            platform::MemorySource src(payload.data(), payload.size());
            formats::Reader r(src);
            if (type == 'B') {
                JournalChange c;
                taken = read_before(r, c) && r.remaining() == 0;
                c.at = at;
                if (taken) j.changes.push_back(std::move(c));
            } else if (type == 'A') {
                uint64_t of = 0, new_size = 0, new_hash = 0;
                taken = get_u64(r, of) && get_u64(r, new_size) && get_u64(r, new_hash) && r.remaining() == 0;
                auto it = std::find_if(j.changes.begin(), j.changes.end(),
                                       [&](const JournalChange& c) { return c.at == of; });
                if (taken && it != j.changes.end()) {
                    it->done = true;
                    it->new_size = new_size;
                    it->new_hash = new_hash;
                } else if (taken) {
                    j.warnings.push_back("the after record at byte " + std::to_string(at) +
                                         " names no change the journal holds whole; it is left alone");
                }
            } else if (type == 'U') {
                taken = payload.empty();
                if (taken)
                    for (JournalChange& c : j.changes) c.undone = true;
            } else {
                taken = false;
            }
        }
        if (taken) {
            at = next;
            continue;
        }
        const uint64_t resume = next_whole_record(source, at);
        j.warnings.push_back(resume == size ? "the journal ends in a record it does not hold whole, at byte " +
                                                  std::to_string(at) + "; it is left alone"
                                            : "the record at byte " + std::to_string(at) +
                                                  " is damaged (its hash fails); the change it holds is left alone");
        at = resume;
    }
}

} // namespace

std::string journal_before(const JournalChange& c) { return framed('B', before_payload(c)); }

std::string journal_after(uint64_t at, uint64_t new_size, uint64_t new_hash) {
    std::string payload;
    put_u64(payload, at);
    put_u64(payload, new_size);
    put_u64(payload, new_hash);
    return framed('A', payload);
}

std::string journal_undone() { return framed('U', ""); }

JournalRead read_journal(platform::ByteSource& source) {
    JournalRead j;
    formats::Reader r(source);
    std::string mark(k_journal_mark.size(), '\0');
    if (!r.bytes(mark.data(), mark.size())) return j;
    if (mark == k_journal_mark_v1) {
        j.ok = true;
        j.version = 1;
        read_v1(r, j);
    } else if (mark == k_journal_mark) {
        j.ok = true;
        j.version = 2;
        read_v2(source, mark.size(), j);
    }
    return j;
}

} // namespace editing

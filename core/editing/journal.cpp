#include "core/editing/journal.h"

#include <algorithm>

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

std::string journal_before(const JournalChange& c) {
    std::string out = "B";
    out += static_cast<char>(c.kind);
    put_text(out, c.path);
    put_text(out, c.new_path);
    put_u64(out, c.offset);
    put_u64(out, c.old_size);
    put_text(out, c.old_bytes);
    return out;
}

std::string journal_after(uint64_t at, uint64_t new_size, uint64_t new_hash) {
    std::string out = "A";
    put_u64(out, at);
    put_u64(out, new_size);
    put_u64(out, new_hash);
    return out;
}

JournalRead read_journal(platform::ByteSource& source) {
    JournalRead j;
    formats::Reader r(source);
    std::string mark(k_journal_mark.size(), '\0');
    if (!r.bytes(mark.data(), mark.size()) || mark != k_journal_mark) return j;
    j.ok = true;
    std::vector<uint64_t> starts; // each change's 'B' record offset
    while (r.remaining() > 0) {
        const uint64_t at = r.offset();
        char type = 0;
        if (!r.bytes(&type, 1)) break;
        if (type == 'B') {
            JournalChange c;
            unsigned char kind = 0;
            if (!r.bytes(&kind, 1) || kind < 1 || kind > 3 || !get_text(r, c.path) || !get_text(r, c.new_path) ||
                !get_u64(r, c.offset) || !get_u64(r, c.old_size) || !get_text(r, c.old_bytes)) {
                j.warnings.push_back("the journal is damaged at byte " + std::to_string(at) +
                                     "; the changes from there on are left out");
                return j;
            }
            c.kind = static_cast<JournalChange::Kind>(kind);
            j.changes.push_back(std::move(c));
            starts.push_back(at);
        } else if (type == 'A') {
            uint64_t of = 0, size = 0, hash = 0;
            if (!get_u64(r, of) || !get_u64(r, size) || !get_u64(r, hash)) {
                j.warnings.push_back("the journal ends inside a record at byte " + std::to_string(at));
                return j;
            }
            auto it = std::find(starts.begin(), starts.end(), of);
            if (it == starts.end()) {
                j.warnings.push_back("the journal is damaged at byte " + std::to_string(at) +
                                     "; the changes from there on are left out");
                return j;
            }
            JournalChange& c = j.changes[static_cast<size_t>(it - starts.begin())];
            c.done = true;
            c.new_size = size;
            c.new_hash = hash;
        } else {
            j.warnings.push_back("the journal is damaged at byte " + std::to_string(at) +
                                 "; the changes from there on are left out");
            return j;
        }
    }
    return j;
}

} // namespace editing

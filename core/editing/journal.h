// The undo journal of tagzo-cli: before each change a command makes, what the change replaces
// (the old bytes of the region it rewrites, the whole old file, or the old name); after it, a
// hash of what it wrote. An undo puts the old contents back, newest first, and refuses a file
// that has changed since its change was made.
//
// The file: the 8-byte mark "tagzo-j1", then records, each a kind byte and little-endian
// fields. 'B' (before): the change's kind (1 region, 2 whole file, 3 rename), the path, the new
// path (a rename's), the region's offset, the file's old size, and the old bytes. 'A' (after):
// the offset in the journal of its 'B' record, the file's new size, and the hash of the region
// from its offset to the file's end (of the whole file for kind 2).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class ByteSource;
}

namespace editing {

inline constexpr std::string_view k_journal_mark = "tagzo-j1";

struct JournalChange {
    enum class Kind : uint8_t { region = 1, whole = 2, rename = 3 };
    Kind kind = Kind::region;
    std::string path;     // UTF-8, as the command named the file
    std::string new_path; // a rename's new name
    uint64_t offset = 0;  // where the region starts (0 for a whole file)
    uint64_t old_size = 0;
    std::string old_bytes; // the region's old bytes, to the old file's end; or the whole old file
    // Known once the change was made; a change without them was not finished and is not undone.
    bool done = false;
    uint64_t new_size = 0;
    uint64_t new_hash = 0;
};

// 64-bit FNV-1a, carried on over pieces: start with k_hash_start.
inline constexpr uint64_t k_hash_start = 14695981039346656037ull;
uint64_t hash_bytes(uint64_t hash, std::string_view bytes);
// The hash of `n` bytes of a source from `offset`, read in blocks; false when they cannot be read.
bool hash_range(platform::ByteSource& source, uint64_t offset, uint64_t n, uint64_t& hash);

// The bytes to append for a change before it is made; `at` is the journal's size then, and
// names the change in its 'A' record.
std::string journal_before(const JournalChange& change);
std::string journal_after(uint64_t at, uint64_t new_size, uint64_t new_hash);

struct JournalRead {
    bool ok = false;                    // the mark was there
    std::vector<JournalChange> changes; // in the order they were made
    std::vector<std::string> warnings;  // damage found, in words; the changes after it are left out
};
// Every size in the journal is checked against the journal's real length before it is used.
JournalRead read_journal(platform::ByteSource& source);

} // namespace editing

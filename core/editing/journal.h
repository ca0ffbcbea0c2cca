// The undo journal of tagzo-cli: before each change a command makes, what the change replaces
// (the old bytes of the region it rewrites, the whole old file, or the old name), on the disk
// before the change is made; after it, a hash of what it wrote. An undo puts the old contents
// back, newest first, refuses a file that has changed since its change was made, and records
// itself, so that a second undo knows the changes are undone.
//
// The file: the 8-byte mark "tagzo-j2", then records. Each record is the 4 bytes "TZJR", its
// type, the little-endian 64-bit length of its payload, the payload, and a 64-bit FNV-1a hash of
// the type, the length and the payload: a record whose hash fails is damaged and left alone,
// and the reader finds the next whole record after it. 'B' (before): the change's kind (1
// region, 2 whole file, 3 rename, 4 whole file kept by a link), the path, the new path (a
// rename's; for kind 4 the second name the old file is kept under), the region's offset, the
// file's old size, and the old bytes (none for kinds 3 and 4). 'A' (after): the offset in the
// journal of its 'B' record, the file's new size, and the hash of the region from its offset to
// the file's end (of the whole file for kinds 2 and 4; FNV-1a, XXH64 for kind 4). 'U' (undone):
// every change recorded before it has been undone.
// Journals of the first form ("tagzo-j1": the same records bare, without mark, length or hash)
// are read too.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class ByteSource;
}

namespace editing {

inline constexpr std::string_view k_journal_mark = "tagzo-j2";
inline constexpr std::string_view k_journal_mark_v1 = "tagzo-j1";

struct JournalChange {
    // linked: the old file was replaced by a new one and is kept itself under a second name (a
    // hard link), where `whole` copies its bytes into the journal.
    enum class Kind : uint8_t { region = 1, whole = 2, rename = 3, linked = 4 };
    Kind kind = Kind::region;
    std::string path;     // UTF-8, as the command named the file
    std::string new_path; // a rename's new name; where a linked change keeps the old file
    uint64_t offset = 0;  // where the region starts (0 for a whole file)
    uint64_t old_size = 0;
    std::string old_bytes; // the region's old bytes, to the old file's end; or the whole old file
    // Known once the change was made; a change without them was not finished and is not undone.
    bool done = false;
    uint64_t new_size = 0;
    uint64_t new_hash = 0;
    bool undone = false; // an undo recorded after it put it back
    uint64_t at = 0;     // where its 'B' record starts in the journal
};

// 64-bit FNV-1a, carried on over pieces: start with k_hash_start.
inline constexpr uint64_t k_hash_start = 14695981039346656037ull;
uint64_t hash_bytes(uint64_t hash, std::string_view bytes);
// The hash of `n` bytes of a source from `offset`, read in blocks; false when they cannot be read.
bool hash_range(platform::ByteSource& source, uint64_t offset, uint64_t n, uint64_t& hash);

// XXH64 (seed 0), carried on over pieces: the hash of files a linked change wrote, which is
// read at a few gigabytes a second where FNV-1a takes one byte at a time.
class FastHash {
public:
    void add(std::string_view bytes);
    uint64_t value() const;

private:
    uint64_t lanes_[4] = {0x60EA27EEADC0B5D6ull, 0xC2B2AE3D27D4EB4Full, 0, 0x61C8864E7A143579ull};
    uint64_t total_ = 0;
    unsigned char held_[32] = {};
    size_t held_size_ = 0;
};

// The hash an 'A' record keeps for a change of this kind: of `n` bytes of a source from
// `offset`, read in blocks; false when they cannot be read.
bool change_hash(JournalChange::Kind kind, platform::ByteSource& source, uint64_t offset, uint64_t n,
                 uint64_t& hash);

// The bytes to append for a change before it is made; `at` is the journal's size then, and
// names the change in its 'A' record.
std::string journal_before(const JournalChange& change);
std::string journal_after(uint64_t at, uint64_t new_size, uint64_t new_hash);
std::string journal_undone();

struct JournalRead {
    bool ok = false;                    // the mark was there
    int version = 0;                    // 1 or 2, by the mark
    std::vector<JournalChange> changes; // in the order they were made
    // Damage found, in words. In the first form the changes after it are left out; in this one
    // only a damaged record is, and where a 'B' record is damaged its change cannot be undone.
    std::vector<std::string> warnings;
};
// Every size in the journal is checked against the journal's real length before it is used.
JournalRead read_journal(platform::ByteSource& source);

} // namespace editing

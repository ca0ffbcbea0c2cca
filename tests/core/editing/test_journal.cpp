// The undo journal's records: written, read back, and damage that leaves the later changes out.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "core/editing/journal.h"
#include "platform/byte_source.h"

using namespace editing;
using namespace std::string_literals;

namespace {
JournalRead read(const std::string& bytes) {
    platform::MemorySource src(bytes.data(), bytes.size());
    return read_journal(src);
}
} // namespace

TEST(Journal, ChangesReadBackInOrderAndDamageLeavesTheRestOut) {
    std::string j(k_journal_mark);
    JournalChange record{JournalChange::Kind::region, "d/\xE6\x9B\xB2.mp3", "", 1000, 1000, "", false, 0, 0};
    const uint64_t first = j.size();
    j += journal_before(record);
    JournalChange rename{JournalChange::Kind::rename, "d/a.mp3", "d/(x)y.mp3", 0, 0, "", false, 0, 0};
    const uint64_t second = j.size();
    j += journal_before(rename);
    j += journal_after(second, 0, 0);
    j += journal_after(first, 1128, hash_bytes(k_hash_start, "TAG"));
    JournalChange linked{JournalChange::Kind::linked, "/m/y.mp3", "/j.log.kept/77", 0, 5000000, "", false, 0, 0};
    j += journal_before(linked);
    JournalChange whole{JournalChange::Kind::whole, "x.mp3", "", 0, 4, "\xFF\xFB\x90\0"s, false, 0, 0};
    j += journal_before(whole); // not finished: no after record

    JournalRead got = read(j);
    ASSERT_TRUE(got.ok);
    EXPECT_TRUE(got.warnings.empty());
    ASSERT_EQ(got.changes.size(), 4u);
    EXPECT_EQ(got.changes[0].path, record.path);
    EXPECT_TRUE(got.changes[0].done);
    EXPECT_EQ(got.changes[0].new_size, 1128u);
    EXPECT_EQ(got.changes[0].new_hash, hash_bytes(k_hash_start, "TAG"));
    EXPECT_EQ(got.changes[1].new_path, "d/(x)y.mp3");
    EXPECT_TRUE(got.changes[1].done);
    EXPECT_EQ(got.changes[2].kind, JournalChange::Kind::linked); // the old file kept by a second name
    EXPECT_EQ(got.changes[2].new_path, "/j.log.kept/77");
    EXPECT_EQ(got.changes[2].old_size, 5000000u);
    EXPECT_EQ(got.changes[3].old_bytes, "\xFF\xFB\x90\0"s);
    EXPECT_FALSE(got.changes[3].done);

    // A linked change's file is hashed by XXH64: the values xxhsum gives, fed whole or in pieces.
    std::string abc;
    for (int i = 0; i < 1000; ++i) abc += static_cast<char>('a' + i % 26);
    for (auto [n, want] : std::vector<std::pair<size_t, uint64_t>>{{0, 0xef46db3751d8e999}, {1, 0xd24ec4f1a98c6e5b},
                                                                  {3, 0x44bc2cf5ad770999}, {7, 0x1860940e2902822d},
                                                                  {31, 0xf7d421c242541ac9}, {32, 0x4da6cbe536cf55c7},
                                                                  {33, 0x9ac581034b031f72}, {1000, 0x94b86db9a16d86a9}}) {
        FastHash whole_input, pieces;
        whole_input.add(std::string_view(abc).substr(0, n));
        for (size_t i = 0; i < n; i += 5) pieces.add(std::string_view(abc).substr(i, std::min<size_t>(5, n - i)));
        EXPECT_EQ(whole_input.value(), want) << n;
        EXPECT_EQ(pieces.value(), want) << n;
    }
    platform::MemorySource letters(abc.data(), abc.size());
    uint64_t fast = 0;
    ASSERT_TRUE(change_hash(JournalChange::Kind::linked, letters, 0, abc.size(), fast));
    EXPECT_EQ(fast, 0x94b86db9a16d86a9u);

    // The hash carries on over pieces, and over a source read in blocks.
    const std::string big(200000, 'q');
    platform::MemorySource src(big.data(), big.size());
    uint64_t h = 0;
    ASSERT_TRUE(hash_range(src, 10, big.size() - 10, h));
    EXPECT_EQ(h, hash_bytes(hash_bytes(k_hash_start, big.substr(10, 5)), big.substr(15)));
    EXPECT_FALSE(hash_range(src, 10, big.size(), h)); // past the end

    // Cut anywhere inside the last record, the journal keeps the changes before it.
    for (size_t cut = j.size() - journal_before(whole).size() + 1; cut < j.size(); cut += 7) {
        JournalRead part = read(j.substr(0, cut));
        EXPECT_EQ(part.changes.size(), 3u) << cut;
        EXPECT_EQ(part.warnings.size(), 1u) << cut;
    }
    // A length that claims more than the journal holds, an after record naming no change, a
    // stray byte, a missing mark: never read past, never taken.
    std::string huge = std::string(k_journal_mark) + "B\x01" + std::string(8, '\xFF');
    EXPECT_TRUE(read(huge).changes.empty());
    EXPECT_EQ(read(huge).warnings.size(), 1u);
    EXPECT_EQ(read(std::string(k_journal_mark) + journal_after(3, 0, 0)).warnings.size(), 1u);
    EXPECT_EQ(read(j + "Z").changes.size(), 4u);
    EXPECT_EQ(read(j + "Z").warnings.size(), 1u);
    EXPECT_FALSE(read("tagzo-j0" + j.substr(8)).ok);

    // A flipped byte anywhere in a record fails its hash: that change is left out and named,
    // and every whole record after it is still read, found again by its mark.
    const size_t second_at = static_cast<size_t>(second);
    const size_t second_end = second_at + journal_before(rename).size();
    for (size_t at = second_at; at < second_end; at += 3) {
        std::string flipped = j;
        flipped[at] = static_cast<char>(flipped[at] ^ 0x20);
        JournalRead got_flipped = read(flipped);
        ASSERT_EQ(got_flipped.changes.size(), 3u) << at;
        EXPECT_EQ(got_flipped.changes[0].path, record.path) << at;
        EXPECT_TRUE(got_flipped.changes[0].done) << at;
        EXPECT_EQ(got_flipped.changes[2].path, "x.mp3") << at;
        EXPECT_GE(got_flipped.warnings.size(), 1u) << at;
    }
    // An undo records itself: the changes before it read as undone, a later one not.
    JournalRead undone = read(j + journal_undone() + journal_before(record));
    ASSERT_EQ(undone.changes.size(), 5u);
    EXPECT_TRUE(undone.changes[0].undone && undone.changes[3].undone);
    EXPECT_FALSE(undone.changes[4].undone);
    // A journal of the first form (bare records) is still read.
    std::string v1(k_journal_mark_v1);
    v1 += "B\x01"s + std::string{5, 0, 0, 0, 0, 0, 0, 0} + "a.mp3" + std::string(8, '\0') + std::string(8, '\0') +
          std::string{3, 0, 0, 0, 0, 0, 0, 0} + std::string(8, '\0');
    JournalRead old = read(v1);
    ASSERT_EQ(old.changes.size(), 1u);
    EXPECT_EQ(std::tie(old.version, old.changes[0].path, old.changes[0].old_size), std::make_tuple(1, "a.mp3", 3));
}

// The input is an undo journal: read, every change it gives lies inside it, and the changes
// written again read back the same.
#include <string>

#include "core/editing/journal.h"
#include "platform/byte_source.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::MemorySource src(data, size);
    editing::JournalRead j = editing::read_journal(src);
    if (!j.ok) {
        FUZZ_CHECK(j.changes.empty());
        return 0;
    }
    std::string again(editing::k_journal_mark);
    size_t kept_bytes = 0;
    for (const editing::JournalChange& c : j.changes) {
        kept_bytes += c.path.size() + c.new_path.size() + c.old_bytes.size();
        const uint64_t at = again.size();
        again += editing::journal_before(c);
        if (c.done) again += editing::journal_after(at, c.new_size, c.new_hash);
    }
    FUZZ_CHECK(kept_bytes <= size);
    platform::MemorySource back_src(again.data(), again.size());
    editing::JournalRead back = editing::read_journal(back_src);
    FUZZ_CHECK(back.ok && back.warnings.empty() && back.changes.size() == j.changes.size());
    for (size_t i = 0; i < back.changes.size(); ++i) {
        const editing::JournalChange &a = back.changes[i], &b = j.changes[i];
        FUZZ_CHECK(a.kind == b.kind && a.path == b.path && a.new_path == b.new_path && a.offset == b.offset &&
                   a.old_size == b.old_size && a.old_bytes == b.old_bytes && a.done == b.done &&
                   a.new_size == b.new_size && a.new_hash == b.new_hash);
    }
    return 0;
}

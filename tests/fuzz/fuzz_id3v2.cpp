// The input is the head of a file: the ID3v2 tag read from it, and the tags of both versions
// made again from what was kept, which must read back as tags holding the same frames.
#include <string>

#include "core/formats/id3v2.h"
#include "platform/byte_source.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::MemorySource src(data, size);
    formats::Id3v2Found found = formats::read_id3v2(src, 0, size);
    if (!found.present) {
        FUZZ_CHECK(found.kept.empty());
        return 0;
    }
    FUZZ_CHECK(found.size >= 10 && found.size <= size);
    FUZZ_CHECK(found.major >= 2 && found.major <= 4);
    for (int major : {3, 4}) {
        std::vector<std::string> warnings;
        const std::string tag = formats::make_id3v2(major, {"t", "a", "", "", "c", ""}, found.kept, &warnings);
        platform::MemorySource again(tag.data(), tag.size());
        formats::Id3v2Found back = formats::read_id3v2(again, 0, tag.size());
        FUZZ_CHECK(back.present && back.major == major && back.size == tag.size());
        FUZZ_CHECK(back.warnings.empty());
        // Every kept frame went over, unless it was named as left out.
        FUZZ_CHECK(back.kept.size() + warnings.size() >= found.kept.size());
        for (const formats::Id3v2Frame& f : back.kept) FUZZ_CHECK(f.id == "APIC" || f.id == "USLT");
    }
    return 0;
}

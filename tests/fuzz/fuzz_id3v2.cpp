// The input is the head of a file: the ID3v2 tag read from it (or from its end), and the tags of both versions
// made again from its frames, which must read back as tags holding the same frames; the texts alone
// read the same.
#include <string>

#include "core/formats/id3v2.h"
#include "platform/byte_source.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::MemorySource src(data, size);
    // A tag with a footer may end the input instead: it lies inside it.
    formats::Id3v2Found anywhere = formats::find_id3v2(src, size);
    FUZZ_CHECK(!anywhere.present || (anywhere.offset <= size && anywhere.size <= size - anywhere.offset));
    formats::Id3v2Found found = formats::read_id3v2(src, 0, size);
    // The texts alone read as the whole tag does, but for the frames' bytes.
    formats::Id3v2Found texts = formats::read_id3v2(src, 0, size, formats::Id3v2Depth::texts);
    FUZZ_CHECK(texts.frames.empty());
    FUZZ_CHECK(texts.present == found.present && texts.size == found.size && texts.damaged == found.damaged);
    FUZZ_CHECK(texts.warnings == found.warnings && texts.other_frames == found.other_frames);
    FUZZ_CHECK(texts.texts.title == found.texts.title && texts.texts.comment == found.texts.comment &&
               texts.track == found.track && texts.mis_marked == found.mis_marked);
    FUZZ_CHECK(found.present || found.frames.empty());
    if (!found.present) return 0;
    FUZZ_CHECK(found.size >= 10 && found.size <= size);
    FUZZ_CHECK(found.major >= 2 && found.major <= 4);
    for (int major : {3, 4}) {
        std::vector<std::string> warnings;
        const std::string tag = formats::make_id3v2(major, {"t", "a", "", "", "c", ""}, &warnings);
        platform::MemorySource again(tag.data(), tag.size());
        formats::Id3v2Found back = formats::read_id3v2(again, 0, tag.size());
        FUZZ_CHECK(back.present && back.major == major && back.size == tag.size());
        FUZZ_CHECK(back.warnings.empty());
        FUZZ_CHECK(back.texts.title == "t" && back.texts.artist == "a" && back.texts.comment == "c");
        FUZZ_CHECK(back.mis_marked.empty() && back.other_frames == 0);

        // A rewrite that keeps every frame reads back with the new texts and, in the tag's own
        // version, with every frame it did not replace.
        formats::Id3v2Rewrite r = formats::rewrite_id3v2(major, {"t", "a", "", "", "c", ""}, found);
        FUZZ_CHECK(r.tag.empty() == !r.left_behind.empty());
        if (r.tag.empty()) continue;
        platform::MemorySource kept(r.tag.data(), r.tag.size());
        formats::Id3v2Found all = formats::read_id3v2(kept, 0, r.tag.size());
        FUZZ_CHECK(all.present && all.size == r.tag.size() && all.texts.title == "t" && all.texts.comment == "c");
        // Every picture and lyrics frame went over, under the new version's ids.
        size_t pictures = 0;
        for (const auto& f : found.frames)
            pictures += f.id == "PIC" || f.id == "ULT" || f.id == "APIC" || f.id == "USLT";
        for (const formats::Id3v2Frame& f : all.frames) pictures -= f.id == "APIC" || f.id == "USLT";
        FUZZ_CHECK(pictures == 0);
        if (found.major != major) continue;
        // Leaving aside the frames of the three texts (a comment with a description stays).
        auto others = [](const std::vector<formats::Id3v2Frame>& frames) {
            std::string listed;
            for (const formats::Id3v2Frame& f : frames)
                if (f.id != "TIT2" && f.id != "TPE1" && f.id != "COMM")
                    listed += f.id + std::to_string(f.flags) + ":" + std::to_string(f.raw.size()) + ":" + f.raw;
            return listed;
        };
        FUZZ_CHECK(others(all.frames) == others(found.frames));
    }
    return 0;
}

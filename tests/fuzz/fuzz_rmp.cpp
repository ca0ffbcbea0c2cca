// The input is a whole file, RMP or not: the walk of its chunks, its texts, both plans (the
// file as RMP already and as a conversion) and the rewrite of each plan into a real file,
// which is then checked byte by byte where the layout is fixed and read back.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/formats/load.h"
#include "core/formats/reader.h"
#include "core/formats/rmp.h"
#include "platform/byte_source.h"
#include "platform/file.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool inside(const formats::ByteRange& r, uint64_t size) { return r.offset <= size && r.length <= size - r.offset; }

void check_layout(const formats::RmpLayout& lay, uint64_t size) {
    FUZZ_CHECK(inside(lay.stream, size));
    for (const formats::ByteRange& o : lay.others) {
        FUZZ_CHECK(inside(o, size));
        FUZZ_CHECK(o.length >= 8);
    }
    if (lay.has_iid3) FUZZ_CHECK(lay.has_list && lay.iid3_data <= size);
    for (const std::string& t : lay.texts) FUZZ_CHECK(t.size() <= formats::k_text_capacity);
}

std::string temp_folder() {
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

std::vector<unsigned char> read_all(const std::string& path) {
    platform::File f;
    FUZZ_CHECK(f.open(path, platform::File::Mode::read));
    std::vector<unsigned char> bytes(static_cast<size_t>(f.size()));
    FUZZ_CHECK(bytes.empty() || f.read_at(0, bytes.data(), bytes.size()));
    return bytes;
}

// Writes the plan through a ReplacingWriter aimed at a fresh temporary file, commits it and
// checks the result against the plan and the input.
void rewrite_and_check(platform::ByteSource& input, const uint8_t* data, size_t size, const formats::RmpPlan& plan) {
    std::string path = temp_folder() + "/tagzo-fuzz-rmp-XXXXXX";
    int fd = mkstemp(path.data());
    if (fd < 0) {
        std::perror("fuzz_rmp: mkstemp");
        std::abort(); // no place to write is a broken set-up, not a finding
    }
    close(fd);

    {
        platform::ReplacingWriter w;
        if (platform::Result begun = w.begin(path); !begun) {
            std::fprintf(stderr, "fuzz_rmp: cannot begin the writer: %s\n", begun.detail.c_str());
            std::abort();
        }
        platform::Result written = formats::write_rmp_file(w, input, plan);
        if (!written) std::fprintf(stderr, "fuzz_rmp: write_rmp_file failed: %s\n", written.detail.c_str());
        FUZZ_CHECK(written); // a small input always fits the RMP form
        platform::Result committed = w.commit();
        if (!committed) std::fprintf(stderr, "fuzz_rmp: commit failed: %s\n", committed.detail.c_str());
        FUZZ_CHECK(committed);
    }

    std::vector<unsigned char> out = read_all(path);
    const uint64_t n = out.size();
    const unsigned char* b = out.data();
    const uint64_t stream_len = plan.stream.length;
    const uint64_t list_pos = 20 + stream_len + (stream_len & 1);

    // The RIFF header and the data chunk with the planned stream.
    FUZZ_CHECK(n >= 20);
    FUZZ_CHECK(std::memcmp(b, "RIFF", 4) == 0);
    FUZZ_CHECK(formats::get_u32le(b + 4) == n - 8);
    FUZZ_CHECK(std::memcmp(b + 8, "RMP3", 4) == 0);
    FUZZ_CHECK(std::memcmp(b + 12, "data", 4) == 0);
    FUZZ_CHECK(formats::get_u32le(b + 16) == stream_len);
    FUZZ_CHECK(inside(plan.stream, size));
    FUZZ_CHECK(n >= 20 + stream_len);
    FUZZ_CHECK(stream_len == 0 || std::memcmp(b + 20, data + plan.stream.offset, stream_len) == 0);
    if (stream_len & 1) FUZZ_CHECK(n > 20 + stream_len && b[20 + stream_len] == 0);

    // The list runs to the end of the file.
    FUZZ_CHECK(n >= list_pos + 12);
    FUZZ_CHECK(std::memcmp(b + list_pos, "LIST", 4) == 0);
    FUZZ_CHECK(formats::get_u32le(b + list_pos + 4) == n - (list_pos + 8));
    FUZZ_CHECK(std::memcmp(b + list_pos + 8, "INFO", 4) == 0);

    // The file ends with the IID3 sub-chunk and the planned record.
    FUZZ_CHECK(n >= list_pos + 12 + 8 + formats::k_record_size);
    FUZZ_CHECK(std::memcmp(b + n - formats::k_record_size - 8, "IID3", 4) == 0);
    FUZZ_CHECK(formats::get_u32le(b + n - formats::k_record_size - 4) == formats::k_record_size);
    FUZZ_CHECK(std::memcmp(b + n - formats::k_record_size, plan.record.data(), formats::k_record_size) == 0);

    // Read back through the file layer: every planned text, and a walk without damage.
    {
        platform::File f;
        FUZZ_CHECK(f.open(path, platform::File::Mode::read));
        formats::RmpTexts texts;
        std::vector<std::string> warnings;
        FUZZ_CHECK(formats::read_rmp_texts(f, texts, &warnings));
        FUZZ_CHECK(texts.is_rmp);
        for (int i : {formats::INAM, formats::IART, formats::IPRD, formats::ICMT, formats::ICRD})
            FUZZ_CHECK(texts.text[static_cast<size_t>(i)] == plan.texts[static_cast<size_t>(i)]);
        for (size_t i = 0; i < formats::k_rmp_text_count; ++i) FUZZ_CHECK(texts.text[i] == plan.texts[i]);
        for (const std::string& note : warnings)
            std::fprintf(stderr, "fuzz_rmp: warning on the written file: %s\n", note.c_str());
        FUZZ_CHECK(warnings.empty());

        formats::RmpLayout lay = formats::walk_rmp(f);
        FUZZ_CHECK(lay.has_list && lay.has_iid3);
        FUZZ_CHECK(lay.iid3_data == n - formats::k_record_size);
        FUZZ_CHECK(lay.stream.offset == 20 && lay.stream.length == stream_len);
        uint64_t planned_others = 0, found_others = 0;
        for (const formats::ByteRange& o : plan.others) planned_others += o.length;
        for (const formats::ByteRange& o : lay.others) found_others += o.length;
        // An odd sub-chunk that closed the old list gains its pad byte.
        FUZZ_CHECK(found_others == planned_others || found_others == planned_others + 1);
    }

    FUZZ_CHECK(platform::remove_file(path));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::MemorySource src(data, size);

    formats::RmpLayout lay = formats::walk_rmp(src);
    check_layout(lay, size);

    formats::RmpTexts texts;
    std::vector<std::string> warnings;
    bool has_texts = formats::read_rmp_texts(src, texts, &warnings);
    FUZZ_CHECK(has_texts == texts.is_rmp);
    if (has_texts) FUZZ_CHECK(formats::is_rmp_file(src) && lay.has_list && texts.text == lay.texts);
    else
        for (const std::string& t : texts.text) FUZZ_CHECK(t.empty());

    // The tag a user would apply unchanged after opening the file, and a software name taken
    // from the file so that long and odd names reach the plan.
    formats::ShownTexts shown = formats::open_for_editing(src, true);
    formats::Tag tag{shown.title, shown.artist, shown.album, shown.year, shown.comment, shown.loaded.tag.genre};
    std::string display_name = texts.text[formats::INAM].empty() ? std::string("kessa") : texts.text[formats::INAM];

    for (bool already_rmp : {true, false}) {
        formats::RmpPlan plan = formats::plan_rmp(src, already_rmp, tag, display_name);
        FUZZ_CHECK(inside(plan.stream, size));
        for (const formats::ByteRange& o : plan.others) FUZZ_CHECK(inside(o, size));
        for (const std::string& t : plan.texts) FUZZ_CHECK(t.size() <= formats::k_text_capacity);
        FUZZ_CHECK(plan.record == formats::make_record(tag, shown.loaded.track)); // the old record's track stays
        if (!already_rmp) {
            FUZZ_CHECK(plan.stream.offset == 0 && plan.others.empty());
            FUZZ_CHECK(plan.texts[formats::ISFT] == formats::software_name(display_name));
        }
        rewrite_and_check(src, data, size, plan);
    }
    return 0;
}

#include "cli/loaded.h"

#include "cli/files.h"
#include "core/formats/rmp.h"
#include "platform/byte_source.h"
#include "platform/file.h"

namespace cli {

namespace {

Loaded load_open(platform::File& file, const std::string& path) {
    Loaded l;
    // The readers below come back to the head again and again; the texts of an ID3v2 tag
    // usually stand in its first few kilobytes, and its pictures are never read.
    platform::HeadCache f(file, 4096);
    formats::FileHead head;
    if (!formats::read_head(f, path, head)) {
        l.read = platform::failure(platform::Fault::cannot_read, "cannot read: " + file.read_error());
        return l;
    }
    l.read = {};
    l.kind = head.kind;
    if (l.kind != formats::FileKind::mp3) return l;
    l.texts = formats::open_for_editing(f, true);
    // The stream of the RMP form is the data chunk's; its tag is at the chunk's start.
    if (l.texts.rmp.is_rmp || formats::is_rmp_file(f)) {
        const formats::RmpLayout layout = formats::walk_rmp(f);
        l.id3v2 = formats::read_id3v2(f, layout.stream.offset, layout.stream.length, formats::Id3v2Depth::texts);
    } else {
        l.id3v2 = formats::find_id3v2(f, f.size(), formats::Id3v2Depth::texts);
    }
    for (const std::string& w : l.id3v2.warnings) l.texts.warnings.push_back(w);
    return l;
}

} // namespace

Loaded load(const std::string& path, const platform::Folder* folder, const std::string& name) {
    platform::File file;
    platform::Result opened =
        folder ? file.open_in(*folder, name, platform::File::Mode::read) : file.open(path, platform::File::Mode::read);
    if (!opened) {
        Loaded l;
        l.read = platform::failure(platform::Fault::cannot_open, folder_refusal(path, opened.detail));
        return l;
    }
    return load_open(file, path);
}

platform::Result load_mp3(const std::string& path, Loaded& l, platform::File* held) {
    l = held ? load_open(*held, path) : load(path);
    for (const std::string& w : l.texts.warnings) report(path, "warning: " + w);
    if (!l.read) return l.read;
    if (l.kind != formats::FileKind::mp3)
        return platform::failure(platform::Fault::not_mp3,
                                 std::string("not an MP3 file (") + formats::kind_name(l.kind) + ")");
    return {};
}

} // namespace cli

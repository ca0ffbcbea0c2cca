// One file as tagzo-cli reads it to show, rename or export it: like the editor, but with the
// RMP texts of a read-only file too and the record as it stands, since nothing is written.
#pragma once
#include <string>

#include "core/formats/id3v2.h"
#include "core/formats/load.h"
#include "platform/file.h"
#include "platform/result.h"

namespace cli {

struct Loaded {
    // How the reading went: a failure's detail says why the file could not be opened or read.
    platform::Result read = platform::failure(platform::Fault::cannot_open);
    formats::FileKind kind = formats::FileKind::unknown;
    formats::ShownTexts texts;
    formats::Id3v2Found id3v2; // at the start of the stream, or a 2.4 tag with a footer at its end
};

// `folder`, when given, is the path's folder held open, and `name` the file's name in it.
Loaded load(const std::string& path, const platform::Folder* folder = nullptr, const std::string& name = {});

// A file to change (rename, export): loaded and its warnings reported. A failure's detail says
// why it cannot be worked on (it does not open, or it is no MP3 file). `held`, where given, is
// the file open already (under its write lock), read through without another open.
platform::Result load_mp3(const std::string& path, Loaded& l, platform::File* held = nullptr);

} // namespace cli

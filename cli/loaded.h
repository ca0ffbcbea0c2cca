// One file as tagzo-cli reads it to show, rename or export it: like the editor, but with the
// RMP texts of a read-only file too and the record as it stands, since nothing is written.
#pragma once
#include <string>

#include "editor/tags/load.h"

namespace cli {

struct Loaded {
    bool opened = false;
    std::string error;
    tags::FileKind kind = tags::FileKind::unknown;
    tags::ShownTexts texts;
};

Loaded load(const std::string& path);

} // namespace cli

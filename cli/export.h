// `tagzo-cli export`: an ID3v2 tag with the texts in Unicode, for the players that read ID3v1
// bytes as Latin-1 and so show cp932 texts as garbage.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// export [--id3v2.3|--id3v2.4] [--out DIR] [-r] FILE...: the exit status; `usage` names a
// usage error and gives its status.
int run_export(const std::vector<std::string>& args, const std::function<int(const std::string&)>& usage);

} // namespace cli

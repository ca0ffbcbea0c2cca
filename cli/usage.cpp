#include "cli/commands.h"
#include "cli/console.h"

namespace cli {

const char* const k_usage_text =
    "usage: tagzo-cli show [-r] [--json] FILE...\n"
    "       tagzo-cli set [-r] [--title T] [--artist A] [--album B] [--year Y] [--comment C]\n"
    "                     [--genre N] [--no-rmp] [--display-name NAME] FILE...\n"
    "       tagzo-cli set [--no-rmp] [--display-name NAME] --json FILE.jsonl|-\n"
    "       tagzo-cli rename [-r] [--pattern 0|1] [--dry-run] FILE...\n"
    "       tagzo-cli export [-r] [--id3v2.3|--id3v2.4] [--overwrite] [--out DIR] FILE...\n"
    "  -r, --recursive: folders among the FILEs are walked for their .mp3 and .rmp files\n";

int usage(const std::string& why) {
    write_err("tagzo-cli: " + why + "\n" + k_usage_text);
    return k_usage;
}

} // namespace cli

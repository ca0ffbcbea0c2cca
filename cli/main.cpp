// tagzo-cli: shows, sets and renames by their tags MP3 files in batches, for scripts.
//   tagzo-cli show [-r] [--json] FILE...
//   tagzo-cli set [-r] [--title T] [--artist A] [--album B] [--year Y] [--comment C] [--genre N]
//                 [--no-rmp] [--no-id3v2] [--display-name NAME] FILE...
//   tagzo-cli set [--no-rmp] [--no-id3v2] [--display-name NAME] --json FILE.jsonl|-
//   tagzo-cli rename [-r] [--pattern 0|1|--format FORMAT] [--dry-run] [--journal J] FILE...
//   tagzo-cli export [-r] [--id3v2.3|--id3v2.4] [--overwrite] [--out DIR] FILE...
//   tagzo-cli repair [-r] [--dry-run] [--id3v2.3|--id3v2.4] FILE...
//   tagzo-cli import [-r] [--rmp] [--dry-run] FILE...
// Exit status: 0 every file done, 1 some file failed (named on stderr, left as it was),
// 2 usage error (nothing written). Each command is a file of its own (cli/commands.h).
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "core/formats/rmp.h"
#include "platform/process.h"

namespace {
int run(std::vector<std::string> args) {
    if (args.empty()) return cli::usage("no command");
    std::string command = args.front();
    args.erase(args.begin());
    if (command == "--version") {
        cli::write_out(std::string("tagzo-cli ") + formats::k_software_version + "\n");
        return cli::k_ok;
    }
    if (command == "show") return cli::run_show(args);
    if (command == "set") return cli::run_set(args);
    if (command == "rename") return cli::run_rename(args);
    if (command == "export") return cli::run_export(args);
    if (command == "repair") return cli::run_repair(args);
    if (command == "import") return cli::run_import(args);
    if (command == "undo") return cli::run_undo(args);
    if (command == "--help" || command == "-h" || command == "help") {
        // help COMMAND gives that command's help.
        const char* of = args.empty() ? nullptr : cli::command_help(args.front());
        cli::write_out(of ? of : cli::k_usage_text);
        return cli::k_ok;
    }
    return cli::usage("unknown command " + command);
}
} // namespace

int main(int argc, char** argv) {
    platform::limit_library_search();
    const int status = run(cli::utf8_arguments(argc, argv));
    // Output that did not all arrive is a failure, whatever the files said.
    if (const std::string failed = cli::finish_output(); !failed.empty()) {
        cli::write_err("tagzo-cli: cannot write the output: " + failed + "\n");
        return status == cli::k_ok ? cli::k_failed : status;
    }
    return status;
}

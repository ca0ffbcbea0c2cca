// tagzo-cli's commands, one file each (show.cpp, set.cpp, rename.cpp, export.cpp, repair.cpp,
// import.cpp), and the usage
// text they share. Each takes the arguments after its name and gives the exit status.
#pragma once
#include <string>
#include <vector>

namespace cli {

// Exit status (every command): every file done, some file failed (named on stderr, left as it
// was), a usage error (nothing written).
constexpr int k_ok = 0, k_failed = 1, k_usage = 2;

extern const char* const k_usage_text;

// What `tagzo-cli COMMAND --help` prints: each option with an example; null for no such command.
const char* command_help(const std::string& command);

// Prints the command's help; gives k_ok.
int help(const char* command);

// Names a usage error on stderr, followed by the usage text; gives k_usage.
int usage(const std::string& why);

// show [-r] [--json] FILE...
int run_show(const std::vector<std::string>& args);
// set [-r] [--title T] ... FILE..., or set --json FILE.jsonl|-
int run_set(const std::vector<std::string>& args);
// rename [-r] [--pattern 0|1] [--dry-run] FILE...
int run_rename(const std::vector<std::string>& args);
// export [-r] [--id3v2.3|--id3v2.4] [--overwrite] [--out DIR] FILE...
int run_export(const std::vector<std::string>& args);
// repair [-r] [--dry-run] [--id3v2.3|--id3v2.4] FILE...
int run_repair(const std::vector<std::string>& args);
// import [-r] [--rmp] [--dry-run] FILE...
int run_import(const std::vector<std::string>& args);
// undo JOURNAL
int run_undo(const std::vector<std::string>& args);

} // namespace cli

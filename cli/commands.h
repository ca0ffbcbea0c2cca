// tagzo-cli's commands: one entry each in the table (commands.cpp) with its options, its run
// function and its texts; each command's entry and work are in its own file (show.cpp, set.cpp,
// rename.cpp, export.cpp, repair.cpp, import.cpp, journal_file.cpp for undo).
#pragma once
#include <array>
#include <span>
#include <string>
#include <vector>

#include "cli/options.h"
#include "platform/result.h"

namespace cli {

// Exit status (every command): every file done, some file failed (named on stderr, left as it
// was), a usage error (nothing written).
constexpr int k_ok = 0, k_failed = 1, k_usage = 2;

// An entry is a constant: the table is part of the program as built, and its start does
// nothing for it (no allocation, nothing to free at the exit).
struct Command {
    // The most options a command has; one with more raises it (the table does not compile).
    static constexpr size_t k_max_options = 16;

    const char* name;
    // Its options, followed by empty entries up to k_max_options.
    std::array<KnownOption, k_max_options> options;
    // The command's work on its arguments as read with `options` (a usage error there is its to
    // name, so that it can check values in their order first); gives the exit status.
    int (*run)(const ParsedArguments& args);
    // Its lines in the usage text after "usage: " or the indent, each ending in "\n".
    const char* usage;
    // What `tagzo-cli NAME --help` and `tagzo-cli help NAME` print: each option with an example.
    const char* help;

    // The options given, without the empty entries after them.
    std::span<const KnownOption> known_options() const {
        size_t n = 0;
        while (n < options.size() && !options[n].name.empty()) ++n;
        return std::span<const KnownOption>(options.data(), n);
    }
};

// The command of that name, or null.
const Command* find_command(const std::string& name);

// Runs the command on the arguments after its name: its help where --help or -h stands among
// its options, else its run function.
int run_command(const Command& command, const std::vector<std::string>& args);

// The usage text: every command's lines, then the words they share.
const std::string& usage_text();

// Names a usage error on stderr, followed by the usage text; gives k_usage.
int usage(const std::string& why);

// The exit status of a step that ends a command: k_ok when done; a failure of kind bad_input is
// a usage error, named here (k_usage); any other was named where it happened (k_failed).
int exit_status(const platform::Result& step);

} // namespace cli

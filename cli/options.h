// The one reader of tagzo-cli's command lines: each command names its options, and the
// arguments come back as the options given, in order, and the FILEs.
#pragma once
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// One option of a command: a flag, or an option that takes a value, either as the next
// argument ("--title T", taken as it is even when it begins with "-") or after "=" in the same
// argument ("--title=T").
// The texts are the program's own literals: the commands' tables are built when the program is,
// with nothing done for them at its start.
struct KnownOption {
    std::string_view name;  // "--recursive"; the name the option is reported under
    std::string_view alias; // another spelling ("-r"), or empty
    bool takes_value = false;
    std::string_view missing_value; // the usage error when the value is missing; empty: "NAME needs a value"

    static constexpr KnownOption flag(std::string_view name, std::string_view alias = {}) {
        return {name, alias, false, {}};
    }
    static constexpr KnownOption valued(std::string_view name, std::string_view missing_value = {}) {
        return {name, {}, true, missing_value};
    }
};

struct GivenOption {
    std::string name;  // the known option's name, whichever spelling was given
    std::string value; // empty for a flag
};

struct ArgumentError {
    enum class Kind { none, unknown_option, missing_value };
    Kind kind = Kind::none;
    std::string argument; // the argument at fault, as given
    std::string text;     // "unknown option --bogus", "--title needs a value"
};

struct ParsedArguments {
    // Each option in the order given; an option given twice is here twice, so the last one
    // given is the one that counts where a command keeps one value.
    std::vector<GivenOption> options;
    std::vector<std::string> operands; // the FILEs, in order
    // The first usage error. Reading stops there: `options` and `operands` hold what came before.
    ArgumentError error;
    // --help or -h stood where an option may: reading stopped there, and the command gives its help.
    bool help = false;
    bool ok() const { return error.kind == ArgumentError::Kind::none; }
};

// Reads the arguments after the command's name. An argument is a FILE when it does not begin
// with "-", when it is "-" (standard input, where a command takes one) or empty, and every
// argument after "--"; any other is an option of `known`, else an unknown option.
ParsedArguments parse_arguments(const std::vector<std::string>& args, std::span<const KnownOption> known);

} // namespace cli

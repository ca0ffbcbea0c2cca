// The reader of tagzo-cli's command lines: options, values and FILEs, and the usage errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/options.h"

namespace {

using cli::ArgumentError;
using cli::GivenOption;
using cli::KnownOption;
using cli::parse_arguments;
using cli::ParsedArguments;

// The options of a command like set and export: flags, an alias, options with values and one
// with its own words for a missing value.
const std::vector<KnownOption> k_known = {
    KnownOption::flag("--json"),
    KnownOption::flag("--recursive", "-r"),
    KnownOption::valued("--title"),
    KnownOption::valued("--genre"),
    KnownOption::valued("--out", "--out needs a folder"),
};

// The options as "NAME=VALUE" (a flag as its bare name), for one comparison.
std::vector<std::string> given(const ParsedArguments& p) {
    std::vector<std::string> out;
    for (const GivenOption& o : p.options) {
        bool flag = o.name == "--json" || o.name == "--recursive";
        out.push_back(flag ? o.name : o.name + "=" + o.value);
    }
    return out;
}

using Strings = std::vector<std::string>;

TEST(Options, FlagsValuesAndFilesInTheOrderGiven) {
    ParsedArguments p = parse_arguments({"a.mp3", "--json", "-r", "--title", "T", "b.mp3", "--genre=12"}, k_known);
    ASSERT_TRUE(p.ok()) << p.error.text;
    EXPECT_EQ(given(p), (Strings{"--json", "--recursive", "--title=T", "--genre=12"}));
    EXPECT_EQ(p.operands, (Strings{"a.mp3", "b.mp3"}));

    // The alias is reported under the option's name, like the name itself.
    p = parse_arguments({"--recursive", "-r"}, k_known);
    EXPECT_EQ(given(p), (Strings{"--recursive", "--recursive"}));
    EXPECT_TRUE(p.operands.empty());

    // A value is the next argument whatever it looks like, or all after the first "=".
    p = parse_arguments({"--title", "--json", "--out", "-", "--title=a=b", "--genre=", "--title", "--", "x"}, k_known);
    ASSERT_TRUE(p.ok()) << p.error.text;
    EXPECT_EQ(given(p), (Strings{"--title=--json", "--out=-", "--title=a=b", "--genre=", "--title=--"}));
    EXPECT_EQ(p.operands, (Strings{"x"}));

    // "-" (standard input) and an empty argument are FILEs, not options.
    p = parse_arguments({"-", "", "-r"}, k_known);
    ASSERT_TRUE(p.ok()) << p.error.text;
    EXPECT_EQ(p.operands, (Strings{"-", ""}));
    EXPECT_EQ(given(p), (Strings{"--recursive"}));

    // Nothing at all is no error: the command says what it is missing.
    p = parse_arguments({}, k_known);
    EXPECT_TRUE(p.ok());
    EXPECT_TRUE(p.options.empty() && p.operands.empty());
}

TEST(Options, DoubleDashEndsTheOptions) {
    ParsedArguments p = parse_arguments({"-r", "--", "--json", "-r", "--", "--bogus", "--title", "-"}, k_known);
    ASSERT_TRUE(p.ok()) << p.error.text;
    EXPECT_EQ(given(p), (Strings{"--recursive"}));
    EXPECT_EQ(p.operands, (Strings{"--json", "-r", "--", "--bogus", "--title", "-"}));

    // "--" ending the line leaves no FILE.
    p = parse_arguments({"--json", "--"}, k_known);
    ASSERT_TRUE(p.ok());
    EXPECT_TRUE(p.operands.empty());
    EXPECT_EQ(given(p), (Strings{"--json"}));

    // --help where an option may stand asks for help, before any error after it; as a value or
    // a FILE after "--" it is that.
    p = parse_arguments({"a.mp3", "-h", "--bogus"}, k_known);
    EXPECT_TRUE(p.help && p.ok());
    p = parse_arguments({"--title", "--help", "--", "--help"}, k_known);
    EXPECT_FALSE(p.help);
    EXPECT_EQ(given(p), (Strings{"--title=--help"}));
    EXPECT_EQ(p.operands, (Strings{"--help"}));
}

TEST(Options, RepeatedOptionsAreEachGivenSoTheLastCounts) {
    ParsedArguments p =
        parse_arguments({"--title", "one", "--json", "--title=two", "--json", "--out", "a", "--out=b"}, k_known);
    ASSERT_TRUE(p.ok()) << p.error.text;
    EXPECT_EQ(given(p), (Strings{"--title=one", "--json", "--title=two", "--json", "--out=a", "--out=b"}));
    std::string last_title;
    for (const GivenOption& o : p.options)
        if (o.name == "--title") last_title = o.value;
    EXPECT_EQ(last_title, "two");
}

TEST(Options, UsageErrorsStopTheReadingAndNameTheArgument) {
    // A value missing at the end of the line, in the option's own words or the common ones.
    ParsedArguments p = parse_arguments({"a.mp3", "--json", "--title"}, k_known);
    EXPECT_FALSE(p.ok());
    EXPECT_EQ(p.error.kind, ArgumentError::Kind::missing_value);
    EXPECT_EQ(p.error.argument, "--title");
    EXPECT_EQ(p.error.text, "--title needs a value");
    EXPECT_EQ(given(p), (Strings{"--json"})); // what came before stays
    EXPECT_EQ(p.operands, (Strings{"a.mp3"}));
    p = parse_arguments({"--out"}, k_known);
    EXPECT_EQ(p.error.kind, ArgumentError::Kind::missing_value);
    EXPECT_EQ(p.error.text, "--out needs a folder");

    // An unknown option is named as given; nothing after it is read.
    p = parse_arguments({"--title", "T", "--bogus", "--json", "b.mp3"}, k_known);
    EXPECT_EQ(p.error.kind, ArgumentError::Kind::unknown_option);
    EXPECT_EQ(p.error.argument, "--bogus");
    EXPECT_EQ(p.error.text, "unknown option --bogus");
    EXPECT_EQ(given(p), (Strings{"--title=T"}));
    EXPECT_TRUE(p.operands.empty());

    // Single letters, bare prefixes and longer names are no abbreviations of an option.
    for (const char* a : {"-x", "-j", "--tit", "--titles", "--titles=x", "--js", "---json", "-rr", "--JSON"}) {
        p = parse_arguments({a, "f.mp3"}, k_known);
        EXPECT_EQ(p.error.kind, ArgumentError::Kind::unknown_option) << a;
        EXPECT_EQ(p.error.text, std::string("unknown option ") + a);
        EXPECT_TRUE(p.options.empty() && p.operands.empty()) << a;
    }

    // A flag takes no value: "--json=1" and "-r=1" are unknown options, named whole.
    for (const char* a : {"--json=1", "-r=1", "--recursive=", "--bogus=1", "--=1"}) {
        p = parse_arguments({"-r", a}, k_known);
        EXPECT_EQ(p.error.kind, ArgumentError::Kind::unknown_option) << a;
        EXPECT_EQ(p.error.argument, a);
        EXPECT_EQ(p.error.text, std::string("unknown option ") + a);
        EXPECT_EQ(given(p), (Strings{"--recursive"})) << a;
    }

    // The first error is the one named, though a later one follows.
    p = parse_arguments({"--genre=1", "--bogus", "--title"}, k_known);
    EXPECT_EQ(p.error.text, "unknown option --bogus");
    p = parse_arguments({"--", "--bogus", "--title"}, k_known);
    EXPECT_TRUE(p.ok());
    EXPECT_EQ(p.operands, (Strings{"--bogus", "--title"}));

    // A command with no options knows none.
    p = parse_arguments({"--json"}, {});
    EXPECT_EQ(p.error.text, "unknown option --json");
}

} // namespace

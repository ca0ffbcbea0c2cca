// The table of tagzo-cli's commands. A new command is a file that defines its entry and a line
// here; main, help and the usage text read the table.
#include "cli/commands.h"

#include "cli/console.h"

namespace cli {

extern const Command k_show_command, k_set_command, k_rename_command, k_export_command, k_repair_command,
    k_import_command, k_undo_command;

namespace {

// In the order of the usage text.
const Command* const k_commands[] = {&k_show_command,   &k_set_command,    &k_rename_command, &k_export_command,
                                     &k_repair_command, &k_import_command, &k_undo_command};

} // namespace

const Command* find_command(const std::string& name) {
    for (const Command* c : k_commands)
        if (name == c->name) return c;
    return nullptr;
}

int run_command(const Command& command, const std::vector<std::string>& args) {
    const ParsedArguments p = parse_arguments(args, command.known_options());
    if (p.help) {
        write_out(command.help);
        return k_ok;
    }
    return command.run(p);
}

const std::string& usage_text() {
    static const std::string text = [] {
        std::string t;
        for (const Command* c : k_commands) t += (t.empty() ? "usage: " : "       ") + std::string(c->usage);
        return t +
               "       tagzo-cli COMMAND --help, tagzo-cli --version\n"
               "  -r, --recursive: folders among the FILEs are walked for their .mp3 and .rmp files\n";
    }();
    return text;
}

int usage(const std::string& why) {
    write_err("tagzo-cli: " + why + "\n" + usage_text());
    return k_usage;
}

int exit_status(const platform::Result& step) {
    if (step) return k_ok;
    return step.fault == platform::Fault::bad_input ? usage(step.detail) : k_failed;
}

} // namespace cli

#include "cli/options.h"

namespace cli {

namespace {

const KnownOption* find_known(std::span<const KnownOption> known, const std::string& name) {
    for (const KnownOption& s : known)
        if (name == s.name || (!s.alias.empty() && name == s.alias)) return &s;
    return nullptr;
}

} // namespace

ParsedArguments parse_arguments(const std::vector<std::string>& args, std::span<const KnownOption> known) {
    ParsedArguments p;
    bool options_done = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (options_done || a.empty() || a[0] != '-' || a == "-") {
            p.operands.push_back(a);
            continue;
        }
        if (a == "--") {
            options_done = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            p.help = true;
            return p;
        }
        if (const KnownOption* s = find_known(known, a)) {
            if (!s->takes_value) {
                p.options.push_back({std::string(s->name), ""});
                continue;
            }
            if (i + 1 >= args.size()) {
                p.error = {ArgumentError::Kind::missing_value, a,
                           s->missing_value.empty() ? a + " needs a value" : std::string(s->missing_value)};
                return p;
            }
            p.options.push_back({std::string(s->name), args[++i]});
            continue;
        }
        const size_t eq = a.find('=');
        const KnownOption* s = eq == std::string::npos ? nullptr : find_known(known, a.substr(0, eq));
        if (!s || !s->takes_value) {
            p.error = {ArgumentError::Kind::unknown_option, a, "unknown option " + a};
            return p;
        }
        p.options.push_back({std::string(s->name), a.substr(eq + 1)});
    }
    return p;
}

} // namespace cli

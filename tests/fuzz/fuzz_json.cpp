// The input is one line of `set --json`: read as JSON, and every string that comes out valid
// UTF-8 that quotes and reads back as itself.
#include <string>
#include <string_view>

#include "cli/json.h"
#include "platform/text.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

void check(const cli::json::Value& v, int depth) {
    FUZZ_CHECK(depth <= 65);
    using Kind = cli::json::Value::Kind;
    if (v.kind == Kind::string) {
        FUZZ_CHECK(platform::sanitize_utf8(v.text) == v.text);
        cli::json::Value back;
        FUZZ_CHECK(cli::json::parse(cli::json::quote(v.text), back));
        FUZZ_CHECK(back.kind == Kind::string && back.text == v.text);
    }
    for (const auto& m : v.members) check(m.value, depth + 1);
    for (const auto& i : v.items) check(i, depth + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cli::json::Value v;
    const platform::Result parsed = cli::json::parse(std::string_view(reinterpret_cast<const char*>(data), size), v);
    if (parsed) check(v, 0);
    else FUZZ_CHECK(!parsed.detail.empty());
    // Read without what the nested containers hold, the input is as good or as bad, and the top
    // value holds the same keys.
    cli::json::Value top;
    const platform::Result flat =
        cli::json::parse(std::string_view(reinterpret_cast<const char*>(data), size), top, false);
    FUZZ_CHECK(flat.ok() == parsed.ok() && flat.detail == parsed.detail);
    FUZZ_CHECK(!flat ||
               (top.kind == v.kind && top.members.size() == v.members.size() && top.items.size() == v.items.size()));
    for (const auto& m : top.members) FUZZ_CHECK(m.value.members.empty() && m.value.items.empty());
    return 0;
}

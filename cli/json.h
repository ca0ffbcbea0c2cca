// JSON as tagzo-cli speaks it: the quoting of `show --json`'s texts, and the reader of the
// lines that `set --json` takes. Always UTF-8, whatever the console's code page.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace cli::json {

// A JSON text in double quotes. U+FFFD and the control characters are escaped, so that the
// text survives a console code page that has no such character.
std::string quote(std::string_view utf8);
// The same, added to `out`.
void quote_to(std::string& out, std::string_view utf8);

struct Member;

struct Value {
    enum class Kind { null, boolean, number, string, object, array };
    Kind kind = Kind::null;
    std::string text;            // a string's UTF-8, a number as written, "true" or "false"
    std::vector<Member> members; // an object's, in their order
    std::vector<Value> items;    // an array's
};

struct Member {
    std::string key;
    Value value;
};

// Reads one JSON value that fills the whole input (blanks around it aside). A failure
// (Fault::bad_input) when the input is none, its detail saying what is wrong and at which byte. Strings must be valid
// UTF-8 and unpaired surrogates are refused; nesting deeper than 64 levels is refused rather
// than followed.
// With `nested` false, the objects and arrays inside the top value are read and checked but
// keep nothing (their kind only), so that values a caller ignores cost no memory.
platform::Result parse(std::string_view input, Value& out, bool nested = true);

} // namespace cli::json

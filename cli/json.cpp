#include "cli/json.h"

#include <array>

#include "platform/text.h"

namespace cli::json {

namespace {
// The bytes that may need an escape: controls, the quote, the backslash, and 0xEF, which
// begins U+FFFD. Every other byte goes over as it is.
constexpr std::array<bool, 256> k_may_escape = [] {
    std::array<bool, 256> t{};
    for (int c = 0; c < 0x20; ++c) t[c] = true;
    t['"'] = t['\\'] = t[0xEF] = true;
    return t;
}();
} // namespace

void quote_to(std::string& out, std::string_view utf8) {
    out += '"';
    size_t plain = 0; // where the bytes that go over as they are begin
    for (size_t i = 0; i < utf8.size(); ++i) {
        auto c = static_cast<unsigned char>(utf8[i]);
        if (!k_may_escape[c]) continue;
        // U+FFFD stands for bytes that are no cp932 text; escaped, it survives a console code
        // page that has no such character. Any other character from 0xEF goes as it is.
        const bool replacement = c == 0xEF && i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0xBF &&
                                 static_cast<unsigned char>(utf8[i + 2]) == 0xBD;
        if (c == 0xEF && !replacement) continue;
        out.append(utf8, plain, i - plain);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case 0xEF:
            out += "\\ufffd";
            i += 2;
            break;
        default: {
            static const char hex[] = "0123456789abcdef";
            const char escaped[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
            out.append(escaped, sizeof escaped);
        }
        }
        plain = i + 1;
    }
    out.append(utf8, plain, utf8.size() - plain);
    out += '"';
}

std::string quote(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + 2);
    quote_to(out, utf8);
    return out;
}

namespace {

constexpr int k_max_depth = 64;

// A reader over the input that stops at the first fault: every step checks the end first.
class Reader {
public:
    Reader(std::string_view in, bool nested) : in_(in), nested_(nested) {}

    bool value(Value& v, int depth) {
        if (depth > k_max_depth) return fail("nested deeper than 64 levels");
        blanks();
        if (at_end()) return fail("a value is missing");
        char c = in_[pos_];
        if (c == '{') return object(v, depth);
        if (c == '[') return array(v, depth);
        if (c == '"') {
            v.kind = Value::Kind::string;
            return string(v.text);
        }
        if (c == '-' || (c >= '0' && c <= '9')) return number(v);
        for (const char* word : {"true", "false", "null"}) {
            std::string_view w(word);
            if (in_.substr(pos_, w.size()) == w) {
                pos_ += w.size();
                v.kind = w == "null" ? Value::Kind::null : Value::Kind::boolean;
                v.text = w;
                return true;
            }
        }
        return fail("no JSON value");
    }

    bool finish() {
        blanks();
        return at_end() || fail("more after the value");
    }

    const std::string& error() const { return err_; }

private:
    bool at_end() const { return pos_ >= in_.size(); }
    void blanks() {
        while (!at_end() && (in_[pos_] == ' ' || in_[pos_] == '\t' || in_[pos_] == '\n' || in_[pos_] == '\r')) ++pos_;
    }
    bool fail(const std::string& what) {
        if (err_.empty()) err_ = what + " at byte " + std::to_string(pos_ + 1);
        return false;
    }
    bool take(char c) {
        if (at_end() || in_[pos_] != c) return false;
        ++pos_;
        return true;
    }

    bool object(Value& v, int depth) {
        v.kind = Value::Kind::object;
        ++pos_; // {
        blanks();
        if (take('}')) return true;
        for (;;) {
            blanks();
            if (at_end() || in_[pos_] != '"') return fail("a key in double quotes is missing");
            std::string key;
            if (!string(key)) return false;
            blanks();
            if (!take(':')) return fail("':' is missing");
            Value member;
            if (!value(member, depth + 1)) return false;
            if (nested_ || depth == 0) v.members.push_back({std::move(key), std::move(member)});
            blanks();
            if (take('}')) return true;
            if (!take(',')) return fail("',' or '}' is missing");
        }
    }

    bool array(Value& v, int depth) {
        v.kind = Value::Kind::array;
        ++pos_; // [
        blanks();
        if (take(']')) return true;
        for (;;) {
            Value item;
            if (!value(item, depth + 1)) return false;
            if (nested_ || depth == 0) v.items.push_back(std::move(item));
            blanks();
            if (take(']')) return true;
            if (!take(',')) return fail("',' or ']' is missing");
        }
    }

    bool digits() {
        size_t start = pos_;
        while (!at_end() && in_[pos_] >= '0' && in_[pos_] <= '9') ++pos_;
        return pos_ > start;
    }

    bool number(Value& v) {
        size_t start = pos_;
        take('-');
        if (!take('0') && !digits()) return fail("a number is malformed"); // "0" stands alone

        if (take('.') && !digits()) return fail("a number is malformed");
        if (!at_end() && (in_[pos_] == 'e' || in_[pos_] == 'E')) {
            ++pos_;
            if (!take('+')) take('-');
            if (!digits()) return fail("a number is malformed");
        }
        v.kind = Value::Kind::number;
        v.text = in_.substr(start, pos_ - start);
        return true;
    }

    // Four hex digits of a \u escape.
    bool hex4(char32_t& unit) {
        if (in_.size() - pos_ < 4) return fail("a \\u escape is cut short");
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            char c = in_[pos_++];
            unit <<= 4;
            if (c >= '0' && c <= '9') unit |= static_cast<char32_t>(c - '0');
            else if (c >= 'a' && c <= 'f') unit |= static_cast<char32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') unit |= static_cast<char32_t>(c - 'A' + 10);
            else return fail("a \\u escape holds no hex digit");
        }
        return true;
    }

    bool string(std::string& out) {
        ++pos_; // "
        size_t raw_start = pos_;
        bool high = false;
        for (;;) {
            if (at_end()) return fail("a string has no closing quote");
            auto c = static_cast<unsigned char>(in_[pos_]);
            if (c == '"') {
                ++pos_;
                break;
            }
            if (c < 0x20) return fail("a control character stands unescaped in a string");
            if (c >= 0x80) high = true;
            if (c != '\\') {
                out += static_cast<char>(c);
                ++pos_;
                continue;
            }
            ++pos_;
            if (at_end()) return fail("a string has no closing quote");
            char e = in_[pos_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                char32_t unit = 0;
                if (!hex4(unit)) return false;
                if (unit >= 0xDC00 && unit <= 0xDFFF) return fail("an unpaired surrogate");
                if (unit >= 0xD800 && unit <= 0xDBFF) {
                    char32_t low = 0;
                    if (!take('\\') || !take('u') || !hex4(low) || low < 0xDC00 || low > 0xDFFF)
                        return fail("an unpaired surrogate");
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                }
                platform::put_utf8(out, unit);
                break;
            }
            default: --pos_; return fail("an unknown escape");
            }
        }
        if (high) {
            std::string_view raw = in_.substr(raw_start, pos_ - 1 - raw_start);
            if (platform::sanitize_utf8(raw) != raw) {
                pos_ = raw_start;
                return fail("a string is no valid UTF-8");
            }
        }
        return true;
    }

    std::string_view in_;
    bool nested_; // keep what the containers inside the top value hold
    size_t pos_ = 0;
    std::string err_;
};

} // namespace

platform::Result parse(std::string_view input, Value& out, bool nested) {
    out = Value{};
    Reader r(input, nested);
    if (r.value(out, 0) && r.finish()) return {};
    return platform::failure(platform::Fault::bad_input, r.error());
}

} // namespace cli::json

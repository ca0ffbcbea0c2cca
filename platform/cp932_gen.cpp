// Run by the build on POSIX: asks the system's converter (iconv) for every cp932 code and
// writes the tables as a source file, so that the programs convert without loading iconv's
// modules at run time.
//   cp932_gen OUTPUT.cpp
#include <cstdio>
#include <string>

#include "platform/cp932_build.h"
#include "platform/text.h"

namespace {

std::string hex(unsigned long v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%lX", v);
    return b;
}

void put_list(std::string& out, const std::vector<char32_t>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        out += i % 8 == 0 ? "\n    " : " ";
        out += values[i] == platform::cp932::k_none ? std::string("k_none") : hex(values[i]);
        out += ',';
    }
    out += '\n';
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: cp932_gen OUTPUT.cpp\n");
        return 2;
    }
    // A system without a cp932 converter would give tables of nothing but U+FFFD.
    const unsigned char probe[2] = {0x82, 0xA0};
    char32_t cp = 0;
    if (!platform::system_decode_cp932(probe, 2, cp) || cp != 0x3042) {
        std::fprintf(stderr, "cp932_gen: the system's converter (iconv) has no CP932\n");
        return 1;
    }
    platform::cp932::BuiltTables t = platform::cp932::build_tables(platform::system_decode_cp932);

    std::string out =
        "// Made by cp932_gen from the system's cp932 converter when the program was built.\n"
        "#include \"platform/cp932_table.h\"\n\n"
        "namespace platform::cp932 {\n\n"
        "namespace {\n\n"
        "constexpr char32_t k_single[256] = {";
    put_list(out, t.single);
    out += "};\n\nconstexpr char32_t k_pair[k_pairs] = {";
    put_list(out, t.pair);
    out += "};\n\nconstexpr Encoding k_encode[" + std::to_string(t.encode.size()) + "] = {";
    for (size_t i = 0; i < t.encode.size(); ++i) {
        out += i % 4 == 0 ? "\n    " : " ";
        out += "{" + hex(t.encode[i].ch) + ", " + hex(t.encode[i].code) + "},";
    }
    out +=
        "\n};\n\n"
        "constexpr Tables k_tables{k_single, k_pair, k_encode, sizeof k_encode / sizeof k_encode[0]};\n\n"
        "} // namespace\n\n"
        "const Tables& tables() { return k_tables; }\n\n"
        "} // namespace platform::cp932\n";

    std::FILE* f = std::fopen(argv[1], "wb");
    bool written = f && std::fwrite(out.data(), 1, out.size(), f) == out.size();
    if (f && std::fclose(f) != 0) written = false;
    if (!written) {
        std::remove(argv[1]); // a half-written table must not pass for a made one
        std::fprintf(stderr, "cp932_gen: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

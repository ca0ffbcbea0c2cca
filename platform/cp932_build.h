// Builds the cp932 tables from a converter of one character (iconv at build time on POSIX,
// MultiByteToWideChar at run time on Windows), so that both take the same characters.
#pragma once
#include <vector>

#include "platform/cp932_table.h"

namespace platform::cp932 {

struct BuiltTables {
    std::vector<char32_t> single;
    std::vector<char32_t> pair;
    std::vector<Encoding> encode;
};

// `decode` converts one character of one or two bytes and returns false where they are none.
BuiltTables build_tables(bool (*decode)(const unsigned char* bytes, size_t n, char32_t& out));

} // namespace platform::cp932

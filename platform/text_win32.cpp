// The system cp932 converter on Windows: code page 932 of MultiByteToWideChar, and the cp932
// tables built from it at their first use.
#include <windows.h>

#include "platform/cp932_build.h"
#include "platform/text.h"

namespace platform {

bool system_decode_cp932(const unsigned char* bytes, size_t n, char32_t& out) {
    wchar_t w[2] = {0, 0};
    int got =
        MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes), static_cast<int>(n), w, 2);
    if (got != 1) return false;
    out = static_cast<char32_t>(w[0]);
    return true;
}

const cp932::Tables& cp932::tables() {
    static const BuiltTables built = build_tables(system_decode_cp932);
    static const Tables t{built.single.data(), built.pair.data(), built.encode.data(), built.encode.size()};
    return t;
}

} // namespace platform

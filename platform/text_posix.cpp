// The system cp932 converter on POSIX: iconv. The build's table generator (cp932_gen) and the
// tests ask it; the programs convert with the tables it gave at build time.
#include <iconv.h>

#include <cerrno>

#include "platform/text.h"

namespace platform {

bool system_decode_cp932(const unsigned char* bytes, size_t n, char32_t& out) {
    static iconv_t cd = iconv_open("UTF-32LE", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in[2] = {static_cast<char>(bytes[0]), static_cast<char>(n > 1 ? bytes[1] : 0)};
    unsigned char buf[8];
    char* ip = in;
    size_t il = n;
    char* op = reinterpret_cast<char*>(buf);
    size_t ol = sizeof buf;
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) || il != 0 || sizeof buf - ol != 4) return false;
    out = static_cast<char32_t>(buf[0] | buf[1] << 8 | buf[2] << 16 | static_cast<char32_t>(buf[3]) << 24);
    return true;
}

} // namespace platform

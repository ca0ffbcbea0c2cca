// The one reader of outside bytes: every read is checked against the real length, and the
// first failure leaves `ok` false for good.
#pragma once
#include <cstdint>

#include "platform/byte_source.h"

namespace formats {

class Reader {
public:
    explicit Reader(platform::ByteSource& source) : source_(source), length_(source.size()) {}

    uint64_t length() const { return length_; }
    uint64_t offset() const { return offset_; }
    uint64_t remaining() const { return length_ - offset_; }
    bool ok() const { return ok_; }

    bool seek(uint64_t offset) {
        if (!ok_ || offset > length_) return fail();
        offset_ = offset;
        return true;
    }
    bool skip(uint64_t n) {
        if (!ok_ || n > length_ - offset_) return fail();
        offset_ += n;
        return true;
    }
    bool bytes(void* dst, size_t n) {
        if (!ok_ || n > length_ - offset_ || !source_.read_at(offset_, dst, n)) return fail();
        offset_ += n;
        return true;
    }
    bool u32le(uint32_t& value) {
        unsigned char b[4];
        if (!bytes(b, 4)) return false;
        value = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
                static_cast<uint32_t>(b[3]) << 24;
        return true;
    }

private:
    bool fail() {
        ok_ = false;
        return false;
    }
    platform::ByteSource& source_;
    uint64_t length_;
    uint64_t offset_ = 0;
    bool ok_ = true;
};

inline void put_u32le(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

inline uint32_t get_u32le(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

} // namespace formats

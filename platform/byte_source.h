// Random-access input that the format readers work on: an open file or a block of memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace platform {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Reads exactly n bytes at offset; false when they are not all there or the read fails.
    virtual bool read_at(uint64_t offset, void* dst, size_t n) = 0;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const void* data, size_t length) : data_(static_cast<const unsigned char*>(data)), length_(length) {}
    uint64_t size() const override { return length_; }
    bool read_at(uint64_t offset, void* dst, size_t n) override {
        if (offset > length_ || n > length_ - offset) return false;
        if (n) std::memcpy(dst, data_ + offset, n);
        return true;
    }

private:
    const unsigned char* data_;
    size_t length_;
};

} // namespace platform

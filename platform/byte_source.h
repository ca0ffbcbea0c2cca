// Random-access input that the format readers work on: an open file or a block of memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

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

// Another source whose first `capacity` bytes are read once, at the first read, and served from
// memory after that: for readers that come back to a file's head again and again. Reads beyond
// them go to the source.
class HeadCache final : public ByteSource {
public:
    HeadCache(ByteSource& inner, size_t capacity) : inner_(inner), capacity_(capacity) {}
    HeadCache(const HeadCache&) = delete;
    HeadCache& operator=(const HeadCache&) = delete;
    uint64_t size() const override { return inner_.size(); }
    bool read_at(uint64_t offset, void* dst, size_t n) override {
        if (!filled_) fill();
        if (offset <= held_ && n <= held_ - offset) {
            if (n) std::memcpy(dst, head_.get() + offset, n);
            return true;
        }
        return inner_.read_at(offset, dst, n);
    }

private:
    void fill() {
        filled_ = true;
        const uint64_t size = inner_.size();
        const size_t want = size < capacity_ ? static_cast<size_t>(size) : capacity_;
        head_ = std::make_unique_for_overwrite<unsigned char[]>(want);
        if (inner_.read_at(0, head_.get(), want)) held_ = want; // else every read goes to the source
    }

    ByteSource& inner_;
    size_t capacity_;
    std::unique_ptr<unsigned char[]> head_;
    size_t held_ = 0;
    bool filled_ = false;
};

} // namespace platform

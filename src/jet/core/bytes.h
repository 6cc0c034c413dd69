// Bounds-checked little-endian decoding. Every offset and length taken from a file goes through here.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "jet/status.h"

namespace jet {

/// A read-only view of bytes whose accessors fail instead of reading past the end.
class ByteView {
public:
    ByteView() = default;
    ByteView(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    explicit ByteView(std::span<const uint8_t> s) : m_data(s.data()), m_size(s.size()) {}

    const uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    /// True when [offset, offset + length) lies inside the view.
    bool contains(size_t offset, size_t length) const {
        return offset <= m_size && length <= m_size - offset;
    }

    /// The sub-view [offset, offset + length), or Corruption naming `what`.
    Result<ByteView> slice(size_t offset, size_t length, const char* what) const {
        if (!contains(offset, length)) return outOfBounds(offset, length, what);
        return ByteView(m_data + offset, length);
    }

    Result<uint8_t> u8(size_t offset, const char* what) const {
        if (!contains(offset, 1)) return outOfBounds(offset, 1, what);
        return m_data[offset];
    }
    Result<uint16_t> u16(size_t offset, const char* what) const {
        if (!contains(offset, 2)) return outOfBounds(offset, 2, what);
        return load16(m_data + offset);
    }
    Result<uint32_t> u24(size_t offset, const char* what) const {
        if (!contains(offset, 3)) return outOfBounds(offset, 3, what);
        return load24(m_data + offset);
    }
    Result<uint32_t> u32(size_t offset, const char* what) const {
        if (!contains(offset, 4)) return outOfBounds(offset, 4, what);
        return load32(m_data + offset);
    }

    /// Unchecked loads for callers that checked the range once for a whole structure.
    static uint16_t load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
    static uint32_t load24(const uint8_t* p) {
        return p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16);
    }
    static uint32_t load32(const uint8_t* p) {
        return p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    }
    static uint64_t load64(const uint8_t* p) {
        return load32(p) | (static_cast<uint64_t>(load32(p + 4)) << 32);
    }

private:
    Status outOfBounds(size_t offset, size_t length, const char* what) const {
        return Status::Corruption(std::string(what) + " at offset " + std::to_string(offset) + " (+" +
                                  std::to_string(length) + ") lies outside its " + std::to_string(m_size) +
                                  "-byte region");
    }

    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
};

/// Little-endian stores for building pages.
inline void store16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void store24(uint8_t* p, uint32_t v) {
    store16(p, static_cast<uint16_t>(v));
    p[2] = static_cast<uint8_t>(v >> 16);
}
inline void store32(uint8_t* p, uint32_t v) {
    store16(p, static_cast<uint16_t>(v));
    store16(p + 2, static_cast<uint16_t>(v >> 16));
}
inline void store64(uint8_t* p, uint64_t v) {
    store32(p, static_cast<uint32_t>(v));
    store32(p + 4, static_cast<uint32_t>(v >> 32));
}

/// Appends the low `bytes` bytes of `v` to `out`, least significant first; bytes beyond the eighth are
/// zero (a run of reserved bytes).
inline void appendLittle(std::string& out, uint64_t v, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>(v & 0xFF));
        v >>= 8;
    }
}

}  // namespace jet

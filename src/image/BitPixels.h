// Pixel access of 1-bit rows: pixel x sits in byte x / 8, the leftmost
// pixel of a byte in its most significant bit; a set bit is black. Every
// reader and writer of 1-bit rows goes through these helpers so that the
// bit order is written down once.
#pragma once
#include <cstddef>
#include <cstdint>

namespace bitpixels {

// Byte of the row that holds pixel x.
constexpr size_t ByteOf(int64_t x) { return static_cast<size_t>(x >> 3); }

// The bit of pixel x inside its byte.
constexpr uint8_t MaskOf(int64_t x) { return static_cast<uint8_t>(0x80u >> (x & 7)); }

// The bit of the k-th pixel of a byte (k in 0..7, 0 leftmost).
constexpr uint8_t MaskAt(int k) { return static_cast<uint8_t>(0x80u >> k); }

inline bool Get(const uint8_t* row, int64_t x) { return (row[ByteOf(x)] & MaskOf(x)) != 0; }

// 0 or 1.
inline uint8_t Value(const uint8_t* row, int64_t x) { return static_cast<uint8_t>(Get(row, x) ? 1 : 0); }

inline void Set(uint8_t* row, int64_t x) {
    row[ByteOf(x)] = static_cast<uint8_t>(row[ByteOf(x)] | MaskOf(x));
}

inline void Clear(uint8_t* row, int64_t x) {
    row[ByteOf(x)] = static_cast<uint8_t>(row[ByteOf(x)] & ~MaskOf(x));
}

}  // namespace bitpixels

#pragma once
// Overflow- and range-checked 32-bit integer arithmetic for the tuner's analysis and display.
// Every function throws std::overflow_error (or std::out_of_range for an index) instead of wrapping.

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace checked {

// A 64-bit value that must fit in 32 bits.
inline int32_t Narrow(int64_t v) {
    if (v < INT32_MIN || v > INT32_MAX) throw std::overflow_error("Integer overflow");
    return static_cast<int32_t>(v);
}

// Sums, differences and products of two 32-bit values are exact in 64 bits.
inline int32_t Add(int32_t a, int32_t b) { return Narrow(int64_t{a} + b); }
inline int32_t Sub(int32_t a, int32_t b) { return Narrow(int64_t{a} - b); }
inline int32_t Mul(int32_t a, int32_t b) { return Narrow(int64_t{a} * b); }

// Integer division truncating towards zero; INT32_MIN / -1 and a zero divisor are refused.
inline int32_t Div(int32_t a, int32_t b) {
    if (b == 0) throw std::overflow_error("Division by zero");
    if (a == INT32_MIN && b == -1) throw std::overflow_error("Integer overflow");
    return a / b;
}

// An index that must lie in 0 .. size-1.
inline std::size_t Index(int64_t i, std::size_t size) {
    if (i < 0 || static_cast<uint64_t>(i) >= size) throw std::out_of_range("Range check error");
    return static_cast<std::size_t>(i);
}

}  // namespace checked

#pragma once

#include <cstdint>
#include <limits>

namespace hollowmere {

// Signed 64-bit byte arithmetic that stops at the ends of the range instead of wrapping.
namespace Saturating {

constexpr int64_t maximum = std::numeric_limits<int64_t>::max();
constexpr int64_t minimum = std::numeric_limits<int64_t>::min();

constexpr int64_t fromUnsigned(uint64_t value) {
    return value > static_cast<uint64_t>(maximum) ? maximum : static_cast<int64_t>(value);
}

constexpr int64_t add(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? maximum : minimum;
    return sum;
}

constexpr int64_t subtract(int64_t a, int64_t b) {
    int64_t difference = 0;
    if (__builtin_sub_overflow(a, b, &difference)) return b < 0 ? maximum : minimum;
    return difference;
}

constexpr int64_t negate(int64_t a) { return a == minimum ? maximum : -a; }

constexpr int64_t multiply(uint64_t a, uint64_t b) {
    uint64_t product = 0;
    if (__builtin_mul_overflow(a, b, &product)) return maximum;
    return fromUnsigned(product);
}

} // namespace Saturating

} // namespace hollowmere

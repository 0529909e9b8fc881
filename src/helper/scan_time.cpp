#include "scan_time.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace hollowmere::ScanTime {

struct ::timespec fromSeconds(double seconds) {
    constexpr int64_t earliest = std::numeric_limits<int64_t>::min();
    constexpr int64_t latest = std::numeric_limits<int64_t>::max();
    // 2^63 is the first double beyond int64_t; casting anything from there on is undefined.
    constexpr double beyond = 9223372036854775808.0;
    if (std::isnan(seconds) || seconds < -beyond) return {earliest, 0};
    if (seconds >= beyond) return {latest, 999'999'999};
    const double whole = std::floor(seconds);
    return {static_cast<int64_t>(whole), static_cast<long>((seconds - whole) * 1e9)};
}

} // namespace hollowmere::ScanTime

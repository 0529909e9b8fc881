#pragma once

#include <ctime>

namespace hollowmere {

// The start of a scan as the app sends it (seconds since 1970 in a double) in the form the
// Trash mover compares file times with.
namespace ScanTime {

// Seconds rounded down and the fraction's nanoseconds, truncated (1.25 gives 1 s and
// 250000000 ns; -1.25 gives -2 s and 750000000 ns). The value comes from the connection, so
// out-of-range values are clamped to the representable times and NaN is taken as the
// earliest one, which refuses every item a file system gives a birth time.
struct ::timespec fromSeconds(double seconds);

} // namespace ScanTime

} // namespace hollowmere

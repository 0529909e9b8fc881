#pragma once

#include <chrono>
#include <qcoro/qcorotask.h>
#include <stop_token>

namespace hollowmere {

// Waits on the event loop for `duration`, or less when `stop` is requested (from any thread).
// A cut-short wait is not an error.
QCoro::Task<> pause(std::chrono::milliseconds duration, std::stop_token stop);

} // namespace hollowmere

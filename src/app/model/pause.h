#pragma once

#include <qcoro/qcorotask.h>

#include <chrono>
#include <stop_token>

namespace hollowmere {

// Waits on the event loop for `duration`, or less when `stop` is requested (from any thread).
// A cut-short wait is not an error.
QCoro::Task<> pause(std::chrono::milliseconds duration, std::stop_token stop);

} // namespace hollowmere

#pragma once

#include <exception>

namespace hollowmere {

// Thrown by long operations that were cancelled; nothing they would have produced exists.
class CancellationError : public std::exception {
public:
    const char* what() const noexcept override { return "cancelled"; }
};

} // namespace hollowmere

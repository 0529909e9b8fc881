#pragma once

#include <functional>

namespace hollowmere::test {

// Runs `check` in a forked child that, when this process is root, first drops to the
// unprivileged user 65534, so that permission bits apply; returns whether it returned true.
// Without root the child keeps this process's identity.
bool runUnprivileged(const std::function<bool()>& check);

} // namespace hollowmere::test

#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>

// Skips the test, saying what it needs root for, unless this process is root.
#define REQUIRE_ROOT(reason)                                                                                           \
    if (::geteuid() != 0) GTEST_SKIP() << "needs root: " << (reason)

namespace hollowmere::test {

// Runs `check` in a forked child that, when this process is root, first drops to the
// unprivileged user 65534, so that permission bits apply; returns whether it returned true.
// Without root the child keeps this process's identity.
bool runUnprivileged(const std::function<bool()>& check);

} // namespace hollowmere::test

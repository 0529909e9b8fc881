#pragma once

#include <string>
#include <string_view>

namespace hollowmere {

// The identity of a helper executable, computed alike by the helper (of itself, at start) and
// by the app (of the helper it was installed with): when they differ, the running helper is
// left over from another build and the app asks it to quit.
namespace BuildString {

inline constexpr std::string_view missing = "missing"; // the file cannot be examined

// "<inode>-<mtime seconds>.<mtime nanoseconds>-<size>" from stat (links followed), each in
// decimal without padding; "missing" when stat fails.
std::string of(const std::string& executable);

} // namespace BuildString

} // namespace hollowmere

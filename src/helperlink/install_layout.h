#pragma once

#include <optional>
#include <string>

namespace hollowmere {

// Where the app and its helper sit in one installation (<prefix>/bin/hollowmere and
// <prefix>/libexec/hollowmere-helper, fixed by CMake), and what makes an installed file
// trustworthy. Both ends judge each other by these rules.
namespace InstallLayout {

// The executable of this process, as the kernel names it; absent when it cannot tell.
std::optional<std::string> ownExecutable();

// The app that a helper at `helperExecutable` serves, and the helper an app installed at
// `appExecutable` carries. Neither looks at the disk.
std::string appOf(const std::string& helperExecutable);
std::string helperOf(const std::string& appExecutable);

// Why the regular file at `path` (links resolved) is not safe to trust, or nothing. Trust
// rests on ownership: the file and every folder above it belong to root and nobody else may
// write there (a root-owned sticky folder such as /tmp counts as safe: others cannot rename
// what root keeps in it), so only root can have put it there or change it.
std::optional<std::string> unsafeFile(const std::string& path);

} // namespace InstallLayout

} // namespace hollowmere

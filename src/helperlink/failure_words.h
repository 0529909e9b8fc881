#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hollowmere {

// The short texts the helper sends back as errors. They are protocol constants: the app
// recognises them by exact comparison and turns them into sentences for the user.
namespace FailureWords {

inline constexpr std::string_view notAnAdministrator = "not an administrator";
inline constexpr std::string_view notAnAbsolutePath = "not an absolute path";
inline constexpr std::string_view anotherScanIsRunning = "another scan is running";
inline constexpr std::string_view cancelled = "cancelled";
inline constexpr std::string_view vital = "a folder macOS needs";
inline constexpr std::string_view notInTrash = "not in a Trash";
inline constexpr std::string_view replaced = "not the item that was moved";
inline constexpr std::string_view taken = "something else is there now";
inline constexpr std::string_view folderGone = "its folder is gone";
inline constexpr std::string_view pathChanged = "a link where its folder was";
inline constexpr std::string_view unsafeTrash = "the Trash is not a plain folder";
inline constexpr std::string_view changedSinceScan = "made after the scan began";

// The system's text for an error number, as strerror gives it ("Permission denied").
std::string errorText(int32_t code);
// A scan whose folder could not be opened: "errno 13: Permission denied".
std::string unreadable(int32_t code);
// A failed system call of the Trash mover: "rename: errno 13 (Permission denied)".
std::string system(std::string_view operation, int32_t code);

} // namespace FailureWords

} // namespace hollowmere

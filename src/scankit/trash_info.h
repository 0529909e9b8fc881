#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace hollowmere {

// The <name>.trashinfo record of the freedesktop.org Trash, which lets a file manager list an
// item in the Trash and restore it to where it came from.
namespace TrashInfo {

// The file name extension of a record in the info folder.
inline constexpr std::string_view extension = ".trashinfo";

// A path as the record stores it: every byte except the unreserved characters of URIs
// (letters, digits, "-", ".", "_", "~") and "/" becomes %XX.
std::string encodePath(std::string_view path);

// The whole record: the group header, Path= with the encoded path (absolute for the home
// trash, relative to the volume's top folder for a volume trash) and DeletionDate= in local
// time, YYYY-MM-DDThh:mm:ss.
std::string contents(std::string_view path, std::time_t deletionDate);

} // namespace TrashInfo

} // namespace hollowmere

#pragma once

#include <string_view>

namespace hollowmere {

// Which folders count as packages: shown and trashed as one item. A folder is a package when
// its name's last "." is not the first byte, and the extension after it (at most 14 bytes,
// lower-cased) is one of a fixed list.
namespace PackageRule {

bool matches(std::string_view nameBytes);

// True when some component of an absolute path is a package name.
bool pathHasPackageComponent(std::string_view path);

} // namespace PackageRule

} // namespace hollowmere

#pragma once

#include "file_tree.h"

#include <ctime>
#include <string>

namespace hollowmere {

// Whether an item is newer than a scan, so that a name is never acted on when it may stand for
// something the user did not see in the report.
namespace ScanAge {

// Seconds since 1970 rounded down, and the nanoseconds after them (never negative, also
// before 1970: -1.25 s is -2 s and 750000000 ns).
struct ::timespec timespec(Date date);

// True when the item at `path` (not followed when it is a link) was created strictly after
// `date`. False whenever that cannot be known: the item cannot be read, its file system keeps
// no birth time, or the folder holding it lies on a network file system.
bool createdAfter(const std::string& path, Date date);

} // namespace ScanAge

} // namespace hollowmere

#pragma once

#include "scankit/file_tree.h"

#include <cstdint>

namespace hollowmere {

// A deterministic, unfinished tree laid out as the scanner lays it out: every folder's children
// in one contiguous run after their parent, fan-out from 1 to 2,000, about one child in eight a
// folder, sizes from 0 to a few MiB with many ties. The same count and seed give the same tree.
// Call finish() (or time it) before reading it.
FileTree makeSyntheticTree(int32_t nodeCount, uint64_t seed = 1);

} // namespace hollowmere

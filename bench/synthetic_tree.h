#pragma once

#include "scankit/file_tree.h"

#include <cstdint>

namespace hollowmere {

// The benchmarks' deterministic random numbers: splitmix64, one step per call.
inline uint64_t splitmix(uint64_t& state) {
    uint64_t z = (state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

// A deterministic, unfinished tree laid out as the scanner lays it out: every folder's children
// in one contiguous run after their parent, fan-out from 1 to 2,000, about one child in eight a
// folder, sizes from 0 to a few MiB with many ties. The same count and seed give the same tree.
// Call finish() (or time it) before reading it.
FileTree makeSyntheticTree(int32_t nodeCount, uint64_t seed = 1);

} // namespace hollowmere

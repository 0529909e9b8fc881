#pragma once

#include <cstdint>

namespace hollowmere {

// The tree a sunburst layout reads. Nodes are signed 32-bit indexes. A node's children must
// come largest first: the layout stops at the first child too small to show and assumes
// every later one is smaller still.
class SunburstSource {
public:
    virtual ~SunburstSource() = default;

    virtual uint64_t size(int32_t node) const = 0;
    virtual int32_t childCount(int32_t node) const = 0;
    // The node's child at `position`, 0 <= position < childCount(node).
    virtual int32_t child(int32_t position, int32_t node) const = 0;
    // Whether the node has children to lay out in the next ring.
    virtual bool isContainer(int32_t node) const = 0;

protected:
    SunburstSource() = default;
    SunburstSource(const SunburstSource&) = default;
    SunburstSource& operator=(const SunburstSource&) = default;
};

} // namespace hollowmere

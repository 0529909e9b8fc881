#pragma once

#include "sunburstkit/sunburst_geometry.h"
#include "sunburstkit/sunburst_hit.h"
#include "sunburstkit/sunburst_segment.h"
#include "sunburstkit/sunburst_source.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace hollowmere {

// The rings of arcs for one focused node: which items get an arc, at which angles, with which
// colour slot, and where a folder's tiny children merge into one small-items arc. A plain
// value; it reads the source only while it is built.
class SunburstLayout {
public:
    // A depth-1 item that has a colour slot.
    struct SlotEntry {
        int32_t node = 0;
        int slot = 0;
        friend constexpr bool operator==(SlotEntry, SlotEntry) = default;
    };

    static constexpr int standardMaxDepth = 6;
    static constexpr double standardMinAngle = 0.0126; // about 0.72 degrees

    // `minAngle` is the narrowest arc shown for one item; `slotCount` the number of distinct
    // colour slots handed out where a branch first splits.
    SunburstLayout(int32_t root, const SunburstSource& source, int maxDepth, double minAngle,
                   int slotCount);

    // Six empty rings around node 0, for before anything was laid out.
    static SunburstLayout empty();

    int32_t root() const { return root_; }
    int maxDepth() const { return maxDepth_; }
    // Entry d - 1 holds the arcs of ring d in increasing angle order.
    const std::vector<std::vector<SunburstSegment>>& rings() const { return rings_; }
    // Every depth-1 item with a slot, in arc order (never more than the slot count).
    const std::vector<SlotEntry>& slots() const { return slots_; }
    std::optional<int> slot(int32_t node) const;
    bool isEmpty() const;

    // The arc or the centre under `point`; none over a gap or outside the rings.
    std::optional<SunburstHit> hit(SunburstGeometry::Point point,
                                   const SunburstGeometry& geometry) const;

    friend bool operator==(const SunburstLayout&, const SunburstLayout&) = default;

private:
    SunburstLayout(int32_t root, int maxDepth);
    void build(const SunburstSource& source, double minAngle, int slotCount);

    int32_t root_ = 0;
    int maxDepth_ = 0;
    std::vector<std::vector<SunburstSegment>> rings_;
    std::vector<SlotEntry> slots_;
};

} // namespace hollowmere

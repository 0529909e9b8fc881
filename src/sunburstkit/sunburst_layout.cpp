#include "sunburstkit/sunburst_layout.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace hollowmere {

namespace {

constexpr double fullCircle = 2 * std::numbers::pi;

// One folder whose children are being placed: the explicit stack that replaces recursion.
struct Frame {
    int32_t node;
    int32_t count; // children of the node
    int32_t next;  // position of the next child to place
    int depth;     // ring of the children
    std::optional<int> slot;
    bool assigned; // an ancestor level already split the colours
    bool split;    // this level splits them
    uint64_t size;
    uint64_t placed;
    double start;
    double span;
    double cursor;
};

} // namespace

SunburstLayout::SunburstLayout(int32_t root, int maxDepth)
    : root_(root)
    , maxDepth_(std::max(0, maxDepth))
    , rings_(static_cast<size_t>(maxDepth_)) {}

SunburstLayout::SunburstLayout(int32_t root, const SunburstSource& source, int maxDepth,
                               double minAngle, int slotCount)
    : SunburstLayout(root, maxDepth) {
    build(source, minAngle, slotCount);
}

SunburstLayout SunburstLayout::empty() {
    return SunburstLayout(0, standardMaxDepth);
}

std::optional<int> SunburstLayout::slot(int32_t node) const {
    for (const SlotEntry& entry : slots_) {
        if (entry.node == node) return entry.slot;
    }
    return std::nullopt;
}

bool SunburstLayout::isEmpty() const {
    return std::all_of(rings_.begin(), rings_.end(), [](const auto& ring) { return ring.empty(); });
}

void SunburstLayout::build(const SunburstSource& source, double minAngle, int slotCount) {
    // Depth-first, children in arc order, so every ring receives its arcs in increasing angle
    // order. The stack never holds more than one frame per ring.
    std::vector<Frame> stack;
    stack.reserve(static_cast<size_t>(maxDepth_));

    const auto open = [&](int32_t node, uint64_t size, int depth, std::optional<int> slot,
                          bool assigned, double start, double span) {
        if (depth > maxDepth_ || size == 0) return;
        const int32_t count = source.childCount(node);
        if (count < 1) return;
        // The colours split where a second child is wide enough to be seen; once split, the
        // slot is inherited and the test no longer matters.
        bool split = false;
        if (!assigned && count >= 2) {
            const uint64_t second = source.size(source.child(1, node));
            split = span * static_cast<double>(second) / static_cast<double>(size) >= minAngle;
        }
        stack.push_back(
            Frame{node, count, 0, depth, slot, assigned, split, size, 0, start, span, start});
    };

    // The merged tail of a folder's children that were too narrow to show one by one. It ends
    // exactly at the folder's end, whatever rounding the cursor carries.
    const auto closeWithSmallItems = [&](const Frame& f) {
        if (f.size <= f.placed) return;
        const uint64_t rest = f.size - f.placed;
        const double angle = f.span * static_cast<double>(rest) / static_cast<double>(f.size);
        if (angle < minAngle / 2) return;
        const double end = f.start + f.span;
        rings_[static_cast<size_t>(f.depth - 1)].push_back(
            SunburstSegment{SunburstSegment::SmallItems{f.node, f.count - f.next, rest}, f.depth,
                            std::min(f.cursor, end), end, std::nullopt, false});
    };

    open(root_, source.size(root_), 1, std::nullopt, false, 0.0, fullCircle);

    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next == f.count) { // every child placed: a gap may remain, but no small items
            stack.pop_back();
            continue;
        }
        const int32_t child = source.child(f.next, f.node);
        const uint64_t size = source.size(child);
        const double angle = f.span * static_cast<double>(size) / static_cast<double>(f.size);
        if (angle < minAngle) { // children come largest first: the rest are narrower still
            closeWithSmallItems(f);
            stack.pop_back();
            continue;
        }

        std::optional<int> slot;
        if (f.assigned) {
            slot = f.slot;
        } else if (!f.split) {
            slot = 0;
        } else if (f.next < slotCount) {
            slot = f.next;
        }
        const bool container = source.isContainer(child);
        const double start = f.cursor;
        rings_[static_cast<size_t>(f.depth - 1)].push_back(SunburstSegment{
            SunburstSegment::Item{child}, f.depth, start, start + angle, slot, container});
        if (f.depth == 1 && slot) slots_.push_back({child, *slot});

        ++f.next;
        f.placed += size;
        f.cursor += angle;
        const int childDepth = f.depth + 1;
        const bool childAssigned = f.assigned || f.split;
        // `f` must not be touched after this: the push may move the stack.
        if (container) open(child, size, childDepth, slot, childAssigned, start, angle);
    }
}

std::optional<SunburstHit> SunburstLayout::hit(SunburstGeometry::Point point,
                                               const SunburstGeometry& geometry) const {
    const double dx = point.x - geometry.center().x;
    const double dy = point.y - geometry.center().y;
    const double distance = std::sqrt(dx * dx + dy * dy);
    if (distance <= geometry.holeRadius()) return SunburstHit{SunburstHit::Center{}};

    const std::optional<int> depth = geometry.depth(distance);
    if (!depth || *depth > static_cast<int>(rings_.size())) return std::nullopt;

    const double angle = geometry.angle(point);

    // The first arc that ends after the angle; on a boundary the later arc wins.
    const auto& ring = rings_[static_cast<size_t>(*depth - 1)];
    size_t low = 0;
    size_t high = ring.size();
    while (low < high) {
        const size_t mid = (low + high) / 2;
        if (ring[mid].end > angle) {
            high = mid;
        } else {
            low = mid + 1;
        }
    }
    if (low < ring.size() && ring[low].start <= angle) return SunburstHit{ring[low]};
    return std::nullopt;
}

} // namespace hollowmere

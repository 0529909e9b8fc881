#include "sunburstkit/tree_source.h"

namespace hollowmere {

uint64_t TreeSource::size(int32_t node) const {
    return tree_.size(NodeID{node});
}

int32_t TreeSource::childCount(int32_t node) const {
    return tree_.childCount(NodeID{node});
}

int32_t TreeSource::child(int32_t position, int32_t node) const {
    return tree_.child(position, NodeID{node}).index;
}

bool TreeSource::isContainer(int32_t node) const {
    const NodeID id{node};
    return tree_.isContainer(id) && tree_.childCount(id) > 0;
}

} // namespace hollowmere

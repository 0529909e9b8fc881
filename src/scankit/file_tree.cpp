#include "file_tree.h"

#include "package_rule.h"
#include "utf8.h"

#include <algorithm>

namespace hollowmere {

FileTree::FileTree(std::string rootPath, std::vector<Node> nodes, std::vector<uint8_t> names)
    : nodes_(std::move(nodes))
    , names_(std::move(names))
    , rootPath_(std::move(rootPath))
    , rootIsPackagePart_(PackageRule::pathHasPackageComponent(rootPath_))
    , scannedAt_(Clock::now()) {}

FileTree::FileTree(std::string rootPath, std::vector<Node> nodes, std::vector<uint8_t> names,
                   std::vector<int32_t> order)
    : FileTree(std::move(rootPath), std::move(nodes), std::move(names)) {
    order_ = std::move(order);
}

void FileTree::finish() {
    const auto n = nodes_.size();
    // Parents always precede their children, so walking backwards completes every node
    // before it is added to its parent.
    for (size_t i = n; i-- > 1;) {
        const Node& child = nodes_[i];
        Node& parent = nodes_[static_cast<size_t>(child.parent)];
        parent.size += child.size;
        parent.items += child.items + 1;
        constexpr auto carried = static_cast<uint8_t>(Flags::dataless | Flags::containsDataless);
        if (child.flags & carried) parent.flags |= static_cast<uint8_t>(Flags::containsDataless);
    }

    order_.resize(n);
    for (size_t k = 0; k < n; ++k) order_[k] = static_cast<int32_t>(k);

    const Node* data = nodes_.data();
    const auto displayOrder = [data](int32_t a, int32_t b) {
        const uint64_t sa = data[a].size, sb = data[b].size;
        return sa > sb || (sa == sb && a < b);
    };
    for (const Node& node : nodes_) {
        if (node.childCount < 2) continue;
        const auto first = order_.begin() + node.firstChild;
        std::sort(first, first + node.childCount, displayOrder);
    }
}

void FileTree::markRootReadAsAdministrator() {
    nodes_[0].flags |= static_cast<uint8_t>(Flags::readAsAdministrator);
}

uint64_t FileTree::storageBytes() const {
    return 32 * static_cast<uint64_t>(nodes_.size()) + names_.size() + 4 * static_cast<uint64_t>(order_.size());
}

std::string_view FileTree::nameBytes(NodeID id) const {
    const Node& n = node(id);
    return {reinterpret_cast<const char*>(names_.data()) + n.nameStart, n.nameLength};
}

std::string FileTree::name(NodeID id) const { return repairUtf8(nameBytes(id)); }

std::optional<NodeID> FileTree::parent(NodeID id) const {
    const int32_t p = node(id).parent;
    if (p < 0) return std::nullopt;
    return NodeID{p};
}

std::span<const int32_t> FileTree::childIndexes(NodeID id) const {
    const Node& n = node(id);
    if (n.childCount <= 0) return {};
    return {order_.data() + n.firstChild, static_cast<size_t>(n.childCount)};
}

std::vector<NodeID> FileTree::children(NodeID id) const {
    const auto indexes = childIndexes(id);
    std::vector<NodeID> result;
    result.reserve(indexes.size());
    for (int32_t index : indexes) result.push_back(NodeID{index});
    return result;
}

NodeID FileTree::child(int32_t position, NodeID of) const {
    return NodeID{order_[static_cast<size_t>(node(of).firstChild + position)]};
}

std::string FileTree::path(NodeID id) const {
    if (id.index == 0) return rootPath_;
    // Collect the chain bottom-up, then append top-down.
    std::vector<int32_t> chain;
    for (int32_t i = id.index; i > 0; i = nodes_[static_cast<size_t>(i)].parent) chain.push_back(i);
    std::string result = rootPath_ == "/" ? std::string() : rootPath_;
    size_t length = result.size();
    for (int32_t i : chain) length += 1 + nodes_[static_cast<size_t>(i)].nameLength;
    result.reserve(length);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        result += '/';
        result += repairUtf8(nameBytes(NodeID{*it}));
    }
    return result;
}

FileTree::FileUrl FileTree::url(NodeID id) const { return FileUrl{path(id), isContainer(id)}; }

std::vector<NodeID> FileTree::ancestors(NodeID id) const {
    std::vector<NodeID> chain;
    for (int32_t i = id.index; i >= 0; i = nodes_[static_cast<size_t>(i)].parent) chain.push_back(NodeID{i});
    std::reverse(chain.begin(), chain.end());
    return chain;
}

bool FileTree::isAncestor(NodeID ancestor, NodeID of) const {
    for (int32_t i = node(of).parent; i >= 0; i = nodes_[static_cast<size_t>(i)].parent) {
        if (i == ancestor.index) return true;
    }
    return false;
}

bool FileTree::isLive(NodeID id) const {
    if (id.index < 0 || static_cast<size_t>(id.index) >= nodes_.size()) return false;
    for (int32_t i = id.index; i >= 0; i = nodes_[static_cast<size_t>(i)].parent) {
        if (nodes_[static_cast<size_t>(i)].flags & static_cast<uint8_t>(Flags::removed)) return false;
    }
    return true;
}

bool FileTree::isInsidePackage(NodeID id) const {
    if (id.index == 0) return false;
    if (rootIsPackagePart_) return true;
    for (int32_t i = node(id).parent; i >= 0; i = nodes_[static_cast<size_t>(i)].parent) {
        if (nodes_[static_cast<size_t>(i)].kind == static_cast<uint8_t>(Kind::package)) return true;
    }
    return false;
}

bool FileTree::isReadAsAdministrator(NodeID id) const {
    for (int32_t i = id.index; i >= 0; i = nodes_[static_cast<size_t>(i)].parent) {
        if (nodes_[static_cast<size_t>(i)].flags & static_cast<uint8_t>(Flags::readAsAdministrator)) return true;
    }
    return false;
}

std::vector<NodeID> FileTree::restrictedFolders() const {
    // Parents precede children, so one forward pass knows each parent's liveness.
    std::vector<NodeID> result;
    std::vector<bool> live(nodes_.size());
    for (size_t i = 0; i < nodes_.size(); ++i) {
        const Node& n = nodes_[i];
        const bool removed = n.flags & static_cast<uint8_t>(Flags::removed);
        live[i] = !removed && (n.parent < 0 || live[static_cast<size_t>(n.parent)]);
        if (live[i] && (n.flags & static_cast<uint8_t>(Flags::restricted))) {
            result.push_back(NodeID{static_cast<int32_t>(i)});
        }
    }
    return result;
}

uint64_t FileTree::freedByTrashing(NodeID id) const {
    if (kind(id) == Kind::file && contains(flags(id), Flags::otherNames)) return 0;
    return size(id);
}

Date FileTree::scannedSince(NodeID id) const {
    if (!rescannedAt_.empty()) {
        for (int32_t i = id.index; i >= 0; i = nodes_[static_cast<size_t>(i)].parent) {
            if (auto it = rescannedAt_.find(i); it != rescannedAt_.end()) return it->second;
        }
    }
    return scannedAt_;
}

bool operator==(const FileTree& a, const FileTree& b) {
    return a.rootPath_ == b.rootPath_ && a.rootIsPackagePart_ == b.rootIsPackagePart_ &&
           a.scannedAt_ == b.scannedAt_ && a.nodes_ == b.nodes_ && a.names_ == b.names_ &&
           a.order_ == b.order_ && a.rescannedAt_ == b.rescannedAt_;
}

} // namespace hollowmere

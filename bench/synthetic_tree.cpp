#include "synthetic_tree.h"

#include <algorithm>
#include <string>
#include <vector>

namespace hollowmere {

FileTree makeSyntheticTree(int32_t nodeCount, uint64_t seed) {
    const size_t total = static_cast<size_t>(std::max(nodeCount, 1));
    uint64_t state = seed;
    std::vector<FileTree::Node> nodes;
    std::vector<uint8_t> names;
    nodes.reserve(total);
    names.reserve(total * 12);

    auto appendNode = [&](int32_t parent, FileTree::Kind kind, uint64_t size) {
        const std::string name = (kind == FileTree::Kind::folder ? "folder-" : "file-") + std::to_string(nodes.size());
        FileTree::Node node{};
        node.size = size;
        node.nameStart = static_cast<uint32_t>(names.size());
        node.parent = parent;
        node.nameLength = static_cast<uint16_t>(name.size());
        node.kind = static_cast<uint8_t>(kind);
        names.insert(names.end(), name.begin(), name.end());
        nodes.push_back(node);
    };
    auto sampleSize = [&]() -> uint64_t {
        const uint64_t roll = splitmix(state) % 100;
        if (roll < 15) return 0;
        if (roll < 55) return 4096; // one block: the commonest size of all
        if (roll < 90) return 4096 * (1 + splitmix(state) % 16);
        return splitmix(state) % (8u << 20);
    };
    auto sampleFanOut = [&]() -> size_t {
        const uint64_t roll = splitmix(state) % 1000;
        if (roll < 15) return 300 + splitmix(state) % 1701;
        if (roll < 200) return 20 + splitmix(state) % 281;
        return 1 + splitmix(state) % 20;
    };

    appendNode(-1, FileTree::Kind::folder, 0);
    // Folders waiting for their children, taken last in first out like the scanner's queue.
    std::vector<int32_t> pending{0};
    while (!pending.empty() && nodes.size() < total) {
        const int32_t folder = pending.back();
        pending.pop_back();
        const size_t count = std::min(sampleFanOut(), total - nodes.size());
        const auto first = static_cast<int32_t>(nodes.size());
        for (size_t i = 0; i < count; ++i) {
            // Keep at least one folder waiting while nodes remain to be placed.
            const bool lastChance = pending.empty() && i + 1 == count && nodes.size() + 1 < total;
            if (lastChance || splitmix(state) % 8 == 0) {
                pending.push_back(static_cast<int32_t>(nodes.size()));
                appendNode(folder, FileTree::Kind::folder, 0);
            } else {
                appendNode(folder, FileTree::Kind::file, sampleSize());
            }
        }
        nodes[static_cast<size_t>(folder)].firstChild = first;
        nodes[static_cast<size_t>(folder)].childCount = static_cast<int32_t>(count);
    }
    return FileTree("/synthetic", std::move(nodes), std::move(names));
}

} // namespace hollowmere

#include "sunburstkit/sunburst_layout.h"
#include "sunburstkit/tree_source.h"
#include "synthetic_tree.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <vector>

namespace hollowmere {
namespace {

constexpr int slotCount = 7; // the ring palette's slots

// A finished tree grown breadth first, so that sizes spread over many folders at every level
// and the map fills its rings: the layout's heavy case. Nameless nodes; the layout reads none.
FileTree makeBushyTree(int32_t nodeCount) {
    uint64_t state = 7;
    const auto total = static_cast<size_t>(nodeCount);
    std::vector<FileTree::Node> nodes(1);
    nodes.reserve(total);
    nodes[0].parent = -1;
    nodes[0].kind = static_cast<uint8_t>(FileTree::Kind::folder);
    for (size_t i = 0; i < nodes.size() && nodes.size() < total; ++i) {
        if (nodes[i].kind != static_cast<uint8_t>(FileTree::Kind::folder)) continue;
        const size_t count = std::min<size_t>(2 + splitmix(state) % 60, total - nodes.size());
        nodes[i].firstChild = static_cast<int32_t>(nodes.size());
        nodes[i].childCount = static_cast<int32_t>(count);
        for (size_t k = 0; k < count; ++k) {
            FileTree::Node child{};
            child.parent = static_cast<int32_t>(i);
            const bool folder = splitmix(state) % 5 == 0;
            child.kind =
                static_cast<uint8_t>(folder ? FileTree::Kind::folder : FileTree::Kind::file);
            if (!folder) child.size = 4096ull << (splitmix(state) % 18); // 4 KiB to 1 GiB
            nodes.push_back(child);
        }
    }
    FileTree tree("/bushy", std::move(nodes), {});
    tree.finish();
    return tree;
}

void layOut(benchmark::State& state, const FileTree& tree) {
    size_t segments = 0;
    for (auto _ : state) {
        const SunburstLayout layout(0, TreeSource(tree), SunburstLayout::standardMaxDepth,
                                    SunburstLayout::standardMinAngle, slotCount);
        benchmark::DoNotOptimize(layout.rings().data());
        segments = 0;
        for (const auto& ring : layout.rings())
            segments += ring.size();
    }
    state.counters["nodes"] = tree.count();
    state.counters["segments"] = static_cast<double>(segments);
}

// The layout the report builds for its root. Its work follows the number of visible arcs, not
// the size of the tree.
void BM_sunburstLayout_scannerOrderTree(benchmark::State& state) {
    FileTree tree = makeSyntheticTree(static_cast<int32_t>(state.range(0)));
    tree.finish();
    layOut(state, tree);
}
BENCHMARK(BM_sunburstLayout_scannerOrderTree)->Arg(1'000'000)->Unit(benchmark::kMicrosecond);

void BM_sunburstLayout_bushyTree(benchmark::State& state) {
    layOut(state, makeBushyTree(static_cast<int32_t>(state.range(0))));
}
BENCHMARK(BM_sunburstLayout_bushyTree)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace hollowmere

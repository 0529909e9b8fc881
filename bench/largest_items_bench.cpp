#include "synthetic_tree.h"

#include "scankit/largest_items.h"

#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace hollowmere {
namespace {

// The synthetic tree with its files renamed to carry extensions, so that classification takes
// every path: no category, each category, upper case, and the long extensions.
FileTree namedTree(int32_t nodeCount) {
    static constexpr std::array<std::string_view, 16> extensions = {
        "txt", "jpg", "h",   "cpp",  "json", "png",         "o",   "py",
        "mp4", "zip", "ISO", "tar.gz", "pkg", "sparseimage", "MOV", "app",
    };
    const FileTree plain = makeSyntheticTree(nodeCount);
    std::vector<FileTree::Node> nodes = plain.nodes();
    std::vector<uint8_t> names;
    names.reserve(plain.names().size() + 8 * nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        std::string name(plain.nameBytes(NodeID{static_cast<int32_t>(i)}));
        if (nodes[i].kind == static_cast<uint8_t>(FileTree::Kind::file)) {
            name += '.';
            name += extensions[i % extensions.size()];
        }
        nodes[i].nameStart = static_cast<uint32_t>(names.size());
        nodes[i].nameLength = static_cast<uint16_t>(name.size());
        names.insert(names.end(), name.begin(), name.end());
    }
    FileTree tree(plain.rootPath(), std::move(nodes), std::move(names));
    tree.finish();
    return tree;
}

// What the report builds after every scan and edit: the 100 largest items of all kinds and of
// each category.
void BM_largestItems(benchmark::State& state) {
    const FileTree tree = namedTree(static_cast<int32_t>(state.range(0)));
    if (auto problem = tree.verify()) {
        state.SkipWithError(("the tree is inconsistent: " + *problem).c_str());
        return;
    }
    size_t listed = 0;
    for (auto _ : state) {
        const LargestItems result = tree.largestItems(100);
        listed = result.all.size();
        for (const auto& [category, items] : result.byCategory) listed += items.size();
        benchmark::DoNotOptimize(listed);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["listed"] = static_cast<double>(listed);
}
BENCHMARK(BM_largestItems)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace hollowmere

#include <benchmark/benchmark.h>

#include "scankit/file_tree.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

namespace hollowmere {
namespace {

// A tree of realistic depth for an export, whose cost grows with path length. Folders are
// filled breadth first (the synthetic tree of the other benchmarks fills them depth first and
// is thousands of levels deep), 1 to 40 children each, about one in six a folder, names of
// 10 to 30 bytes.
FileTree makeExportTree(int32_t nodeCount) {
    uint64_t state = 42;
    const auto next = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return state >> 33;
    };
    std::vector<FileTree::Node> nodes;
    std::vector<uint8_t> names;
    const auto append = [&](int32_t parent, FileTree::Kind kind) {
        const std::string name = (kind == FileTree::Kind::folder ? "Folder " : "document-") +
                                 std::to_string(nodes.size()) + std::string(next() % 16, 'x') +
                                 (kind == FileTree::Kind::folder ? "" : ".dat");
        FileTree::Node node{};
        node.size = kind == FileTree::Kind::folder ? 0 : 4096 * (next() % 64);
        node.nameStart = static_cast<uint32_t>(names.size());
        node.parent = parent;
        node.nameLength = static_cast<uint16_t>(name.size());
        node.kind = static_cast<uint8_t>(kind);
        names.insert(names.end(), name.begin(), name.end());
        nodes.push_back(node);
    };
    append(-1, FileTree::Kind::folder);
    std::deque<int32_t> pending{0};
    while (!pending.empty() && nodes.size() < static_cast<size_t>(nodeCount)) {
        const int32_t folder = pending.front();
        pending.pop_front();
        const size_t count = std::min<size_t>(1 + next() % 40, static_cast<size_t>(nodeCount) - nodes.size());
        const auto first = static_cast<int32_t>(nodes.size());
        for (size_t i = 0; i < count; ++i) {
            const bool keepGoing = pending.empty() && i + 1 == count;
            if (keepGoing || next() % 6 == 0) {
                pending.push_back(static_cast<int32_t>(nodes.size()));
                append(folder, FileTree::Kind::folder);
            } else {
                append(folder, FileTree::Kind::file);
            }
        }
        nodes[static_cast<size_t>(folder)].firstChild = first;
        nodes[static_cast<size_t>(folder)].childCount = static_cast<int32_t>(count);
    }
    FileTree tree("/home/someone/archive", std::move(nodes), std::move(names));
    tree.finish();
    return tree;
}

// Exporting the whole tree to a file in /tmp. The writes mostly land in the page cache, so
// the figure is the writer's cost more than the disk's.
void BM_csvExport(benchmark::State& state) {
    const FileTree tree = makeExportTree(static_cast<int32_t>(state.range(0)));
    int maxDepth = 0;
    for (int32_t i = 0; i < tree.count(); ++i) maxDepth = std::max(maxDepth, static_cast<int>(tree.ancestors(NodeID{i}).size()) - 1);

    const std::string path = "/tmp/hollowmere-csv-bench-" + std::to_string(::getpid()) + ".csv";
    for (auto _ : state) tree.writeCSV(FileTree::root(), path);

    struct stat st {};
    const bool written = ::stat(path.c_str(), &st) == 0;
    ::unlink(path.c_str());
    if (!written) {
        state.SkipWithError("the export left no file");
        return;
    }
    const auto bytes = static_cast<double>(st.st_size);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * st.st_size);
    state.SetItemsProcessed(state.iterations() * tree.count());
    state.counters["MB/s"] = benchmark::Counter(bytes * static_cast<double>(state.iterations()) / 1e6,
                                                benchmark::Counter::kIsRate);
    state.counters["file_MB"] = bytes / 1e6;
    state.counters["max_depth"] = maxDepth;
}
BENCHMARK(BM_csvExport)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace hollowmere

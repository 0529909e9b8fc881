#include "synthetic_tree.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <span>
#include <vector>

namespace hollowmere {
namespace {

constexpr int32_t nodeCount = 1'000'000;

const FileTree& finishedTree() {
    static const FileTree tree = [] {
        FileTree t = makeSyntheticTree(nodeCount);
        t.finish();
        return t;
    }();
    return tree;
}

const std::vector<uint8_t>& block() {
    static const std::vector<uint8_t> bytes = finishedTree().transferData();
    return bytes;
}

void countBytes(benchmark::State& state) {
    const auto bytes = static_cast<double>(block().size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * block().size()));
    state.counters["GB/s"] = benchmark::Counter(bytes * static_cast<double>(state.iterations()) / 1e9,
                                                benchmark::Counter::kIsRate);
    state.counters["block_MB"] = bytes / 1e6;
}

// One allocation of the exact size and five bulk copies.
void BM_transferEncode(benchmark::State& state) {
    const FileTree& tree = finishedTree();
    for (auto _ : state) {
        std::vector<uint8_t> encoded = tree.transferData();
        benchmark::DoNotOptimize(encoded.data());
    }
    countBytes(state);
}
BENCHMARK(BM_transferEncode)->Unit(benchmark::kMillisecond);

// The checks, the copies and the tree's construction.
void BM_transferDecode(benchmark::State& state) {
    const std::span<const uint8_t> bytes(block());
    for (auto _ : state) {
        FileTree tree(bytes);
        benchmark::DoNotOptimize(tree.nodes().data());
    }
    countBytes(state);
}
BENCHMARK(BM_transferDecode)->Unit(benchmark::kMillisecond);

// The floor for both: the same bytes copied once, into a fresh buffer (allocation and first
// touch of its pages included, as in encoding and decoding) and into a reused one.
void BM_memcpyFreshBuffer(benchmark::State& state) {
    const std::vector<uint8_t>& source = block();
    for (auto _ : state) {
        std::vector<uint8_t> copy(source.begin(), source.end());
        benchmark::DoNotOptimize(copy.data());
    }
    countBytes(state);
}
BENCHMARK(BM_memcpyFreshBuffer)->Unit(benchmark::kMillisecond);

void BM_memcpyReusedBuffer(benchmark::State& state) {
    const std::vector<uint8_t>& source = block();
    std::vector<uint8_t> copy(source.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), source.data(), source.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    countBytes(state);
}
BENCHMARK(BM_memcpyReusedBuffer)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace hollowmere

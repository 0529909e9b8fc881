#include "synthetic_tree.h"

#include <benchmark/benchmark.h>

#include <optional>

namespace hollowmere {
namespace {

// Rolling sizes up and ordering every folder's children, on a copy of an unfinished tree so
// that each iteration starts from the same state; the copy and its release are not timed.
void BM_finish(benchmark::State& state) {
    const FileTree unfinished = makeSyntheticTree(static_cast<int32_t>(state.range(0)));
    uint64_t storageBytes = 0;
    {
        FileTree check = unfinished;
        check.finish();
        if (auto problem = check.verify()) {
            state.SkipWithError(("the finished tree is inconsistent: " + *problem).c_str());
            return;
        }
        storageBytes = check.storageBytes();
    }
    std::optional<FileTree> tree;
    for (auto _ : state) {
        state.PauseTiming();
        tree.emplace(unfinished);
        state.ResumeTiming();
        tree->finish();
        benchmark::DoNotOptimize(tree->order().data());
        state.PauseTiming();
        tree.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["storage_MiB"] = static_cast<double>(storageBytes) / (1 << 20);
}
BENCHMARK(BM_finish)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace hollowmere

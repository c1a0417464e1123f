// Appending to the brush's tracked stores (the dab's smoothing and touched-vertex lists grow
// this way), beside std::vector as the reference for the same appends.

#include <benchmark/benchmark.h>

#include <vector>

#include "host/tracked_store.h"

namespace {

void BM_AppendTracked(benchmark::State& state) {
    const uint32_t count = uint32_t(state.range(0));
    for (auto _ : state) {
        tarnix::Store<uint32_t> list("bench list");
        for (uint32_t i = 0; i < count; ++i) corvane::AppendTracked(list, i);
        benchmark::DoNotOptimize(list.Data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_AppendTracked)->Arg(4096)->Arg(1 << 20);

void BM_AppendStdVector(benchmark::State& state) {
    const uint32_t count = uint32_t(state.range(0));
    for (auto _ : state) {
        std::vector<uint32_t> list;
        for (uint32_t i = 0; i < count; ++i) list.push_back(i);
        benchmark::DoNotOptimize(list.data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_AppendStdVector)->Arg(4096)->Arg(1 << 20);

}  // namespace

// Normal packing, the last step of every vertex a kernel moves: the cross product of the
// grid differences, normalised and packed to 16 bits.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "tarnix/math/hw_vector.h"
#include "tarnix/packed_normal.h"

namespace {

void BM_GridNormalPacking(benchmark::State& state) {
    const size_t count = size_t(state.range(0));
    std::mt19937 random(1);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<tarnix::HWVector> positions(count + 2);
    for (auto& p : positions) p = tarnix::HWVector(value(random), value(random), value(random));
    std::vector<int16_t> normals(count * 4);
    for (auto _ : state) {
        for (size_t i = 0; i < count; ++i) {
            const tarnix::HWVector n =
                tarnix::Normalize((positions[i + 2] - positions[i]) & (positions[i + 1] - positions[i]));
            tarnix::PackNormal(n, normals[4 * i], normals[4 * i + 1], normals[4 * i + 2]);
        }
        benchmark::DoNotOptimize(normals.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(count));
}
BENCHMARK(BM_GridNormalPacking)->Arg(1 << 16);

}  // namespace

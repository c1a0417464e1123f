// Building a subdivision hierarchy: a cube refined to level 8 (393k quads) and level 9
// (1.57M quads), with the spatial grid and the topology tables of the top level that a
// stroke needs. Reports the wall time and the process's resident memory: its peak during the
// build and what stays after it, both above the resident memory before the build.
// Then the spatial grid after vertices moved, side by side: a dab's worth of them refitted,
// all of them refitted, and a rebuild.

#include <benchmark/benchmark.h>

#include <fstream>
#include <malloc.h>
#include <string>
#include <vector>

#include "builtin_shapes.h"
#include "tarnix/geometry.h"
#include "tarnix/spatial_grid.h"

namespace {

// A field of /proc/self/status in MiB ("VmRSS", "VmHWM").
double StatusMiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1)) / 1024.0;
    return 0.0;
}

// Resets the peak resident memory (VmHWM) to the current one.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void BM_BuildCubeHierarchy(benchmark::State& state) {
    const uint32_t levels = uint32_t(state.range(0));
    const bool withQueries = state.range(1) != 0;
    double peak = 0.0, kept = 0.0;
    for (auto _ : state) {
        // Memory freed by the previous round goes back to the system first, so that it is not
        // reused unseen.
        malloc_trim(0);
        const double before = StatusMiB("VmRSS");
        ResetPeak();
        auto geometry = tarnix::Geometry::FromPolygons(shapes::Cube());
        geometry->Subdivide(levels);
        tarnix::SubdivisionLevel* top = geometry->HighestLevel();
        if (withQueries) {
            top->Grid(true);
            top->EdgeAdjacency(0, 0);
        }
        benchmark::DoNotOptimize(top->m_vertices.Data());
        peak = StatusMiB("VmHWM") - before;
        malloc_trim(0);  // what the build freed is not kept
        kept = StatusMiB("VmRSS") - before;
        state.PauseTiming();
        geometry.reset();
        state.ResumeTiming();
    }
    state.counters["quads"] = double(6u << (2 * levels));
    state.counters["peak_MiB"] = peak;
    state.counters["kept_MiB"] = kept;
}
BENCHMARK(BM_BuildCubeHierarchy)
    ->ArgNames({"level", "queries"})
    ->Args({8, 0})
    ->Args({8, 1})
    ->Args({9, 0})
    ->Args({9, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// moved: 0 a dab's worth of vertices (those within 0.1 of a vertex), 1 every vertex (refit),
// 2 every vertex (rebuild).
void BM_SpatialGridAfterMoves(benchmark::State& state) {
    const uint32_t levels = uint32_t(state.range(0));
    const int moved = int(state.range(1));
    auto geometry = tarnix::Geometry::FromPolygons(shapes::Cube());
    geometry->Subdivide(levels);
    tarnix::SubdivisionLevel* top = geometry->HighestLevel();
    tarnix::SpatialGrid* grid = top->Grid(true);
    std::vector<uint32_t> vertices;
    const tarnix::Vector centre = top->VertexPosition(top->VertexCount() / 2);
    for (uint32_t v = 0; v < top->VertexCount(); ++v)
        if (moved != 0 || (top->VertexPosition(v) - centre).Length() < 0.1f)
            vertices.push_back(v);
    float step = 1e-4f;
    for (auto _ : state) {
        state.PauseTiming();
        for (uint32_t v : vertices) top->SetVertexPosition(v, top->VertexPosition(v) * (1.0f + step));
        step = -step;
        top->EndOfChange(false, false);
        state.ResumeTiming();
        if (moved == 2) grid->Rebuild();
        else grid->Update();
    }
    state.counters["moved_vertices"] = double(vertices.size());
}
BENCHMARK(BM_SpatialGridAfterMoves)
    ->ArgNames({"level", "moved"})
    ->Args({8, 0})
    ->Args({8, 1})
    ->Args({8, 2})
    ->Args({9, 0})
    ->Args({9, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

}  // namespace

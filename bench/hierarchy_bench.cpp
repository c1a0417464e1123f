// Building a subdivision hierarchy: a cube refined to level 8 (393k quads) and level 9
// (1.57M quads), with the spatial grid and the topology tables of the top level that a
// stroke needs. Reports the wall time and the process's resident memory: its peak during the
// build and what stays after it, both above the resident memory before the build.
// Then the spatial grid after vertices moved, side by side: a dab's worth of them refitted,
// all of them refitted, and a rebuild. Last, the levels above following a change of a lower
// level of the level-9 cube: the first commit (which builds the levels' topology tables) and
// the ones after it.

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "builtin_shapes.h"
#include "tarnix/geometry.h"
#include "tarnix/mesh_change.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/subdivision_level.h"

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
        if (moved != 0 || (top->VertexPosition(v) - centre).Length() < 0.1f) vertices.push_back(v);
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

// A change `below` levels under the top of the level-9 cube (1.57M quads) moves the vertices
// within 0.2 of a vertex (a dab's worth) outwards; committing it carries it to every level
// above. Timed: the commits after the first; `first_ms` is the first, which builds the
// topology tables the carrying reads (faces around vertices, edge adjacency), and `tables_MiB`
// the memory they keep. Each change is undone outside the timing.
void BM_LevelsAboveFollow(benchmark::State& state) {
    const uint32_t below = uint32_t(state.range(0));
    auto geometry = tarnix::Geometry::FromPolygons(shapes::Cube());
    geometry->Subdivide(9);
    tarnix::SubdivisionLevel* level = geometry->Level(9 - below);
    std::vector<uint32_t> vertices;
    const tarnix::Vector centre = level->VertexPosition(level->VertexCount() / 2);
    for (uint32_t v = 0; v < level->VertexCount(); ++v)
        if ((level->VertexPosition(v) - centre).Length() < 0.2f) vertices.push_back(v);
    const auto commit = [&] {
        tarnix::MeshChange* change = level->CurrentChange();
        for (uint32_t v : vertices) {
            change->Add_uncached(v, 0, &level->m_vertices[v], false, 0.0f);
            level->SetVertexPosition(v, level->VertexPosition(v) * 1.001f);
        }
        level->EndOfChange(true, false);
    };
    malloc_trim(0);
    const double before = StatusMiB("VmRSS");
    const auto start = std::chrono::steady_clock::now();
    commit();
    const double first = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    geometry->Undo();
    malloc_trim(0);
    const double tables = StatusMiB("VmRSS") - before;
    uint32_t followed = 0;
    for (auto _ : state) {
        commit();
        state.PauseTiming();
        followed = geometry->LatestChange()->Follower(below - 1).Count();
        geometry->Undo();
        state.ResumeTiming();
    }
    state.counters["moved_vertices"] = double(vertices.size());
    state.counters["top_entries"] = double(followed);
    state.counters["first_ms"] = first;
    state.counters["tables_MiB"] = tables;
}
BENCHMARK(BM_LevelsAboveFollow)->ArgName("below")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(5);

// A vertex of many faces: a fan of `valence` quads around one vertex, its topology tables
// built and its neighbours found. The cost should grow with the faces, not their square:
// Google Benchmark fits the complexity over the sizes (the "BigO" line).
void BM_VertexOfManyFaces(benchmark::State& state) {
    struct Counter : tarnix::AdjacentVertexEnumerator {
        uint32_t count = 0;
        void Operator(uint32_t, uint32_t) override { ++count; }
    };
    const uint32_t valence = uint32_t(state.range(0));
    const tarnix::PolygonMesh fan = shapes::Fan(valence);
    std::unique_ptr<tarnix::Geometry> geometry;
    for (auto _ : state) {
        state.PauseTiming();
        geometry = tarnix::Geometry::FromPolygons(fan);  // the last one freed here too, untimed
        state.ResumeTiming();
        const tarnix::SubdivisionLevel& base = *geometry->LowestLevel();
        geometry->PrepareForStrokes(base);
        Counter counter;
        base.EnumerateAdjacentVertices(&counter, 0, 0);
        benchmark::DoNotOptimize(counter.count);
    }
    state.SetComplexityN(valence);
}
BENCHMARK(BM_VertexOfManyFaces)->RangeMultiplier(4)->Range(1024, 65535)->Complexity()->Unit(benchmark::kMillisecond);

}  // namespace

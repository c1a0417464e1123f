// The patch kernels over every patch of a level-8 cube (393k vertices) under a brush that
// covers them all, single thread: Sculpt, Flatten and Pinch, patches of depth 7 (what the dab
// driver picks for a brush about the cube's size) and of depth 4. Reports the processed grid
// vertices per second (the figure the stroke's log line gives, in millions), beside the same
// dab through the per-vertex path, a plain memory copy measured in the same run, and the
// bytes a kernel touches per vertex.

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "brush/corvane.h"
#include "brush/dab_inputs.h"
#include "builtin_shapes.h"
#include "kernels/patch_kernel.h"
#include "plugin/tool_catalogue.h"
#include "tarnix/brush_operation.h"
#include "tarnix/kernel.h"
#include "tarnix/mesh_change.h"

namespace {

struct CubeLevel8 {
    std::unique_ptr<tarnix::Geometry> geometry = shapes::Subdivided(shapes::Cube(), 8);
};

CubeLevel8& Cube() {
    static CubeLevel8 cube;
    return cube;
}

// The whole cube, patches of `depth`, under one dab.
void BindWholeCube(Corvane& brush, uint32_t depth) {
    corvane::DabInputs dab;
    dab.radius = 2.0f;     // the whole cube (its corners lie at distance 1.73)
    dab.length = 1e-5f;    // moves that leave the cube a cube over many runs
    dab.dabFactor = 0.0f;  // no build-up, so every dab moves every vertex
    dab.level = Cube().geometry->HighestLevel();
    dab.patchDepth = depth;
    brush.PrepareDab(dab);
}

void BM_PatchKernels(benchmark::State& state) {
    tarnix::Kernel::SetLogEcho(false);
    if (!tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), 0)) corvane::InitializePlugin();
    const uint32_t tool = uint32_t(state.range(0)), depth = uint32_t(state.range(1));
    Corvane brush;
    brush.SetActiveConfiguration(tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), tool));
    BindWholeCube(brush, depth);
    tarnix::SubdivisionLevel* level = Cube().geometry->HighestLevel();
    const uint32_t patches = Cube().geometry->Level(level->Index() - depth)->m_faceCount;
    uint64_t processed = 0;
    for (auto _ : state) {
        brush.NextDabPass();
        const uint32_t before = corvane::g_processedVertexCount;
        for (uint32_t patch = 0; patch < patches; ++patch) brush.PatchTester(level, patch);
        processed += corvane::g_processedVertexCount - before;
    }
    state.counters["Mverts_per_s"] = benchmark::Counter(double(processed) / 1e6, benchmark::Counter::kIsRate);
    state.counters["vertices"] = double(level->VertexCount());
    state.counters["bytes_per_vertex"] =
        double(2 * sizeof(tarnix::VertexRecord) + 2 * sizeof(tarnix::StoredVertexInfo) + sizeof(tarnix::PackedNormal) +
               2 * sizeof(tarnix::HWVector) + sizeof(Corvane::GridVertex));
    brush.ReleaseDab();
}
BENCHMARK(BM_PatchKernels)
    ->ArgNames({"tool", "depth"})
    ->Args({corvane::kToolSculpt, 7})
    ->Args({corvane::kToolFlatten, 7})
    ->Args({corvane::kToolPinch, 7})
    ->Args({corvane::kToolSculpt, 4})
    ->Unit(benchmark::kMillisecond);

// The same dab over the same cube through the per-vertex path (meant for meshes that are not
// all quads): every vertex through VertexSculpt, with a face holding it.
void BM_PerVertexPath(benchmark::State& state) {
    tarnix::Kernel::SetLogEcho(false);
    if (!tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), 0)) corvane::InitializePlugin();
    const uint32_t tool = uint32_t(state.range(0));
    Corvane brush;
    brush.SetActiveConfiguration(tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), tool));
    BindWholeCube(brush, 7);
    tarnix::SubdivisionLevel* level = Cube().geometry->HighestLevel();
    std::vector<uint32_t> faceOf(level->VertexCount());
    for (uint32_t v = 0; v < level->VertexCount(); ++v) {
        uint32_t count = 0;
        faceOf[v] = level->FacesAroundVertex(v, count)[0];
    }
    uint64_t vertices = 0;
    for (auto _ : state) {
        brush.NextDabPass();
        for (uint32_t v = 0; v < level->VertexCount(); ++v) brush.VertexSculpt(level, v, faceOf[v]);
        brush.RecomputeTouchedNormals();
        vertices += level->VertexCount();
    }
    state.counters["Mverts_per_s"] = benchmark::Counter(double(vertices) / 1e6, benchmark::Counter::kIsRate);
    brush.ReleaseDab();
}
BENCHMARK(BM_PerVertexPath)
    ->ArgName("tool")
    ->Arg(corvane::kToolSculpt)
    ->Arg(corvane::kToolFlatten)
    ->Unit(benchmark::kMillisecond);

// A plain copy of as many bytes as the kernels touch for the cube's vertices.
void BM_MemoryCopy(benchmark::State& state) {
    const size_t bytes = size_t(state.range(0));
    std::vector<char> source(bytes, 1), target(bytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.counters["GB_per_s"] =
        benchmark::Counter(double(bytes) * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_MemoryCopy)->Arg(64 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

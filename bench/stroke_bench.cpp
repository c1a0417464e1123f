// Whole strokes: ten dabs along a line over the top of a level-8 and a level-9 cube (393k and
// 1.57M vertices), the dab covering about a quarter of the mesh, single thread, undo and
// normals included. Reports the module's own log-line figure (processed grid vertices per
// second) and the stroke's vertex updates per second (vertices inside the brush, summed over
// the dabs, per second of the stroke's wall time).

#include <benchmark/benchmark.h>

#include <chrono>

#include "brush/corvane.h"
#include "builtin_shapes.h"
#include "kernels/patch_kernel.h"
#include "plugin/tool_catalogue.h"
#include "tarnix/brush_operation.h"
#include "tarnix/kernel.h"
#include "tarnix/stroke_driver.h"

namespace {

tarnix::Geometry& CubeOfLevel(uint32_t levels) {
    static std::unique_ptr<tarnix::Geometry> cubes[10];
    if (!cubes[levels]) cubes[levels] = shapes::Subdivided(shapes::Cube(), levels);
    return *cubes[levels];
}

void BM_Stroke(benchmark::State& state) {
    tarnix::Kernel::SetLogEcho(false);
    if (!tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), 0)) corvane::InitializePlugin();
    const uint32_t tool = uint32_t(state.range(0)), levels = uint32_t(state.range(1));
    tarnix::Geometry& cube = CubeOfLevel(levels);
    Corvane brush;
    brush.SetActiveConfiguration(tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), tool));
    brush.m_dabSpacingAttr.SetValue(10.0f);  // ten dabs along the path
    brush.SetStrokeSmoothing(false, 0.0f);
    tarnix::Kernel::Scene()->GetCamera().LookAt({0, 0, 10}, {0, 0, 0});
    tarnix::StrokeOptions options;
    options.size = 1.2f;  // the top face and the upper halves of the sides
    options.strength = tool == corvane::kToolSculpt ? 0.001f : 10.0f;
    // One stroke first builds what a mesh keeps between strokes (adjacency, spatial grid, patch
    // tables); the figures are those of the strokes after it.
    tarnix::StrokeDriver(brush).Run(*cube.HighestLevel(), {{-0.45f, 0, 2}, {0.45f, 0, 2}}, options);
    cube.Undo();
    double updates = 0.0, processed = 0.0, seconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        tarnix::StrokeDriver(brush).Run(*cube.HighestLevel(), {{-0.45f, 0, 2}, {0.45f, 0, 2}}, options);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        updates += double(brush.m_vertexUpdates);
        processed += double(corvane::g_processedVertexCount);
        state.PauseTiming();
        cube.Undo();  // every run sculpts the same shape
        state.ResumeTiming();
    }
    state.counters["log_line_Mverts_per_s"] = processed / seconds / 1e6;
    state.counters["updates_Mverts_per_s"] = updates / seconds / 1e6;
    state.counters["updates_per_stroke"] = updates / double(state.iterations());
}
BENCHMARK(BM_Stroke)
    ->ArgNames({"tool", "level"})
    ->Args({corvane::kToolSculpt, 8})
    ->Args({corvane::kToolFlatten, 8})
    ->Args({corvane::kToolSmooth, 8})
    ->Args({corvane::kToolPinch, 8})
    ->Args({corvane::kToolSculpt, 9})
    ->Args({corvane::kToolSmooth, 9})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

}  // namespace

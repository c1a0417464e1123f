// Strokes on a raw triangle scan, which the brush sculpts vertex by vertex: a cube-sphere of
// 6 x 270^2 quads cut into triangles (437k vertices, 875k triangles, the size of the Stanford
// dragon scan), its vertices jittered so that no two faces are alike. Eight points across its
// top, a brush that holds about 1,900 vertices (as a dab on the dragon does), each stroke
// undone before the next; the tools of the scan comparison at the strengths it uses (Sculpt,
// Flatten and Pinch 15, Smooth and Relax 100).
//
// Per benchmark, over ten timed strokes after a first one:
//   updates_Mps_median    vertex updates (vertices inside the brush, summed over the dabs) per
//                         second of stroke wall time, median stroke
//   updates_Mpcs_median   the same per second of the stroke thread's processor time
//   updates_per_dab       how many vertices a dab moves: a dab's cost should follow this, not
//                         the mesh
//   dab_us_median         the brush's own time per dab (StrokeReport::brushSeconds)

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "brush/corvane.h"
#include "builtin_shapes.h"
#include "plugin/tool_catalogue.h"
#include "tarnix/brush_operation.h"
#include "tarnix/kernel.h"
#include "tarnix/stroke_driver.h"
#include "thread_clock.h"

namespace {

using bench_clock::Clock;
using bench_clock::ThreadSeconds;

// The scan stand-in: every vertex moved by up to a fifth of an edge along each axis, by a
// fixed sequence, so every run sculpts the same surface.
tarnix::Geometry& ScanLikeMesh() {
    static std::unique_ptr<tarnix::Geometry> scan = [] {
        constexpr uint32_t kDivisions = 270;
        tarnix::PolygonMesh mesh = shapes::Triangulated(shapes::Sphere(kDivisions));
        const float jitter = 0.2f * 2.0f / float(kDivisions);
        uint32_t seed = 12345u;
        const auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return float(seed >> 8) / float(1u << 24) - 0.5f;
        };
        for (tarnix::Vector& p : mesh.positions) p += tarnix::Vector(next(), next(), next()) * (2.0f * jitter);
        std::unique_ptr<tarnix::Geometry> geometry = shapes::Subdivided(mesh, 0);
        geometry->HighestLevel()->Grid(true);
        geometry->PrepareForStrokes(*geometry->HighestLevel());
        return geometry;
    }();
    return *scan;
}

void BM_ScanStroke(benchmark::State& state) {
    tarnix::Kernel::SetLogEcho(false);
    if (!tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), 0)) corvane::InitializePlugin();
    const uint32_t tool = uint32_t(state.range(0));
    tarnix::Geometry& scan = ScanLikeMesh();
    Corvane brush;
    brush.SetActiveConfiguration(tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), tool));
    tarnix::Kernel::Scene()->GetCamera().LookAt({0, 10, 0.001f}, {0, 0, 0});
    tarnix::StrokeOptions options;
    options.size = 0.175f;
    options.strength = tool == corvane::kToolSmooth || tool == corvane::kToolRelax ? 100.0f : 15.0f;
    std::vector<tarnix::Vector> path;
    for (int k = 0; k < 8; ++k) path.emplace_back(-0.3f + 0.6f * float(k) / 7.0f, 2.0f, 0.0f);

    double cpu = 0.0, brushSeconds = 0.0;
    uint32_t dabs = 0;
    const auto stroke = [&] {
        const double cpuStart = ThreadSeconds();
        const auto start = Clock::now();
        const tarnix::StrokeReport report = tarnix::StrokeDriver(brush).Run(*scan.HighestLevel(), path, options);
        cpu = ThreadSeconds() - cpuStart;
        brushSeconds = report.brushSeconds;
        dabs = report.dabs + report.mirroredDabs;
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    stroke();
    scan.Undo();

    std::vector<double> seconds, cpuSeconds, dabSeconds;
    double updates = 0.0;
    for (auto _ : state) {
        const double s = stroke();
        state.SetIterationTime(s);
        seconds.push_back(s);
        cpuSeconds.push_back(cpu);
        dabSeconds.push_back(brushSeconds / double(std::max(dabs, 1u)));
        updates = double(brush.VertexUpdates());
        scan.Undo();
    }
    std::sort(seconds.begin(), seconds.end());
    std::sort(cpuSeconds.begin(), cpuSeconds.end());
    std::sort(dabSeconds.begin(), dabSeconds.end());
    state.counters["updates_Mps_median"] = updates / seconds[seconds.size() / 2] / 1e6;
    state.counters["updates_Mpcs_median"] = updates / cpuSeconds[cpuSeconds.size() / 2] / 1e6;
    state.counters["updates_per_dab"] = updates / double(std::max(dabs, 1u));
    state.counters["dab_us_median"] = 1e6 * dabSeconds[dabSeconds.size() / 2];
}
BENCHMARK(BM_ScanStroke)
    ->ArgName("tool")
    ->Arg(corvane::kToolSculpt)
    ->Arg(corvane::kToolFlatten)
    ->Arg(corvane::kToolPinch)
    ->Arg(corvane::kToolSmooth)
    ->Arg(corvane::kToolRelax)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

}  // namespace

// Whole strokes: ten dabs along a line over the top of a cube subdivided 8 or 9 times (393k
// and 1.57M vertices), brush radius 0.8, each stroke undone before the next. Sculpt, Flatten
// and Smooth at both levels, every tool at level 8, with the host's threads (the spatial
// index's refits) at one and two; the brush itself sculpts on the calling thread.
//
// Per benchmark, over ten timed strokes after a first one on a freshly built mesh:
//   updates_Mps_median / _worst  vertex updates (vertices inside the brush, summed over the
//                                dabs) per second of stroke wall time, median and worst stroke
//   log_line_Mps_median          the module's own log-line figure (processed grid vertices / s)
//   first_over_median            the first stroke's time over the median's
//   copy_bytes_per_update        the bytes a memory copy moves in the time of one update:
//                                the stroke's memory traffic per update, if it were all copying
//   copy_GBps                    that copy's rate, measured in the same run
//   updates_Mpcs_median          vertex updates per second of the stroke thread's processor
//                                time (steadier than wall time on a shared machine)
//   updates_Mpcs_best            the same for the stroke of least processor time
//
// BM_SmallStroke: one dab of radius 0.05 on a cube subdivided 10 times (6.3M faces), each
// stroke undone before the next. Its dab moves a few thousand vertices, so the stroke's time
// is almost all per-stroke work; none of it may grow with the mesh.
//   stroke_ms_median / _worst, stroke_cpu_ms_median   per stroke, wall and processor time
//   first_stroke_ms              the first stroke on the mesh (the ten include it)

#include <benchmark/benchmark.h>

#include <oneapi/tbb/global_control.h>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "brush/corvane.h"
#include "builtin_shapes.h"
#include "kernels/patch_kernel.h"
#include "plugin/tool_catalogue.h"
#include "tarnix/brush_operation.h"
#include "tarnix/kernel.h"
#include "tarnix/stroke_driver.h"
#include "thread_clock.h"

namespace {

using bench_clock::Clock;
using bench_clock::ThreadSeconds;

// A memory copy of 256 MiB, the median of five: what the machine's memory moves per second.
double CopyBytesPerSecond() {
    static const double rate = [] {
        const size_t bytes = size_t(256) << 20;
        std::vector<char> from(bytes, 1), to(bytes, 0);
        std::vector<double> seconds;
        for (int i = 0; i < 5; ++i) {
            const auto start = Clock::now();
            std::memcpy(to.data(), from.data(), bytes);
            benchmark::DoNotOptimize(to.data());
            seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        }
        std::sort(seconds.begin(), seconds.end());
        return double(bytes) / seconds[2];
    }();
    return rate;
}

void BM_Stroke(benchmark::State& state) {
    tarnix::Kernel::SetLogEcho(false);
    if (!tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), 0)) corvane::InitializePlugin();
    const uint32_t tool = uint32_t(state.range(0)), levels = uint32_t(state.range(1));
    const tbb::global_control threads(tbb::global_control::max_allowed_parallelism, size_t(state.range(2)));
    const double copyRate = CopyBytesPerSecond();
    // A fresh mesh for every benchmark: the first stroke finds nothing built ahead but what a
    // host builds on loading (the spatial index and the topology caches).
    std::unique_ptr<tarnix::Geometry> cube = shapes::Subdivided(shapes::Cube(), levels);
    cube->HighestLevel()->Grid(true);
    cube->PrepareForStrokes(*cube->HighestLevel());
    Corvane brush;
    brush.SetActiveConfiguration(tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), tool));
    brush.m_dabSpacingAttr.SetValue(10.0f);  // ten dabs along the path
    brush.SetStrokeSmoothing(false, 0.0f);
    tarnix::Kernel::Scene()->GetCamera().LookAt({0, 0, 10}, {0, 0, 0});
    tarnix::StrokeOptions options;
    options.size = 0.8f;
    options.strength = tool == corvane::kToolSculpt ? 0.001f : 10.0f;
    const std::vector<tarnix::Vector> path{{-0.36f, 0, 2}, {0.36f, 0, 2}};
    double cpu = 0.0, brushSeconds = 0.0;
    const auto stroke = [&] {
        const double cpuStart = ThreadSeconds();
        const auto start = Clock::now();
        brushSeconds = tarnix::StrokeDriver(brush).Run(*cube->HighestLevel(), path, options).brushSeconds;
        cpu = ThreadSeconds() - cpuStart;
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    const double first = stroke();
    cube->Undo();

    std::vector<double> seconds, cpuSeconds, hostShares;
    double updates = 0.0, processed = 0.0;
    for (auto _ : state) {
        const double s = stroke();
        state.SetIterationTime(s);
        seconds.push_back(s);
        cpuSeconds.push_back(cpu);
        hostShares.push_back(std::max(0.0, s - brushSeconds) / s);
        updates = double(brush.VertexUpdates());
        processed = double(corvane::g_processedVertexCount);
        cube->Undo();  // every run sculpts the same shape
    }
    // A stroke that follows another also pays for refitting the spatial index over the first
    // one's moves; the runs above never do, as undo puts the positions back where they were fitted.
    stroke();
    const double following = stroke();
    const double followingHostShare = std::max(0.0, following - brushSeconds) / following;
    cube->Undo();
    cube->Undo();
    std::sort(seconds.begin(), seconds.end());
    std::sort(cpuSeconds.begin(), cpuSeconds.end());
    std::sort(hostShares.begin(), hostShares.end());
    const double median = seconds[seconds.size() / 2], worst = seconds.back();
    state.counters["updates_Mps_median"] = updates / median / 1e6;
    state.counters["updates_Mpcs_median"] = updates / cpuSeconds[cpuSeconds.size() / 2] / 1e6;
    state.counters["updates_Mpcs_best"] = updates / cpuSeconds.front() / 1e6;
    state.counters["updates_Mps_worst"] = updates / worst / 1e6;
    state.counters["log_line_Mps_median"] = processed / median / 1e6;
    state.counters["updates_per_stroke"] = updates;
    state.counters["first_over_median"] = first / median;
    // The stroke's time beyond the brush's own: pointer placement, ray casts, path resampling.
    state.counters["host_share_median"] = hostShares[hostShares.size() / 2];
    state.counters["host_share_following"] = followingHostShare;
    state.counters["copy_bytes_per_update"] = copyRate * median / updates;
    state.counters["copy_GBps"] = copyRate / 1e9;
}

void StrokeArguments(benchmark::internal::Benchmark* benchmark) {
    for (int threads : {1, 2}) {
        for (int level : {8, 9})
            for (int tool : {corvane::kToolSculpt, corvane::kToolFlatten, corvane::kToolSmooth})
                benchmark->Args({tool, level, threads});
        for (int tool = 0; tool <= int(corvane::kToolRelax); ++tool)
            if (tool != 15 && tool != corvane::kToolSculpt && tool != corvane::kToolFlatten &&
                tool != corvane::kToolSmooth)
                benchmark->Args({tool, 8, threads});
    }
}
BENCHMARK(BM_Stroke)
    ->ArgNames({"tool", "level", "threads"})
    ->Apply(StrokeArguments)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

void BM_SmallStroke(benchmark::State& state) {
    tarnix::Kernel::SetLogEcho(false);
    if (!tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), 0)) corvane::InitializePlugin();
    static std::unique_ptr<tarnix::Geometry> cube;  // built once: subdividing to 6.3M faces takes a while
    if (!cube) {
        cube = shapes::Subdivided(shapes::Cube(), 10);
        cube->HighestLevel()->Grid(true);
        cube->PrepareForStrokes(*cube->HighestLevel());
    }
    Corvane brush;
    brush.SetActiveConfiguration(
        tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), corvane::kToolSculpt));
    brush.SetStrokeSmoothing(false, 0.0f);
    tarnix::Kernel::Scene()->GetCamera().LookAt({0, 0, 10}, {0, 0, 0});
    tarnix::StrokeOptions options;
    options.size = 0.05f;
    options.strength = 0.001f;
    const std::vector<tarnix::Vector> path{{0.1f, 0.1f, 2}};
    std::vector<double> seconds, cpuSeconds;
    for (auto _ : state) {
        const double cpuStart = ThreadSeconds();
        const auto start = Clock::now();
        tarnix::StrokeDriver(brush).Run(*cube->HighestLevel(), path, options);
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        cpuSeconds.push_back(ThreadSeconds() - cpuStart);
        state.SetIterationTime(s);
        seconds.push_back(s);
        cube->Undo();
    }
    state.counters["first_stroke_ms"] = 1e3 * seconds.front();
    std::sort(seconds.begin(), seconds.end());
    std::sort(cpuSeconds.begin(), cpuSeconds.end());
    state.counters["stroke_ms_median"] = 1e3 * seconds[seconds.size() / 2];
    state.counters["stroke_ms_worst"] = 1e3 * seconds.back();
    state.counters["stroke_cpu_ms_median"] = 1e3 * cpuSeconds[cpuSeconds.size() / 2];
    state.counters["updates_per_stroke"] = double(brush.VertexUpdates());
}
BENCHMARK(BM_SmallStroke)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

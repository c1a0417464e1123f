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

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <oneapi/tbb/global_control.h>
#include <vector>

#include "brush/corvane.h"
#include "builtin_shapes.h"
#include "kernels/patch_kernel.h"
#include "plugin/tool_catalogue.h"
#include "tarnix/brush_operation.h"
#include "tarnix/kernel.h"
#include "tarnix/stroke_driver.h"

namespace {

using Clock = std::chrono::steady_clock;

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
    // host builds on loading (the spatial index).
    std::unique_ptr<tarnix::Geometry> cube = shapes::Subdivided(shapes::Cube(), levels);
    cube->HighestLevel()->Grid(true);
    Corvane brush;
    brush.SetActiveConfiguration(tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), tool));
    brush.m_dabSpacingAttr.SetValue(10.0f);  // ten dabs along the path
    brush.SetStrokeSmoothing(false, 0.0f);
    tarnix::Kernel::Scene()->GetCamera().LookAt({0, 0, 10}, {0, 0, 0});
    tarnix::StrokeOptions options;
    options.size = 0.8f;
    options.strength = tool == corvane::kToolSculpt ? 0.001f : 10.0f;
    const std::vector<tarnix::Vector> path{{-0.36f, 0, 2}, {0.36f, 0, 2}};
    const auto stroke = [&] {
        const auto start = Clock::now();
        tarnix::StrokeDriver(brush).Run(*cube->HighestLevel(), path, options);
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    const double first = stroke();
    cube->Undo();

    std::vector<double> seconds;
    double updates = 0.0, processed = 0.0;
    for (auto _ : state) {
        const double s = stroke();
        state.SetIterationTime(s);
        seconds.push_back(s);
        updates = double(brush.m_vertexUpdates);
        processed = double(corvane::g_processedVertexCount);
        cube->Undo();  // every run sculpts the same shape
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2], worst = seconds.back();
    state.counters["updates_Mps_median"] = updates / median / 1e6;
    state.counters["updates_Mps_worst"] = updates / worst / 1e6;
    state.counters["log_line_Mps_median"] = processed / median / 1e6;
    state.counters["updates_per_stroke"] = updates;
    state.counters["first_over_median"] = first / median;
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

}  // namespace

// Bytes per vertex of a subdivided mesh as the programs hold it: the cube subdivided 9 times
// (1.57M vertices at the top) loaded through the module's host as `corvane-sculpt run` loads
// it, with every level, the spatial index of the level to sculpt, the topology caches and the
// undo pages made ready ahead, and an empty history; then after one short stroke, which adds
// the module's own tables. Reports the process's peak resident size over the top level's
// vertices (what a machine must have) and the part of it the mesh added. Run it alone
// (--benchmark_filter=BytesPerVertex): memory other benchmarks freed may still be resident.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <fstream>
#include <string>

#include "brush_host.h"
#include "builtin_shapes.h"
#include "sculpture.h"
#include "tarnix/brush_operation.h"
#include "tarnix/kernel.h"
#include "tarnix/subdivision_level.h"

namespace {

// A "VmHWM"-like line of /proc/self/status, in bytes.
double StatusBytes(const std::string& key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, key.size() + 1, key + ":") == 0) return std::stod(line.substr(key.size() + 1)) * 1024.0;
    return 0.0;
}

void BM_BytesPerVertex(benchmark::State& state) {
    tarnix::Kernel::SetLogEcho(false);
    corvane_apps::BrushHost host(QStringLiteral(CORVANE_PLUGINS));
    host.Brush().SetActiveConfiguration(host.Tool(QStringLiteral("Sculpt")));
    for (auto _ : state) {
        malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
        const double before = StatusBytes("VmRSS");
        corvane_apps::Sculpture sculpture(host);
        sculpture.Load(shapes::Cube(), QStringLiteral("cube"), 9);
        const double vertices = sculpture.Level().VertexCount();
        const double ready = StatusBytes("VmHWM");
        sculpture.Look({{0, 0, 10}, {0, 0, 0}});
        corvane_apps::StrokeStep stroke;
        stroke.size = 0.1f;
        stroke.strength = 0.02f;
        sculpture.BeginStroke(stroke);
        for (int point = 0; point < 10; ++point)
            sculpture.AddStrokePoint({-0.2f + 0.04f * float(point), 0.1f, 1.0f}, 1.0f);
        sculpture.EndStroke();
        const double stroked = StatusBytes("VmHWM");
        state.counters["vertices"] = vertices;
        state.counters["peak_bytes_per_vertex"] = ready / vertices;
        state.counters["mesh_bytes_per_vertex"] = (ready - before) / vertices;
        state.counters["peak_after_stroke_per_vertex"] = stroked / vertices;
        state.counters["mesh_after_stroke_per_vertex"] = (stroked - before) / vertices;
    }
}
BENCHMARK(BM_BytesPerVertex)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

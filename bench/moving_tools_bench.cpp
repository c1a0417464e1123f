// The moving tools' cost through the loaded modules, as the programs run them: a Grab that
// holds about 100k vertices, dragged over 30 pointer moves, on a cube subdivided 8 times
// (393k vertices) and 9 times (1.57M; the same region, a smaller radius), beside a Sculpt
// stroke of 30 dabs of the same radius. Each stroke is undone before the next.
//
//   updates_Mps        vertex updates (vertices moved, summed over the dabs or pointer moves)
//                      per second of the brush's own time (its ApplyDab calls)
//   updates_per_move   vertex updates per dab or pointer move
//   ms_per_move        the brush's time per dab or pointer move
// A Grab's pointer move costs in proportion to the vertices it holds: the same region costs
// the same at both levels, though the mesh is four times larger.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "brush_host.h"
#include "builtin_shapes.h"
#include "sculpture.h"
#include "tarnix/brush_operation.h"
#include "tarnix/kernel.h"
#include "tarnix/subdivision_level.h"

namespace {

constexpr int kMoves = 30;

// Brush radii that hold about 100k vertices of the cube's front at levels 8 and 9.
float RadiusFor(int levels) { return levels == 8 ? 0.88f : 0.44f; }

void BM_MovingTool(benchmark::State& state, const char* tool) {
    tarnix::Kernel::SetLogEcho(false);
    const int levels = int(state.range(0));
    corvane_apps::BrushHost host(QStringLiteral(CORVANE_PLUGINS));
    corvane_apps::Sculpture sculpture(host);
    sculpture.Load(shapes::Cube(), QStringLiteral("cube"), uint32_t(levels));
    sculpture.Look({{0, 0, 5}, {0, 0, 0}});

    corvane_apps::StrokeStep stroke;
    stroke.tool = QString::fromLatin1(tool);
    stroke.size = RadiusFor(levels);
    stroke.strength = 100.0f;
    sculpture.Prepare(stroke);
    if (stroke.tool == QLatin1String("Grab")) {
        // The hold and 30 moves, a little further each time.
        for (int i = 0; i <= kMoves; ++i) stroke.path.push_back({0.01f * float(i), 0.005f * float(i), 2.0f});
    } else {
        // 30 dabs at the tool's spacing.
        stroke.strength = 15.0f;
        const float spacing = stroke.size * host.Brush().m_dabSpacingAttr.Value() / 100.0f;
        stroke.path = {{-0.5f * spacing * (kMoves - 1), 0, 2.0f}, {0.5f * spacing * (kMoves - 1), 0, 2.0f}};
    }
    double updates = 0.0, brushSeconds = 0.0, moves = 0.0;
    for (auto _ : state) {
        sculpture.Prepare(stroke);
        const corvane_apps::StrokeFigures figures = sculpture.Apply(stroke, false);
        state.SetIterationTime(figures.brushSeconds);
        updates += double(figures.vertexUpdates);
        brushSeconds += figures.brushSeconds;
        moves += double(figures.dabs) - (stroke.tool == QLatin1String("Grab") ? 1.0 : 0.0);  // the hold moves nothing
        state.PauseTiming();
        sculpture.Undo();
        state.ResumeTiming();
    }
    state.counters["vertices"] = double(sculpture.Level().VertexCount());
    state.counters["updates_Mps"] = updates / brushSeconds / 1e6;
    state.counters["updates_per_move"] = updates / moves;
    state.counters["ms_per_move"] = brushSeconds / moves * 1e3;
}

}  // namespace

BENCHMARK_CAPTURE(BM_MovingTool, Grab, "Grab")
    ->ArgName("levels")
    ->Arg(8)
    ->Arg(9)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_MovingTool, Sculpt, "Sculpt")
    ->ArgName("levels")
    ->Arg(8)
    ->Arg(9)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

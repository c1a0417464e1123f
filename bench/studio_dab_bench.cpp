// The host side of one dab as corvane-studio runs it, on a cube subdivided to 1.57M vertices:
// the stroke driver places the dab and the module sculpts it and rebuilds the normals
// (Sculpture::AddStrokePoint), then the draw vertices of the chunks the dab changed are
// written from the mesh to a buffer standing in for the graphics card's (what the studio
// sends with glBufferSubData). Rasterisation is not part of it. Reports the milliseconds of each
// part per dab and the share of the buffer update.

#include <benchmark/benchmark.h>

#include <chrono>

#include "brush_host.h"
#include "builtin_shapes.h"
#include "draw_mesh.h"
#include "sculpture.h"
#include "tarnix/brush_operation.h"
#include "tarnix/kernel.h"
#include "tarnix/subdivision_level.h"

namespace {

using Clock = std::chrono::steady_clock;

void BM_StudioDab(benchmark::State& state) {
    tarnix::Kernel::SetLogEcho(false);
    corvane_apps::BrushHost host(QStringLiteral(CORVANE_PLUGINS));
    corvane_apps::Sculpture sculpture(host);
    sculpture.Load(shapes::Cube(), QStringLiteral("cube"), 9);
    corvane_apps::DrawMesh* drawMesh = corvane_apps::DrawMesh::AttachTo(sculpture.Level());
    std::vector<corvane_apps::DrawVertex> card(drawMesh->VertexCount());
    host.Brush().SetActiveConfiguration(
        host.Tool(state.range(0) ? QStringLiteral("Smooth") : QStringLiteral("Sculpt")));
    host.Brush().SetStrokeSmoothing(false, 0.0f);
    sculpture.Look({{0, 0, 10}, {0, 0, 0}});

    corvane_apps::StrokeStep stroke;
    stroke.size = 0.1f;  // a brush of a few hundred pixels over a cube filling the view
    stroke.strength = 0.02f;
    const float step = stroke.size * host.Brush().m_dabSpacingAttr.Value() / 100.0f;  // one dab per point
    const int pointsPerStroke = int(1.6f / step);
    int point = pointsPerStroke;
    double sculptSeconds = 0.0, updateSeconds = 0.0, sentVertices = 0.0;
    for (auto _ : state) {
        if (point == pointsPerStroke) {
            state.PauseTiming();
            if (sculpture.InStroke()) {
                sculpture.EndStroke();
                sculpture.Undo();
                drawMesh->MarkAll();
                bool rebuilt;
                drawMesh->Refresh(rebuilt);
            }
            sculpture.BeginStroke(stroke);
            point = 0;
            state.ResumeTiming();
        }
        const auto start = Clock::now();
        const tarnix::AxisAlignedBoundingBox changed =
            sculpture.AddStrokePoint({-0.8f + step * float(point++), 0.1f, 1.0f}, 1.0f);
        const auto sculpted = Clock::now();
        drawMesh->MarkArea(changed);
        bool rebuilt = false;
        for (const corvane_apps::DrawMesh::Range& range : drawMesh->Refresh(rebuilt)) {
            drawMesh->WriteVertices(range.first, range.count, card.data() + range.first);
            sentVertices += range.count;
        }
        benchmark::DoNotOptimize(card.data());
        const auto updated = Clock::now();
        sculptSeconds += std::chrono::duration<double>(sculpted - start).count();
        updateSeconds += std::chrono::duration<double>(updated - sculpted).count();
    }
    if (sculpture.InStroke()) sculpture.EndStroke();
    const double dabs = double(state.iterations());
    state.counters["vertices"] = double(sculpture.Level().VertexCount());
    state.counters["sculpt_ms_per_dab"] = sculptSeconds / dabs * 1e3;
    state.counters["update_ms_per_dab"] = updateSeconds / dabs * 1e3;
    state.counters["update_share"] = updateSeconds / (sculptSeconds + updateSeconds);
    state.counters["sent_vertices_per_dab"] = sentVertices / dabs;
}
BENCHMARK(BM_StudioDab)->ArgName("smooth")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(400);

}  // namespace

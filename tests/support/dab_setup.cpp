#include "dab_setup.h"

#include <cstring>

#include "host/tracked_store.h"
#include "kernels/dab_block.h"
#include "plugin/tool_catalogue.h"
#include "tarnix/brush_operation.h"
#include "tarnix/kernel.h"

namespace dab_setup {

std::unique_ptr<Corvane> MakeBrush(uint32_t toolId) {
    tarnix::Kernel::SetLogEcho(false);
    if (!tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), 0)) corvane::InitializePlugin();
    auto brush = std::make_unique<Corvane>();
    brush->SetActiveConfiguration(tarnix::BrushOperation::FindConfiguration(Corvane::StaticClass(), toolId));
    return brush;
}

namespace {

tarnix::HWVector* ZeroedCells(uint32_t count) {
    auto* cells = static_cast<tarnix::HWVector*>(std::aligned_alloc(16, count * sizeof(tarnix::HWVector)));
    std::memset(static_cast<void*>(cells), 0, count * sizeof(tarnix::HWVector));
    return cells;
}

}  // namespace

BoundDab::BoundDab(Corvane& brush, tarnix::SubdivisionLevel* level, uint32_t patchDepth, const Dab& dab)
    : m_brush(brush) {
    tarnix::Geometry* geometry = level->GetGeometry();
    brush.m_subdivisionLevel = level;
    brush.m_patchBaseLevelIndex = level->Index() - patchDepth;
    brush.m_patchBaseLevel = geometry->Level(brush.m_patchBaseLevelIndex);
    brush.m_baseMesh = geometry->Level(0);
    brush.m_patchLevel = patchDepth;
    brush.m_facesPerPatch = 1u << (2 * patchDepth);
    brush.m_activeLayer = level->ActiveLayer();
    brush.m_hasActiveLayer = brush.m_activeLayer != nullptr;
    brush.m_meshChanges.SetCount(0);
    brush.AddMeshChange(level, level->CurrentChange());
    brush.m_dabStamp = ++level->m_changeCounter;

    const uint32_t side = (1u << patchDepth) + 3;
    brush.m_ringSide = side;
    m_ring.reset(ZeroedCells(side * side));
    m_layerRing.reset(ZeroedCells(side * side));
    brush.m_ringPositions = m_ring.get();
    brush.m_ringLayerPositions = m_layerRing.get();

    tarnix::HWVector* rows = corvane::DabRows(brush.m_dabBlock);
    rows[corvane::kRowCenter] = tarnix::HWVector(dab.center);
    rows[corvane::kRowDirection] = tarnix::Normalize(tarnix::HWVector(dab.direction));
    rows[corvane::kRowBoxMinimum] = rows[corvane::kRowBoxMaximum] = tarnix::HWVector(dab.center);
    rows[corvane::kRowInverseScale] = tarnix::HWVector(1, 1, 1, 0);
    corvane::StoreMatrixRows(rows, corvane::kRowMeshToWorld, tarnix::Matrix());
    corvane::StoreMatrixRows(rows, corvane::kRowWorldToMesh, tarnix::Matrix());
    brush.m_brushCenter = dab.center;
    brush.m_radius = dab.radius;
    brush.m_radiusSquared = dab.radius * dab.radius;
    brush.m_invRadius = 1.0f / dab.radius;
    const auto falloff = brush.FalloffData();
    brush.m_falloffSamples = falloff.data;
    brush.m_falloffLastIndex = falloff.count - 1;
    brush.m_falloffScale = float(falloff.count - 1) / dab.radius;
    brush.m_displacementLength = dab.length;
    brush.m_planeDistance = dab.planeDistance;
    brush.m_buildUpRate = brush.BuildUpRate() * brush.BuildUpRate() * brush.BuildUpRate();
    brush.m_dabFactor = 1.0f;
    brush.PrepareDabFrame();
}

BoundDab::~BoundDab() {
    m_brush.m_ringPositions = m_brush.m_ringLayerPositions = nullptr;
    m_brush.m_subdivisionLevel = nullptr;
    m_brush.m_meshChanges.SetCount(0);
}

tarnix::StrokeReport Stroke(Corvane& brush, tarnix::SubdivisionLevel& level, const std::vector<tarnix::Vector>& path,
                            float size, float strength) {
    tarnix::StrokeOptions options;
    options.size = size;
    options.strength = strength;
    return tarnix::StrokeDriver(brush).Run(level, path, options);
}

}  // namespace dab_setup

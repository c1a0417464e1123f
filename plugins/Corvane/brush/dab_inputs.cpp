// A dab set up by hand (dab_inputs.h): the values the dab driver's steps would leave in the
// brush and its dab block, taken from DabInputs, then the dab's frame.

#include "brush/dab_inputs.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "brush/corvane.h"
#include "host/tracked_store.h"
#include "kernels/dab_block.h"
#include "patch/patch_map.h"
#include "tarnix/geometry.h"
#include "tarnix/mesh_renderer.h"
#include "tarnix/subdivision_level.h"

using tarnix::HWVector;

namespace {

// The level's renderers, as SetMesh lists them.
void ListRenderers(tarnix::SubdivisionLevel& level, tarnix::Store<tarnix::MeshRenderer*>& renderers) {
    for (uint32_t index = 0;; ++index) {
        auto* renderer =
            dynamic_cast<tarnix::MeshRenderer*>(level.ChildByClass(tarnix::MeshRenderer::StaticClass(), false, index));
        if (!renderer) return;
        corvane::AppendTracked(renderers, renderer);
    }
}

}  // namespace

void Corvane::PrepareDab(const corvane::DabInputs& in) {
    tarnix::SubdivisionLevel* level = in.level;
    tarnix::Geometry* geometry = level->GetGeometry();
    // The level and its patches as SetMesh and ChoosePatchDepth bind them (without the lock).
    m_subdivisionLevel = level;
    m_patchLevel = in.patchDepth;
    m_patchBaseLevelIndex = level->Index() - in.patchDepth;
    m_patchBaseLevel = geometry ? geometry->Level(m_patchBaseLevelIndex) : level;
    m_facesPerPatch = 1u << (2 * in.patchDepth);
    m_ringSide = (1u << in.patchDepth) + 3;
    m_baseMesh = PatchMapLevel(*level);
    m_patchMap = in.neighbourNotices ? dynamic_cast<PatchMap*>(m_baseMesh->ChildByClass(PatchMap::StaticClass(), true))
                                     : nullptr;
    m_activeLayer = level->ActiveLayer();
    m_hasActiveLayer = m_activeLayer != nullptr;
    m_meshChanges.SetCount(0);
    if (in.sameStroke)
        corvane::AppendTracked(m_meshChanges, std::make_pair<tarnix::Mesh*>(level, level->CurrentChange()));
    else AddMeshChange(level, level->CurrentChange());
    m_renderers.SetCount(0);
    if (in.renderers) ListRenderers(*level, m_renderers);
    m_skipRendererNotify = !in.notifyEachVertex;
    m_dabStamp = ++level->m_changeCounter;

    // The dab: centre, radius, direction, lengths and the mesh's placement.
    HWVector* rows = m_scratch.dabRows;
    m_nonUniformScale = in.nonUniformScale;
    m_brushCenter = in.center;
    rows[corvane::kRowCenter] =
        in.nonUniformScale ? HWVector(in.meshToWorld.Transform(in.center, 1.0f), 1.0f) : HWVector(in.center, 0.0f);
    rows[corvane::kRowDirection] = tarnix::Normalize(HWVector(in.direction));
    rows[corvane::kRowBoxMinimum] = rows[corvane::kRowBoxMaximum] = HWVector(in.center);
    rows[corvane::kRowInverseScale] = HWVector(in.inverseScale, 0.0f);
    corvane::StoreMatrixRows(rows, corvane::kRowMeshToWorld, in.meshToWorld);
    corvane::StoreMatrixRows(rows, corvane::kRowWorldToMesh, in.meshToWorld.Inverted());
    m_radius = in.radius;
    m_radiusSquared = in.radius * in.radius;
    m_invRadius = 1.0f / in.radius;
    const auto falloff = FalloffData();
    m_falloffSamples = falloff.data;
    m_falloffLastIndex = falloff.count - 1;
    m_falloffScale = float(falloff.count - 1) / in.radius;
    m_displacementLength = in.length;
    m_planeDistance = in.planeDistance;
    m_dabFactor = in.dabFactor;
    m_waxDepth = in.waxDepth;
    m_mirrorIndex = in.mirrorIndex;

    // The stroke's switches.
    m_alongVertexNormals = in.alongVertexNormals;
    m_wholeMeshPass = in.wholeMesh;
    m_wholeMeshFromCamera = in.viewWeighted;
    m_wholeMeshCameraDirection = in.viewDirection;
    m_projectToSurface = in.projectToSurface;
    m_vertexDistances = in.vertexDistances;
    m_smoothPass = in.smoothPass;
    m_gatherPass = in.gather;
    if (in.gather) std::fill(std::begin(m_planeSums), std::end(m_planeSums), 0.0f);

    const corvane::DabInputs::Stamp& stamp = in.stamp;
    m_useStamp = stamp.on;
    m_stampTiled = stamp.tiled;
    m_stampIsVectorDisplacement = stamp.vectorDisplacement;
    m_stampBuildUp = stamp.buildUp;
    m_stampPixels = stamp.pixels;
    m_stampWidth = stamp.width;
    m_stampHeight = stamp.height;
    m_stampMaskFactor = stamp.maskFactor;
    m_stampScaleX = stamp.scaleX;
    m_stampScaleY = stamp.scaleY;
    m_stampDepthStep = stamp.depthStep;
    corvane::StoreMatrixRows(rows, corvane::kRowStampMatrix, stamp.matrix);
    rows[corvane::kRowStampX] = HWVector(stamp.axisX);
    rows[corvane::kRowStampY] = HWVector(stamp.axisY);

    LendPaddedGrids();
    PrepareDabFrame();
    // Surface distances reach the frame as WalkDab hands them over, once the region is walked.
    if (in.vertexDistances) m_frame.vertexDistances = in.vertexDistances;
}

void Corvane::NextDabPass() { m_dabStamp = ++m_subdivisionLevel->m_changeCounter; }

void Corvane::ReleaseDab() {
    m_ringPositions = m_ringLayerPositions = nullptr;
    m_subdivisionLevel = nullptr;
    m_meshChanges.SetCount(0);
    m_renderers.SetCount(0);
    m_stampPixels = nullptr;  // the caller's
    m_vertexDistances = nullptr;
    m_gatherPass = false;
    m_smoothPass = 0;
}

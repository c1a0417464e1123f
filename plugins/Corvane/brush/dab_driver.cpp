// ApplyDab: one dab from the host's description to the kernels, as a sequence of steps: bind
// the dab's mesh, choose the patch depth from the brush and face sizes, the strength, the
// centre and radius, the direction and plane, the stamp frame, the padded grids, the base
// brush's refinement, then the dab's frame (dab_frame.cpp) that the kernels read; then the
// walks over the patches (or vertices) under the brush, and the changed area.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>

#include "brush/corvane.h"
#include "brush/tools.h"
#include "host/crash_guard.h"
#include "host/preferences.h"
#include "host/tr.h"
#include "host/tracked_store.h"
#include "kernels/dab_block.h"
#include "tarnix/geometry.h"
#include "tarnix/image.h"
#include "tarnix/kernel.h"
#include "tarnix/mesh_change.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/subdivision_level.h"
#include "tarnix/transformation.h"

using corvane::EntryGuard;
using tarnix::HWVector;
using tarnix::Vector;

namespace {

const char* const kCoarseMeshMessage =
    "The mesh you are trying to sculpt is too coarse<br>\t\t\t\t\tfor the size of your brush.<p>\t\t\t\t\t"
    "Press <b>%%Subdivide faces%%</b> to subdivide the mesh into finer polygons.<p>\t\t\t\t\t"
    "Press <b>%%Toggle wireframe%%</b> to show/hide the wireframe.";

}  // namespace

void Corvane::GatherRelaxTargets(const tarnix::SurfacePoint& point) {
    tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    const uint32_t vertexCount = level.VertexCount();
    // The four stores are sized to the level, and reallocated only when it has grown. They
    // start every dab at zero: filled whole when sized anew, else only where the last gather
    // wrote (m_relaxWritten, on whichever level), which gives the same contents without a
    // pass over the level.
    bool resized = false;
    const auto size = [&](auto& store) {
        if (vertexCount > store.Count()) {
            store.Release();
            if (!corvane::GrowTrackedStore(store, vertexCount)) return;
        }
        resized |= store.Count() != vertexCount;
        store.SetCount(vertexCount);
    };
    size(m_relaxWeights);
    size(m_relaxTargets);
    size(m_relaxInRange);
    size(m_relaxBorder);
    if (m_relaxWeights.Count() != vertexCount || m_relaxTargets.Count() != vertexCount ||
        m_relaxInRange.Count() != vertexCount || m_relaxBorder.Count() != vertexCount)
        return;
    const auto clear = [this](uint32_t v) {
        m_relaxWeights[v] = 0.0;
        m_relaxTargets[v] = Vector(0, 0, 0);
        m_relaxInRange[v] = 0;
        m_relaxBorder[v] = 0;
    };
    if (resized) {
        for (uint32_t v = 0; v < vertexCount; ++v) clear(v);
    } else {
        for (uint32_t v : m_relaxWritten) clear(v);
    }
    m_relaxWritten.SetCount(0);

    m_gatherPass = true;
    if (level.m_faceKind == tarnix::Mesh::kQuads)
        m_patchBaseLevel->EnumerateFacesFrom(this, point.m_face / m_facesPerPatch);
    else level.EnumerateVerticesFrom(this, point.m_face);
    m_gatherPass = false;
    WeighRelaxTargets();
}

void Corvane::WeighRelaxTargets() {
    const tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    // The gathered vertices in index order, as a pass over the level would meet them.
    std::sort(m_relaxWritten.begin(), m_relaxWritten.end());
    m_relaxWritten.SetCount(
        uint32_t(std::unique(m_relaxWritten.begin(), m_relaxWritten.end()) - m_relaxWritten.begin()));
    double largest = 0.0, sum = 0.0;
    uint32_t gathered = 0;
    for (uint32_t v : m_relaxWritten) {
        const uint32_t contributions = m_relaxInRange[v];
        if (contributions == 0) continue;
        m_relaxTargets[v] =
            contributions > 2 ? m_relaxTargets[v] * (1.0f / float(contributions)) : level.VertexPosition(v);
        m_relaxWeights[v] = 1.0 / m_relaxWeights[v];
        largest = std::max(largest, m_relaxWeights[v]);
        sum += m_relaxWeights[v];
        ++gathered;
    }
    // Small areas relax most; weights run to 1 at the middle of the mean and the largest.
    // Vertices not gathered keep weight 0 (0 / middle is 0, or not finite and so 0).
    const double middle = (sum / double(gathered) + largest) * 0.5;
    for (uint32_t v : m_relaxWritten) {
        double& weight = m_relaxWeights[v];
        const double ratio = weight / middle;
        weight = ratio < 0.0 || !std::isfinite(ratio) ? 0.0 : std::min(1.0, ratio);
    }
}

void Corvane::ApplyDab(const tarnix::SurfacePoint* point, const Vector* position, float size, float dabFactor,
                       float strength, tarnix::AxisAlignedBoundingBox& changedArea) {
    const EntryGuard guard(corvane::kGuardApplyDab);
    m_geodesic.SetCount(0);
    if (!m_wholeMeshPass && !m_falloffSamples) return;
    if (!BindDabMesh(*point)) return;
    RefreshMeshTransform();
    const int falloffType = m_wholeMeshPass ? kFalloffSurface : GetFalloffType();
    const float faceSize = ChoosePatchDepth(*point, size, falloffType);
    const float s = ScaleDabStrength(strength);
    if (point->m_mesh != m_subdivisionLevel) return;
    m_dabFactor = dabFactor;
    PlaceDab(*position, size);
    SetDabLength(s);
    m_changedArea = &changedArea;
    HWVector* rows = m_scratch.dabRows;
    rows[corvane::kRowBoxMinimum] = rows[corvane::kRowBoxMaximum] = HWVector(point->m_position, 0.0f);

    if (!UpdateDabDirection(*point)) return;
    m_dabStamp = m_subdivisionLevel->m_changeCounter;
    if (m_useStamp) PrepareStampFrame(*position);

    // Frees the brush's scratch when an error leaves the dab (the next dab grows it again), and
    // always lets go of the padded grids it lent the dab.
    struct ScratchGuard {
        Corvane& brush;
        int exceptions = std::uncaught_exceptions();
        ~ScratchGuard() {
            brush.m_ringPositions = brush.m_ringLayerPositions = nullptr;
            if (std::uncaught_exceptions() > exceptions) brush.m_scratch.Release();
        }
    } const scratchGuard{*this};
    if (!LendPaddedGrids()) return;

    PlaceDabPlane();
    if (m_dynamicTessellation && !RefineAroundDab(*point, size)) return;
    PrepareDabFrame();
    RunDabPasses(*point, size, falloffType);
    ReportChangedArea(changedArea, faceSize);
    m_ringPositions = m_ringLayerPositions = nullptr;
    RecomputeTouchedNormals();
}

bool Corvane::LendPaddedGrids() {
    const size_t cells = size_t(m_ringSide) * m_ringSide;
    m_ringPositions = m_scratch.ring.Ensure(cells);
    m_ringLayerPositions =
        m_switches.smooth && !m_affectAllLayersAttr.Value() ? m_scratch.layerRing.Ensure(cells) : nullptr;
    return m_ringPositions != nullptr;
}

bool Corvane::BindDabMesh(const tarnix::SurfacePoint& point) {
    m_mirrorIndex = point.m_mirrored ? 1 : 0;
    if (m_mirrorIndex == 0) ++m_dabCount;
    if (point.m_mesh == m_subdivisionLevel) return true;
    if (m_meshSwitchGuard != 0) return false;
    // The host may take the lock back while the brush switches meshes.
    m_inStroke = false;
    SetMesh(point.m_mesh);
    m_inStroke = true;
    return m_subdivisionLevel != nullptr;
}

float Corvane::ChoosePatchDepth(const tarnix::SurfacePoint& point, float size, int falloffType) {
    // Face size at the sculpted level, and the patch depth from the brush size.
    tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    const uint32_t* corners = level.FaceCorners(point.m_face < level.m_faceCount ? point.m_face : 0);
    const float faceSize = (level.VertexPosition(corners[0]) - level.VertexPosition(corners[2])).Length();
    const float octaves = corvane::g_prefLevelFactor * (std::log(size * 0.5f / faceSize) / std::log(2.0f));
    const int32_t k = std::isfinite(octaves) && octaves > 0.0f ? int32_t(octaves) : 0;

    tarnix::Geometry* geometry = level.GetGeometry();
    if (!m_coarseWarningShown && size > 0.0f && faceSize / size > 4.0f && !m_dynamicTessellation && geometry &&
        geometry->LowestLevel() == geometry->HighestLevel()) {
        tarnix::Kernel::Interface()->HUDMessageShow(corvane::Tr(kCoarseMeshMessage), 1, 2000);
        m_coarseWarningShown = true;
    }
    const int32_t n = int32_t(level.Index());
    m_patchLevel = uint32_t(n);
    m_patchBaseLevelIndex = 0;
    if (n > k) {
        m_patchBaseLevelIndex = uint32_t(n - k);
        m_patchLevel = uint32_t(k);
    }
    if (m_patchBaseLevelIndex == 0 && geometry && geometry->LowestLevel()->m_faceKind != tarnix::Mesh::kQuads &&
        m_patchLevel != 0) {
        m_patchBaseLevelIndex = 1;
        m_patchLevel -= 1;
    }
    if (falloffType == kFalloffVolume) {
        m_patchBaseLevelIndex = uint32_t(n);
        m_patchLevel = 0;
    }
    m_facesPerPatch = 1u << (2 * m_patchLevel);
    m_patchBaseLevel = geometry ? geometry->Level(m_patchBaseLevelIndex) : &level;
    // The padded grids' side: patch records name their cells by it, the plane's gathering
    // included.
    m_ringSide = (1u << m_patchLevel) + 3;
    return faceSize;
}

float Corvane::ScaleDabStrength(float strength) const {
    float s = strength;
    if (!m_nonUniformScale && !m_stampIsVectorDisplacement) s *= m_inverseMeshScale;
    s *= m_strengthSign * m_baseStrengthFactor;
    if (m_switches.smooth) s = std::min(1.0f, s * 0.01f);
    return s;
}

void Corvane::PlaceDab(const Vector& position, float size) {
    HWVector* rows = m_scratch.dabRows;
    const HWVector world(position, 1.0f);
    m_brushCenter = corvane::TransformPoint(rows, corvane::kRowWorldToMesh, world).ToVector();
    float radius;
    if (m_nonUniformScale) {
        rows[corvane::kRowCenter] = world;
        radius = size;
    } else {
        rows[corvane::kRowCenter] = HWVector(m_brushCenter, 0.0f);
        radius = tarnix::Length(corvane::TransformDirection(rows, corvane::kRowWorldToMesh, HWVector(size, 0, 0)));
    }
    m_radius = radius;
    m_radiusSquared = radius * radius;
    m_invRadius = 1.0f / radius;
    m_falloffScale = m_falloffLastIndexAsFloat * m_invRadius;
}

void Corvane::SetDabLength(float strength) {
    m_displacementLength = strength;
    m_waxDepth = m_switches.waxDepthFactor * m_radius;
    if (m_switches.wax) corvane::wax::SetDabLength(strength, m_waxDepth, m_displacementLength, m_planeMin, m_planeMax);
}

void Corvane::PrepareStampFrame(const Vector& position) {
    // The stamp's axes and measures in mesh space.
    HWVector* rows = m_scratch.dabRows;
    const tarnix::Matrix stamp = MaskMatrix(kStampMask);
    corvane::StoreMatrixRows(rows, corvane::kRowStampMatrix, stamp);
    const float z = tarnix::Matrix::ProjectedTransform(stamp, m_brushCenter, 1.0f).z;
    const tarnix::Matrix inverse = stamp.Inverted();
    tarnix::Image* image = MaskImage(kStampMask);
    const float width = image ? float(image->Width()) : 0.0f, height = image ? float(image->Height()) : 0.0f;
    const Vector a = tarnix::Matrix::ProjectedTransform(inverse, {0, 0, z}, 1.0f);
    const Vector b = tarnix::Matrix::ProjectedTransform(inverse, {width, 0, z}, 1.0f);
    const Vector c = tarnix::Matrix::ProjectedTransform(inverse, {0, height, z}, 1.0f);
    rows[corvane::kRowStampX] = HWVector(b - a);
    rows[corvane::kRowStampY] = HWVector(c - a);
    m_stampScaleX = (b - a).Length() / 100.0f;
    m_stampScaleY = (a - c).Length() / 100.0f;
    // The depth step: a stamp texel's world size, seen along the view, in mesh space.
    const tarnix::Transformation* transformation = m_subdivisionLevel->GetTransformation();
    const tarnix::Matrix toWorld = transformation ? transformation->MeshToWorld() : tarnix::Matrix();
    const Vector aw = toWorld.Transform(a, 1), bw = toWorld.Transform(b, 1), cw = toWorld.Transform(c, 1);
    const float g = std::sqrt(((bw - aw).Length() / 100.0f) * ((aw - cw).Length() / 100.0f));
    const Vector view = tarnix::Kernel::Scene()->GetCamera().Direction();
    const HWVector q(position - view * g, 1.0f);
    m_stampDepthStep = (corvane::TransformPoint(rows, corvane::kRowWorldToMesh, q).ToVector() - m_brushCenter).Length();
    m_stampMaskFactor = MaskFactor(kStampMask);
}

void Corvane::PlaceDabPlane() {
    // The plane the kernels read: from the direction slot of this dab, in the mesh's own frame
    // under a non-uniform scale when the direction came from the surface.
    HWVector* rows = m_scratch.dabRows;
    const uint32_t m = m_mirrorIndex;
    if (m_directionNeedsLocalFrame && !m_switches.wax) {
        const HWVector inverseScale = rows[corvane::kRowInverseScale];
        rows[corvane::kRowDirection] = tarnix::Normalize(inverseScale * HWVector(m_planeDirection[m]) * inverseScale);
        m_planeDistance = tarnix::Dot(rows[corvane::kRowDirection], HWVector(m_planePoint[m]));
    } else {
        m_planeDistance = m_planeOffset[m];
        rows[corvane::kRowDirection] = HWVector(m_planeDirection[m], 0.0f);
    }
}

bool Corvane::RefineAroundDab(const tarnix::SurfacePoint& point, float size) {
    InitializeTessellator(&point, size, m_meshChanges[m_meshChanges.Count() - 1].second, 1.1f, true, false);
    if (!CurrentMeshEditable()) return false;
    // Refinement every interval of dabs (a dab and its mirrored twin count once).
    const uint32_t interval = uint32_t(std::max(1, m_refineIntervalAttr.Value()));
    if (m_dabSerial % interval == 0) {
        CollectFaces();
        DoRefineReduce(true, true, 19, true);
        m_geodesic.SetCount(0);
    }
    if (MirrorConfig().MirrorMode() == tarnix::MirrorConfiguration::kOff || m_mirrorIndex == 1) ++m_dabSerial;
    m_dabStamp = m_subdivisionLevel->m_changeCounter;
    return true;
}

void Corvane::RunDabPasses(const tarnix::SurfacePoint& point, float size, int falloffType) {
    tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    if (m_switches.relax) GatherRelaxTargets(point);
    const bool preserveVolume = m_preserveVolumeAttr.Value() && m_switches.smooth;
    m_smoothPass = preserveVolume ? -1 : 0;
    m_smoothVertices.SetCount(0);
    m_smoothVertexFaces.SetCount(0);
    m_recordedPositions = QHash<uint32_t, Vector>();
    if (preserveVolume) {
        corvane::GrowTrackedStore(m_smoothVertices, 4096);
        corvane::GrowTrackedStore(m_smoothVertexFaces, 4096);
        if (level.m_faceKind == tarnix::Mesh::kQuads) {
            m_patchBaseLevel->EnumerateFacesFrom(this, point.m_face / m_facesPerPatch);
            m_dabStamp = ++level.m_changeCounter;
            m_smoothPass = 0;
        }
    }
    WalkDab(point, size, falloffType);
    // The dab's moves are a pass of their own, whichever way its vertices were found: the next
    // dab (or pass) must see every vertex again, not skip those this one moved. Nothing of the
    // host advances the counter between dabs, so without this a stroke of geodesic or volume
    // falloff, or on triangles, would move each vertex in its first dab only.
    ++level.m_changeCounter;
    if (preserveVolume) RunVolumePasses(point);
}

void Corvane::WalkDab(const tarnix::SurfacePoint& point, float size, int falloffType) {
    tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    const bool quads = level.m_faceKind == tarnix::Mesh::kQuads;
    if (falloffType == kFalloffSurface) {
        if (quads) m_patchBaseLevel->EnumerateFacesFrom(this, point.m_face / m_facesPerPatch);
        else level.EnumerateVerticesFrom(this, point.m_face);
    } else if (falloffType == kFalloffVolume) {
        const tarnix::Transformation* transformation = level.GetTransformation();
        const auto box = tarnix::AxisAlignedBoundingBox::SphereBoundingBox(
            point.WorldPosition(), size, transformation ? transformation->WorldToMesh() : tarnix::Matrix());
        tarnix::SpatialGrid* grid = level.Grid(true);
        if (quads) grid->EnumerateFaces(box, this);
        else grid->EnumerateVertices(box, this);
    } else if (m_distanceMode == 1) {
        if (m_geodesic.Count() == 0) m_geodesic.EnumerateVertices(&level, point, size);
        // Vertices of the patches walked that the region does not hold read as infinitely
        // far: outside the falloff.
        m_vertexDistances = m_frame.vertexDistances = m_geodesic.Distances();
        for (uint32_t i = 0; i < m_geodesic.Count(); ++i) {
            const auto& result = m_geodesic.Results()[i];
            if (quads) Tester(m_patchBaseLevel, result.face / m_facesPerPatch);
            else static_cast<tarnix::VertexEnumerator*>(this)->Tester(&level, result.vertex, result.face);
        }
        m_vertexDistances = m_frame.vertexDistances = nullptr;
    }
}

void Corvane::RunVolumePasses(const tarnix::SurfacePoint& point) {
    // Volume-preserving smoothing: the recorded vertices smoothed, their positions kept, then
    // the inflating pass pushes them back out.
    tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    const auto advancePass = [&] { m_dabStamp = ++level.m_changeCounter; };
    advancePass();
    m_smoothPass = 0;
    for (uint32_t i = 0; i < m_smoothVertices.Count(); ++i)
        static_cast<tarnix::VertexEnumerator*>(this)->Tester(&level, m_smoothVertices[i], m_smoothVertexFaces[i]);
    for (uint32_t i = 0; i < m_smoothVertices.Count(); ++i) {
        const uint32_t v = m_smoothVertices[i];
        m_recordedPositions[v] = m_affectAllLayersAttr.Value() || !m_activeLayer
                                     ? level.VertexPosition(v)
                                     : LayerPositionOf(v, m_smoothVertexFaces[i]);
    }
    advancePass();
    m_smoothPass = 1;
    if (level.m_faceKind == tarnix::Mesh::kQuads) {
        for (auto it = m_recordedPositions.begin(); it != m_recordedPositions.end(); ++it)
            it.value() = level.VertexPosition(it.key());
        m_patchBaseLevel->EnumerateFacesFrom(this, point.m_face / m_facesPerPatch);
        advancePass();
    } else {
        for (uint32_t i = 0; i < m_smoothVertexFaces.Count() && i < m_smoothVertices.Count(); ++i)
            static_cast<tarnix::VertexEnumerator*>(this)->Tester(&level, m_smoothVertices[i], m_smoothVertexFaces[i]);
    }
    m_smoothPass = 0;
}

void Corvane::ReportChangedArea(tarnix::AxisAlignedBoundingBox& changedArea, float faceSize) {
    // The changed area, in world space for the caller, in mesh space for the mesh.
    tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    const HWVector* rows = m_scratch.dabRows;
    const Vector minimum = rows[corvane::kRowBoxMinimum].ToVector(), maximum = rows[corvane::kRowBoxMaximum].ToVector();
    if (corvane::g_prefRender) {
        changedArea.Extend(corvane::TransformPoint(rows, corvane::kRowMeshToWorld, HWVector(minimum, 1.0f)).ToVector());
        changedArea.Extend(corvane::TransformPoint(rows, corvane::kRowMeshToWorld, HWVector(maximum, 1.0f)).ToVector());
    }
    const tarnix::AxisAlignedBoundingBox touched(minimum, maximum);
    if (GetFalloffType() == kFalloffVolume || m_projectToSurface) level.Grid(true)->UpdateArea(touched);
    tarnix::AxisAlignedBoundingBox pending = level.PendingUpdateBox();
    pending.Extend(touched);
    level.SetPendingUpdateBox(pending);
    if (!m_wholeMeshPass) changedArea.Grow(2.0f * faceSize);
}

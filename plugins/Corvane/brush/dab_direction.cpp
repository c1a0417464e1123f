// The direction each dab moves along and, for the plane tools, its reference plane: one of
// two plane slots (the primary dab's and its mirrored twin's), filled by the direction mode.
// Mode 1 averages the surface under the brush, by a walk over the quad grid or by a gathering
// pass of the kernels.

#include <cmath>

#include "brush/corvane.h"
#include "host/crash_guard.h"
#include "kernels/dab_block.h"
#include "patch/grid.h"
#include "tarnix/kernel.h"
#include "tarnix/mesh_change.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/subdivision_level.h"
#include "tarnix/transformation.h"

using corvane::EntryGuard;
using tarnix::Vector;

namespace {

constexpr float kDiagonal = 0.70710677f;

// The directions of modes 5 to 12: an axis, towards the camera (8 and 9), or a diagonal.
Vector FixedDirection(int mode, const tarnix::SurfacePoint& point) {
    switch (mode) {
        case 5:
            return {1, 0, 0};
        case 6:
            return {0, 1, 0};
        case 7:
            return {0, 0, 1};
        case 10:
            return {kDiagonal, kDiagonal, 0};
        case 11:
            return {kDiagonal, 0, kDiagonal};
        case 12:
            return {0, kDiagonal, kDiagonal};
        default: {
            const Vector camera = tarnix::Kernel::Scene()->GetCamera().Transformation().Transform({0, 0, 0}, 1.0f);
            const tarnix::Transformation* transformation = point.m_mesh->GetTransformation();
            const Vector local = transformation ? transformation->WorldToMesh().Transform(camera, 1.0f) : camera;
            return (local - point.m_position).Normalized();
        }
    }
}

}  // namespace

bool Corvane::UpdateDabDirection(const tarnix::SurfacePoint& point) {
    m_mirrorIndex = point.m_mirrored ? 1 : 0;
    const uint32_t m = m_mirrorIndex;
    if (m_switches.plane && m_planeOffset[m] != 0.0f && !m_updatePlaneAttr.Value()) return true;
    m_alongVertexNormals = false;
    int d = m_wholeMeshPass ? 0 : Direction();
    if (m_switches.bulge ||
        (m_wholeMeshPass && !(m_switches.smooth && !m_affectAllLayersAttr.Value() && m_activeLayer)))
        d = 2;
    if (m_switches.smear) d = 3;

    const Vector p = point.m_position, n = point.m_normal;
    Vector& direction = m_planeDirection[m];
    const auto planeFromPoint = [&] {
        m_planeOffset[m] = p | direction;
        m_planePoint[m] = p;
    };
    switch (d) {
        case 0:
            direction = n;
            planeFromPoint();
            break;
        case 1:
            GatherRegionNormal(point);
            break;
        case 2:
            m_alongVertexNormals = true;
            break;
        case 3:
        case 4: {
            const Vector previous = PreviousPatchPosition();
            if (previous == Vector(0, 0, 0)) return false;
            const Vector stroke = point.WorldPosition() - previous;
            if (d == 3) {
                direction = stroke.Normalized();
                planeFromPoint();
            } else {
                direction = (stroke & n).Normalized();
                m_planePoint[m] = p;
            }
            break;
        }
        default:
            if (d >= 5 && d <= 12) {
                direction = FixedDirection(d, point);
                planeFromPoint();
            }
            break;
    }
    // The twin of a fixed or camera direction is the mirror image of the primary's.
    if (m == 1 && d >= 5 && d <= 12) {
        m_planePoint[1] = MirrorConfig().Transform(m_planePoint[0], 1.0f, point);
        m_planeDirection[1] = MirrorConfig().Transform(m_planeDirection[0], 0.0f, point).Normalized();
        m_planeOffset[1] = p | m_planeDirection[1];
    }
    if (m == 1 && d == 4) m_planeDirection[1] = -m_planeDirection[1];
    if (!m_alongVertexNormals) SetDirectionVector(m_planeDirection[m]);
    if (m_nonUniformScale && (d == 0 || d == 1 || d == 3 || d == 4)) m_directionNeedsLocalFrame = true;
    return true;
}

void Corvane::GatherRegionNormal(const tarnix::SurfacePoint& point) {
    const EntryGuard guard(corvane::kGuardRegionGathering);
    const uint32_t m = m_mirrorIndex;
    Vector normal, center;
    if (m_switches.fastPlaneEstimate && m_patchBaseLevel->m_faceKind == tarnix::Mesh::kQuads)
        WalkRegionNormal(point, normal, center);
    else GatherRegionPlane(point, normal, center);
    // Folded into the slot: a running mean over the stroke's dabs with "globalplane" on.
    if (!(m_switches.plane && m_globalPlaneAttr.Value())) m_dabCount = 0;
    const float k = float(m_dabCount);
    const Vector direction = ((normal + m_planeDirection[m] * k) / (k + 1.0f)).Normalized();
    const Vector pointOnPlane = (center + m_planePoint[m] * k) / (k + 1.0f);
    m_planePoint[m] = pointOnPlane;
    m_planeDirection[m] = direction;
    m_planeOffset[m] = direction | pointOnPlane;
}

void Corvane::WalkRegionNormal(const tarnix::SurfacePoint& point, Vector& normal, Vector& center) {
    tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    // Walk outward from the hit quad along the four grid directions, sampling the vertices
    // as the stroke first found them, weighted by closeness to the centre.
    const uint32_t n = 1u << m_patchLevel;
    const uint32_t patch = point.m_face / m_facesPerPatch;
    const uint32_t* corners = m_patchBaseLevel->FaceCorners(patch);
    const float diagonal =
        (m_patchBaseLevel->VertexPosition(corners[0]) - m_patchBaseLevel->VertexPosition(corners[2])).Length();
    uint32_t steps = uint32_t(m_radius / diagonal * float(n));
    steps = steps < 1 ? 1 : steps > n ? n : steps;
    tarnix::MeshChange& change = *m_meshChanges[m_meshChanges.Count() - 1].second;
    const bool layer = level.ActiveLayer() != nullptr;
    Vector normalSum(0, 0, 0), positionSum(0, 0, 0);
    float weightSum = 0.0f;
    uint32_t count = 0;
    for (uint32_t orientation = 0; orientation < 4; ++orientation) {
        GridFace cursor = GridFace::StartAt(&level, m_patchBaseLevel, level.Index() - m_patchBaseLevelIndex,
                                            point.m_face, orientation);
        for (uint32_t step = 0; step < steps; ++step) {
            const uint32_t face = cursor.Face();
            const uint32_t vertex = level.m_cornerIndices[4 * face + cursor.m_orientation];
            tarnix::StoredVertexInfo* entry = change.Find(vertex);
            if (!entry) entry = change.Add_uncached(vertex, face, &level.m_vertices[vertex], layer, 0.0f);
            if (!entry) break;
            const Vector stored(entry->m_position[0], entry->m_position[1], entry->m_position[2]);
            const float w = 1.0f - (stored - m_brushCenter).Length() * m_invRadius;
            if (w < 0.0f) break;
            // The weight and the unpacking are one factor here: unpacking first would
            // round differently.
            normalSum +=
                Vector(entry->m_normal[0], entry->m_normal[1], entry->m_normal[2]) * (w * tarnix::kNormalUnpackScale);
            positionSum += stored * w;
            weightSum += w;
            ++count;
            cursor.Step();
        }
    }
    if (count == 0) {
        normal = point.m_normal;
        center = Vector(0, 0, 0);
    } else {
        normal = normalSum.Normalized();
        center = positionSum / weightSum;
    }
}

void Corvane::GatherRegionPlane(const tarnix::SurfacePoint& point, Vector& normal, Vector& center) {
    tarnix::SubdivisionLevel& level = *m_subdivisionLevel;
    std::fill(std::begin(m_planeSums), std::end(m_planeSums), 0.0f);
    m_gatherPass = true;
    if (m_distanceMode == 1) {
        m_geodesic.EnumerateVertices(&level, point, m_radius);
        for (uint32_t i = 0; i < m_geodesic.Count(); ++i) {
            const auto& result = m_geodesic.Results()[i];
            if (level.m_faceKind == tarnix::Mesh::kQuads) Tester(m_patchBaseLevel, result.face / m_facesPerPatch);
            else static_cast<tarnix::VertexEnumerator*>(this)->Tester(&level, result.vertex, result.face);
        }
    } else if (m_distanceMode == 0) {
        if (m_patchBaseLevel->m_faceKind == tarnix::Mesh::kQuads)
            m_patchBaseLevel->EnumerateFacesFrom(this, point.m_face / m_facesPerPatch);
        else m_patchBaseLevel->EnumerateVerticesFrom(this, point.m_face);
    } else if (m_distanceMode == 2) {
        const float half = BrushSize();
        const Vector c = point.LocalPosition();
        m_patchBaseLevel->Grid(true)->EnumerateVertices(
            tarnix::AxisAlignedBoundingBox(c - Vector(half, half, half), c + Vector(half, half, half)), this);
    }
    ++level.m_changeCounter;
    m_gatherPass = false;
    if (m_planeSums[6] == 0.0f) {
        const Vector p = point.LocalPosition(), q = point.LocalNormal();
        for (int i = 0; i < 3; ++i) {
            m_planeSums[i] = (&p.x)[i];
            m_planeSums[3 + i] = (&q.x)[i];
        }
        m_planeSums[6] = 1.0f;
    }
    normal = Vector(m_planeSums[3], m_planeSums[4], m_planeSums[5]).Normalized();
    center = m_planeSums[6] > 0.0001f ? Vector(m_planeSums[0], m_planeSums[1], m_planeSums[2]) / m_planeSums[6]
                                      : m_planePoint[m_mirrorIndex];
}

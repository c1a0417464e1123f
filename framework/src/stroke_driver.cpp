#include "tarnix/stroke_driver.h"

#include <algorithm>
#include <cmath>

#include "tarnix/error.h"
#include "tarnix/kernel.h"
#include "tarnix/mesh_change.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/subdivision_level.h"
#include "tarnix/surface_point.h"
#include "tarnix/topological_symmetry.h"
#include "tarnix/transformation.h"

namespace tarnix {
namespace {

// The surface point under `local` (mesh space) along `direction`, either way, nearest.
bool PlaceOnSurface(SubdivisionLevel& level, const Vector& local, const Vector& direction, SurfacePoint& hit) {
    return level.Grid(true)->CastRay(local, direction, hit, true, true);
}

// Barycentric weights of `p` in the triangle (a, b, c), projected onto its plane.
Vector Barycentric(const Vector& p, const Vector& a, const Vector& b, const Vector& c) {
    const Vector e1 = b - a, e2 = c - a, d = p - a;
    const float a11 = e1 | e1, a12 = e1 | e2, a22 = e2 | e2, b1 = d | e1, b2 = d | e2;
    const float determinant = a11 * a22 - a12 * a12;
    if (determinant == 0.0f) return {1, 0, 0};
    const float v = (b1 * a22 - b2 * a12) / determinant, w = (a11 * b2 - a12 * b1) / determinant;
    return {1 - v - w, v, w};
}

// Where a face's corners were when the stroke started: their undo entries keep that.
Vector StartPosition(SubdivisionLevel& level, uint32_t vertex) {
    if (const StoredVertexInfo* entry = level.CurrentChange()->Find(vertex))
        return {entry->m_position[0], entry->m_position[1], entry->m_position[2]};
    return level.VertexPosition(vertex);
}

// A point of a face as weights of three of its corners: the triangle the point lies in
// (quads split along their 1-3 diagonal, as the ray cast splits them).
struct FaceWeights {
    uint32_t corners[3];
    Vector weights;
};

FaceWeights WeighOnFace(SubdivisionLevel& level, uint32_t face, const Vector& point) {
    const uint32_t* c = level.FaceCorners(face);
    const auto at = [&](uint32_t k) { return StartPosition(level, c[k]); };
    FaceWeights result{{0, 1, level.CornersPerFace() - 1}, {}};
    result.weights = Barycentric(point, at(0), at(1), at(result.corners[2]));
    if (level.CornersPerFace() == 4 &&
        std::min(result.weights.x, std::min(result.weights.y, result.weights.z)) < -1e-4f) {
        result = {{2, 3, 1}, Barycentric(point, at(2), at(3), at(1))};
    }
    return result;
}

// The hit, found on the surface of the stroke's start, carried onto the current surface.
void CarryToCurrentSurface(SubdivisionLevel& level, SurfacePoint& hit) {
    const FaceWeights w = WeighOnFace(level, hit.m_face, hit.m_position);
    const uint32_t* c = level.FaceCorners(hit.m_face);
    hit.m_position = level.VertexPosition(c[w.corners[0]]) * w.weights.x +
                     level.VertexPosition(c[w.corners[1]]) * w.weights.y +
                     level.VertexPosition(c[w.corners[2]]) * w.weights.z;
    hit.m_normal = level.FaceNormal(hit.m_face).Normalized();
}

// The topological twin of `hit` (on the stroke's start surface): on the partner face, at the
// same weights of the partners of the corners.
bool TopologicalTwin(SubdivisionLevel& level, const SurfacePoint& hit, SurfacePoint& twin) {
    const TopologicalSymmetry& symmetry = level.Symmetry();
    const uint32_t partner = symmetry.PartnerFace(hit.m_face);
    if (partner == TopologicalSymmetry::kNone) return false;
    const FaceWeights w = WeighOnFace(level, hit.m_face, hit.m_position);
    const uint32_t* theirs = level.FaceCorners(partner);
    const auto mirrored = [&](uint32_t k) {
        return StartPosition(level, theirs[symmetry.PartnerCorner(hit.m_face, w.corners[k])]);
    };
    const Vector position = mirrored(0) * w.weights.x + mirrored(1) * w.weights.y + mirrored(2) * w.weights.z;
    twin = SurfacePoint(&level, partner, position, level.FaceNormal(partner).Normalized(), 1);
    return true;
}

}  // namespace

// A stroke left going on (its driver unwound by an error) still ends, so that the brush gives
// back the mesh and the change made so far stays undoable.
StrokeDriver::~StrokeDriver() {
    if (!InStroke()) return;
    try {
        End();
    } catch (Error* error) {
        Error::Dispose(error);
    }
}

template <typename Emit>
void StrokeDriver::Resample(const Vector& point, Emit&& emit) {
    if (!m_hasPoint) {
        m_hasPoint = true;
        m_lastPoint = m_steadied = point;
        emit(m_steadied);
        return;
    }
    const Vector from = m_lastPoint, to = point;
    const float length = (to - from).Length();
    for (float along = m_spacing - m_carried; along <= length; along += m_spacing) {
        const Vector raw = from + (to - from) * (along / length);
        m_steadied = m_steadied + (raw - m_steadied) * m_follow;
        emit(m_steadied);
    }
    m_carried = length > 0.0f ? std::fmod(m_carried + length, m_spacing) : m_carried;
    m_lastPoint = point;
}

std::vector<Vector> StrokeDriver::DabCentres(const std::vector<Vector>& path, float size) const {
    StrokeDriver sampler(m_brush);
    sampler.m_spacing = std::max(size * m_brush.m_dabSpacingAttr.Value() / 100.0f, size * 1e-3f);
    const BoolFloat smoothing = m_brush.StrokeSmoothing();
    sampler.m_follow = smoothing.on ? 1.0f - std::clamp(smoothing.value, 0.0f, 0.95f) : 1.0f;
    std::vector<Vector> centres;
    for (const Vector& point : path) sampler.Resample(point, [&](const Vector& centre) { centres.push_back(centre); });
    return centres;
}

void StrokeDriver::Begin(SubdivisionLevel& level, const StrokeOptions& options) {
    if (InStroke()) End();
    m_options = options;
    m_report = StrokeReport();
    const Transformation* transformation = level.GetTransformation();
    m_toMesh = transformation ? transformation->WorldToMesh() : Matrix();
    m_toWorld = transformation ? transformation->MeshToWorld() : Matrix();
    m_view = m_toMesh.Transform(Kernel::Scene()->GetCamera().Direction(), 0.0f).Normalized();
    m_localSize = m_toMesh.Transform({options.size, 0, 0}, 0.0f).Length();
    m_spacing = std::max(options.size * m_brush.m_dabSpacingAttr.Value() / 100.0f, options.size * 1e-3f);
    const BoolFloat smoothing = m_brush.StrokeSmoothing();
    m_follow = smoothing.on ? 1.0f - std::clamp(smoothing.value, 0.0f, 0.95f) : 1.0f;
    m_hasPoint = false;
    m_carried = 0.0f;
    m_centres = 0;

    // Dabs are found on the surface as it was when the stroke started (the spatial grid is
    // refitted once, here, before the brush's stroke and its clock begin), then carried onto
    // the surface as the dabs before them left it. A brush that refits the grid itself during
    // the stroke (or changes the faces) makes casts find the current surface; those hits stay.
    SpatialGrid* grid = level.Grid(true);
    grid->Update();
    m_startFit = grid->FitStamp();
    m_brush.SetPreviousPatchPosition({0, 0, 0});
    m_brush.BeginStroke(&level, options.modifier, BrushOperation::kTriggerDrag);
    m_conversion.emplace(m_brush, options.strength, options.size, m_spacing);
    m_level = &level;
}

void StrokeDriver::AddPoint(const Vector& point, float pressure) {
    if (!InStroke()) return;
    Resample(point, [&](const Vector& centre) {
        // A brush that places a single stamp takes the first dab of the stroke only.
        if (m_brush.PlacesSingleStamp() && m_centres > 0) return;
        if (m_centres++ == 0) m_previousDab = m_toMesh.Transform(centre, 1.0f);
        PlaceDab(centre, m_options.dabFactor * pressure);
    });
}

void StrokeDriver::PlaceDab(const Vector& centre, float pressure) {
    SubdivisionLevel& level = *m_level;
    const auto castsSeeTheStart = [&] { return level.Grid(false) && level.Grid(false)->FitStamp() == m_startFit; };
    const Vector local = m_toMesh.Transform(centre, 1.0f);
    SurfacePoint hit;
    if (!PlaceOnSurface(level, local, m_view, hit)) return;
    const Vector tangent =
        (local - m_previousDab).LengthSquared() > 0.0f ? local - m_previousDab : m_view & hit.m_normal;
    m_previousDab = local;
    // The twin is found before the dab changes the surface under it.
    SurfacePoint twin;
    bool twinPlaced = false;
    if (m_brush.MirrorConfig().MirrorMode() != MirrorConfiguration::kOff) {
        const Vector mirrored = m_brush.MirrorConfig().Transform(hit.m_position, 1.0f, hit);
        const Vector mirroredNormal = m_brush.MirrorConfig().Transform(hit.m_normal, 0.0f, hit);
        twinPlaced = m_brush.MirrorConfig().MirrorMode() == MirrorConfiguration::kTopological
                         ? TopologicalTwin(level, hit, twin)
                         : PlaceOnSurface(level, mirrored + mirroredNormal * (0.5f * m_localSize), -mirroredNormal,
                                          twin);
        twin.m_mirrored = 1;
        // The topological twin is made from the start positions of the partner corners.
        if (twinPlaced &&
            (castsSeeTheStart() || m_brush.MirrorConfig().MirrorMode() == MirrorConfiguration::kTopological))
            CarryToCurrentSurface(level, twin);
    }
    if (castsSeeTheStart()) CarryToCurrentSurface(level, hit);
    m_brush.PlaceStamp(hit.m_position, hit.m_normal, tangent, m_localSize);
    Vector world = m_toWorld.Transform(hit.m_position, 1.0f);
    const DabStrength dab = m_conversion->Dab(world, pressure);
    m_brush.ApplyDab(&hit, &world, m_options.size, dab.dabFactor, dab.strength, m_report.changedArea);
    ++m_report.dabs;
    if (twinPlaced) {
        // A twin that samples the stamp at its vertices' partners keeps the primary's stamp.
        const bool samplesPartners = m_brush.MirrorConfig().MirrorMode() == MirrorConfiguration::kTopological &&
                                     m_brush.IsMaskEnabled(BrushOperation::kMirroredStampMask);
        if (!samplesPartners)
            m_brush.PlaceStamp(twin.m_position, twin.m_normal, m_brush.MirrorConfig().Transform(tangent, 0.0f, hit),
                               m_localSize);
        Vector twinWorld = m_toWorld.Transform(twin.m_position, 1.0f);
        m_brush.ApplyDab(&twin, &twinWorld, m_options.size, dab.dabFactor, dab.strength, m_report.changedArea);
        ++m_report.mirroredDabs;
    }
    m_brush.SetPreviousPatchPosition(world);
}

StrokeReport StrokeDriver::End() {
    if (!InStroke()) return {};
    m_level = nullptr;
    m_brush.EndStroke();
    return m_report;
}

StrokeReport StrokeDriver::Run(SubdivisionLevel& level, const std::vector<Vector>& path,
                               const StrokeOptions& options) {
    Begin(level, options);
    for (const Vector& point : path) AddPoint(point);
    return End();
}

void StrokeDriver::RunWholeMesh(SubdivisionLevel& level, float strength, bool fromCamera,
                                BrushOperation::Modifier modifier) {
    const Transformation* transformation = level.GetTransformation();
    const AxisAlignedBoundingBox box =
        transformation ? level.BoundingBox().Transformed(transformation->MeshToWorld()) : level.BoundingBox();
    m_brush.SetPreviousPatchPosition({0, 0, 0});
    m_brush.BeginStroke(&level, modifier, BrushOperation::kTriggerDrag);
    const float amount = StrengthConversion::WholeMesh(m_brush, strength, kWholeMeshReach * box.Size().Length());
    m_brush.ApplyToWholeMesh(&level, 0.0f, amount, fromCamera);
    m_brush.EndStroke();
}

}  // namespace tarnix

#include "tarnix/stroke_driver.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <functional>
#include <random>

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

// The smallest share of the brush size a dab keeps under pressure-size.
constexpr float kLeastPressureSize = 0.01f;

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
// (quads split along their 1-3 diagonal, as the ray cast splits them), weighed on the
// positions the stroke started from, or on the current ones.
struct FaceWeights {
    uint32_t corners[3];  // corner numbers within the face
    Vector weights;
};

FaceWeights WeighOnFace(SubdivisionLevel& level, uint32_t face, const Vector& point, bool atStart) {
    const uint32_t* c = level.FaceCorners(face);
    const auto at = [&](uint32_t k) { return atStart ? StartPosition(level, c[k]) : level.VertexPosition(c[k]); };
    FaceWeights result{{0, 1, level.CornersPerFace() - 1}, {}};
    result.weights = Barycentric(point, at(0), at(1), at(result.corners[2]));
    if (level.CornersPerFace() == 4 &&
        std::min(result.weights.x, std::min(result.weights.y, result.weights.z)) < -1e-4f) {
        result = {{2, 3, 1}, Barycentric(point, at(2), at(3), at(1))};
    }
    return result;
}

// The point at `weights` of three vertices, as the surface is now.
Vector AtWeights(SubdivisionLevel& level, const uint32_t vertices[3], const Vector& weights) {
    return level.VertexPosition(vertices[0]) * weights.x + level.VertexPosition(vertices[1]) * weights.y +
           level.VertexPosition(vertices[2]) * weights.z;
}

// A face's unit normal as the stroke found it (the same rule as Mesh::FaceNormal), or as it is.
Vector FaceNormalAt(SubdivisionLevel& level, uint32_t face, bool atStart) {
    if (!atStart) return level.FaceNormal(face).Normalized();
    const uint32_t* c = level.FaceCorners(face);
    const Vector p0 = StartPosition(level, c[0]), p1 = StartPosition(level, c[1]), p2 = StartPosition(level, c[2]);
    if (level.CornersPerFace() == 4) return ((p2 - p0) & (StartPosition(level, c[3]) - p1)).Normalized();
    return ((p1 - p0) & (p2 - p0)).Normalized();
}

// The hit, weighed on `w`, carried onto the current surface. Its normal stays that of the
// surface the stroke found it on: the faces under a dab are those the stroke's own dabs
// moved, and a cut or ridge a face wide tilts them by up to a right angle from dab to dab,
// which would swing the dab's direction and turn its stamp.
void CarryToCurrentSurface(SubdivisionLevel& level, const FaceWeights& w, SurfacePoint& hit) {
    const uint32_t* c = level.FaceCorners(hit.m_face);
    const uint32_t vertices[3] = {c[w.corners[0]], c[w.corners[1]], c[w.corners[2]]};
    hit.m_position = AtWeights(level, vertices, w.weights);
    hit.m_normal = FaceNormalAt(level, hit.m_face, true);
}

// A twin on `face`, at the hit's weights of `partners` (the mirror partners of the hit's three
// corners) on the current surface: on a symmetric mesh the exact mirror image of the carried
// hit, whichever way the faces split; its normal is the face's as the stroke found it, as
// the hit's is (unless the surface was refitted during the stroke).
SurfacePoint TwinAtPartners(SubdivisionLevel& level, uint32_t face, const uint32_t partners[3], const Vector& weights,
                            bool atStart) {
    return SurfacePoint(&level, face, AtWeights(level, partners, weights), FaceNormalAt(level, face, atStart), 1);
}

// The partners of the hit's corners by topological symmetry.
bool TopologicalPartners(SubdivisionLevel& level, const SurfacePoint& hit, const FaceWeights& w, uint32_t& face,
                         uint32_t partners[3]) {
    const TopologicalSymmetry& symmetry = level.Symmetry();
    face = symmetry.PartnerFace(hit.m_face);
    if (face == TopologicalSymmetry::kNone) return false;
    const uint32_t* theirs = level.FaceCorners(face);
    for (int k = 0; k < 3; ++k) partners[k] = theirs[symmetry.PartnerCorner(hit.m_face, w.corners[k])];
    return true;
}

double Distance(const Vector& a, const Vector& b) {
    // In double: the difference of two far-apart floats squared would overflow a float.
    const double x = double(b.x) - a.x, y = double(b.y) - a.y, z = double(b.z) - a.z;
    return std::sqrt(x * x + y * y + z * z);
}

bool IsFinite(const Vector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// The partners of the hit's corners across a mirror plane: the corners of the twin's face
// lying at the mirror images of the hit's corners (within a hundredth of the face's size).
// False where the mesh is not symmetric there.
bool PlanePartners(SubdivisionLevel& level, const MirrorConfiguration& mirror, const SurfacePoint& hit,
                   const FaceWeights& w, uint32_t twinFace, bool atStart, uint32_t partners[3]) {
    const auto at = [&](uint32_t v) { return atStart ? StartPosition(level, v) : level.VertexPosition(v); };
    const uint32_t* ours = level.FaceCorners(hit.m_face);
    const uint32_t* theirs = level.FaceCorners(twinFace);
    const uint32_t count = level.CornersPerFace();
    const float tolerance = 0.01f * (at(theirs[0]) - at(theirs[count / 2])).Length();
    for (int k = 0; k < 3; ++k) {
        const Vector image = mirror.Transform(at(ours[w.corners[k]]), 1.0f, hit);
        partners[k] = Mesh::kNone;
        for (uint32_t j = 0; j < count; ++j)
            if ((at(theirs[j]) - image).Length() <= tolerance) partners[k] = theirs[j];
        if (partners[k] == Mesh::kNone) return false;
    }
    return true;
}

// The mirror transform as a matrix for row vectors: [p 1] * R is the mirror image of p.
Matrix MirrorMatrix(const MirrorConfiguration& mirror, const SurfacePoint& point) {
    const Vector rows[4] = {mirror.Transform({1, 0, 0}, 0.0f, point), mirror.Transform({0, 1, 0}, 0.0f, point),
                            mirror.Transform({0, 0, 1}, 0.0f, point), mirror.Transform({0, 0, 0}, 1.0f, point)};
    Matrix r;
    for (int i = 0; i < 4; ++i) {
        r[i][0] = rows[i].x;
        r[i][1] = rows[i].y;
        r[i][2] = rows[i].z;
        r[i][3] = i == 3 ? 1.0f : 0.0f;
    }
    return r;
}

// A direction as the camera sees it, laid onto the surface with unit normal `normal` along the
// view: the way the dab centres, cast along the view, move over it. Dropping it straight onto
// the surface instead turns it where the surface leans away from the camera, and stamps
// following the stroke would lie askew to it, each dab's beside the last. Where the view
// grazes the surface the direction is left for the stamp's placement to drop.
Vector AlongView(const Vector& direction, const Vector& normal, const Vector& view) {
    const float facing = view | normal;
    if (std::fabs(facing) < 1e-3f) return direction;
    return direction - view * ((direction | normal) / facing);
}

// `v` turned by `radians` about the unit `axis` (counter-clockwise seen from where it points).
Vector Turned(const Vector& v, const Vector& axis, float radians) {
    return v * std::cos(radians) + (axis & v) * std::sin(radians) + axis * ((axis | v) * (1.0f - std::cos(radians)));
}

// The mirror configuration's selected twin of the dab at `hit` (cast from half of `reach` off
// the surface where there is no partner); false where the mesh has none.
bool PlaceTwin(SubdivisionLevel& level, const MirrorConfiguration& mirror, const SurfacePoint& hit,
               const FaceWeights& weights, bool atStart, float reach, SurfacePoint& twin) {
    uint32_t face = 0, partners[3];
    if (mirror.MirrorMode() == MirrorConfiguration::kTopological) {
        if (!TopologicalPartners(level, hit, weights, face, partners)) return false;
        twin = TwinAtPartners(level, face, partners, weights.weights, atStart);
    } else {
        const Vector image = mirror.Transform(hit.m_position, 1.0f, hit);
        const Vector imageNormal = mirror.Transform(hit.m_normal, 0.0f, hit);
        if (!PlaceOnSurface(level, image + imageNormal * (0.5f * reach), -imageNormal, twin)) return false;
        if (PlanePartners(level, mirror, hit, weights, twin.m_face, atStart, partners))
            twin = TwinAtPartners(level, twin.m_face, partners, weights.weights, atStart);
        else if (atStart) CarryToCurrentSurface(level, WeighOnFace(level, twin.m_face, twin.m_position, true), twin);
    }
    twin.m_mirrored = 1;
    return true;
}

}  // namespace

// A stroke left going on still ends, so that the brush gives back the mesh and the change
// made so far stays undoable.
StrokeDriver::~StrokeDriver() {
    if (!InStroke()) return;
    try {
        End();
    } catch (Error* error) {
        Error::Dispose(error);
    } catch (...) {
    }
}

uint64_t StrokeDriver::SegmentDabs(const Vector& point) const {
    if (!m_hasPoint) return 1;
    const double length = Distance(m_lastPoint, point), first = double(m_spacing) - m_carried;
    if (!(first <= length)) return 0;
    const double count = std::floor((length - first) / m_spacing) + 1.0;
    return count < double(kMostDabs) * 2.0 ? uint64_t(count) : kMostDabs * 2;
}

void StrokeDriver::Abandon(SubdivisionLevel& level) {
    try {
        m_brush.EndStroke();
    } catch (Error* error) {
        Error::Dispose(error);
    } catch (...) {
    }
    GiveLockBack(level);
}

void StrokeDriver::GiveLockBack(SubdivisionLevel& level) {
    if (level.LockHolder() && level.LockHolder() != m_lockHolder) level.Unlock(true);
}

template <typename Emit>
void StrokeDriver::Resample(const Vector& point, Emit&& emit) {
    const uint64_t dabs = SegmentDabs(point);
    if (!m_hasPoint) {
        m_hasPoint = true;
        m_lastPoint = m_steadied = point;
        emit(m_steadied);
        return;
    }
    const Vector from = m_lastPoint, to = point;
    const double length = Distance(from, to), first = double(m_spacing) - m_carried;
    // Each centre is found from the segment's start by its count, never by adding the spacing
    // up: a spacing below the rounding of `along` would otherwise never get past it.
    for (uint64_t k = 0; k < dabs; ++k) {
        const double along = first + double(k) * m_spacing;
        const Vector raw = from + (to - from) * float(along / length);
        m_steadied = m_steadied + (raw - m_steadied) * m_follow;
        emit(m_steadied);
    }
    m_carried = length > 0.0 ? std::fmod(m_carried + length, double(m_spacing)) : m_carried;
    m_lastPoint = point;
}

uint64_t StrokeDriver::CatchUpDabs() const {
    if (!m_hasPoint) return 0;
    const double gap = Distance(m_steadied, m_lastPoint);
    return gap > 0.0 ? uint64_t(std::ceil(gap / double(m_spacing))) : 0;
}

void StrokeDriver::CatchUp() {
    // The steadied path trails the pointer (and the last dab lies up to a spacing short of
    // it): dabs a spacing apart at most take the stroke on to where the pointer ended.
    const uint64_t dabs = std::min(CatchUpDabs(), kMostDabs - std::min(m_centres, kMostDabs));
    const Vector from = m_steadied;
    for (uint64_t k = 1; k <= dabs; ++k) {
        m_steadied = k == dabs ? m_lastPoint : from + (m_lastPoint - from) * float(double(k) / double(dabs));
        TakeCentre(m_toMesh.Transform(m_steadied, 1.0f), m_options.dabFactor * m_lastPressure);
    }
}

void StrokeDriver::Refuse(const QString& text) const {
    Error::Raise(Error::kCodeInvalidArgument, "StrokeDriver", "framework/src/stroke_driver.cpp", 0, text);
}

float StrokeDriver::Spacing(float size) const {
    return std::max(size * m_brush.m_dabSpacingAttr.Value() / 100.0f, size * 1e-3f);
}

float StrokeDriver::Follow() const {
    const BoolFloat smoothing = m_brush.StrokeSmoothing();
    return smoothing.on ? 1.0f - std::clamp(smoothing.value, 0.0f, 0.95f) : 1.0f;
}

uint64_t StrokeDriver::DabCount(const std::vector<Vector>& path, float size) const {
    if (path.size() > kMostPathPoints) return kMostDabs + 1;
    StrokeDriver sampler(m_brush);
    sampler.m_spacing = Spacing(size);
    sampler.m_follow = Follow();
    if (!(std::isnormal(sampler.m_spacing) && sampler.m_spacing > 0.0f)) return kMostDabs + 1;
    uint64_t dabs = 0;
    for (const Vector& point : path) {
        if (!IsFinite(point) || dabs + sampler.SegmentDabs(point) > kMostDabs) return kMostDabs + 1;
        // The steadied path, as the stroke follows it, tells how many dabs catch up at its end.
        sampler.Resample(point, [&](const Vector&) { ++dabs; });
    }
    dabs += sampler.CatchUpDabs();
    return dabs > kMostDabs ? kMostDabs + 1 : dabs;
}

void StrokeDriver::Begin(SubdivisionLevel& level, const StrokeOptions& options) {
    if (InStroke()) End();
    m_options = options;
    m_report = StrokeReport();
    const Transformation* transformation = level.GetTransformation();
    m_toMesh = transformation ? transformation->WorldToMesh() : Matrix();
    m_toWorld = transformation ? transformation->MeshToWorld() : Matrix();
    const Camera& camera = Kernel::Scene()->GetCamera();
    m_view = m_toMesh.Transform(camera.Direction(), 0.0f).Normalized();
    m_upright = m_toMesh.Transform(camera.Transformation().Transform({1, 0, 0}, 0.0f), 0.0f);
    m_localSize = m_toMesh.Transform({options.size, 0, 0}, 0.0f).Length();
    m_spacing = Spacing(options.size);
    if (!(std::isnormal(options.size) && options.size > 0.0f && std::isnormal(m_localSize) &&
          std::isnormal(m_spacing) && std::isfinite(options.strength)))
        Refuse(QStringLiteral("brush size %1 (%2 in the mesh's space) or strength %3 is not a finite positive number")
                   .arg(double(options.size))
                   .arg(double(m_localSize))
                   .arg(double(options.strength)));
    m_hasPoint = false;
    m_lastPressure = 1.0f;
    m_carried = 0.0;
    m_centres = 0;
    m_points = 0;
    m_firstPending = false;
    m_anchored.fill(false);
    m_holding = false;

    // Dabs are found on the surface as it was when the stroke started (the spatial grid is
    // refitted once, here, before the brush's stroke and its clock begin), then carried onto
    // the surface as the dabs before them left it. A brush that refits the grid itself during
    // the stroke (or changes the faces) makes casts find the current surface; those hits stay.
    SpatialGrid* grid = level.Grid(true);
    grid->Update();
    m_startFit = grid->FitStamp();
    m_lockHolder = level.LockHolder();
    try {
        m_brush.SetPreviousPatchPosition({0, 0, 0});
        m_previousTwins.fill(Vector(0, 0, 0));
        m_brush.BeginStroke(&level, options.modifier, BrushOperation::kTriggerDrag);
    } catch (...) {
        Abandon(level);
        throw;
    }
    // Spaced and steadied as the tool that runs (the smoothing modifier swaps one in) asks.
    if (const float spacing = Spacing(options.size); std::isnormal(spacing)) m_spacing = spacing;
    m_follow = Follow();
    m_conversion.emplace(m_brush, options.strength, options.size, m_spacing);
    m_level = &level;
}

void StrokeDriver::AddPoint(const Vector& point, float pressure) {
    if (!InStroke()) return;
    if (!IsFinite(point) || !IsFinite(m_toMesh.Transform(point, 1.0f)))
        Refuse(QStringLiteral("the path point (%1, %2, %3) is not finite in the world or the mesh's space")
                   .arg(double(point.x))
                   .arg(double(point.y))
                   .arg(double(point.z)));
    if (++m_points > kMostPathPoints) Refuse(QStringLiteral("a stroke takes at most %1 points").arg(kMostPathPoints));
    if (!FollowsPointer() && m_centres + SegmentDabs(point) > kMostDabs && !m_brush.PlacesSingleStamp())
        Refuse(QStringLiteral("a stroke places at most %1 dabs; this point, %2 from the last, would pass that at a "
                              "spacing of %3")
                   .arg(kMostDabs)
                   .arg(m_hasPoint ? Distance(m_lastPoint, point) : 0.0)
                   .arg(double(m_spacing)));
    m_lastPressure = pressure;
    try {
        if (FollowsPointer()) FollowPointer(point, pressure);
        else
            Resample(point, [&](const Vector& centre) {
                TakeCentre(m_toMesh.Transform(centre, 1.0f), m_options.dabFactor * pressure);
            });
    } catch (...) {
        SubdivisionLevel& level = *m_level;
        m_level = nullptr;
        Abandon(level);
        throw;
    }
}

void StrokeDriver::TakeCentre(const Vector& local, float dabFactor) {
    if (m_firstPending) {
        m_firstPending = false;
        PlaceDab(m_firstCentre, local - m_firstCentre, m_firstDabFactor);
    }
    if (m_centres++ == 0) {
        // Randomised stamps: the same stroke gives the same stamps, another stroke others.
        m_random.seed(uint32_t(std::hash<float>()(local.x) ^ (std::hash<float>()(local.y) << 1) ^
                               (std::hash<float>()(local.z) << 2)));
        m_firstPending = true;
        m_firstCentre = m_previousCentre = local;
        m_firstDabFactor = dabFactor;
        return;
    }
    // A brush that places a single stamp takes the first dab of the stroke only.
    if (m_brush.PlacesSingleStamp()) return;
    PlaceDab(local, local - m_previousCentre, dabFactor);
    m_previousCentre = local;
}

StrokeDriver::StampFrame StrokeDriver::FrameOf(const SurfacePoint& hit, const Vector& direction) {
    const StampConfiguration& stamp = m_brush.StampConfig();
    StampFrame frame{hit.m_position, hit.m_normal, Vector()};
    // Along the stroke, or upright as the camera sees it; turned and shifted at random.
    frame.tangent = AlongView(stamp.m_followStroke && direction.LengthSquared() > 0.0f ? direction : m_upright,
                              frame.normal.Normalized(), m_view);
    if (stamp.m_randomize) {
        const Vector along = direction.LengthSquared() > 0.0f ? direction.Normalized() : Vector();
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        const float spacing = m_localSize * m_brush.m_dabSpacingAttr.Value() / 100.0f;
        frame.centre = frame.centre + along * ((unit(m_random) - 0.5f) * spacing);
        const Vector n = frame.normal.Normalized();
        frame.tangent = Turned(frame.tangent - n * (frame.tangent | n), n, 6.2831853f * unit(m_random));
    }
    return Anchored(frame, 0);
}

StrokeDriver::StampFrame StrokeDriver::TwinFrameOf(const SurfacePoint& twin, uint32_t index, const SurfacePoint& hit,
                                                   const StampFrame& primary) {
    // The mirror image of the dab's frame, shift and turn included, laid on the twin's surface.
    const MirrorConfiguration& mirror = m_brush.MirrorConfig();
    const StampFrame frame{twin.m_position + mirror.Transform(primary.centre - hit.m_position, 0.0f, hit),
                           twin.m_normal, mirror.Transform(primary.tangent, 0.0f, hit)};
    return Anchored(frame, index);
}

StrokeDriver::StampFrame StrokeDriver::Anchored(const StampFrame& frame, uint32_t index) {
    // A tiled stamp stays where the stroke's first dab (or twin) put it.
    if (!m_brush.StampConfig().m_tiled) return frame;
    if (!m_anchored[index]) m_anchors[index] = frame;
    m_anchored[index] = true;
    return m_anchors[index];
}

namespace {

// Leaves the mirror configuration on its first twin, however the dab ends.
struct FirstTwinAfter {
    MirrorConfiguration& mirror;
    ~FirstTwinAfter() { mirror.SelectTwin(1); }
};

}  // namespace

void StrokeDriver::PlaceDab(const Vector& local, const Vector& direction, float dabFactor) {
    SubdivisionLevel& level = *m_level;
    MirrorConfiguration& mirror = m_brush.MirrorConfig();
    const FirstTwinAfter restore{mirror};
    SurfacePoint hit;
    if (!PlaceOnSurface(level, local, m_view, hit)) return;
    const bool atStart = level.Grid(false) && level.Grid(false)->FitStamp() == m_startFit;
    const FaceWeights weights = WeighOnFace(level, hit.m_face, hit.m_position, atStart);
    if (atStart) hit.m_normal = FaceNormalAt(level, hit.m_face, true);
    // The twins are found before the dab changes the surface under them: on a symmetric mesh
    // at the mirror partners of the hit's corners, else where a cast at the mirror image of
    // the hit meets the surface; each across its own combination of the mirror's planes.
    struct Twin {
        uint32_t index;
        SurfacePoint point;
        Vector world;
        Matrix stamp;
    };
    std::array<Twin, kMostTwins> twins;
    uint32_t twinCount = 0;
    for (uint32_t index = 1; index <= std::min(mirror.TwinCount(), kMostTwins); ++index) {
        mirror.SelectTwin(index);
        twins[twinCount].index = index;
        if (PlaceTwin(level, mirror, hit, weights, atStart, m_localSize, twins[twinCount].point)) ++twinCount;
    }
    if (atStart) CarryToCurrentSurface(level, weights, hit);

    // With pressure-size on, the pen scales the dab's size as it scales its strength; a
    // touch too light for any size still gives a dab of a hundredth of it.
    const float sizeScale = m_brush.m_pressureSizeAttr.Value() ? std::max(dabFactor, kLeastPressureSize) : 1.0f;
    const float size = m_options.size * sizeScale, localSize = m_localSize * sizeScale;
    const StampFrame frame = FrameOf(hit, direction);
    m_brush.PlaceStamp(frame.centre, frame.normal, frame.tangent, localSize);
    const Matrix primaryStamp = m_brush.MaskMatrix(BrushOperation::kStampMask);
    Vector world = m_toWorld.Transform(hit.m_position, 1.0f);
    // The dab factor passed in is the pen's pressure; the conversion makes the dab's of it.
    const DabStrength dab = m_conversion->Dab(world, dabFactor);
    for (uint32_t t = 0; t < twinCount; ++t) {
        Twin& twin = twins[t];
        mirror.SelectTwin(twin.index);
        // A mirrored stamp is the dab's own, which the brush samples at the vertices' partners
        // (topological mirror) or which each vertex samples at its mirror image (planes).
        twin.stamp = primaryStamp;
        if (!m_brush.StampConfig().m_mirrored) {
            const StampFrame twinFrame = TwinFrameOf(twin.point, twin.index, hit, frame);
            m_brush.PlaceStamp(twinFrame.centre, twinFrame.normal, twinFrame.tangent, localSize);
            twin.stamp = m_brush.MaskMatrix(BrushOperation::kStampMask);
        } else if (mirror.MirrorMode() != MirrorConfiguration::kTopological) {
            twin.stamp = MirrorMatrix(mirror, hit) * primaryStamp;
        }
        twin.world = m_toWorld.Transform(twin.point.m_position, 1.0f);
    }
    // A smoothing of several steps takes them where the dab lies, the twins each after their
    // dab. A twin runs along its own path: the brush, which takes the stroke's direction from
    // the previous dab, is shown the twin's previous position for it.
    const auto applyDab = [&](const SurfacePoint& at, const Vector& atWorld) {
        const auto start = std::chrono::steady_clock::now();
        m_brush.ApplyDab(&at, &atWorld, size, dab.dabFactor, dab.strength, m_report.changedArea);
        m_report.brushSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    for (uint32_t step = 0; step < dab.repeats; ++step) {
        m_brush.SetMaskMatrix(BrushOperation::kStampMask, primaryStamp);
        applyDab(hit, world);
        for (uint32_t t = 0; t < twinCount; ++t) {
            Twin& twin = twins[t];
            mirror.SelectTwin(twin.index);
            const Vector previous = m_brush.PreviousPatchPosition();
            m_brush.SetPreviousPatchPosition(m_previousTwins[twin.index]);
            m_brush.SetMaskMatrix(BrushOperation::kStampMask, twin.stamp);
            applyDab(twin.point, twin.world);
            m_brush.SetPreviousPatchPosition(previous);
        }
    }
    ++m_report.dabs;
    m_report.mirroredDabs += twinCount;
    for (uint32_t t = 0; t < twinCount; ++t) m_previousTwins[twins[t].index] = twins[t].world;
    m_brush.SetPreviousPatchPosition(world);
}

bool StrokeDriver::FollowsPointer() const { return !m_brush.SpacesDabs() && !m_brush.PlacesSingleStamp(); }

void StrokeDriver::FollowPointer(const Vector& point, float pressure) {
    SubdivisionLevel& level = *m_level;
    MirrorConfiguration& mirror = m_brush.MirrorConfig();
    const FirstTwinAfter restore{mirror};
    const Vector local = m_toMesh.Transform(point, 1.0f);
    const Vector& hold = m_holds[0].m_position;
    if (!m_holding) {
        // The brush takes hold where the first point that meets the surface lies; nothing has
        // moved yet, so the twins are found on the surface as it is.
        if (!PlaceOnSurface(level, local, m_view, m_holds[0])) return;
        const FaceWeights weights = WeighOnFace(level, m_holds[0].m_face, hold, false);
        m_holdTwinCount = 0;
        for (uint32_t index = 1; index <= std::min(mirror.TwinCount(), kMostTwins); ++index) {
            mirror.SelectTwin(index);
            if (PlaceTwin(level, mirror, m_holds[0], weights, false, m_localSize, m_holds[index]))
                m_holdTwins[m_holdTwinCount++] = index;
        }
        m_holding = true;
    }
    // The pointer in the plane through the hold facing the view: how far it travelled there
    // is what the brush moves the surface by.
    const Vector onPlane = local + m_view * ((hold - local) | m_view);
    // Every dab of the stroke weighs alike (the brush sets where the surface goes, not how
    // far it builds up), so each gets a first dab's share: that of a stroke of its own.
    const float fullShareSpacing = m_options.size * StrengthConversion::kFullShareSpacing / 100.0f;
    const DabStrength dab = StrengthConversion(m_brush, m_options.strength, m_options.size, fullShareSpacing)
                                .Dab(point, m_options.dabFactor * pressure);
    const auto applyDab = [&](uint32_t index, const Vector& at) {
        mirror.SelectTwin(index);
        const Vector world = m_toWorld.Transform(at, 1.0f);
        const auto start = std::chrono::steady_clock::now();
        m_brush.ApplyDab(&m_holds[index], &world, m_options.size, dab.dabFactor, dab.strength, m_report.changedArea);
        m_report.brushSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return world;
    };
    const Vector world = applyDab(0, onPlane);
    for (uint32_t t = 0; t < m_holdTwinCount; ++t) {
        const uint32_t index = m_holdTwins[t];
        mirror.SelectTwin(index);
        applyDab(index, m_holds[index].m_position + mirror.Transform(onPlane - hold, 0.0f, m_holds[0]));
    }
    ++m_report.dabs;
    m_report.mirroredDabs += m_holdTwinCount;
    m_brush.SetPreviousPatchPosition(world);
}

StrokeReport StrokeDriver::End() {
    if (!InStroke()) return {};
    SubdivisionLevel& level = *m_level;
    try {
        if (!FollowsPointer()) CatchUp();
        // A stroke of one dab has no direction: its stamp stands upright.
        if (m_firstPending) PlaceDab(m_firstCentre, Vector(), m_firstDabFactor);
    } catch (...) {
        m_level = nullptr;
        Abandon(level);
        throw;
    }
    m_firstPending = false;
    m_level = nullptr;
    try {
        m_brush.EndStroke();
    } catch (...) {
        GiveLockBack(level);
        throw;
    }
    return m_report;
}

StrokeReport StrokeDriver::Run(SubdivisionLevel& level, const std::vector<Vector>& path, const StrokeOptions& options,
                               const std::vector<float>& pressures) {
    if (path.size() > kMostPathPoints)
        Refuse(
            QStringLiteral("a stroke takes at most %1 points; this path has %2").arg(kMostPathPoints).arg(path.size()));
    if (!m_brush.PlacesSingleStamp() && !FollowsPointer() && DabCount(path, options.size) > kMostDabs)
        Refuse(
            QStringLiteral("a stroke places at most %1 dabs; this path at size %2 and a spacing of %3 would place more")
                .arg(kMostDabs)
                .arg(double(options.size))
                .arg(double(Spacing(options.size))));
    Begin(level, options);
    for (size_t i = 0; i < path.size(); ++i) AddPoint(path[i], i < pressures.size() ? pressures[i] : 1.0f);
    return End();
}

void StrokeDriver::RunWholeMesh(SubdivisionLevel& level, float strength, bool fromCamera,
                                BrushOperation::Modifier modifier) {
    if (InStroke()) End();
    const Transformation* transformation = level.GetTransformation();
    const AxisAlignedBoundingBox box =
        transformation ? level.BoundingBox().Transformed(transformation->MeshToWorld()) : level.BoundingBox();
    m_lockHolder = level.LockHolder();
    try {
        m_brush.SetPreviousPatchPosition({0, 0, 0});
        m_brush.BeginStroke(&level, modifier, BrushOperation::kTriggerDrag);
        const float amount = StrengthConversion::WholeMesh(m_brush, strength, kWholeMeshReach * box.Size().Length());
        m_brush.ApplyToWholeMesh(&level, 0.0f, amount, fromCamera);
    } catch (...) {
        Abandon(level);
        throw;
    }
    try {
        m_brush.EndStroke();
    } catch (...) {
        GiveLockBack(level);
        throw;
    }
}

}  // namespace tarnix

#pragma once
// tarnix::StrokeDriver: how the host turns a drag into dabs. Along a path (world space, given
// whole or point by point as the pointer moves) it places dabs a fraction of the brush size
// apart (the brush's dab spacing, percent of its size), after the stroke smoothing has
// steadied the path (the steadied point follows the pointer a share of the way per dab, so it
// never trails it by more than spacing x smoothing / (1 - smoothing)); at the end, dabs carry
// the steadied path on to the last point, so a stroke reaches where the pointer let go. Each
// dab is put on the surface by a ray cast along the camera's view, gets its stamp placed, and
// is followed by its mirrored twin when the brush mirrors; the strength conversion may have
// a dab (and its twin) applied more than once where it lies (a smoothing of several steps).
// Between dabs the brush learns the previous dab's position, and before a twin its twin's.
// Dabs are found on the surface as it was when the stroke started (the spatial grid is refitted
// then) and carried onto the surface as the dabs before them left it: at the same weights of
// the hit face's corners, whose positions at the start the stroke's undo record keeps. A twin
// takes the same weights of the mirror partners of those corners (by topological symmetry, or
// the corners at their mirror images across a plane), so that on a symmetric mesh it is the
// exact mirror image of its dab; elsewhere it is where a cast at the mirror image meets.
// Stamps are placed by the brush's stamp record (following the stroke or upright to the
// camera, randomised, tiled, mirrored on twins; docs/framework.md).
// A brush that does not space its dabs and places more than one stamp moves the surface with
// the pointer (a grab): it gets one dab per pointer point instead. The first point is cast
// onto the surface, where the brush takes hold (and its twins at the mirror partners); every
// later dab lies at the pointer itself, moved into the plane through the hold facing the view,
// so that the surface can be pulled past its own outline. Each twin's lies at its hold moved
// by the mirror image of the pointer's travel. The dab itself comes with twin 0 selected, a
// twin with its own, so that such a brush can keep what each of them holds.
// No mesh stays locked after a brush error: the driver ends the stroke and unlocks the mesh
// before the error goes on to the caller.
//
// Bounds that hold whatever the input: a stroke places at most kMostDabs dabs (mirrored twins
// not counted) and takes at most kMostPathPoints points; the brush size, the points and the
// size in the mesh's space must be finite (the size a normal, positive float). Past a bound,
// or for a value that is not, an Error (code 3) is raised before any dab of the offending
// call is placed: Run checks the whole path before the stroke begins, AddPoint each point
// before its dabs. Dab positions are stepped by count from each segment's start, so neither
// a tiny spacing nor a huge segment can make the resampling loop run on.

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "tarnix/brush_operation.h"
#include "tarnix/math/bounding_box.h"
#include "tarnix/math/matrix.h"
#include "tarnix/math/vector.h"
#include "tarnix/strength_conversion.h"
#include "tarnix/surface_point.h"

namespace tarnix {

class MeshUnlocker;
class SubdivisionLevel;

struct StrokeOptions {
    float size = 1.0f;  // brush radius, world units
    /// The user's strength, 0..100 for every tool; StrengthConversion makes each dab's of it.
    float strength = 15.0f;
    BrushOperation::Modifier modifier = BrushOperation::kModifierNone;
    float dabFactor = 1.0f;  // pen pressure, 0..1: scales the dab's share, and the size with pressure-size on
};

struct StrokeReport {
    uint32_t dabs = 0;                   // primary dabs placed on the surface
    uint32_t mirroredDabs = 0;           // their twins
    AxisAlignedBoundingBox changedArea;  // world space
    /// Time spent in the brush's ApplyDab calls (its twins' and repeats' included): the
    /// brush's own work, without the host's casts, stamp placing and path resampling.
    double brushSeconds = 0.0;
};

class StrokeDriver {
public:
    /// Dabs one stroke places at most (a pointer dragged for minutes at a fine spacing).
    static constexpr uint64_t kMostDabs = 100000;
    /// Points one stroke takes at most.
    static constexpr uint64_t kMostPathPoints = 100000;

    explicit StrokeDriver(BrushOperation& brush) : m_brush(brush) {}
    ~StrokeDriver();
    BrushOperation& DrivenBrush() const { return m_brush; }

    /// @brief One stroke of the brush over `level` along `path`: Begin, every point (at the
    /// pen pressure `pressures` gives it, 1 when it gives none), End. A path past the bounds
    /// is refused before the stroke begins.
    StrokeReport Run(SubdivisionLevel& level, const std::vector<Vector>& path, const StrokeOptions& options,
                     const std::vector<float>& pressures = {});

    /// @brief Starts a stroke over `level` whose points come as the pointer moves: the
    /// spatial grid is refitted and the brush's stroke begins. A stroke already going on is
    /// ended first. Raises an Error for a size that is not finite and positive, in world and
    /// in mesh space.
    void Begin(SubdivisionLevel& level, const StrokeOptions& options);
    /// @brief The pointer reached `point` (world space) with `pressure` (0..1, scales the
    /// share of the dabs placed on the way there, and their size when the brush's
    /// pressure-size attribute is on). Dabs are placed, and the mesh changed,
    /// before this returns; only the stroke's first dab waits for the next one (or End), which
    /// gives the stroke's direction there for its stamp. Raises an Error (the stroke goes on, without
    /// this point's dabs) for a point that is not finite or that would take the stroke past a bound.
    void AddPoint(const Vector& point, float pressure = 1.0f);
    /// @brief Ends the stroke: the brush commits it as one undoable change.
    StrokeReport End();
    bool InStroke() const { return m_level != nullptr; }

    /// @brief The brush once over the whole of `level`: a stroke of one whole-mesh dab of
    /// strength `strength` (the user's, 0..100), weighed by how much each vertex faces the
    /// camera when `fromCamera`.
    void RunWholeMesh(SubdivisionLevel& level, float strength, bool fromCamera, BrushOperation::Modifier modifier);

    /// A whole-mesh application's lengths are shares of this fraction of the mesh's diagonal
    /// (world space): at strength 100, a tenth of the mesh's size.
    static constexpr float kWholeMeshReach = 0.1f;

    /// @brief The dab centres `path` gives at brush size `size` with the brush's current dab
    /// spacing, counted without placing them; counting stops past kMostDabs. A path with a
    /// point that is not finite counts as past the bound.
    uint64_t DabCount(const std::vector<Vector>& path, float size) const;
    /// @brief The distance between dab centres for brush size `size` (world units).
    float Spacing(float size) const;

private:
    // Where a dab puts its stamp: centred at `centre`, across `normal`, its x axis along
    // `tangent` (before the stamp's own rotation).
    struct StampFrame {
        Vector centre, normal, tangent;
    };

    // Resamples the path at the dab spacing as points come, the steadied position trailing
    // the raw one; `emit` gets each dab centre.
    template <typename Emit>
    void Resample(const Vector& point, Emit&& emit);
    // The dabs the segment to `point` places, given what the path before it carried over.
    uint64_t SegmentDabs(const Vector& point) const;
    [[noreturn]] void Refuse(const QString& text) const;
    // Dabs from the steadied path's end on to the pointer's last point, and how many.
    void CatchUp();
    uint64_t CatchUpDabs() const;
    // The share of the way to the pointer the steadied point goes per dab.
    float Follow() const;
    // A dab centre (mesh space) of the stroke: the first waits for the next one, which gives
    // the stroke's direction there.
    void TakeCentre(const Vector& local, float dabFactor);
    // One dab (and its twin) at `local`, the stroke running along `direction` there.
    void PlaceDab(const Vector& local, const Vector& direction, float dabFactor);
    // The stamp frame of a dab at `hit`: along the stroke or upright, randomised, tiled.
    StampFrame FrameOf(const SurfacePoint& hit, const Vector& direction);
    // The frame of twin `index` of the dab at `hit` whose frame is `primary`: its mirror image.
    StampFrame TwinFrameOf(const SurfacePoint& twin, uint32_t index, const SurfacePoint& hit,
                           const StampFrame& primary);
    // `frame`, or where the stroke's first dab (index 0) or twin put a tiled stamp.
    StampFrame Anchored(const StampFrame& frame, uint32_t index);

    // Whether the brush follows the pointer with one dab per point (see the top of the file).
    bool FollowsPointer() const;
    // The dab (and its twins) of a pointer-following brush at the pointer's `point` (world).
    void FollowPointer(const Vector& point, float pressure);

    // After a brush error: ends the brush's stroke quietly and gives the mesh lock back.
    void Abandon(SubdivisionLevel& level);
    void GiveLockBack(SubdivisionLevel& level);

    BrushOperation& m_brush;
    // The stroke going on; m_level is null between strokes.
    SubdivisionLevel* m_level = nullptr;
    StrokeOptions m_options;
    StrokeReport m_report;
    Matrix m_toMesh, m_toWorld;
    Vector m_view;  // mesh space, the camera's direction: dabs are cast along it
    float m_localSize = 0.0f;
    // Made once the brush's stroke has begun (the smoothing modifier may swap the tool).
    std::optional<StrengthConversion> m_conversion;
    float m_spacing = 0.0f, m_follow = 1.0f;
    uint64_t m_points = 0;
    uint64_t m_startFit = 0;
    bool m_hasPoint = false;
    float m_lastPressure = 1.0f;
    Vector m_lastPoint, m_steadied;
    double m_carried = 0.0;   // distance since the last dab centre
    Vector m_previousCentre;  // mesh space
    // Twins of a dab: at most one for each combination of the three planes.
    static constexpr uint32_t kMostTwins = 7;
    // World space, each twin's last position, by twin; (0, 0, 0) before its first.
    std::array<Vector, kMostTwins + 1> m_previousTwins{};
    uint64_t m_centres = 0;
    bool m_firstPending = false;  // the first dab, waiting for the stroke's direction
    Vector m_firstCentre;
    float m_firstDabFactor = 1.0f;
    Vector m_upright;  // mesh space, the camera's right: the x axis of stamps not following the stroke
    std::minstd_rand m_random;
    // Tiled stamps stay where the stroke began, the dab's (0) and each twin's.
    std::array<bool, kMostTwins + 1> m_anchored{};
    std::array<StampFrame, kMostTwins + 1> m_anchors{};
    MeshUnlocker* m_lockHolder = nullptr;  // who held the mesh lock before the stroke
    // A pointer-following stroke's holds on the surface: the dab's (0) and each twin's, by
    // index (its twin number), once the first point met the surface.
    bool m_holding = false;
    std::array<SurfacePoint, kMostTwins + 1> m_holds{};
    std::array<uint32_t, kMostTwins> m_holdTwins{};
    uint32_t m_holdTwinCount = 0;
};

}  // namespace tarnix

#pragma once
// tarnix::StrokeDriver: how the host turns a drag into dabs. Along a path (world space, given
// whole or point by point as the pointer moves) it places dabs a fraction of the brush size
// apart (the brush's dab spacing, percent of its size), after the stroke smoothing has
// steadied the path; each dab is put on the surface by a
// ray cast along the camera's view, gets its stamp placed, and is followed by its mirrored
// twin when the brush mirrors (across a plane: cast at the mirror image of the hit; by
// topological symmetry: on the partner face, at the partners of the hit's corners). Between
// dabs the brush learns the previous dab's position.
// Dabs are found on the surface as it was when the stroke started (the spatial grid is refitted
// then) and carried onto the surface as the dabs before them left it: at the same weights of
// the hit face's corners, whose positions at the start the stroke's undo record keeps.

#include <cstdint>
#include <optional>
#include <vector>

#include "tarnix/brush_operation.h"
#include "tarnix/math/bounding_box.h"
#include "tarnix/math/matrix.h"
#include "tarnix/math/vector.h"
#include "tarnix/strength_conversion.h"

namespace tarnix {

class SubdivisionLevel;

struct StrokeOptions {
    float size = 1.0f;      // brush radius, world units
    /// The user's strength, 0..100 for every tool; StrengthConversion makes each dab's of it.
    float strength = 15.0f;
    BrushOperation::Modifier modifier = BrushOperation::kModifierNone;
    float dabFactor = 1.0f;  // pen pressure, 0..1
};

struct StrokeReport {
    uint32_t dabs = 0;          // primary dabs placed on the surface
    uint32_t mirroredDabs = 0;  // their twins
    AxisAlignedBoundingBox changedArea;  // world space
};

class StrokeDriver {
public:
    explicit StrokeDriver(BrushOperation& brush) : m_brush(brush) {}
    ~StrokeDriver();

    /// @brief One stroke of the brush over `level` along `path`: Begin, every point, End.
    StrokeReport Run(SubdivisionLevel& level, const std::vector<Vector>& path, const StrokeOptions& options);

    /// @brief Starts a stroke over `level` whose points come as the pointer moves: the
    /// spatial grid is refitted and the brush's stroke begins. A stroke already going on is
    /// ended first.
    void Begin(SubdivisionLevel& level, const StrokeOptions& options);
    /// @brief The pointer reached `point` (world space) with `pressure` (0..1, scales the
    /// share of the dabs placed on the way there). Dabs are placed, and the mesh changed,
    /// before this returns.
    void AddPoint(const Vector& point, float pressure = 1.0f);
    /// @brief Ends the stroke: the brush commits it as one undoable change.
    StrokeReport End();
    bool InStroke() const { return m_level != nullptr; }

    /// A whole-mesh application's lengths are shares of this fraction of the mesh's diagonal
    /// (world space): at strength 100, a tenth of the mesh's size.
    static constexpr float kWholeMeshReach = 0.1f;

    /// @brief The brush once over the whole of `level`: a stroke of one whole-mesh dab at the
    /// user's `strength` (0..100), weighed by how much each vertex faces the camera when
    /// `fromCamera`.
    void RunWholeMesh(SubdivisionLevel& level, float strength, bool fromCamera, BrushOperation::Modifier modifier);

    /// @brief The dab centres the path gives, before they are placed on the surface.
    std::vector<Vector> DabCentres(const std::vector<Vector>& path, float size) const;

private:
    // Resamples the path at the dab spacing as points come, the steadied position trailing
    // the raw one; `emit` gets each dab centre.
    template <typename Emit>
    void Resample(const Vector& point, Emit&& emit);
    void PlaceDab(const Vector& centre, float pressure);

    BrushOperation& m_brush;
    // The stroke going on; m_level is null between strokes.
    SubdivisionLevel* m_level = nullptr;
    StrokeOptions m_options;
    StrokeReport m_report;
    Matrix m_toMesh, m_toWorld;
    Vector m_view;        // mesh space, the camera's direction: dabs are cast along it
    float m_localSize = 0.0f;
    // Made once the brush's stroke has begun (the smoothing modifier may swap the tool).
    std::optional<StrengthConversion> m_conversion;
    float m_spacing = 0.0f, m_follow = 1.0f;
    uint64_t m_startFit = 0;
    bool m_hasPoint = false;
    Vector m_lastPoint, m_steadied;
    float m_carried = 0.0f;
    Vector m_previousDab;  // mesh space
    uint32_t m_centres = 0;
};

}  // namespace tarnix

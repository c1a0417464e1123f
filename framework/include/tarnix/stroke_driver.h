#pragma once
// tarnix::StrokeDriver: how the host turns a drag into dabs. Along a path (world space) it
// places dabs a fraction of the brush size apart (the brush's dab spacing, percent of its
// size), after the stroke smoothing has steadied the path; each dab is put on the surface by a
// ray cast along the camera's view, gets its stamp placed, and is followed by its mirrored
// twin when the brush mirrors. Between dabs the brush learns the previous dab's position.
// Dabs are found on the surface as it was when the stroke started (the spatial grid is refitted
// then) and carried onto the surface as the dabs before them left it: at the same weights of
// the hit face's corners, whose positions at the start the stroke's undo record keeps. A twin
// takes the same weights of the mirror partners of those corners (by topological symmetry, or
// the corners at their mirror images across a plane), so that on a symmetric mesh it is the
// exact mirror image of its dab; elsewhere it is where a cast at the mirror image meets.
// Stamps are placed by the brush's stamp record (following the stroke or upright to the
// camera, randomised, tiled, mirrored on twins; docs/framework.md).
// No mesh stays locked after a brush error: the driver ends the stroke and unlocks the mesh
// before the error goes on to the caller.

#include <cstdint>
#include <vector>

#include "tarnix/brush_operation.h"
#include "tarnix/math/bounding_box.h"
#include "tarnix/math/vector.h"

namespace tarnix {

class SubdivisionLevel;

struct StrokeOptions {
    float size = 1.0f;      // brush radius, world units
    /// The user's strength; dabs get it times the brush's strength scale. For displacement
    /// tools it is the full-weight move in mesh units, for plane tools a percentage.
    float strength = 15.0f;
    BrushOperation::Modifier modifier = BrushOperation::kModifierNone;
    float dabFactor = 1.0f;  // pen pressure
};

struct StrokeReport {
    uint32_t dabs = 0;          // primary dabs placed on the surface
    uint32_t mirroredDabs = 0;  // their twins
    AxisAlignedBoundingBox changedArea;  // world space
};

class StrokeDriver {
public:
    explicit StrokeDriver(BrushOperation& brush) : m_brush(brush) {}

    /// @brief One stroke of the brush over `level` along `path`.
    StrokeReport Run(SubdivisionLevel& level, const std::vector<Vector>& path, const StrokeOptions& options);

    /// @brief The brush once over the whole of `level`: a stroke of one whole-mesh dab of
    /// strength `amount`, weighed by how much each vertex faces the camera when `fromCamera`.
    void RunWholeMesh(SubdivisionLevel& level, float amount, bool fromCamera, BrushOperation::Modifier modifier);

    /// @brief The dab centres the path gives, before they are placed on the surface.
    std::vector<Vector> DabCentres(const std::vector<Vector>& path, float size) const;

private:
    BrushOperation& m_brush;
};

}  // namespace tarnix

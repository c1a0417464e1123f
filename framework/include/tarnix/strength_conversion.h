#pragma once
// tarnix::StrengthConversion: how the host turns the user's strength into what each dab gets.
//
// The user's strength is one scale for every tool: 0 does nothing, 100 is strong, and a stroke
// never moves a vertex further than the brush radius. What a brush does with a dab's raw
// strength differs by tool (the brush's StrengthHints say how), so the conversion goes by the
// tool's family:
//
// - Displacement: the strength is a length, the brush radius times u = strength / 100 (for a
//   vector-displacement stamp, which reads it as a percentage of the stamp's size, the same
//   share of it). The brush's build-up lets a vertex take at most 1 / dabFactor full-weight
//   moves over a stroke, so dabs get raw = u x radius x dabFactor: a stroke moves a vertex by
//   at most u x radius, whatever the number of dabs. The dab factor sets how quickly a stroke
//   reaches that: it grows with the dab spacing and with the tool's build-up rate.
// - Plane, pinch and smoothing tools move a vertex by a fraction of its distance to a plane,
//   to the brush centre or to its neighbours' average; the strength is that fraction per dab
//   (times the brush's per-tool strength scale), so it cannot overshoot. Wax (a plane tool
//   whose strength is a length, the plane's lift) gets a lift of a share of the radius and
//   the fraction through the dab factor, which weighs its moves.
//
// Every per-dab share is scaled with the dab spacing (dabs closer than the presets' spacing,
// a quarter of the radius, each get proportionally less), so a stroke does the same whether
// its dabs are dense or not, and everything is in units of the radius, so the same stroke on a
// mesh scaled by any factor (size and path scaled with it) gives the same shape, scaled.
// Pen pressure scales each dab.
//
// A stroke that comes back over where it has been (a scribble) gives a spot at most two
// passes' worth: each dab is its spacing's share of a pass (spacing / diameter), and a dab gets
// only what the dabs before it within a diameter of it have left of two passes. Every dab
// that reaches a vertex lies within a diameter of the last one that does, so no vertex takes
// more than two passes, however the stroke winds; a straight stroke keeps all of its dabs.

#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "tarnix/brush_operation.h"
#include "tarnix/math/vector.h"

namespace tarnix {

/// What the host passes with one dab: ApplyDab's strength and dab factor, and how many times
/// the dab is applied where it lies (a smoothing that takes more than one step).
struct DabStrength {
    float strength = 0.0f;
    float dabFactor = 1.0f;
    uint32_t repeats = 1;
};

class StrengthConversion {
public:
    /// The strongest setting of the user's scale.
    static constexpr float kStrongest = 100.0f;
    /// The dab spacing (percent of the brush radius) at which each dab gets its full share.
    static constexpr float kFullShareSpacing = 25.0f;

    /// @brief The conversion for a stroke of `brush` (begun, so that the hints are those of
    /// the tool that runs) at the user's `strength` (0..100), with brush radius `radius` and
    /// dabs `spacing` apart (world units).
    StrengthConversion(const BrushOperation& brush, float strength, float radius, float spacing);

    /// Passes' worth a stroke gives any spot.
    static constexpr float kPassesPerSpot = 2.0f;

    /// @brief What the next dab of the stroke, centred at `centre` (world space) at pen
    /// `pressure` (0..1), gets; its mirrored twin gets the same.
    DabStrength Dab(const Vector& centre, float pressure);

    /// @brief The strength of a whole-mesh application (every vertex at full weight, once, at
    /// dab factor 1): lengths are shares of `referenceLength` (world units) instead of the
    /// radius, fractions go all the way at 100.
    static float WholeMesh(const BrushOperation& brush, float strength, float referenceLength);

private:
    struct Placed {
        Vector centre;
        float share;
    };
    // The cell of a grid of a diameter's side that holds `centre`.
    std::array<int64_t, 3> Cell(const Vector& centre) const;

    const BrushOperation& m_brush;
    float m_strength, m_radius;
    float m_spacingShare;  // of the presets' spacing, at most 1
    float m_passShare;     // of a pass
    // The dabs placed so far by grid cell, so that a dab looks only at the cells around it.
    std::map<std::array<int64_t, 3>, std::vector<Placed>> m_placed;
};

}  // namespace tarnix

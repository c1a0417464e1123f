#include "tarnix/strength_conversion.h"

#include <algorithm>
#include <cmath>

namespace tarnix {
namespace {

using Hints = BrushOperation::StrengthHints;

// A vector-displacement stamp reads the dab strength as a percentage of the stamp's width, the
// brush diameter: half of it stands for the radius.
constexpr float kStampPercentPerRadius = 50.0f;
// How quickly a displacement stroke builds up to its strength: a full-share dab gets the dab
// factor 1 / b^kBuildUpWeight, b the tool's build-up (the cube of "builduprate"), so that one
// dab moves a vertex at full weight b^(1 - kBuildUpWeight) of the stroke's reach: two thirds
// of it at the presets' rate of 0.5, two fifths at Foamy's 0.25. A lower build-up rate still
// builds more slowly, but every tool's first dab shows.
constexpr float kBuildUpWeight = 0.8f;
// The fraction of the distance to the plane (percent) a full-share dab of strength 100 moves
// a vertex at the brush centre: all of it.
constexpr float kPlanePercent = 100.0f;
// The same for the smoothing tools, towards the neighbours' average: all of it.
constexpr float kSmoothingPercent = 100.0f;
// A smoothing that only reaches a vertex's immediate neighbours per step evens out little more
// than the faces' own size in one dab; at 100 a full-share dab takes this many steps, so that
// a stroke smooths a form of the brush's size away (fewer at lower strengths).
constexpr float kSmoothingSteps = 6.0f;
// And for Pinch, whose brush takes a tenth of the strength times its strength scale (1/100)
// as the fraction of the distance to the brush centre: 30% of it.
constexpr float kPinchPercent = 300.0f;
// Wax lifts its plane by a tenth of the dab strength times its strength scale (1/2): this
// share of the radius gives a lift a few times the stroke's build-up per dab.
constexpr float kWaxLiftRadii = 4.0f;

float Share(float strength) { return std::clamp(strength / StrengthConversion::kStrongest, 0.0f, 1.0f); }

// The tools that move a vertex by a fraction of its way somewhere take the share on an eased
// curve: two and a half times the share itself near 0, the same at 100, so that the strength a
// preset starts from (15) shows in one stroke while 100 keeps its bound.
float Eased(float u) { return 1.0f - std::pow(1.0f - u, 2.5f); }

// Dabs closer than the full-share spacing each do proportionally less.
float SpacingShare(const BrushOperation& brush, float radius, float spacing) {
    if (brush.PlacesSingleStamp() || !(radius > 0.0f)) return 1.0f;
    return std::clamp(spacing / (radius * StrengthConversion::kFullShareSpacing / 100.0f), 0.0f, 1.0f);
}

// The conversion for a share `u` of the strongest setting and a dab share `share` (spacing
// and pressure), lengths in units of `radius`.
DabStrength Convert(const BrushOperation& brush, float u, float share, float radius, bool singleDab) {
    const Hints hints = brush.ActiveStrengthHints();
    const float scale = brush.StrengthScale();
    DabStrength dab;
    switch (hints.family) {
        case Hints::kDisplacement: {
            // The build-up bounds a stroke's move by strength / dab factor; the dab factor
            // (at most 1 / build-up, so that no weight passes what is left of the build-up)
            // sets how soon it gets there. A single dab takes it all at once.
            const float buildUp = std::clamp(hints.buildUp, 1e-6f, 1.0f);
            const float growth = singleDab ? share / buildUp : share / std::pow(buildUp, kBuildUpWeight);
            dab.dabFactor = std::min(growth, 1.0f / buildUp);
            const float unit = hints.isLength ? radius : kStampPercentPerRadius;
            dab.strength = u * unit * std::min(scale, 1.0f) * dab.dabFactor;
            break;
        }
        case Hints::kPlane:
            if (hints.isLength) {
                // Wax: a lift proportional to the radius; the dab factor weighs its moves.
                dab.strength = radius * kWaxLiftRadii * scale;
                dab.dabFactor = Eased(u) * share;
            } else {
                dab.strength = Eased(u) * share * kPlanePercent * scale;
                dab.dabFactor = share;
            }
            break;
        case Hints::kPinch:
            dab.strength = Eased(u) * share * kPinchPercent * scale;
            dab.dabFactor = share;
            break;
        case Hints::kSmoothing: {
            // A dab moves a vertex at most all the way to its target; more is more steps.
            const float steps = Eased(u) * share * (hints.iterates ? kSmoothingSteps : 1.0f);
            dab.repeats = std::max(1u, uint32_t(std::ceil(steps)));
            dab.strength = steps / float(dab.repeats) * kSmoothingPercent * scale;
            dab.dabFactor = share;
            break;
        }
    }
    return dab;
}

}  // namespace

StrengthConversion::StrengthConversion(const BrushOperation& brush, float strength, float radius, float spacing)
    : m_brush(brush),
      m_strength(strength),
      m_radius(radius),
      m_spacingShare(SpacingShare(brush, radius, spacing)),
      m_passShare(brush.PlacesSingleStamp() || !(radius > 0.0f) ? 1.0f : std::min(spacing / (2.0f * radius), 1.0f)) {}

DabStrength StrengthConversion::Dab(const Vector& centre, float pressure) {
    // What the dabs within a diameter have left of the passes a spot may take; they lie in
    // the cells next to this dab's.
    float used = 0.0f;
    const float reach = 2.0f * m_radius;
    const std::array<int64_t, 3> cell = Cell(centre);
    for (int64_t dx = -1; dx <= 1; ++dx)
        for (int64_t dy = -1; dy <= 1; ++dy)
            for (int64_t dz = -1; dz <= 1; ++dz) {
                const auto found = m_placed.find({cell[0] + dx, cell[1] + dy, cell[2] + dz});
                if (found == m_placed.end()) continue;
                for (const Placed& placed : found->second)
                    if ((placed.centre - centre).LengthSquared() < reach * reach) used += placed.share;
            }
    const float share = std::clamp(kPassesPerSpot - used, 0.0f, m_passShare);
    m_placed[cell].push_back({centre, share});
    return Convert(m_brush, Share(m_strength),
                   m_spacingShare * std::clamp(pressure, 0.0f, 1.0f) * (share / m_passShare), m_radius,
                   m_brush.PlacesSingleStamp());
}

std::array<int64_t, 3> StrengthConversion::Cell(const Vector& centre) const {
    const float side = m_radius > 0.0f ? 2.0f * m_radius : 1.0f;
    const auto index = [&](float x) { return int64_t(std::floor(double(x) / side)); };
    return {index(centre.x), index(centre.y), index(centre.z)};
}

float StrengthConversion::WholeMesh(const BrushOperation& brush, float strength, float referenceLength) {
    const float u = Share(strength);
    const Hints hints = brush.ActiveStrengthHints();
    const float scale = brush.StrengthScale();
    // One application at full weight, without build-up and at dab factor 1: lengths a share of
    // the reference length, fractions those of the strongest dab (all the way at 100). Wax
    // then fills all the way to its plane, lifted by a share of its lift.
    if (hints.family == Hints::kPlane && hints.isLength) return Eased(u) * referenceLength * kWaxLiftRadii * scale;
    if (hints.family == Hints::kDisplacement)
        return u * (hints.isLength ? referenceLength : kStampPercentPerRadius) * std::min(scale, 1.0f);
    return Eased(u) * 100.0f * scale;
}

}  // namespace tarnix

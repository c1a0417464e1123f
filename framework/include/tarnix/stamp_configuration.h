#pragma once
// tarnix::StampConfiguration: how a brush uses its stamp image. The image path comes first,
// then whether the stamp is on; the rest of the record shapes its values (scale and offset,
// inversion), its placement (tiling, rotation, following the stroke, randomising) and how it
// builds up.

#include <QString>

namespace tarnix {

struct StampConfiguration {
    QString m_imagePath;
    bool m_enabled = false;
    /// Scale of the stamp's values (the mask factor).
    float m_factor = 1.0f;
    /// Subtracted from every value (added after inversion).
    float m_offset = 0.0f;
    bool m_inverted = false;
    bool m_tiled = false;
    /// Build-up follows the stamped weight rather than the plain weight.
    bool m_buildUp = false;
    /// Rotation of the stamp on the surface, in degrees.
    float m_rotation = 0.0f;
    /// The stamp turns with the stroke direction.
    bool m_followStroke = false;
    /// Mirrored dabs sample the stamp at their mirror partner (topological symmetry).
    bool m_mirrored = false;
    /// Each dab places the stamp at a random turn and offset along the stroke.
    bool m_randomize = false;
};

}  // namespace tarnix

#pragma once
// tarnix::StampConfiguration: how a brush uses its stamp image. The image path comes first,
// then whether the stamp is on; the rest of the record shapes its values (scale and offset,
// inversion), its placement (tiling, rotation, following the stroke, randomising) and how it
// builds up. The host's stroke driver places the stamp by these settings (docs/framework.md).

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
    /// The image repeats over the surface from where the stroke began, fixed for the stroke,
    /// instead of being carried along by each dab.
    bool m_tiled = false;
    /// Build-up follows the stamped weight rather than the plain weight.
    bool m_buildUp = false;
    /// Rotation of the stamp on the surface, in degrees, counter-clockwise seen from outside.
    float m_rotation = 0.0f;
    /// The stamp's x axis runs along the stroke (turned by the rotation); off, it stays upright
    /// as the camera sees it. On by default: a stamp drawn along x (a knife line) cuts along
    /// every stroke.
    bool m_followStroke = true;
    /// The twins of a mirrored stroke carry the mirror image of the stamp (off: the same image,
    /// turned to follow the mirrored stroke).
    bool m_mirrored = false;
    /// Each dab places the stamp at a random turn and offset along the stroke.
    bool m_randomize = false;
};

}  // namespace tarnix

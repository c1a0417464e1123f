#pragma once
// tarnix::MirrorConfiguration: the brush's symmetry. Modes 1 to 3 mirror across the x, y or z
// plane through the mesh's own origin, 4 to 6 across the world's; 7 is topological symmetry
// (partners found through the mesh's topology; points and directions are mirrored across the
// mesh's own x plane, where a topologically symmetric model is modelled).

#include "tarnix/math/vector.h"

namespace tarnix {

class SurfacePoint;

class MirrorConfiguration {
public:
    enum Mode : int {
        kOff = 0,
        kLocalX = 1,
        kLocalY = 2,
        kLocalZ = 3,
        kWorldX = 4,
        kWorldY = 5,
        kWorldZ = 6,
        kTopological = 7,
    };

    int MirrorMode() const { return m_mode; }
    void SetMirrorMode(int mode) { m_mode = mode; }

    /// @brief The mirror image of `v` in the mesh space of `point`'s mesh: a point for
    /// w = 1, a direction for w = 0. With mirroring off, `v` itself.
    Vector Transform(const Vector& v, float w, const SurfacePoint& point) const;

private:
    int m_mode = kOff;
};

}  // namespace tarnix

#pragma once
// tarnix::MirrorConfiguration: the brush's symmetry. Modes 1 to 3 mirror across the x, y or z
// plane through the mesh's own origin, 4 to 6 across the world's; 7 is topological symmetry
// (partners found through the mesh's topology; points and directions are mirrored across the
// mesh's own x plane, where a topologically symmetric model is modelled). Modes 8 to 15
// mirror across several planes at once, the mesh's (8 to 11) or the world's (12 to 15): a dab
// then has a twin for every combination of those planes (three for two planes, seven for all
// three), each the dab's image across the planes of its combination. Which twin Transform
// gives is chosen with SelectTwin; a single plane or topological symmetry has one.

#include <cstdint>

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
        kLocalXY = 8,
        kLocalXZ = 9,
        kLocalYZ = 10,
        kLocalXYZ = 11,
        kWorldXY = 12,
        kWorldXZ = 13,
        kWorldYZ = 14,
        kWorldXYZ = 15,
    };
    static constexpr int kModeCount = 16;

    int MirrorMode() const { return m_mode; }
    /// @brief Sets the mode (modes outside 0 .. 15 turn mirroring off) and selects its first twin.
    void SetMirrorMode(int mode);

    /// The twins a dab has: 0 off, 1 for a single plane or topological symmetry, 3 or 7 for
    /// two or three planes.
    uint32_t TwinCount() const;
    /// @brief Makes Transform give the image of twin `twin` (1 .. TwinCount()): across the
    /// planes whose place in the mode's list of planes is a bit of `twin`.
    void SelectTwin(uint32_t twin);
    uint32_t SelectedTwin() const { return m_twin; }

    /// @brief The mirror image of `v` for the selected twin, in the mesh space of `point`'s
    /// mesh: a point for w = 1, a direction for w = 0. With mirroring off, `v` itself.
    Vector Transform(const Vector& v, float w, const SurfacePoint& point) const;

private:
    int m_mode = kOff;
    uint32_t m_twin = 1;
};

}  // namespace tarnix

#pragma once
// tarnix::CheckableFloatArray: the host's switch for facing falloff. While s_bActive is set,
// brushes weigh every vertex by how squarely it faces the camera (the brush's facing-falloff
// start and width, in degrees), so that strokes do not reach round to the far side of thin
// shapes.

namespace tarnix {

struct CheckableFloatArray {
    static bool s_bActive;
};

}  // namespace tarnix

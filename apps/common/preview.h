#pragma once
// Pictures of a mesh for the host programs: a pinhole camera (eye, target, vertical field of
// view) casts a ray per pixel through the mesh's spatial grid (in world space, through the
// geometry's transformation); hits are shaded two-sided by a light over the viewer's shoulder.
// Pictures can be labelled, laid out as a contact sheet or side by side, and are written as
// PNG through the host's image codec (to a temporary file, then renamed).
//
// A picture that shows nothing of the mesh, or shows it from inside, says so (Picture::problem)
// rather than passing for a view of the work; the camera's up direction is the world's y axis,
// or its z axis when looking along y, so no direction of view leaves the picture blank.

#include <vector>

#include <QString>

#include "tarnix/math/bounding_box.h"
#include "tarnix/math/vector.h"

namespace tarnix {
class Mesh;
}

namespace corvane_apps {

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;  // rows from the top, three bytes per pixel
    /// Why the picture does not show the mesh as seen from outside; empty when it does.
    QString problem;
};

/// A camera: from `eye` towards `target` (world space), `fovDegrees` the vertical field of view.
struct View {
    tarnix::Vector eye, target;
    float fovDegrees = 30.0f;
    bool wireframe = false;  // darken the faces' edges
};

/// @brief The view along `direction` (from the eye towards the target) at `fovDegrees` that
/// shows all of `box`, aimed at its centre.
View ViewOfBox(const tarnix::AxisAlignedBoundingBox& box, const tarnix::Vector& direction, float fovDegrees);

/// @brief `mesh` seen through `view`, `width` x `height`.
Picture RenderMesh(tarnix::Mesh& mesh, const View& view, int width, int height);
/// @brief Writes `text` into the top left corner of `picture`, on a dark band. False when no
/// font could be found (the picture is then left as it was).
bool Label(Picture& picture, const QString& text);
/// @brief The pictures (all of the same size) in rows of `columns`, left to right, top down.
Picture ContactSheet(const std::vector<Picture>& pictures, int columns);
/// @brief `left` and `right` side by side (the same height).
Picture SideBySide(const Picture& left, const Picture& right);
/// @brief Writes `picture` as PNG. Throws tarnix::Error* when it cannot; nothing is left then.
void WritePng(const Picture& picture, const QString& path);

}  // namespace corvane_apps

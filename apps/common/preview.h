#pragma once
// Pictures of a mesh for the host program: rays cast through the mesh's spatial grid from a
// camera looking at the mesh's centre (in world space, through the geometry's
// transformation), shaded by a light over the viewer's shoulder; written as PNG with
// OpenImageIO (to a temporary file, then renamed).

#include <vector>

#include <QString>

#include "tarnix/math/vector.h"

namespace tarnix {
class Mesh;
}

namespace corvane_apps {

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;  // rows from the top, three bytes per pixel
};

/// @brief `mesh` seen from `eye` (world space) towards its centre, `width` x `height`.
Picture RenderMesh(tarnix::Mesh& mesh, const tarnix::Vector& eye, int width, int height);
/// @brief `left` and `right` side by side (the same height).
Picture SideBySide(const Picture& left, const Picture& right);
/// @brief Writes `picture` as PNG. Throws tarnix::Error* when it cannot; nothing is left then.
void WritePng(const Picture& picture, const QString& path);

}  // namespace corvane_apps

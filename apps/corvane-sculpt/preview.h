#pragma once
// A picture of a mesh for the host program: rays cast through the mesh's spatial grid from a
// camera looking at it, shaded by a light over the viewer's shoulder, written as PNG with
// OpenImageIO (to a temporary file, then renamed).

#include <QString>

#include "tarnix/math/vector.h"

namespace tarnix {
class Mesh;
}

namespace corvane_sculpt {

/// @brief Renders `mesh` from `eye` towards the mesh's centre into a `width` x `height` PNG.
void WritePreview(tarnix::Mesh& mesh, const tarnix::Vector& eye, int width, int height, const QString& path);

}  // namespace corvane_sculpt

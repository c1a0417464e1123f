#pragma once
// Mesh files of the host program: OBJ in (through tinyobjloader) and out (faces kept as they
// are, written to a temporary file and renamed, so that a failed write leaves nothing behind).

#include <QString>

#include "tarnix/mesh.h"
#include "tarnix/polygon_mesh.h"

namespace corvane_sculpt {

/// @brief Reads an OBJ file's vertices and faces. Throws tarnix::Error* naming the file.
tarnix::PolygonMesh ReadObj(const QString& path);
/// @brief Writes `mesh` as OBJ to `path`. Throws tarnix::Error* when it cannot.
void WriteObj(const tarnix::Mesh& mesh, const QString& path);

}  // namespace corvane_sculpt

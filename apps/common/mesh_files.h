#pragma once
// Mesh files of the host program: OBJ in (through tinyobjloader) and out (faces kept as they
// are, written to a temporary file and renamed, so that a failed write leaves nothing behind).

#include <memory>

#include <QString>
#include <QStringList>

#include "tarnix/geometry.h"
#include "tarnix/mesh.h"
#include "tarnix/polygon_mesh.h"

namespace corvane_apps {

/// @brief Reads an OBJ file's vertices and faces. Throws tarnix::Error* naming the file.
tarnix::PolygonMesh ReadObj(const QString& path);
/// @brief Geometry::FromPolygons, its refusal re-raised naming `name` (the mesh's file).
std::unique_ptr<tarnix::Geometry> GeometryFromPolygons(const tarnix::PolygonMesh& polygons, const QString& name,
                                                       QStringList* changes = nullptr);
/// @brief Writes `mesh` as OBJ to `path`, the vertices that faces use; returns their number.
/// Throws tarnix::Error* when it cannot.
uint32_t WriteObj(const tarnix::Mesh& mesh, const QString& path);

}  // namespace corvane_apps

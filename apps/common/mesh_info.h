#pragma once
// The "info" command: what the host sees in a mesh file before sculpting it.

#include <QString>
#include <QTextStream>

namespace corvane_apps {

/// @brief Prints the counts, bounding box, face sizes and valences, border and non-manifold
/// edges, texture coordinates and face names of a mesh file (any format ReadMesh reads), the
/// cleanings the host would make, and whether the mesh can be sculpted by patches. Throws
/// tarnix::Error*.
void PrintMeshInfo(const QString& path, QTextStream& out);

}  // namespace corvane_apps

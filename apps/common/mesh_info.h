#pragma once
// The "info" command: what the host sees in a mesh file before sculpting it.

#include <QString>
#include <QTextStream>

namespace corvane_apps {

/// @brief Prints vertex, face, border and valence statistics of an OBJ file, its bounding box
/// (what brush sizes compare with), the cleanings the host would make, and whether the mesh
/// can be sculpted by patches. Throws tarnix::Error*.
void PrintMeshInfo(const QString& path, QTextStream& out);

}  // namespace corvane_apps

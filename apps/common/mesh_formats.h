#pragma once
// The readers and writers behind ReadMesh and WriteMesh (mesh_files.h), one pair per library.
// Each takes a path whose format is already known and throws tarnix::Error* naming it.

#include "mesh_files.h"

namespace corvane_apps {

[[noreturn]] void MeshFileFault(const QString& text);

/// @brief The vertices faces use, numbered from 0 in vertex order (Mesh::kNone for those no
/// face uses, such as the ones a tessellating brush merged away); `count` receives how many.
std::vector<uint32_t> UsedVertexNumbers(const tarnix::Mesh& mesh, uint32_t& count);

MeshFile ReadObjFile(const QString& path);
uint32_t WriteObjFile(const MeshToWrite& mesh, const QString& path);

/// `extension` is one of MeshFormatsRead() / MeshFormatsWritten() other than "obj".
MeshFile ReadWithAssimp(const QString& path);
uint32_t WriteWithAssimp(const MeshToWrite& mesh, const QString& path, const QString& extension);

}  // namespace corvane_apps

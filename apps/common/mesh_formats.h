#pragma once
// The readers and writers behind ReadMesh and WriteMesh (mesh_files.h), one pair per library.
// Each takes a path whose format is already known and throws tarnix::Error* naming it.

#include <array>
#include <functional>
#include <map>

#include "mesh_files.h"

namespace corvane_apps {

[[noreturn]] void MeshFileFault(const QString& text);

/// @brief The vertices faces use, numbered from 0 in vertex order (Mesh::kNone for those no
/// face uses, such as the ones a tessellating brush merged away); `count` receives how many.
std::vector<uint32_t> UsedVertexNumbers(const tarnix::Mesh& mesh, uint32_t& count);

/// Gathers the vertices and texture coordinates of a format that stores a vertex once per
/// texture coordinate (or per triangle): equal positions become one vertex of `polygons`, equal
/// coordinates one value. Positions and coordinates must be finite.
class CornerJoiner {
public:
    explicit CornerJoiner(tarnix::PolygonMesh& polygons) : m_polygons(polygons) {}
    uint32_t Vertex(const tarnix::Vector& p);
    uint32_t UV(float u, float v);

private:
    tarnix::PolygonMesh& m_polygons;
    std::map<std::array<float, 3>, uint32_t> m_vertexIndex;
    std::map<std::array<float, 2>, uint32_t> m_uvIndex;
};

MeshFile ReadObjFile(const QString& path);
uint32_t WriteObjFile(const MeshToWrite& mesh, const QString& path);

MeshFile ReadPlyFile(const QString& path);
MeshFile ReadStlFile(const QString& path);

/// @brief Refuses a glTF or GLB file whose chunks, buffers, views or accessors reach past what
/// holds them, before a library trusts them.
void CheckGltfFile(const QString& path);

/// How long reading a file may take and how much memory the reader may hold.
struct ReadingBudget {
    double seconds;
    qint64 bytes;
    /// What a file of `fileBytes` bytes may take.
    static ReadingBudget For(qint64 fileBytes);
};

/// @brief Runs `read` in a child process and returns its mesh. A reader that runs past the
/// budget is stopped, and one that crashes ends only the child; either is a fault naming `path`.
MeshFile ReadInChildProcess(const QString& path, const ReadingBudget& budget, const std::function<MeshFile()>& read);

/// glTF (checked first) and FBX files, read by Assimp in a child process.
MeshFile ReadWithAssimp(const QString& path);
uint32_t WriteWithAssimp(const MeshToWrite& mesh, const QString& path, const QString& extension);

}  // namespace corvane_apps

#pragma once
// The readers and writers behind ReadMesh and WriteMesh (mesh_files.h), one pair per library.
// Each takes a path whose format is already known and throws tarnix::Error* naming it.

#include <array>
#include <functional>
#include <vector>

#include "errors.h"
#include "mesh_files.h"

namespace corvane_apps {

/// @brief The vertices faces use, numbered from 0 in vertex order (Mesh::kNone for those no
/// face uses, such as the ones a tessellating brush merged away); `count` receives how many.
std::vector<uint32_t> UsedVertexNumbers(const tarnix::Mesh& mesh, uint32_t& count);

/// Gathers the vertices and texture coordinates of a format that stores a vertex once per
/// texture coordinate (or per triangle): equal positions become one vertex of `polygons`, equal
/// coordinates one value, numbered in the order they first come. Positions and coordinates must
/// be finite; -0 and 0 are equal.
class CornerJoiner {
public:
    explicit CornerJoiner(tarnix::PolygonMesh& polygons) : m_polygons(polygons) {}
    uint32_t Vertex(const tarnix::Vector& p);
    uint32_t UV(float u, float v);

private:
    // An open-addressing table of the values gathered so far: each cell holds a value's
    // index + 1, or 0 when empty; it doubles when half full, so a look-up takes a probe or two.
    struct Table {
        std::vector<uint32_t> cells;
        uint32_t used = 0;
    };
    template <size_t N, typename ValueAt, typename Add>
    uint32_t Join(Table& table, const std::array<float, N>& value, const ValueAt& valueAt, const Add& add);

    tarnix::PolygonMesh& m_polygons;
    Table m_vertices, m_uvs;
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

#pragma once
// DrawMesh: the vertex and index arrays a program draws a mesh from, kept current piece by
// piece while a brush changes the mesh. It is a renderer of the mesh (a child node), so the
// brush's change notifications reach it.
//
// Invariants: the faces are cut into chunks of kFacesPerChunk consecutive faces (on a
// subdivided level, the descendants of one coarser quad). Every chunk owns one contiguous run
// of draw vertices holding each vertex its faces use (a vertex on a chunk's rim appears once
// in each chunk), so a changed chunk is one range of the vertex array to send again. The
// triangle and edge index arrays name draw vertices and change only with the topology. A
// chunk's box holds every vertex of the chunk as last gathered, so a changed area (old and
// new positions of the moved vertices) meets the box of every chunk whose vertices or normals
// it changed.

#include <cstdint>
#include <vector>

#include "tarnix/math/bounding_box.h"
#include "tarnix/mesh_renderer.h"

namespace tarnix {
class Mesh;
}

namespace corvane_apps {

/// One vertex as the graphics card reads it: mesh-space position, the packed normal, and the
/// freeze strength in the normal's fourth component (0 free .. 32766 held).
struct DrawVertex {
    float position[3];
    int16_t normal[4];
};
static_assert(sizeof(DrawVertex) == 20, "draw vertices are five 32-bit words");

class DrawMesh : public tarnix::MeshRenderer {
public:
    static constexpr uint32_t kFacesPerChunk = 1024;

    /// A run of draw vertices that changed.
    struct Range {
        uint32_t first, count;
    };

    /// @brief Makes the arrays of `mesh` and links this renderer under it (the mesh owns it).
    static DrawMesh* AttachTo(tarnix::Mesh& mesh);
    /// @brief Unlinks `drawMesh` from its mesh and deletes it.
    static void Detach(DrawMesh* drawMesh);

    tarnix::Mesh& Mesh() const { return *m_mesh; }
    const std::vector<DrawVertex>& Vertices() const { return m_vertices; }
    const std::vector<uint32_t>& Triangles() const { return m_triangles; }
    /// Pairs of draw vertices: every edge of the mesh once.
    const std::vector<uint32_t>& Edges() const { return m_edges; }
    uint32_t ChunkCount() const { return uint32_t(m_chunkBoxes.size()); }
    /// The chunks waiting to be gathered.
    uint32_t PendingChunks() const { return uint32_t(m_pending.size()); }

    static constexpr uint32_t kVertexReport = 0xFFFFFFFFu;

    /// @brief A brush tells that `vertex` of `quad` moved (`position` kVertexReport): the
    /// quad's chunk is gathered again. Patch reports are counted only.
    void Notify(uint32_t vertex, uint32_t quad, uint32_t position) override;
    /// @brief Vertices inside `area` (mesh space) moved, or their normals or freeze changed.
    void MarkArea(const tarnix::AxisAlignedBoundingBox& area);
    /// @brief Everything may have changed (undo, a layer's strength, a new level).
    void MarkAll();

    /// @brief Gathers the marked chunks from the mesh and returns the runs of Vertices() that
    /// changed, adjacent chunks merged. When the mesh's faces or vertices were added or
    /// removed the arrays are made anew: `rebuilt` is set and the run covers everything.
    const std::vector<Range>& Refresh(bool& rebuilt);

private:
    explicit DrawMesh(tarnix::Mesh& mesh);
    void Build();
    void Gather(uint32_t chunk);
    void Mark(uint32_t chunk);

    tarnix::Mesh* m_mesh;
    uint32_t m_faceCount = 0, m_meshVertexCount = 0;
    std::vector<DrawVertex> m_vertices;
    std::vector<uint32_t> m_meshVertexOf;  // draw vertex -> mesh vertex
    std::vector<uint32_t> m_chunkFirst;    // chunk -> first draw vertex; one past the last at the end
    std::vector<tarnix::AxisAlignedBoundingBox> m_chunkBoxes;
    std::vector<uint32_t> m_triangles, m_edges;
    std::vector<uint8_t> m_marked;
    std::vector<uint32_t> m_pending;
    std::vector<Range> m_ranges;
};

}  // namespace corvane_apps

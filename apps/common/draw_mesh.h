#pragma once
// DrawMesh: the layout of the vertex and index arrays a program draws a mesh from, and which
// parts of them a brush's changes reach. It is a renderer of the mesh (a child node), so the
// brush's change notifications reach it. It keeps no copy of the arrays: they are written
// from the mesh straight into the caller's memory (the graphics card's buffers), the whole
// of them for a new mesh and only the changed ranges of vertices after a dab, so a program
// holds the drawn mesh once, on the card.
//
// Invariants: the faces are cut into chunks of kFacesPerChunk consecutive faces (on a
// subdivided level, the descendants of one coarser quad). Every chunk owns one contiguous run
// of draw vertices holding each vertex its faces use (a vertex on a chunk's rim appears once
// in each chunk), so a changed chunk is one range of the vertex array to send again. The
// triangle and edge index arrays name draw vertices and change only with the topology. A
// chunk's box holds every vertex of the chunk as last refreshed, so a changed area (old and
// new positions of the moved vertices) meets the box of every chunk whose vertices or normals
// it changed. Consecutive chunks form runs drawn with one call each, their indices counted
// from the run's first vertex in 16 bits.

#include <cstdint>
#include <functional>
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
    uint32_t VertexCount() const { return uint32_t(m_meshVertexOf.size()); }

    /// Consecutive chunks drawn with one call: at most kChunksPerRun of them, so that their
    /// draw vertices lie within 65536 of the run's first and indices take 16 bits.
    struct Run {
        uint32_t firstVertex;
        size_t firstTriangleIndex, triangleIndices;  // three per triangle
        size_t firstEdgeIndex, edgeIndices;          // two per edge
    };
    /// A software renderer holds its set-up of the runs in flight: with 8 chunks (16k
    /// triangles of quads) a run's is some 5 MB, against 40 MB with 64.
    static constexpr uint32_t kChunksPerRun = 8;
    static_assert(kChunksPerRun * 4 * kFacesPerChunk <= 65536, "a run's draw vertices take 16-bit indices");
    const std::vector<Run>& Runs() const { return m_runs; }
    /// Three per triangle, the faces' triangles in face order.
    size_t TriangleIndexCount() const {
        return m_runs.empty() ? 0 : m_runs.back().firstTriangleIndex + m_runs.back().triangleIndices;
    }
    /// Two per edge: every edge of the mesh once.
    size_t EdgeIndexCount() const {
        return m_runs.empty() ? 0 : m_runs.back().firstEdgeIndex + m_runs.back().edgeIndices;
    }

    /// @brief Writes draw vertices `first` to `first + count - 1` from the mesh to `out`.
    void WriteVertices(uint32_t first, uint32_t count, DrawVertex* out) const;
    /// @brief Writes the triangles' (or, with `edges`, the edges') index array in order, run
    /// by run: `piece` receives each run's indices (draw vertices less the run's first
    /// vertex) with the position of the first in the whole array.
    void WriteIndices(bool edges,
                      const std::function<void(const std::vector<uint16_t>& piece, size_t at)>& piece) const;
    uint32_t ChunkCount() const { return uint32_t(m_chunkBoxes.size()); }
    /// The chunks waiting to be refreshed.
    uint32_t PendingChunks() const { return uint32_t(m_pending.size()); }

    static constexpr uint32_t kVertexReport = 0xFFFFFFFFu;

    /// @brief A brush tells that `vertex` of `quad` moved (`position` kVertexReport): the
    /// quad's chunk is gathered again. Patch reports are counted only.
    void Notify(uint32_t vertex, uint32_t quad, uint32_t position) override;
    /// @brief Vertices inside `area` (mesh space) moved, or their normals or freeze changed.
    void MarkArea(const tarnix::AxisAlignedBoundingBox& area);
    /// @brief Everything may have changed (undo, a layer's strength, a new level).
    void MarkAll();

    /// @brief Takes the marked chunks' boxes from the mesh and returns the runs of draw
    /// vertices that changed (to be written again), adjacent chunks merged. When the mesh's
    /// faces or vertices were added or removed the layout is made anew: `rebuilt` is set, the
    /// run covers everything and the index arrays are to be written again too.
    const std::vector<Range>& Refresh(bool& rebuilt);

private:
    explicit DrawMesh(tarnix::Mesh& mesh);
    void Build();
    void FitBox(uint32_t chunk);
    void Mark(uint32_t chunk);

    tarnix::Mesh* m_mesh;
    uint32_t m_faceCount = 0, m_meshVertexCount = 0;
    std::vector<Run> m_runs;
    std::vector<uint32_t> m_meshVertexOf;  // draw vertex -> mesh vertex
    std::vector<uint32_t> m_chunkFirst;    // chunk -> first draw vertex; one past the last at the end
    std::vector<tarnix::AxisAlignedBoundingBox> m_chunkBoxes;
    std::vector<uint8_t> m_marked;
    std::vector<uint32_t> m_pending;
    std::vector<Range> m_ranges;
};

}  // namespace corvane_apps

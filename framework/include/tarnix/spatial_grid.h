#pragma once
// tarnix::SpatialGrid: a mesh's spatial index (an Embree bounding-volume hierarchy over its
// faces, reading the mesh's own vertex array, and its corner array for quads; a triangle mesh's
// faces are first sorted so that each chunk is compact in space). It answers ray casts and the
// faces or vertices inside a box. After vertices move, UpdateArea or Update refits the
// hierarchy to the new positions (fast, the tree keeps its shape; only the chunks of faces
// that meet the mesh's moved area are refitted, so the cost follows the change, not the
// mesh); Rebuild builds it anew (better after large changes).
//
// Every chunk keeps the box of its vertices as last fitted. A vertex that moved since had
// its old place noted in the mesh's moved area (Mesh::MovedArea), and that place lies in the
// box of every chunk holding the vertex: so only the chunks whose boxes meet the moved area
// are searched for vertices that left their fitted positions, and only those refitted. What
// the search compares is a 64-bit fingerprint of each block's vertex positions as fitted, not
// a copy of the positions (12 bytes a vertex, 31 MB on a level of 2.6 million): two different
// sets of positions pass for one with a chance of one in 2^64.

#include <cstdint>
#include <vector>

#include "tarnix/enumerators.h"
#include "tarnix/math/bounding_box.h"
#include "tarnix/surface_point.h"

namespace tarnix {

class Mesh;

class SpatialGrid {
public:
    explicit SpatialGrid(Mesh* mesh);
    SpatialGrid(const SpatialGrid&) = delete;
    SpatialGrid& operator=(const SpatialGrid&) = delete;
    ~SpatialGrid();

    /// @brief The space the hierarchy covers: its faces' box and the mesh's BoundingBox() when
    /// the grid was last built, grown by every refit since (a refit never shrinks it).
    const AxisAlignedBoundingBox& Box() const { return m_box; }
    /// @brief A number that changes whenever a grid is built or refitted (no two fits of any
    /// grids share one): a caller that remembers it can tell whether casts still see the
    /// surface it saw.
    uint64_t FitStamp() const { return m_fitStamp; }

    /// @brief Vertices inside `area` moved: the hierarchy is refitted.
    void UpdateArea(const AxisAlignedBoundingBox& area);
    /// @brief Refits the hierarchy to the current positions, unless the mesh's content has
    /// not changed (Node::Version) since the last build or refit.
    void Update();
    /// @brief Builds the hierarchy anew.
    void Rebuild();

    /// @brief Casts a ray from `origin` along `direction` (mesh space). With `bothDirections`
    /// the ray also runs backwards; with `nearest` the closer of the two hits wins, else the
    /// forward hit is preferred. On a hit, `hit` receives the mesh, the face, the position and
    /// the face's unit outward normal (mesh space).
    bool CastRay(const Vector& origin, const Vector& direction, SurfacePoint& hit, bool bothDirections,
                 bool nearest) const;

    /// @brief Tests every face whose box meets `box`, in increasing face order.
    void EnumerateFaces(const AxisAlignedBoundingBox& box, FaceEnumerator* enumerator) const;
    /// @brief Tests every vertex inside `box`, once, with a face holding it.
    void EnumerateVertices(const AxisAlignedBoundingBox& box, VertexEnumerator* enumerator) const;

    /// Faces per chunk: each chunk's hierarchy is refitted only when its vertices moved. A
    /// triangle mesh's chunks are compact in space (see SortTrianglesInSpace) and smaller, as
    /// its strokes refit after every dab; quads keep their patch order and larger chunks.
    static constexpr uint32_t kFacesPerQuadChunk = 16384;
    static constexpr uint32_t kFacesPerTriangleChunk = 4096;
    uint32_t FacesPerChunk() const { return m_facesPerChunk; }
    /// Faces per block: a chunk's blocks keep boxes too, so that finding whether a chunk moved
    /// reads only the blocks near the change.
    static constexpr uint32_t kFacesPerBlock = 128;

    /// @brief The mesh's face that is primitive `primitive` of chunk `chunk`.
    uint32_t FaceOf(uint32_t chunk, uint32_t primitive) const {
        const uint32_t slot = chunk * m_facesPerChunk + primitive;
        return m_chunkFaces.empty() ? slot : m_chunkFaces[slot];
    }

private:
    /// Refits the chunks that meet the mesh's moved area.
    void Refit();
    /// Refits (or, with `rebuild`, builds) the chunks marked in `chunks`, then the scene. A
    /// build reads every block of its chunks; a refit takes the blocks RefitBlocks found.
    void Commit(const std::vector<bool>& chunks, bool rebuild);
    /// Puts a triangle mesh's faces in an order that keeps each chunk compact in space.
    void SortTrianglesInSpace();
    /// The corners of the faces in chunk order: the mesh's own for quads, else the sorted copy.
    const uint32_t* ChunkCorners() const;
    /// Whether a vertex of the chunk left the place it was last fitted at (a chunk that only
    /// meets the moved area `area` need not have moved); only its blocks that meet it are read,
    /// and those that moved take their new fingerprints and boxes, as does the chunk's box.
    bool RefitBlocks(uint32_t chunk, const AxisAlignedBoundingBox& area);
    /// Calls `visit(block, firstCorner, endCorner)` for each block of the chunk, the corners
    /// being positions in ChunkCorners().
    template <class Visit>
    void ForEachBlock(uint32_t chunk, Visit&& visit) const;
    void CollectFaces(const AxisAlignedBoundingBox& box, std::vector<uint32_t>& faces) const;

    Mesh* m_mesh;
    uint32_t m_facesPerChunk = kFacesPerQuadChunk;
    void* m_scene = nullptr;                           // RTCScene
    std::vector<void*> m_geometries;                   // RTCGeometry of each chunk
    std::vector<AxisAlignedBoundingBox> m_chunkBoxes;  // each chunk's vertices when last fitted
    std::vector<AxisAlignedBoundingBox> m_blockBoxes;  // each block's vertices when last fitted
    std::vector<uint64_t> m_blockFingerprints;         // each block's positions when last fitted
    std::vector<uint32_t> m_chunkFaces;                // triangles only: the face in each chunk slot
    std::vector<uint32_t> m_chunkCorners;              // triangles only: their corners, in that order
    AxisAlignedBoundingBox m_box;
    uint64_t m_fitStamp = 0;
    uint32_t m_meshVersion = 0;  // the mesh's content version at the last build or refit
};

}  // namespace tarnix

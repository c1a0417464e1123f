#pragma once
// tarnix::Mesh: a polygon mesh of the host, either all quads (face kind 1, four corner
// entries per face) or all triangles (face kind 0, three per face).
//
// Layout, read directly by plug-ins:
//   m_cornerIndices  vertex index of corner c of face f at entry CornersPerFace() * f + c;
//                    corners run counter-clockwise seen from outside.
//   m_vertices       20-byte records: position, the vertex's slot in the current undo
//                    record, a freeze byte (low 7 bits the strength 0..127).
//   m_normals        four signed 16-bit values per vertex: x, y, z times 32767, and a fourth
//                    value that sculpting leaves alone.
//   m_faceFlags      one byte per face; kFaceSculptable (2) marks faces a brush may change.
//   m_changeCounter  advanced by sculpting code before each pass that must see every vertex
//                    again; undo entries remember the value of the pass that moved them.
//
// Topology queries (edge adjacency, faces around a vertex, the neighbours of a vertex) are
// built on first use, as flat arrays over all vertices, and kept until the topology changes.
// Enumerations call back before they return.

#include <cstdint>
#include <memory>

#include "tarnix/enumerators.h"
#include "tarnix/math/bounding_box.h"
#include "tarnix/math/vector.h"
#include "tarnix/node.h"
#include "tarnix/packed_normal.h"
#include "tarnix/store.h"

namespace tarnix {

class Geometry;
class MeshChange;
class SculptLayer;
class SpatialGrid;
class TopologicalSymmetry;
class Transformation;

struct VertexRecord {
    float position[3];
    /// Slot of the vertex's entry in the mesh's current undo record; valid only when that
    /// entry exists and names this vertex.
    uint32_t undoSlot;
    /// Low 7 bits: freeze strength, 0 free to 127 held. The top bit belongs to the host.
    uint8_t freeze;
    uint8_t reserved[3];
};
static_assert(sizeof(VertexRecord) == 20, "vertex records are five 32-bit words");

/// One neighbour of a vertex as EnumerateAdjacentVertices reports it: the neighbour and a face
/// holding both.
struct VertexNeighbour {
    uint32_t vertex;
    uint32_t face;
};

class Mesh : public TreeNode {
public:
    enum FaceKind : uint32_t { kTriangles = 0, kQuads = 1 };
    static constexpr uint8_t kFaceSculptable = 2;
    static constexpr uint8_t kFreezeStrengthMask = 0x7F;
    /// Edge-adjacency answers at or above this value mean an open (or non-manifold) edge.
    static constexpr uint32_t kOpenBorder = 0x80000000u;
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    Mesh();
    ~Mesh() override;
    const ClassDesc* GetClass() const override;
    static const ClassDesc* StaticClass();

    // ---- data ---------------------------------------------------------------------------------
    uint32_t m_faceCount = 0;
    uint32_t m_faceKind = kQuads;
    Store<uint32_t> m_cornerIndices{"mesh corners"};
    Store<VertexRecord> m_vertices{"mesh vertices"};
    Store<PackedNormal> m_normals{"mesh normals"};
    Store<uint8_t> m_faceFlags{"mesh face flags"};
    uint32_t m_changeCounter = 1;

    uint32_t VertexCount() const { return m_vertices.Count(); }
    uint32_t CornersPerFace() const { return m_faceKind == kQuads ? 4 : 3; }
    const uint32_t* FaceCorners(uint32_t face) const {
        return m_cornerIndices.Data() + size_t(face) * CornersPerFace();
    }
    Vector VertexPosition(uint32_t vertex) const {
        const float* p = m_vertices[vertex].position;
        return {p[0], p[1], p[2]};
    }
    void SetVertexPosition(uint32_t vertex, const Vector& position);
    Vector VertexNormal(uint32_t vertex) const { return UnpackNormal(m_normals[vertex]); }
    /// @brief The face's area vector: for a quad the cross product of its diagonals, for a
    /// triangle that of two edges (twice the area in both cases), not normalised.
    Vector FaceNormal(uint32_t face) const {
        const uint32_t* c = FaceCorners(face);
        if (m_faceKind == kQuads)
            return (VertexPosition(c[2]) - VertexPosition(c[0])) & (VertexPosition(c[3]) - VertexPosition(c[1]));
        const Vector p0 = VertexPosition(c[0]);
        return (VertexPosition(c[1]) - p0) & (VertexPosition(c[2]) - p0);
    }

    /// @brief Replaces the mesh: `cornerIndices` holds CornersPerFace() entries per face.
    /// Every face is sculptable; normals are computed; undo slots and freeze are cleared.
    void SetTopology(FaceKind kind, Store<uint32_t>& cornerIndices, const float* positions, uint32_t vertexCount);
    /// @brief Recomputes every vertex normal from the faces around it.
    void RecomputeNormals();
    /// @brief Recomputes the normals of `count` vertices from the faces around each.
    void RecomputeNormals(const uint32_t* vertices, uint32_t count);

    // ---- hierarchy and transformation ----------------------------------------------------------
    Geometry* GetGeometry() const { return m_geometry; }
    /// @brief The transformation of the mesh's geometry; null for a mesh of its own.
    Transformation* GetTransformation() const;

    // ---- topology queries --------------------------------------------------------------------
    /// @brief The face across side `side` (from corner side to corner side+1) of `face`, as
    /// 4 * neighbour + the neighbour's side of the same edge; kOpenBorder or more when the
    /// edge is open or shared by more than two faces.
    uint32_t EdgeAdjacency(uint32_t face, uint32_t side) const;
    /// @brief The faces holding `vertex`: `count` of them from the returned pointer.
    const uint32_t* FacesAroundVertex(uint32_t vertex, uint32_t& count) const {
        if (m_vertexFaceStart.Count() != VertexCount() + 1) BuildVertexFaces();
        const uint32_t first = m_vertexFaceStart[vertex];
        count = m_vertexFaceStart[vertex + 1] - first;
        return m_vertexFaces.Data() + first;
    }
    /// @brief Reports every neighbour of `vertex` once, each with a face holding both: first
    /// the corner after the vertex in each face around it (in FacesAroundVertex order), then
    /// the corners before it that no face reported yet (border edges). Over all reports, every
    /// face around the vertex appears (once each around an interior vertex). `faceHint` is
    /// accepted for interface compatibility; the mesh knows the faces. Reads the kept
    /// neighbour lists when VertexNeighbours built them, else works them out from the faces.
    void EnumerateAdjacentVertices(AdjacentVertexEnumerator* enumerator, uint32_t vertex, uint32_t faceHint) const;
    /// @brief The reports EnumerateAdjacentVertices makes for `vertex`, in its order: `count`
    /// of them. The lists of all vertices are built on the first call (8 bytes a neighbour)
    /// and kept until the topology changes; a brush that visits many vertices' neighbours
    /// reads them here without a call per neighbour.
    const VertexNeighbour* VertexNeighbours(uint32_t vertex, uint32_t& count) const {
        if (m_neighbourStart.Count() != VertexCount() + 1) BuildNeighbours();
        const uint32_t first = m_neighbourStart[vertex];
        count = m_neighbourStart[vertex + 1] - first;
        return m_neighbours.Data() + first;
    }
    /// @brief The vertices a walk from `vertex` meets next, in EnumerateVerticesFrom's order:
    /// the corners of the faces around it (FacesAroundVertex order, each face's corners in
    /// order), each once and not `vertex` itself, with the first face that holds both: `count`
    /// of them. For triangle meshes, whose walks read these lists instead of each face's
    /// corners: built for all vertices on the first call (8 bytes an entry) and kept until
    /// the topology changes.
    const VertexNeighbour* WalkNeighbours(uint32_t vertex, uint32_t& count) const {
        if (m_walkStart.Count() != VertexCount() + 1) BuildWalkNeighbours();
        const uint32_t first = m_walkStart[vertex];
        count = m_walkStart[vertex + 1] - first;
        return m_walkNeighbours.Data() + first;
    }
    /// @brief Calls the enumerator's Tester for `startFace`, then spreads outward: every face
    /// sharing a corner with a face whose Tester answered true is tested in turn, each face
    /// once per enumeration.
    void EnumerateFacesFrom(FaceEnumerator* enumerator, uint32_t startFace);
    /// @brief The same over vertices: starts with the corners of `startFace` and spreads to
    /// the neighbours of every vertex whose Tester answered true.
    void EnumerateVerticesFrom(VertexEnumerator* enumerator, uint32_t startFace);

    // ---- editing -----------------------------------------------------------------------------
    /// @brief Takes the editing lock for `unlocker`. A lock held by another unlocker is taken
    /// over only when that unlocker's CanUnlock answers true; otherwise false.
    bool Lock(bool forEditing, MeshUnlocker* unlocker);
    void Unlock(bool forEditing);
    MeshUnlocker* LockHolder() const { return m_lockHolder; }

    /// @brief The freeze query: the number of vertices with a non-zero freeze strength.
    uint32_t FrozenVertexCount() const { return m_frozenCount; }
    void SetFreeze(uint32_t vertex, uint8_t strength);
    void SetFaceSculptable(uint32_t face, bool sculptable);

    /// @brief The active sculpt layer; null when the mesh has none.
    virtual SculptLayer* ActiveLayer() const { return nullptr; }

    /// @brief The undo record that collects the current change (created on first use).
    MeshChange* CurrentChange();

    // ---- topology edits (a tessellating brush inside a change) --------------------------------
    /// @brief Before faces or vertices are added or rewired: the current change keeps the mesh
    /// as it was, so that undo brings the old faces back.
    void BeginTopologyEdit();
    /// @brief Appends a vertex at `position` (freeze `freeze`); its normal comes with the
    /// next recompute. Returns its index.
    uint32_t AppendVertex(const Vector& position, uint8_t freeze);
    /// @brief Appends a face of CornersPerFace() corners with `flags`. Returns its index.
    uint32_t AppendFace(const uint32_t* corners, uint8_t flags);
    /// @brief Rewires `face` to `corners`.
    void SetFaceCorners(uint32_t face, const uint32_t* corners);
    /// @brief Removes the faces shrunk to a point (all corners one vertex), keeping the order
    /// of the rest, then TopologyChanged(). Vertices keep their numbers: those no face uses
    /// any more stay, unused (a file writer leaves them out).
    void DropCollapsedFaces();
    /// @brief After the edits: what depends on the topology (adjacency, vertex faces, the
    /// spatial grid, the symmetry, normals, the box) is rebuilt or marked for rebuilding.
    void TopologyChanged();
    /// @brief Ends a change. With `commit` the current undo record, when it keeps anything,
    /// goes to the geometry's undo stack and a fresh one starts; `otherMeshesChanged` tells
    /// that the same operation changed further meshes. Content version and box are updated.
    void EndOfChange(bool commit, bool otherMeshesChanged);

    const AxisAlignedBoundingBox& PendingUpdateBox() const { return m_pendingUpdate; }
    /// @brief Sets the box where vertices moved; it also counts as moved for the spatial grid,
    /// unless it only adds to the pending box the area the grid has just refitted (a brush
    /// that keeps the grid current reports each dab that way: the grid's UpdateArea over the
    /// dab's box, then the pending box grown by it). Without that exception each dab's refit
    /// would search the whole stroke's area again.
    void SetPendingUpdateBox(const AxisAlignedBoundingBox& box);
    /// @brief Where vertices moved since the spatial grid last fitted them: every change of a
    /// position (SetVertexPosition, undo records, a brush's pending-update box) adds the old and
    /// the new place, so the grid refits only the chunks that meet it.
    const AxisAlignedBoundingBox& MovedArea() const { return m_movedArea; }
    void NoteMoved(const AxisAlignedBoundingBox& area) {
        m_movedArea.Extend(area);
        m_justFitted.SetEmpty();
    }
    void NoteMoved(const Vector& position) {
        m_movedArea.Extend(position);
        m_justFitted.SetEmpty();
    }
    void ClearMovedArea() { m_movedArea.SetEmpty(); }
    /// @brief The grid has just refitted `area` (UpdateArea): until the next move is noted or
    /// the change ends, a pending-update box that only adds `area` moves nothing the grid has
    /// not seen.
    void NoteFitted(const AxisAlignedBoundingBox& area) { m_justFitted = area; }
    /// @brief The box of all vertices as of the last UpdateBoundingBox.
    const AxisAlignedBoundingBox& BoundingBox() const;
    /// @brief Grows the box by `area`; an empty `area` recomputes it from all vertices. The
    /// recomputation waits until the box is next asked for, so that a brush ending every stroke
    /// with one pays nothing while nobody looks.
    void UpdateBoundingBox(const AxisAlignedBoundingBox& area);

    /// @brief The mesh's spatial grid (ray casts, box queries); created on first use when
    /// `create` is set, else null until then.
    SpatialGrid* Grid(bool create);

    /// @brief The topological-mirror query: the partner of the vertex at `corner` of `face`
    /// (kNone without one); `mirroredFace` receives the partner face. The symmetry is found
    /// on first use (TopologicalSymmetry); `unused` is left alone.
    uint32_t TopologicalMirror(uint32_t face, uint32_t corner, uint32_t& mirroredFace, uint32_t& unused);
    const TopologicalSymmetry& Symmetry();

    /// @brief A number no other mesh, and no earlier topology of this one, has had: what a
    /// cache built from the faces (e.g. a brush's patch records) is keyed by.
    uint64_t TopologyStamp() const { return m_topologyStamp; }

    /// @brief A fresh mark value for an enumeration over `marks` (the face or the vertex marks),
    /// which is made `count` long first. Each array is made by the first walk that needs it: a
    /// mesh walked only by faces (or only by vertices) never holds the other.
    uint32_t NextEnumerationMark(Store<uint32_t>& marks, uint32_t count);

protected:
    friend class Geometry;
    void InvalidateTopology();
    void ReleaseTopologyCaches();
    void BuildAdjacency() const;
    void BuildVertexFaces() const;
    void BuildNeighbours() const;
    void BuildWalkNeighbours() const;

    Geometry* m_geometry = nullptr;

private:
    MeshUnlocker* m_lockHolder = nullptr;
    uint32_t m_frozenCount = 0;
    AxisAlignedBoundingBox m_pendingUpdate;
    AxisAlignedBoundingBox m_movedArea;
    AxisAlignedBoundingBox m_justFitted;  // the area of the grid's last UpdateArea, until a move is noted
    uint64_t m_topologyStamp;
    mutable AxisAlignedBoundingBox m_boundingBox;
    mutable bool m_boundingBoxStale = false;
    std::unique_ptr<MeshChange> m_currentChange;
    std::unique_ptr<SpatialGrid> m_grid;
    std::unique_ptr<TopologicalSymmetry> m_symmetry;

    // Built on first use.
    mutable Store<uint32_t> m_adjacency{"mesh adjacency"};
    mutable Store<uint32_t> m_vertexFaceStart{"mesh vertex faces"};
    mutable Store<uint32_t> m_vertexFaces{"mesh vertex faces"};
    mutable Store<uint32_t> m_neighbourStart{"mesh vertex neighbours"};
    mutable Store<VertexNeighbour> m_neighbours{"mesh vertex neighbours"};
    mutable Store<uint32_t> m_walkStart{"mesh walk neighbours"};
    mutable Store<VertexNeighbour> m_walkNeighbours{"mesh walk neighbours"};
    Store<uint32_t> m_faceMarks{"mesh enumeration"};
    Store<uint32_t> m_vertexMarks{"mesh enumeration"};
    uint32_t m_enumerationMark = 0;
};

}  // namespace tarnix

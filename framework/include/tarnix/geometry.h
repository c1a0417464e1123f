#pragma once
// tarnix::Geometry: one sculptable object. It owns the hierarchy of subdivision levels (level
// 0 is the base mesh; every level above is all quads, made by Catmull-Clark refinement of the
// one below), the object's transformation and its undo stack.
//
// Level 0 keeps the faces it was given when they are all quads (face kind 1); any other
// polygon mesh is stored as triangles (face kind 0, each polygon a fan), while refinement
// starts from the original polygons. Open borders are refined as smooth boundary curves whose
// corners (border vertices of two edges) stay put (OpenSubdiv's "edge and corner" boundary
// interpolation; its default would turn border faces into holes).
//
// Levels follow the levels below them. When a change of a level below the highest is
// committed, the displacement it made (current minus kept position of every entry) is refined
// one step (the Catmull-Clark rules on quads, OpenSubdiv's stencils from a triangle level 0)
// and added to the level above, and so on up to the highest: the levels above move with the
// level sculpted while keeping their own detail. Only the vertices the displacement reaches
// are touched. What each level
// moved is kept as a follower of the change, so undo and redo restore every level bit for bit.
// A level whose faces no longer descend from the level below (a tessellating brush rewired
// either) stops the carrying there.
//
// The undo history holds at most kMaximumUndoDepth changes and, together with the redo
// stack, no more bytes than the undo budget (a host setting, 2 GiB unless set): committing
// a change drops the oldest ones until both hold. The newest change always stays, so the
// last step can be taken back even when it alone passes the budget.
//
// Texture coordinates given with the polygons are carried to every level by OpenSubdiv's
// face-varying refinement: smooth inside UV islands and along their borders, with the corners
// of islands and the points where three or more islands meet held in place. Every face of a level knows the base
// polygon it comes from (face f of level L >= 1 descends from face f >> 2(L - 1) of level 1, and level 1 holds the base
// polygons' quads polygon by polygon). Both hold only while level 0 keeps the faces it was made with: a tessellating
// brush that rewires them leaves the geometry without either.

#include <cstdint>
#include <memory>
#include <vector>

#include <QStringList>

#include "tarnix/mesh_change.h"
#include "tarnix/node.h"
#include "tarnix/polygon_mesh.h"
#include "tarnix/subdivision_level.h"
#include "tarnix/transformation.h"

namespace tarnix {

/// Texture coordinates of one level: corners[CornersPerFace() * f + k] names the value at
/// corner k of face f.
struct FaceVaryingUVs {
    std::vector<TextureCoordinate> values;
    std::vector<uint32_t> corners;
};

class Geometry : public TreeNode {
public:
    static constexpr size_t kMaximumUndoDepth = 64;
    static constexpr uint64_t kDefaultUndoBudget = uint64_t(2) << 30;

    Geometry();
    ~Geometry() override;
    const ClassDesc* GetClass() const override;
    static const ClassDesc* StaticClass();
    /// @brief The stored form: the base polygons, the placement and every level as it stands
    /// (faces, positions, normals, freeze, face flags, texture coordinates, sculpt layers), so
    /// that a geometry loaded (into a new one, through Stream::LoadObject) is this one bit for
    /// bit, without its undo history. Loading checks what it reads and throws on a fault.
    void Serialize(Stream& stream) override;

    /// @brief A geometry whose level 0 is `polygons` after cleaning (PolygonMesh::Cleaned).
    /// Every cleaning is logged (Kernel::Log) and added to `changes` when given. Throws
    /// tarnix::Error* for a mesh that cannot be accepted.
    static std::unique_ptr<Geometry> FromPolygons(const PolygonMesh& polygons, QStringList* changes = nullptr);

    uint32_t LevelCount() const { return uint32_t(m_levels.size()); }
    SubdivisionLevel* Level(uint32_t index) const;
    SubdivisionLevel* LowestLevel() const { return m_levels.front(); }
    SubdivisionLevel* HighestLevel() const { return m_levels.back(); }

    /// @brief Adds `levels` levels above the highest one, refined from the highest level's
    /// current (sculpted) positions. Sculpt layers stay with the level they belong to.
    void Subdivide(uint32_t levels = 1);
    /// @brief Does ahead what a brush's first dab on `level` would otherwise do: builds every
    /// level's topology caches (edge adjacency, the faces around each vertex), the neighbour
    /// and walk lists of `level` when it is made of triangles (freeing those of the other
    /// levels), and faults in undo entry pages for an eighth of `level`'s vertices
    /// (MeshChange::KeepPagesAhead). A host calls it where it builds the spatial index, on
    /// loading and after subdividing; the caches go again when a level's faces change.
    void PrepareForStrokes(const SubdivisionLevel& level) const;
    /// @brief Frees the spatial grid of every level but `level`; a level's next Grid(true)
    /// builds its grid again. A host that sculpts one level at a time calls it on changing
    /// levels: a scan of 871k triangles has a grid of some 50 MB.
    void FreeGridsBut(const SubdivisionLevel& level);

    /// @brief The texture coordinates of `level`'s face corners; null when the mesh came without
    /// any, or when level 0's faces are no longer those it was made with.
    const FaceVaryingUVs* UVs(uint32_t level) const;
    /// @brief For every face of `level`, the base polygon (of the cleaned polygons) it comes
    /// from; empty when level 0's faces changed or there is no such level.
    std::vector<uint32_t> BasePolygonOfFaces(uint32_t level) const;
    /// @brief Level 0 as given, after cleaning: its faceTags belong to the base polygons.
    const PolygonMesh& BasePolygons() const { return m_basePolygons; }

    Transformation& GetTransformation() { return m_transformation; }
    const Transformation& GetTransformation() const { return m_transformation; }

    // ---- undo --------------------------------------------------------------------------------
    /// @brief Takes a finished change onto the undo stack, after the levels above the change's
    /// level followed it (their moves become the change's followers); the redo stack is
    /// dropped and the oldest changes go while the stack is deeper than kMaximumUndoDepth or holds more than
    /// the undo budget.
    void CommitChange(std::unique_ptr<MeshChange> change);
    /// @brief The bytes the undo history of every geometry may hold (the host's setting).
    static void SetUndoBudget(uint64_t bytes);
    static uint64_t UndoBudget();
    /// @brief The bytes the undo and redo stacks hold now.
    uint64_t UndoBytes() const;
    /// @brief Forgets the latest change without taking it back: for a host whose stroke
    /// turned out to move nothing, so that it leaves no step to undo. False when there is none.
    bool DropLatestChange();
    /// @brief Undoes the latest change; false when there is none.
    bool Undo();
    bool Redo();
    size_t UndoCount() const { return m_undo.size(); }
    size_t RedoCount() const { return m_redo.size(); }
    /// @brief The change on top of the undo stack (the one Undo would take back); null when
    /// there is none.
    const MeshChange* LatestChange() const { return m_undo.empty() ? nullptr : m_undo.back().get(); }

private:
    void AddLevel(SubdivisionLevel* level, FaceVaryingUVs uvs);
    void ApplyChange(MeshChange& change);
    bool BaseFacesIntact() const;
    // One refinement step from a triangle level 0 to level 1, as OpenSubdiv's stencils: what
    // CarryUp reads there. Built on first use; null when the levels no longer correspond.
    struct FollowStencils;
    const FollowStencils* StencilsAbove(uint32_t level);
    // The levels above `change`'s level follow it; their changes become its followers.
    void CarryUp(MeshChange& change);

    std::vector<SubdivisionLevel*> m_levels;     // children of this node
    PolygonMesh m_basePolygons;                  // level 0 as given, for refinement
    std::vector<FaceVaryingUVs> m_uvs;           // per level; empty when the mesh has none
    std::vector<uint32_t> m_firstQuadOfPolygon;  // level 1's first quad of each base polygon, and the total
    uint64_t m_baseFacesFingerprint = 0;         // of level 0's corner indices as made
    Transformation m_transformation;
    std::vector<std::unique_ptr<MeshChange>> m_undo;
    std::vector<std::unique_ptr<MeshChange>> m_redo;
    std::vector<std::unique_ptr<FollowStencils>> m_followStencils;  // by the lower level's index
};

}  // namespace tarnix

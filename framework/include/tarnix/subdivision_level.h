#pragma once
// tarnix::SubdivisionLevel: one level of a geometry's Catmull-Clark hierarchy.
//
// Numbering of quad levels: the four children of quad f of the level below are the quads
// 4f .. 4f+3; child k holds its parent's corner k at its own corner k, and every child keeps
// its parent's orientation (its corner k lies towards the parent's corner k). So the
// descendants of quad p of level P at depth L are the quads p * 4^L .. (p+1) * 4^L - 1, and
// seen from p they form an n x n grid (n = 2^L) whose corners 0, 1, 2, 3 lie at (0, 0),
// (n, 0), (n, n), (0, n) of its vertex grid.
//
// The three index tables per depth L describe that grid (row-major, x = column):
//   QuadIndexTable(L)[y n + x]          the local quad index (quad - p * 4^L) of cell (x, y);
//   InvertedQuadIndexTable(L)[local]    the cell y n + x of a local quad index;
//   QuadVertexIndexTable(L)[y (n+1) + x] the offset, into the patch's run of 4 n^2 corner
//                                        entries, of a corner entry holding vertex (x, y).

#include <memory>
#include <vector>

#include "tarnix/mesh.h"
#include "tarnix/sculpt_layer.h"

namespace tarnix {

class SubdivisionLevel : public Mesh {
public:
    static constexpr uint32_t kMaximumTableDepth = 12;

    SubdivisionLevel() = default;
    ~SubdivisionLevel() override;
    const ClassDesc* GetClass() const override;
    static const ClassDesc* StaticClass();

    /// @brief The level's subdivision index in its geometry (0 for the base mesh).
    uint32_t Index() const { return m_index; }

    SculptLayer* ActiveLayer() const override;
    SculptLayer* AddLayer(const QString& name);
    uint32_t LayerCount() const { return uint32_t(m_layers.size()); }
    SculptLayer* Layer(uint32_t index) const;
    /// @brief Makes layer `index` the active one; an index past the layers leaves none active.
    void SetActiveLayer(uint32_t index) { m_activeLayer = index; }

    static const Store<uint32_t>& QuadIndexTable(uint32_t depth);
    static const Store<uint32_t>& InvertedQuadIndexTable(uint32_t depth);
    static const Store<uint32_t>& QuadVertexIndexTable(uint32_t depth);

private:
    friend class Geometry;
    uint32_t m_index = 0;
    std::vector<std::unique_ptr<SculptLayer>> m_layers;
    uint32_t m_activeLayer = UINT32_MAX;
};

}  // namespace tarnix

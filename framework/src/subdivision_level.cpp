#include "tarnix/subdivision_level.h"

#include <array>

#include "tarnix/error.h"
#include "tarnix/sculpt_layer.h"

namespace tarnix {
namespace {

struct DepthTables {
    Store<uint32_t> quadIndex{"quad index tables"};
    Store<uint32_t> invertedQuadIndex{"quad index tables"};
    Store<uint32_t> quadVertexIndex{"quad index tables"};
};

// The local quad index of cell (x, y) at `depth`: at every depth the quadrant of the cell
// picks the child, child k sitting at corner k: (0, 0) 0, (1, 0) 1, (1, 1) 2, (0, 1) 3.
uint32_t LocalQuad(uint32_t x, uint32_t y, uint32_t depth) {
    static constexpr uint32_t kChildOfQuadrant[2][2] = {{0, 3}, {1, 2}};  // [right][down]
    uint32_t local = 0;
    for (uint32_t level = depth; level-- > 0;) local = local * 4 + kChildOfQuadrant[(x >> level) & 1][(y >> level) & 1];
    return local;
}

const DepthTables& TablesFor(uint32_t depth) {
    if (depth > SubdivisionLevel::kMaximumTableDepth)
        Error::Raise(Error::kCodeInvalidArgument, "tarnix::SubdivisionLevel", "framework/src/subdivision_level.cpp",
                     __LINE__,
                     QStringLiteral("no index tables for depth %1 (at most %2)")
                         .arg(depth)
                         .arg(SubdivisionLevel::kMaximumTableDepth));
    // Kept for the life of the process: plug-ins hold pointers into them.
    static std::array<DepthTables*, SubdivisionLevel::kMaximumTableDepth + 1> cache{};
    if (cache[depth]) return *cache[depth];
    auto* tables = new DepthTables;
    const uint32_t n = 1u << depth;
    if (!tables->quadIndex.Assign(n * n, 0) || !tables->invertedQuadIndex.Assign(n * n, 0) ||
        !tables->quadVertexIndex.Assign((n + 1) * (n + 1), 0))
        throw &Error::s_cBadAlloc;
    for (uint32_t y = 0; y < n; ++y)
        for (uint32_t x = 0; x < n; ++x) {
            const uint32_t local = LocalQuad(x, y, depth);
            tables->quadIndex[y * n + x] = local;
            tables->invertedQuadIndex[local] = y * n + x;
        }
    // A grid vertex is corner 0 of the quad below-right of it; on the last column or row the
    // quad to its left or above holds it as corner 1, 3 or 2.
    for (uint32_t y = 0; y <= n; ++y)
        for (uint32_t x = 0; x <= n; ++x) {
            const uint32_t qx = x < n ? x : n - 1, qy = y < n ? y : n - 1;
            const uint32_t corner = x < n ? (y < n ? 0 : 3) : (y < n ? 1 : 2);
            tables->quadVertexIndex[y * (n + 1) + x] = 4 * LocalQuad(qx, qy, depth) + corner;
        }
    cache[depth] = tables;
    return *tables;
}

}  // namespace

SubdivisionLevel::~SubdivisionLevel() = default;

SculptLayer* SubdivisionLevel::ActiveLayer() const { return Layer(m_activeLayer); }

SculptLayer* SubdivisionLevel::AddLayer(const QString& name) {
    m_layers.push_back(std::make_unique<SculptLayer>(this, name));
    return m_layers.back().get();
}

SculptLayer* SubdivisionLevel::Layer(uint32_t index) const {
    return index < m_layers.size() ? m_layers[index].get() : nullptr;
}

const Store<uint32_t>& SubdivisionLevel::QuadIndexTable(uint32_t depth) { return TablesFor(depth).quadIndex; }

const Store<uint32_t>& SubdivisionLevel::InvertedQuadIndexTable(uint32_t depth) {
    return TablesFor(depth).invertedQuadIndex;
}

const Store<uint32_t>& SubdivisionLevel::QuadVertexIndexTable(uint32_t depth) {
    return TablesFor(depth).quadVertexIndex;
}

}  // namespace tarnix

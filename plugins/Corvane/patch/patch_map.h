#pragma once
// PatchMap: a node hung under the base level of a sculpted mesh that lists, for every face of
// that level, up to ten faces sharing a corner with it. After changing a patch, the brush
// also tells the renderers about these neighbours, whose border normals moved with it.
//
// Layout: m_neighbourFaces holds 10 entries per face; row f is entries 10f to 10f+9. Filled
// slots come first, in the order found; the entries of a row are distinct; 0xFFFFFFFF marks
// an empty slot. The table is saved with the scene (from stream format 328 on).

#include <cstdint>

#include "tarnix/enumerators.h"
#include "tarnix/node.h"
#include "tarnix/store.h"

class PatchMap : public tarnix::TreeNode, public tarnix::AdjacentVertexEnumerator {
public:
    static constexpr uint32_t kSlotsPerFace = 10;
    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    /// Stream format that first carried the table.
    static constexpr uint32_t kTableStreamVersion = 328;

    PatchMap() = default;

    const tarnix::ClassDesc* GetClass() const override;
    static const tarnix::ClassDesc* StaticClass();
    /// @brief The class factory: one map for a count below 2, else an array of `count`.
    static tarnix::Node* Create(uint32_t count);

    /// @brief Builds the table from the parent mesh (a tarnix::Mesh of quads): for each face,
    /// the faces reported around each of its four corners, corner 0 first. Throws the
    /// module's "Wrong parrent for PatchMap class" error under a parent that is no mesh.
    void OnLinked() override;
    void Serialize(tarnix::Stream& stream) override;

    /// @brief Enumeration callback: records `face` in the row of m_currentFace.
    void Operator(uint32_t vertex, uint32_t face) override;

    tarnix::Store<uint32_t> m_neighbourFaces{"unknown"};
    uint32_t m_currentFace = 0;
};

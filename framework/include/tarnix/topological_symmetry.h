#pragma once
// tarnix::TopologicalSymmetry: the mirror partners of a mesh's faces and vertices, found
// through its topology rather than its shape, so that they stay partners however the mesh
// is sculpted.
//
// The search starts from a seed edge lying on the mesh's own x = 0 plane (both ends within a
// ten-thousandth of the mesh's size of it) with faces on both sides; the seed's two faces are
// partners with their corner order reversed, and the pairing spreads across every edge to the
// neighbours. A face reached twice with different partners breaks nothing already paired;
// what cannot be paired keeps no partner (0xFFFFFFFF).

#include <cstdint>
#include <vector>

namespace tarnix {

class Mesh;

class TopologicalSymmetry {
public:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    explicit TopologicalSymmetry(const Mesh& mesh);

    bool IsValid() const { return m_valid; }
    uint32_t PartnerFace(uint32_t face) const { return m_faces[face]; }
    uint32_t PartnerVertex(uint32_t vertex) const { return m_vertices[vertex]; }
    /// @brief The corner of the partner face that holds the partner of corner `corner`.
    uint32_t PartnerCorner(uint32_t face, uint32_t corner) const;

private:
    uint32_t m_cornersPerFace;
    bool m_valid = false;
    std::vector<uint32_t> m_faces;
    std::vector<uint8_t> m_offsets;  // partner corner of corner k: (offset - k) mod corners
    std::vector<uint32_t> m_vertices;
};

}  // namespace tarnix

#pragma once
// Enumerator interfaces: the callbacks through which a mesh hands its faces, vertices and
// the neighbours of a vertex to whoever asked for them. Enumerations call back on the
// caller's thread before they return.

#include <cstdint>

namespace tarnix {

class Mesh;

/// @brief Receives faces. The mesh calls Tester for each face it reaches and spreads an
/// outward enumeration only from faces for which Tester answered true; the default
/// Tester accepts nothing.
class FaceEnumerator {
public:
    virtual ~FaceEnumerator() = default;
    virtual void Operator(Mesh* /*mesh*/, uint32_t /*face*/) {}
    virtual bool Tester(Mesh* /*mesh*/, uint32_t /*face*/) { return false; }
};

/// @brief Receives vertices, each with a face that holds it; Tester answers whether the
/// vertex was inside what the enumerator looks for (the default: no).
class VertexEnumerator {
public:
    virtual ~VertexEnumerator() = default;
    virtual void Operator(Mesh* /*mesh*/, uint32_t /*vertex*/) {}
    virtual bool Tester(Mesh* /*mesh*/, uint32_t /*vertex*/, uint32_t /*face*/) { return false; }
};

/// @brief Receives the neighbours of one vertex, each with a face holding both vertices.
class AdjacentVertexEnumerator {
public:
    virtual ~AdjacentVertexEnumerator() = default;
    virtual void Operator(uint32_t /*vertex*/, uint32_t /*face*/) {}
};

/// @brief Asked by a locked mesh whether the host may take the lock back (default: yes).
class MeshUnlocker {
public:
    virtual ~MeshUnlocker() = default;
    virtual bool CanUnlock() const { return true; }
};

}  // namespace tarnix

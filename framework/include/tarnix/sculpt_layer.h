#pragma once
// Sculpt layers. A level carries a stack of layers; each holds a per-vertex offset and a
// strength, and the level's positions are always its base shape plus every layer's offset
// times that layer's strength. The base is not stored: it is what remains of a position after
// the layers are taken away, so sculpting without a layer changes the base.
//
// A layer's position of a vertex is where the vertex would be with this layer at full
// strength: P + (1 - strength) * offset. Setting it moves the offset by the difference and
// the level's position by strength times that difference.
//
// Layer words: the word a layer gives a vertex for undo entries and position queries is the
// vertex index itself (the offsets are dense).

#include <cstdint>

#include <QString>

#include "tarnix/math/vector.h"
#include "tarnix/store.h"

namespace tarnix {

class Mesh;

class SculptLayer {
public:
    SculptLayer(Mesh* mesh, const QString& name);

    const QString& Name() const { return m_name; }
    float Strength() const { return m_strength; }
    /// @brief Changes the strength and moves the level's positions to match.
    void SetStrength(float strength);
    /// @brief Sets the strength without moving anything: for undo, which puts the positions
    /// back itself.
    void RestoreStrength(float strength) { m_strength = strength; }
    /// @brief A locked layer refuses every face.
    void SetLocked(bool locked) { m_locked = locked; }
    bool IsLocked() const { return m_locked; }

    /// @brief Whether edits of `face` may go into this layer.
    bool AcceptsFace(uint32_t face) const;
    uint32_t LayerWord(uint32_t vertex) const { return vertex; }

    Vector Offset(uint32_t vertex) const { return m_offsets[vertex]; }
    /// @brief Sets the raw offset; the level's position is left alone (undo restores both).
    void SetOffset(uint32_t vertex, const Vector& offset) { m_offsets[vertex] = offset; }

    Vector Position(uint32_t layerWord) const;
    /// @brief Moves the layer position of `vertex` to `position`; with `updateMesh` the
    /// level's position follows by strength times the move.
    void SetPosition(uint32_t layerWord, uint32_t vertex, const Vector& position, bool updateMesh);

private:
    Mesh* m_mesh;
    QString m_name;
    float m_strength = 1.0f;
    bool m_locked = false;
    Store<Vector> m_offsets{"layer offsets"};
};

}  // namespace tarnix

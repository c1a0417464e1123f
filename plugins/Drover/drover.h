#pragma once
// Drover: the moving tools, a brush module of its own on the host's SDK (the framework and
// Velder, nothing of the Corvane module). Its brush serves three presets:
//
//   Grab        the region under the brush where the stroke takes hold follows the pointer in
//               the plane facing the view, each vertex by its falloff weight. The vertices and
//               their weights are fixed when the stroke takes hold, so the region does not
//               slide as it moves; every pointer move sets them from where they started.
//   Snake Hook  pulls the surface along with the pointer, picking the region again around the
//               pulled tip at each step, so that a stroke draws a strand out.
//   Nudge       pushes the surface under each dab along the stroke's direction, laid into the
//               surface's tangent plane there.
//
// Grab and Snake Hook do not space their dabs: the host gives them one dab per pointer point,
// the first where the stroke takes hold, the later ones at the pointer (tarnix/stroke_driver.h).
// The strength is the share of the pointer's travel the brush centre follows (all of it at
// 100); for Nudge a dab's move is the usual displacement length, and a stroke moves a vertex by
// at most the strength's share of the radius. Freeze, sculptable faces and the active sculpt
// layer are respected; every vertex whose position or normal changes gets an undo entry first,
// so that undo and redo are exact.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "tarnix/math/bounding_box.h"
#include "tarnix/math/vector.h"
#include "velder.h"

namespace tarnix {
class Mesh;
class SculptLayer;
}  // namespace tarnix

class Drover : public Velder {
public:
    enum Tool : uint32_t { kGrab = 0, kSnakeHook = 1, kNudge = 2 };

    const tarnix::ClassDesc* GetClass() const override;
    static const tarnix::ClassDesc* StaticClass();

    void SetActiveConfiguration(tarnix::BrushConfiguration* configuration) override;
    void BeginStroke(tarnix::Mesh* mesh, Modifier modifier, TriggerType trigger) override;
    void ApplyDab(const tarnix::SurfacePoint* point, const tarnix::Vector* position, float size, float dabFactor,
                  float strength, tarnix::AxisAlignedBoundingBox& changedArea) override;
    void EndStroke() override;
    /// Grab and Snake Hook follow the pointer, a dab per pointer point; Nudge spaces its dabs.
    bool SpacesDabs() const override;

private:
    // Vertices under the brush: each with a face that holds it, its falloff weight, and where
    // it was (its layer position when a layer is active) when it was picked; and the vertices
    // whose normals the region's moves turn.
    struct Region {
        std::vector<uint32_t> vertices, faces;
        std::vector<float> weights;
        std::vector<tarnix::Vector> start;
        std::vector<uint32_t> normalVertices;
        uint32_t nearestFace = 0;  // the face of the vertex nearest the centre
    };
    // What the dab and each mirrored twin hold (by twin number, 0 the dab's own).
    struct Hold {
        bool taken = false;
        bool entriesKept = false;  // Grab's region has its undo entries
        Region region;
        tarnix::Vector pointerStart, lastPointer, tip;
        uint32_t tipFace = 0;
    };
    static constexpr uint32_t kMostHolds = 8;

    uint32_t ActiveTool() const;
    // Picks the vertices within `radius` of `centre` (mesh space), spreading over the
    // sculptable faces from `startFace`, with the faces the active layer accepts.
    void Pick(tarnix::Mesh& mesh, uint32_t startFace, const tarnix::Vector& centre, float radius, Region& region);
    // The falloff weight at `distance` over `radius`, freeze taken off.
    float Weight(const tarnix::Mesh& mesh, uint32_t vertex, float distance, float radius) const;
    // Gives every vertex of `region` (and those whose normals follow) an undo entry.
    void KeepForUndo(tarnix::Mesh& mesh, const Region& region);
    // Moves `vertex` to `target`: a layer position when a layer is active, else the position.
    void MoveTo(tarnix::Mesh& mesh, uint32_t vertex, const tarnix::Vector& target);
    tarnix::Vector Where(const tarnix::Mesh& mesh, uint32_t vertex) const;
    // Normals, the pending redraw box and the host's changed area after a dab's moves.
    void Finish(tarnix::Mesh& mesh, const Region& region, tarnix::AxisAlignedBoundingBox& changedArea);

    void Grab(Hold& hold, tarnix::Mesh& mesh, const tarnix::Vector& pointer, float share);
    void SnakeHook(Hold& hold, tarnix::Mesh& mesh, const tarnix::Vector& pointer, float share, float radius,
                   tarnix::AxisAlignedBoundingBox& changedArea);
    void Nudge(tarnix::Mesh& mesh, const tarnix::SurfacePoint& point, const tarnix::Vector& position, float radius,
               float length, float dabFactor, tarnix::AxisAlignedBoundingBox& changedArea);

    tarnix::Mesh* m_mesh = nullptr;
    tarnix::SculptLayer* m_layer = nullptr;
    Hold m_holds[kMostHolds];
    // Nudge: the share of its reach each vertex has taken in this stroke.
    std::unordered_map<uint32_t, float> m_used;
    tarnix::AxisAlignedBoundingBox m_moved;  // mesh space, this dab's moves
    uint64_t m_processed = 0, m_updates = 0;
};

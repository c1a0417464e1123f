#include "drover.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "tarnix/brush_configuration.h"
#include "tarnix/enumerators.h"
#include "tarnix/error.h"
#include "tarnix/math/matrix.h"
#include "tarnix/mesh.h"
#include "tarnix/mesh_change.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/surface_point.h"
#include "tarnix/transformation.h"

namespace {

using tarnix::Vector;

// A Snake Hook step moves the tip by at most this share of the radius, so that the region
// picked around the tip still holds what the step before pulled along.
constexpr float kSnakeStepRadii = 0.25f;
// Steps one pointer move takes at most: a jump of the pointer across the screen costs a bounded
// number of picks (and the strand follows it in coarser steps).
constexpr uint32_t kMostSnakeSteps = 64;

tarnix::Matrix ToMesh(const tarnix::Mesh& mesh) {
    const tarnix::Transformation* transformation = mesh.GetTransformation();
    return transformation ? transformation->WorldToMesh() : tarnix::Matrix();
}

tarnix::Matrix ToWorld(const tarnix::Mesh& mesh) {
    const tarnix::Transformation* transformation = mesh.GetTransformation();
    return transformation ? transformation->MeshToWorld() : tarnix::Matrix();
}

// Spreads over the faces from a start face: a face joins when it is sculptable, the layer
// being sculpted accepts it and a corner of it lies inside the brush sphere (the start face
// joins whenever it may be sculpted). Corners inside are the region's vertices; every corner
// of a face that joined turns its normal when they move.
class RegionCollector : public tarnix::FaceEnumerator {
public:
    RegionCollector(const tarnix::SculptLayer* layer, uint32_t startFace, const Vector& centre, float radius)
        : m_layer(layer), m_startFace(startFace), m_centre(centre), m_radius(radius) {}

    bool Tester(tarnix::Mesh* mesh, uint32_t face) override {
        if (face >= mesh->m_faceCount || !(mesh->m_faceFlags[face] & tarnix::Mesh::kFaceSculptable)) return false;
        if (m_layer && !m_layer->AcceptsFace(face)) return false;
        const uint32_t* corners = mesh->FaceCorners(face);
        const uint32_t count = mesh->CornersPerFace();
        bool inside = face == m_startFace;
        for (uint32_t k = 0; k < count; ++k)
            inside |= (mesh->VertexPosition(corners[k]) - m_centre).LengthSquared() < m_radius * m_radius;
        if (!inside) return false;
        for (uint32_t k = 0; k < count; ++k) {
            const uint32_t v = corners[k];
            if (!m_seen.emplace(v, face).second) continue;
            m_cornerVertices.push_back(v);
            const float distance = (mesh->VertexPosition(v) - m_centre).Length();
            if (distance < m_radius) m_inside.push_back({v, face, distance});
        }
        return true;
    }

    struct Inside {
        uint32_t vertex, face;
        float distance;
    };
    const std::vector<Inside>& InsideVertices() const { return m_inside; }
    std::vector<uint32_t>& CornerVertices() { return m_cornerVertices; }

private:
    const tarnix::SculptLayer* m_layer;
    uint32_t m_startFace;
    Vector m_centre;
    float m_radius;
    std::unordered_map<uint32_t, uint32_t> m_seen;
    std::vector<Inside> m_inside;
    std::vector<uint32_t> m_cornerVertices;
};

}  // namespace

uint32_t Drover::ActiveTool() const { return ActiveConfiguration() ? ActiveConfiguration()->ID() : kGrab; }

bool Drover::SpacesDabs() const { return ActiveTool() == kNudge; }

void Drover::SetActiveConfiguration(tarnix::BrushConfiguration* configuration) {
    Velder::SetActiveConfiguration(configuration);
    const bool firstUse = !IsConfigurationInited(configuration);
    const bool followsPointer = ActiveTool() != kNudge;
    // Settings the moving tools have no use for: they move along the pointer or the stroke,
    // neither tessellate nor stamp, and spread over the surface from where they take hold.
    for (tarnix::Attribute* unused : std::initializer_list<tarnix::Attribute*>{
             &m_directionAttr, &m_invertAttr, &m_dabJitterAttr, &m_stampRandomizeAttr, &m_projectToSurfaceAttr,
             &m_adaptiveRefineAttr, &m_curvatureRefineAttr, &m_dynamicTessellationAttr, &m_refineModeAttr,
             &m_refineIntervalAttr, &m_falloffTypeAttr, &m_distanceModeAttr})
        unused->SetVisible(false);
    // A dab per pointer point: no spacing or steadying of the path.
    for (tarnix::Attribute* spacing : std::initializer_list<tarnix::Attribute*>{
             &m_dabSpacingAttr, &m_strokeSmoothingAttr, &m_steadyStrokeAttr, &m_pressureSizeAttr})
        spacing->SetVisible(!followsPointer);
    if (firstUse) {
        // Grab and Snake Hook follow the pointer all the way; a Nudge stroke pushes half a radius.
        SetBrushStrength(followsPointer ? 100.0f : 50.0f);
        SetFalloffIndex(1);
        m_dabSpacingAttr.SetValue(25.0f, true);
        SetStrokeSmoothing(false, 0.0f);
        SetStamp(false, QString());
    }
}

void Drover::BeginStroke(tarnix::Mesh* mesh, Modifier modifier, TriggerType trigger) {
    Velder::BeginStroke(mesh, modifier, trigger);
    // Every tool reads its strength as a share of a length (the pointer's travel, Nudge's reach
    // of the radius), without build-up.
    m_strengthHints = StrengthHints();
    m_strokeStatistics = StrokeStatistics();
    m_mesh = mesh;
    m_layer = mesh ? mesh->ActiveLayer() : nullptr;
    for (Hold& hold : m_holds) hold = Hold();
    m_used.clear();
    m_processed = m_updates = 0;
}

void Drover::EndStroke() {
    Velder::EndStroke();
    if (m_mesh) {
        // A grab can shrink the mesh's box as well as grow it: it is recomputed when next asked.
        if (m_updates != 0) m_mesh->UpdateBoundingBox(tarnix::AxisAlignedBoundingBox());
        m_mesh->EndOfChange(true, false);
    }
    m_strokeStatistics.processedVertices = m_processed;
    m_strokeStatistics.vertexUpdates = m_updates;
    m_mesh = nullptr;
    m_layer = nullptr;
    for (Hold& hold : m_holds) hold = Hold();
    m_used.clear();
}

void Drover::ApplyDab(const tarnix::SurfacePoint* point, const Vector* position, float size, float dabFactor,
                      float strength, tarnix::AxisAlignedBoundingBox& changedArea) {
    if (!point || !point->m_mesh || !position || point->m_mesh != m_mesh || !(size > 0.0f)) return;
    tarnix::Mesh& mesh = *point->m_mesh;
    const tarnix::Matrix toMesh = ToMesh(mesh);
    const float scale = toMesh.Transform({1, 0, 0}, 0.0f).Length();
    const float radius = size * scale;
    const Vector pointer = toMesh.Transform(*position, 1.0f);
    // The share of the pointer's travel the centre follows: the dab strength is that share of
    // the radius (tarnix/strength_conversion.h), weighed by the pen.
    const float share = std::clamp(strength / size, 0.0f, 1.0f);
    const uint32_t twin = MirrorConfig().SelectedTwin();
    switch (ActiveTool()) {
        case kGrab: {
            if (twin >= kMostHolds) return;
            Hold& hold = m_holds[twin];
            if (!hold.taken) {
                Pick(mesh, point->m_face, point->m_position, radius, hold.region);
                hold.pointerStart = pointer;
                hold.taken = true;
                return;
            }
            Grab(hold, mesh, pointer, share);
            Finish(mesh, hold.region, changedArea);
            break;
        }
        case kSnakeHook: {
            if (twin >= kMostHolds) return;
            Hold& hold = m_holds[twin];
            if (!hold.taken) {
                hold.tip = point->m_position;
                hold.tipFace = point->m_face;
                hold.lastPointer = pointer;
                hold.taken = true;
                return;
            }
            SnakeHook(hold, mesh, pointer, share, radius, changedArea);
            break;
        }
        case kNudge:
            Nudge(mesh, *point, *position, radius, strength * scale, dabFactor, changedArea);
            break;
        default:
            break;
    }
}

void Drover::Pick(tarnix::Mesh& mesh, uint32_t startFace, const Vector& centre, float radius, Region& region) {
    RegionCollector collector(m_layer, startFace, centre, radius);
    mesh.EnumerateFacesFrom(&collector, startFace);
    region.vertices.clear();
    region.faces.clear();
    region.weights.clear();
    region.start.clear();
    region.normalVertices.swap(collector.CornerVertices());
    float nearest = INFINITY;
    region.nearestFace = startFace;
    for (const RegionCollector::Inside& inside : collector.InsideVertices()) {
        region.vertices.push_back(inside.vertex);
        region.faces.push_back(inside.face);
        region.weights.push_back(Weight(mesh, inside.vertex, inside.distance, radius));
        region.start.push_back(Where(mesh, inside.vertex));
        if (inside.distance < nearest) nearest = inside.distance, region.nearestFace = inside.face;
    }
    m_processed += region.normalVertices.size();
}

float Drover::Weight(const tarnix::Mesh& mesh, uint32_t vertex, float distance, float radius) const {
    const Falloff falloff = FalloffData();
    float weight = 1.0f;
    if (falloff.data && falloff.count > 1) {
        const float at = std::clamp(distance / radius, 0.0f, 1.0f) * float(falloff.count - 1);
        const uint32_t below = std::min(uint32_t(at), falloff.count - 2);
        const float t = at - float(below);
        weight = falloff.data[below] * (1.0f - t) + falloff.data[below + 1] * t;
    }
    const float freeze = float(mesh.m_vertices[vertex].freeze & tarnix::Mesh::kFreezeStrengthMask) / 127.0f;
    return std::max(weight, 0.0f) * (1.0f - freeze);
}

void Drover::KeepForUndo(tarnix::Mesh& mesh, const Region& region) {
    // The entries keep positions, normals and layer offsets as the stroke found them; a vertex
    // whose normal only turns needs one as much as a moved one.
    tarnix::MeshChange* change = mesh.CurrentChange();
    for (const uint32_t v : region.normalVertices)
        if (!change->Find(v) &&
            !change->Add_uncached(v, region.nearestFace, &mesh.m_vertices[v], m_layer != nullptr, 0.0f))
            throw &tarnix::Error::s_cBadAlloc;
}

Vector Drover::Where(const tarnix::Mesh& mesh, uint32_t vertex) const {
    return m_layer ? m_layer->Position(m_layer->LayerWord(vertex)) : mesh.VertexPosition(vertex);
}

void Drover::MoveTo(tarnix::Mesh& mesh, uint32_t vertex, const Vector& target) {
    m_moved.Extend(mesh.VertexPosition(vertex));
    if (m_layer) m_layer->SetPosition(m_layer->LayerWord(vertex), vertex, target, true);
    else mesh.SetVertexPosition(vertex, target);
    m_moved.Extend(mesh.VertexPosition(vertex));
    ++m_updates;
}

void Drover::Finish(tarnix::Mesh& mesh, const Region& region, tarnix::AxisAlignedBoundingBox& changedArea) {
    if (m_moved.IsEmpty()) return;
    mesh.RecomputeNormals(region.normalVertices.data(), uint32_t(region.normalVertices.size()));
    tarnix::AxisAlignedBoundingBox pending = mesh.PendingUpdateBox();
    pending.Extend(m_moved);
    mesh.SetPendingUpdateBox(pending);
    changedArea.Extend(m_moved.Transformed(ToWorld(mesh)));
    m_moved.SetEmpty();
}

void Drover::Grab(Hold& hold, tarnix::Mesh& mesh, const Vector& pointer, float share) {
    // Set from where each vertex started, not added up: the region keeps its shape however
    // the pointer wanders, and comes back to it when the pointer does.
    const Region& region = hold.region;
    // The region is fixed for the stroke: its undo entries are kept at its first move, not
    // looked up again at every one (a stroke that never moves leaves no history).
    if (!hold.entriesKept) {
        KeepForUndo(mesh, region);
        hold.entriesKept = true;
    }
    const Vector travel = (pointer - hold.pointerStart) * share;
    for (size_t i = 0; i < region.vertices.size(); ++i)
        MoveTo(mesh, region.vertices[i], region.start[i] + travel * region.weights[i]);
}

void Drover::SnakeHook(Hold& hold, tarnix::Mesh& mesh, const Vector& pointer, float share, float radius,
                       tarnix::AxisAlignedBoundingBox& changedArea) {
    const Vector delta = (pointer - hold.lastPointer) * share;
    hold.lastPointer = pointer;
    const float length = delta.Length();
    if (!(length > 0.0f)) return;
    const uint32_t steps = std::clamp(uint32_t(std::ceil(length / (radius * kSnakeStepRadii))), 1u, kMostSnakeSteps);
    const Vector step = delta * (1.0f / float(steps));
    Region& region = hold.region;
    for (uint32_t s = 0; s < steps; ++s) {
        // The region is picked again around the tip, which the steps before pulled out.
        Pick(mesh, hold.tipFace, hold.tip, radius, region);
        if (region.vertices.empty()) return;
        KeepForUndo(mesh, region);
        for (size_t i = 0; i < region.vertices.size(); ++i)
            MoveTo(mesh, region.vertices[i], region.start[i] + step * region.weights[i]);
        Finish(mesh, region, changedArea);
        hold.tip = hold.tip + step;
        hold.tipFace = region.nearestFace;
    }
}

void Drover::Nudge(tarnix::Mesh& mesh, const tarnix::SurfacePoint& point, const Vector& position, float radius,
                   float length, float dabFactor, tarnix::AxisAlignedBoundingBox& changedArea) {
    // The stroke's direction from the dab before (none for the stroke's first), laid into the
    // surface's tangent plane at the dab.
    const Vector previous = PreviousPatchPosition();
    if (previous.x == 0.0f && previous.y == 0.0f && previous.z == 0.0f) return;
    if (!(dabFactor > 0.0f)) return;
    Vector direction = ToMesh(mesh).Transform(position - previous, 0.0f);
    const Vector normal = point.m_normal.Normalized();
    direction = direction - normal * (direction | normal);
    if (!(direction.LengthSquared() > 0.0f)) return;
    direction = direction.Normalized();
    // The dab's length is its share of the stroke's reach (tarnix/strength_conversion.h): a
    // vertex takes at most the whole reach over the stroke, whatever the number of dabs.
    const float reach = length / dabFactor;
    Region region;
    Pick(mesh, point.m_face, point.m_position, radius, region);
    KeepForUndo(mesh, region);
    for (size_t i = 0; i < region.vertices.size(); ++i) {
        float& used = m_used[region.vertices[i]];
        const float take = std::min(region.weights[i] * dabFactor, 1.0f - used);
        if (!(take > 0.0f)) continue;
        used += take;
        MoveTo(mesh, region.vertices[i], region.start[i] + direction * (reach * take));
    }
    Finish(mesh, region, changedArea);
}

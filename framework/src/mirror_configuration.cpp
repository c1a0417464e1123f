#include "tarnix/mirror_configuration.h"

#include "tarnix/mesh.h"
#include "tarnix/surface_point.h"
#include "tarnix/transformation.h"

namespace tarnix {
namespace {

// The axes (bit 0 x, bit 1 y, bit 2 z) whose planes a mode mirrors across, and whether they
// are the world's.
struct Planes {
    uint32_t axes;
    bool world;
};

Planes PlanesOf(int mode) {
    static constexpr Planes kPlanes[MirrorConfiguration::kModeCount] = {
        {0, false}, {1, false}, {2, false}, {4, false}, {1, true}, {2, true}, {4, true}, {1, false},
        {3, false}, {5, false}, {6, false}, {7, false}, {3, true}, {5, true}, {6, true}, {7, true}};
    return mode >= 0 && mode < MirrorConfiguration::kModeCount ? kPlanes[mode] : Planes{0, false};
}

// The axes twin `twin` flips: the mode's planes picked by the twin's bits, in order.
uint32_t FlippedAxes(uint32_t axes, uint32_t twin) {
    uint32_t flipped = 0, bit = 0;
    for (uint32_t axis = 0; axis < 3; ++axis)
        if (axes & (1u << axis)) {
            if (twin & (1u << bit)) flipped |= 1u << axis;
            ++bit;
        }
    return flipped;
}

Vector Flipped(Vector v, uint32_t axes) {
    if (axes & 1u) v.x = -v.x;
    if (axes & 2u) v.y = -v.y;
    if (axes & 4u) v.z = -v.z;
    return v;
}

}  // namespace

void MirrorConfiguration::SetMirrorMode(int mode) {
    m_mode = mode >= 0 && mode < kModeCount ? mode : kOff;
    m_twin = 1;
}

uint32_t MirrorConfiguration::TwinCount() const {
    const uint32_t axes = PlanesOf(m_mode).axes;
    const uint32_t planes = (axes & 1u) + ((axes >> 1) & 1u) + ((axes >> 2) & 1u);
    return (1u << planes) - 1u;
}

void MirrorConfiguration::SelectTwin(uint32_t twin) { m_twin = twin; }

Vector MirrorConfiguration::Transform(const Vector& v, float w, const SurfacePoint& point) const {
    const Planes planes = PlanesOf(m_mode);
    const uint32_t flipped = FlippedAxes(planes.axes, m_twin);
    if (flipped == 0) return v;
    if (!planes.world) return Flipped(v, flipped);
    const Transformation* transformation = point.m_mesh ? point.m_mesh->GetTransformation() : nullptr;
    if (!transformation) return Flipped(v, flipped);
    const Vector world = transformation->MeshToWorld().Transform(v, w);
    return transformation->WorldToMesh().Transform(Flipped(world, flipped), w);
}

}  // namespace tarnix

#include "tarnix/mirror_configuration.h"

#include "tarnix/mesh.h"
#include "tarnix/surface_point.h"
#include "tarnix/transformation.h"

namespace tarnix {
namespace {

Vector Flip(Vector v, int axis) {
    (axis == 0 ? v.x : axis == 1 ? v.y : v.z) *= -1.0f;
    return v;
}

}  // namespace

Vector MirrorConfiguration::Transform(const Vector& v, float w, const SurfacePoint& point) const {
    switch (m_mode) {
        case kLocalX:
        case kTopological: return Flip(v, 0);
        case kLocalY: return Flip(v, 1);
        case kLocalZ: return Flip(v, 2);
        case kWorldX:
        case kWorldY:
        case kWorldZ: {
            const Transformation* transformation = point.m_mesh ? point.m_mesh->GetTransformation() : nullptr;
            if (!transformation) return Flip(v, m_mode - kWorldX);
            const Vector world = transformation->MeshToWorld().Transform(v, w);
            return transformation->WorldToMesh().Transform(Flip(world, m_mode - kWorldX), w);
        }
        default: return v;
    }
}

}  // namespace tarnix

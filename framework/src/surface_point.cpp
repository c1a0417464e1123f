#include "tarnix/surface_point.h"

#include "tarnix/mesh.h"
#include "tarnix/transformation.h"

namespace tarnix {

SurfacePoint::SurfacePoint(Mesh* mesh, uint32_t face, uint8_t mirrored)
    : m_mesh(mesh), m_face(face), m_mirrored(mirrored) {
    if (!mesh || face >= mesh->m_faceCount) return;
    const uint32_t* corners = mesh->FaceCorners(face);
    const uint32_t count = mesh->CornersPerFace();
    for (uint32_t k = 0; k < count; ++k) m_position += mesh->VertexPosition(corners[k]);
    m_position *= 1.0f / float(count);
    m_normal = mesh->FaceNormal(face).Normalized();
}

Vector SurfacePoint::WorldPosition() const {
    const Transformation* transformation = m_mesh ? m_mesh->GetTransformation() : nullptr;
    return transformation ? transformation->MeshToWorld().Transform(m_position, 1.0f) : m_position;
}

}  // namespace tarnix

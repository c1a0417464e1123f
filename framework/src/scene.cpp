#include "tarnix/scene.h"

#include <cmath>

#include "tarnix/mesh.h"

namespace tarnix {

void Camera::LookAt(const Vector& eye, const Vector& target) {
    const Vector backward = (eye - target).Normalized();
    const Vector roughUp = std::fabs(backward.y) > 0.99f ? Vector(0, 0, 1) : Vector(0, 1, 0);
    const Vector right = (roughUp & backward).Normalized();
    const Vector up = backward & right;
    const Vector rows[4] = {right, up, backward, eye};
    for (int r = 0; r < 4; ++r) {
        m_transformation[r][0] = rows[r].x;
        m_transformation[r][1] = rows[r].y;
        m_transformation[r][2] = rows[r].z;
        m_transformation[r][3] = r == 3 ? 1.0f : 0.0f;
    }
}

Vector TarnixCurve::SurfacePosition(const Mesh& mesh, uint32_t face, float u, float v) {
    const uint32_t* c = mesh.FaceCorners(face);
    if (mesh.m_faceKind == Mesh::kQuads)
        return mesh.VertexPosition(c[0]) * ((1 - u) * (1 - v)) + mesh.VertexPosition(c[1]) * (u * (1 - v)) +
               mesh.VertexPosition(c[2]) * (u * v) + mesh.VertexPosition(c[3]) * ((1 - u) * v);
    return mesh.VertexPosition(c[0]) * (1 - u - v) + mesh.VertexPosition(c[1]) * u + mesh.VertexPosition(c[2]) * v;
}

void TarnixCurve::AddAttachedPoint(Mesh* mesh, uint32_t face, float u, float v) {
    m_points.push_back({SurfacePosition(*mesh, face, u, v), mesh, face, u, v});
}

void TarnixCurve::FollowSurface(CurveManipulator& manipulator, Mesh* mesh) {
    if (!m_updating || m_state != kFollowingSurface) return;
    for (uint32_t i = 0; i < m_points.size(); ++i) {
        const Point& point = m_points[i];
        if (point.mesh != mesh || !mesh || point.face >= mesh->m_faceCount) continue;
        const Vector now = SurfacePosition(*mesh, point.face, point.u, point.v);
        if (now != point.position) manipulator.Record(this, i, point.position, now);
    }
}

}  // namespace tarnix

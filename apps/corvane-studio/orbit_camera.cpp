#include "orbit_camera.h"

#include <algorithm>
#include <cmath>

namespace corvane_studio {
namespace {

constexpr float kMostPitch = 89.0f;

float Radians(float degrees) { return degrees * 3.14159265358979f / 180.0f; }

}  // namespace

QVector3D OrbitCamera::Eye() const {
    const float yaw = Radians(m_yaw), pitch = Radians(m_pitch);
    const QVector3D backward(std::sin(yaw) * std::cos(pitch), std::sin(pitch), std::cos(yaw) * std::cos(pitch));
    return m_target + backward * m_distance;
}

QMatrix4x4 OrbitCamera::ViewMatrix() const {
    QMatrix4x4 view;
    view.lookAt(Eye(), m_target, {0, 1, 0});
    return view;
}

QMatrix4x4 OrbitCamera::Projection(const QSize& size) const {
    // The planes hold the framed box's sphere from wherever the eye is, the near one kept
    // off zero so that depth keeps its precision when the eye is inside the box.
    const float centreDepth = QVector3D::dotProduct(m_boxCentre - Eye(), Forward());
    const float farPlane = std::max(centreDepth + m_boxRadius * 1.05f, m_boxRadius * 0.01f);
    const float nearPlane = std::max(centreDepth - m_boxRadius * 1.05f, farPlane * 1e-4f);
    QMatrix4x4 projection;
    projection.perspective(kFieldOfViewDegrees, float(size.width()) / float(std::max(1, size.height())), nearPlane,
                           farPlane);
    return projection;
}

void OrbitCamera::Orbit(const QPointF& pixels) {
    m_yaw -= float(pixels.x()) * 0.4f;
    m_pitch = std::clamp(m_pitch + float(pixels.y()) * 0.4f, -kMostPitch, kMostPitch);
}

void OrbitCamera::Pan(const QPointF& pixels, const QSize& viewport) {
    const QVector3D forward = Forward();
    const QVector3D right = QVector3D::crossProduct(forward, {0, 1, 0}).normalized();
    const QVector3D up = QVector3D::crossProduct(right, forward);
    const float scale = WorldPerPixel(m_distance, viewport);
    m_target += (-right * float(pixels.x()) + up * float(pixels.y())) * scale;
}

void OrbitCamera::Zoom(float factor) {
    m_distance = std::clamp(m_distance * factor, m_boxRadius * 1e-3f, m_boxRadius * 1e3f);
}

void OrbitCamera::Fit(const QVector3D& minimum, const QVector3D& maximum) {
    m_boxCentre = (minimum + maximum) * 0.5f;
    m_boxRadius = std::max((maximum - minimum).length() * 0.5f, 1e-6f);
}

void OrbitCamera::Frame(const QVector3D& minimum, const QVector3D& maximum) {
    Fit(minimum, maximum);
    m_target = m_boxCentre;
    m_distance = m_boxRadius / std::sin(Radians(kFieldOfViewDegrees * 0.5f)) * 1.1f;
}

void OrbitCamera::SetView(View view) {
    switch (view) {
        case View::kFront:
            m_yaw = 0.0f, m_pitch = 0.0f;
            break;
        case View::kSide:
            m_yaw = 90.0f, m_pitch = 0.0f;
            break;
        case View::kTop:
            m_yaw = 0.0f, m_pitch = kMostPitch;
            break;
    }
}

void OrbitCamera::Ray(const QPointF& pixel, const QSize& viewport, QVector3D& origin, QVector3D& direction) const {
    const QMatrix4x4 inverse = (Projection(viewport) * ViewMatrix()).inverted();
    const float x = float(2.0 * pixel.x() / std::max(1, viewport.width()) - 1.0);
    const float y = float(1.0 - 2.0 * pixel.y() / std::max(1, viewport.height()));
    const QVector3D nearPoint = inverse.map(QVector3D(x, y, -1.0f));
    const QVector3D farPoint = inverse.map(QVector3D(x, y, 1.0f));
    origin = Eye();
    direction = (farPoint - nearPoint).normalized();
}

float OrbitCamera::WorldPerPixel(float depth, const QSize& viewport) const {
    return 2.0f * depth * std::tan(Radians(kFieldOfViewDegrees * 0.5f)) / float(std::max(1, viewport.height()));
}

}  // namespace corvane_studio

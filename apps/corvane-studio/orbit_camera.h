#pragma once
// The studio's view: a perspective camera orbiting a target point. It turns pointer moves
// into orbit, pan and zoom, frames a box, gives the standard views, and maps pixels to rays
// in world space. Invariants: the distance to the target is positive; pitch stays short of
// straight up or down, so the up direction is always +y; the near and far planes enclose the
// framed box from wherever the camera is.

#include <QMatrix4x4>
#include <QPointF>
#include <QSize>
#include <QVector3D>

namespace corvane_studio {

class OrbitCamera {
public:
    enum class View { kFront, kSide, kTop };
    static constexpr float kFieldOfViewDegrees = 35.0f;

    QVector3D Eye() const;
    QVector3D Target() const { return m_target; }
    /// The unit direction the camera looks in.
    QVector3D Forward() const { return (m_target - Eye()).normalized(); }
    float Distance() const { return m_distance; }

    QMatrix4x4 ViewMatrix() const;
    /// @brief The projection for a viewport of `size`, its near and far planes fitted to the
    /// box given to Fit.
    QMatrix4x4 Projection(const QSize& size) const;

    /// @brief Turns by pixels dragged: sideways about the up axis, up and down about the
    /// camera's right axis.
    void Orbit(const QPointF& pixels);
    /// @brief Moves camera and target so the point under the pointer follows it.
    void Pan(const QPointF& pixels, const QSize& viewport);
    /// @brief Moves towards the target (factor below 1) or away from it (above 1).
    void Zoom(float factor);
    /// @brief Looks at the centre of the box [minimum, maximum] from far enough to see it all.
    void Frame(const QVector3D& minimum, const QVector3D& maximum);
    /// @brief Fits the near and far planes to the box without moving the camera.
    void Fit(const QVector3D& minimum, const QVector3D& maximum);
    void SetView(View view);

    /// @brief The ray from the eye through `pixel` (widget coordinates, y down) of `viewport`.
    void Ray(const QPointF& pixel, const QSize& viewport, QVector3D& origin, QVector3D& direction) const;
    /// @brief World units per pixel at `depth` along the view.
    float WorldPerPixel(float depth, const QSize& viewport) const;

private:
    QVector3D m_target{0, 0, 0};
    float m_distance = 6.0f;
    float m_yaw = 0.0f, m_pitch = 0.0f;  // degrees; 0, 0 looks along -z
    QVector3D m_boxCentre{0, 0, 0};
    float m_boxRadius = 1.0f;
};

}  // namespace corvane_studio

#pragma once
// tarnix::AxisAlignedBoundingBox. A new box is empty (minimum above maximum, so that the
// first point extended into it becomes the box). Corner i takes the maximum on the x axis
// when bit 0 of i is set, on y for bit 1 and on z for bit 2; corner 0 is the minimum and
// corner 7 the maximum.

#include <algorithm>

#include "tarnix/math/matrix.h"
#include "tarnix/math/vector.h"

namespace tarnix {

class AxisAlignedBoundingBox {
public:
    AxisAlignedBoundingBox();
    AxisAlignedBoundingBox(const Vector& minimum, const Vector& maximum) : m_minimum(minimum), m_maximum(maximum) {}

    bool IsEmpty() const;
    void SetEmpty();
    const Vector& Minimum() const { return m_minimum; }
    const Vector& Maximum() const { return m_maximum; }
    Vector Center() const { return (m_minimum + m_maximum) * 0.5f; }
    Vector Size() const { return m_maximum - m_minimum; }

    /// Inline: refits and box passes call it once per vertex corner.
    void Extend(const Vector& point) {
        m_minimum = {std::min(m_minimum.x, point.x), std::min(m_minimum.y, point.y), std::min(m_minimum.z, point.z)};
        m_maximum = {std::max(m_maximum.x, point.x), std::max(m_maximum.y, point.y), std::max(m_maximum.z, point.z)};
    }
    void Extend(const AxisAlignedBoundingBox& box);
    /// @brief Grows every side by `amount`; an empty box stays empty.
    void Grow(float amount);

    /// @brief Whether the point lies inside or on the border; an empty box holds nothing.
    bool IsContaining(const Vector& point) const;
    /// @brief Whether all of `box` lies inside this box (an empty `box` lies in any box).
    bool IsContaining(const AxisAlignedBoundingBox& box) const;
    /// @brief Whether the two boxes share a point (borders included); an empty box meets none.
    bool IsMeeting(const AxisAlignedBoundingBox& box) const;
    Vector Corner(int index) const;

    /// @brief The box around this box's eight corners mapped by `matrix` (points, w = 1).
    AxisAlignedBoundingBox Transformed(const Matrix& matrix) const;

    /// @brief The box, in the space that `toSpace` maps into, of the sphere of `radius`
    /// around `center`: the eight corners of the sphere's cube, transformed and boxed.
    static AxisAlignedBoundingBox SphereBoundingBox(const Vector& center, float radius, const Matrix& toSpace);

private:
    Vector m_minimum;
    Vector m_maximum;
};

bool operator==(const AxisAlignedBoundingBox& a, const AxisAlignedBoundingBox& b);

}  // namespace tarnix

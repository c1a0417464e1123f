#include "tarnix/math/bounding_box.h"

#include <algorithm>
#include <limits>

namespace tarnix {

AxisAlignedBoundingBox::AxisAlignedBoundingBox() { SetEmpty(); }

void AxisAlignedBoundingBox::SetEmpty() {
    const float big = std::numeric_limits<float>::max();
    m_minimum = {big, big, big};
    m_maximum = {-big, -big, -big};
}

bool AxisAlignedBoundingBox::IsEmpty() const {
    return m_minimum.x > m_maximum.x || m_minimum.y > m_maximum.y || m_minimum.z > m_maximum.z;
}

void AxisAlignedBoundingBox::Extend(const AxisAlignedBoundingBox& box) {
    if (box.IsEmpty()) return;
    Extend(box.m_minimum);
    Extend(box.m_maximum);
}

void AxisAlignedBoundingBox::Grow(float amount) {
    if (IsEmpty()) return;
    m_minimum -= Vector(amount, amount, amount);
    m_maximum += Vector(amount, amount, amount);
}

bool AxisAlignedBoundingBox::IsContaining(const Vector& p) const {
    return p.x >= m_minimum.x && p.x <= m_maximum.x && p.y >= m_minimum.y && p.y <= m_maximum.y && p.z >= m_minimum.z &&
           p.z <= m_maximum.z;
}

bool AxisAlignedBoundingBox::IsContaining(const AxisAlignedBoundingBox& box) const {
    if (box.IsEmpty()) return true;
    return IsContaining(box.m_minimum) && IsContaining(box.m_maximum);
}

bool AxisAlignedBoundingBox::IsMeeting(const AxisAlignedBoundingBox& box) const {
    return box.m_minimum.x <= m_maximum.x && box.m_maximum.x >= m_minimum.x && box.m_minimum.y <= m_maximum.y &&
           box.m_maximum.y >= m_minimum.y && box.m_minimum.z <= m_maximum.z && box.m_maximum.z >= m_minimum.z;
}

Vector AxisAlignedBoundingBox::Corner(int index) const {
    return {index & 1 ? m_maximum.x : m_minimum.x, index & 2 ? m_maximum.y : m_minimum.y,
            index & 4 ? m_maximum.z : m_minimum.z};
}

AxisAlignedBoundingBox AxisAlignedBoundingBox::SphereBoundingBox(const Vector& center, float radius,
                                                                 const Matrix& toSpace) {
    const AxisAlignedBoundingBox cube(center - Vector(radius, radius, radius), center + Vector(radius, radius, radius));
    return cube.Transformed(toSpace);
}

AxisAlignedBoundingBox AxisAlignedBoundingBox::Transformed(const Matrix& matrix) const {
    AxisAlignedBoundingBox result;
    if (IsEmpty()) return result;
    for (int corner = 0; corner < 8; ++corner) result.Extend(matrix.Transform(Corner(corner), 1.0f));
    return result;
}

bool operator==(const AxisAlignedBoundingBox& a, const AxisAlignedBoundingBox& b) {
    if (a.IsEmpty() || b.IsEmpty()) return a.IsEmpty() == b.IsEmpty();
    return a.Minimum() == b.Minimum() && a.Maximum() == b.Maximum();
}

}  // namespace tarnix

#pragma once
// tarnix::Vector (three floats) and tarnix::Vector4 (four floats): the framework's plain
// value types for positions and directions in its interfaces. `&` is the vector (cross)
// product and `|` the dot product, as everywhere in the framework.

#include <cmath>

namespace tarnix {

struct Vector {
    float x = 0.0f, y = 0.0f, z = 0.0f;

    Vector() = default;
    constexpr Vector(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    float LengthSquared() const { return x * x + y * y + z * z; }
    float Length() const { return std::sqrt(LengthSquared()); }
    /// @brief Scales to unit length; a zero vector stays zero.
    Vector& Normalize();
    Vector Normalized() const { return Vector(*this).Normalize(); }
    /// @brief Cosine of the angle between `a` and `b`; 0 when either is zero.
    static float AngleCos(const Vector& a, const Vector& b);

    Vector& operator+=(const Vector& o) {
        x += o.x;
        y += o.y;
        z += o.z;
        return *this;
    }
    Vector& operator-=(const Vector& o) {
        x -= o.x;
        y -= o.y;
        z -= o.z;
        return *this;
    }
    Vector& operator*=(float s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
};

inline Vector operator+(Vector a, const Vector& b) { return a += b; }
inline Vector operator-(Vector a, const Vector& b) { return a -= b; }
inline Vector operator-(const Vector& a) { return {-a.x, -a.y, -a.z}; }
inline Vector operator*(Vector a, float s) { return a *= s; }
inline Vector operator*(float s, Vector a) { return a *= s; }
inline Vector operator/(const Vector& a, float s) { return {a.x / s, a.y / s, a.z / s}; }
inline float operator|(const Vector& a, const Vector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vector operator&(const Vector& a, const Vector& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline bool operator==(const Vector& a, const Vector& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline bool operator!=(const Vector& a, const Vector& b) { return !(a == b); }

inline Vector& Vector::Normalize() {
    const float length = Length();
    if (length > 0.0f) *this *= 1.0f / length;
    return *this;
}

inline float Vector::AngleCos(const Vector& a, const Vector& b) {
    const float lengths = a.Length() * b.Length();
    return lengths > 0.0f ? (a | b) / lengths : 0.0f;
}

struct Vector4 {
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 0.0f;

    Vector4() = default;
    constexpr Vector4(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    constexpr Vector4(const Vector& v, float w_) : x(v.x), y(v.y), z(v.z), w(w_) {}
    Vector XYZ() const { return {x, y, z}; }
};

inline bool operator==(const Vector4& a, const Vector4& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
}

}  // namespace tarnix

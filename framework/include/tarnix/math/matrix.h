#pragma once
// tarnix::Matrix: a 4x4 float matrix for row vectors. A point p is transformed as
// [p.x p.y p.z w] * M, that is row 0 * p.x + row 1 * p.y + row 2 * p.z + row 3 * w; the
// translation lives in row 3. Products compose left to right: (A * B) applies A first.

#include "tarnix/math/vector.h"

namespace tarnix {

class Matrix {
public:
    /// @brief The identity.
    Matrix();
    static Matrix Identity() { return Matrix(); }
    static Matrix Scale(const Vector& s);
    static Matrix Translation(const Vector& t);
    /// @brief Rotation by `radians` around the unit `axis` (right-handed).
    static Matrix Rotation(const Vector& axis, float radians);

    float* operator[](int row) { return m[row]; }
    const float* operator[](int row) const { return m[row]; }
    Vector4 Row(int row) const { return {m[row][0], m[row][1], m[row][2], m[row][3]}; }

    /// @brief [v w] * M, keeping the fourth component.
    Vector4 Transform4(const Vector& v, float w) const;
    /// @brief [v w] * M without the division (w = 1 for points, 0 for directions).
    Vector Transform(const Vector& v, float w) const;
    /// @brief [v w] * M divided by the result's fourth component.
    static Vector ProjectedTransform(const Matrix& matrix, const Vector& v, float w);

    /// @brief Inverts in place; false (and unchanged) when the matrix is singular.
    bool Invert();
    Matrix Inverted() const;

    float m[4][4];
};

Matrix operator*(const Matrix& a, const Matrix& b);
bool operator==(const Matrix& a, const Matrix& b);

}  // namespace tarnix

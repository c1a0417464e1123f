#include "tarnix/math/matrix.h"

#include <cmath>
#include <utility>

namespace tarnix {

Matrix::Matrix() {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m[r][c] = r == c ? 1.0f : 0.0f;
}

Matrix Matrix::Scale(const Vector& s) {
    Matrix result;
    result.m[0][0] = s.x;
    result.m[1][1] = s.y;
    result.m[2][2] = s.z;
    return result;
}

Matrix Matrix::Translation(const Vector& t) {
    Matrix result;
    result.m[3][0] = t.x;
    result.m[3][1] = t.y;
    result.m[3][2] = t.z;
    return result;
}

Matrix Matrix::Rotation(const Vector& axis, float radians) {
    const float c = std::cos(radians), s = std::sin(radians), t = 1.0f - c;
    const float x = axis.x, y = axis.y, z = axis.z;
    Matrix r;
    // Row-vector form: the transpose of the usual column-vector rotation.
    r.m[0][0] = t * x * x + c;
    r.m[0][1] = t * x * y + s * z;
    r.m[0][2] = t * x * z - s * y;
    r.m[1][0] = t * x * y - s * z;
    r.m[1][1] = t * y * y + c;
    r.m[1][2] = t * y * z + s * x;
    r.m[2][0] = t * x * z + s * y;
    r.m[2][1] = t * y * z - s * x;
    r.m[2][2] = t * z * z + c;
    return r;
}

Vector4 Matrix::Transform4(const Vector& v, float w) const {
    Vector4 out;
    out.x = v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0] + w * m[3][0];
    out.y = v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1] + w * m[3][1];
    out.z = v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2] + w * m[3][2];
    out.w = v.x * m[0][3] + v.y * m[1][3] + v.z * m[2][3] + w * m[3][3];
    return out;
}

Vector Matrix::Transform(const Vector& v, float w) const { return Transform4(v, w).XYZ(); }

Vector Matrix::ProjectedTransform(const Matrix& matrix, const Vector& v, float w) {
    const Vector4 h = matrix.Transform4(v, w);
    return {h.x / h.w, h.y / h.w, h.z / h.w};
}

bool Matrix::Invert() {
    // Gauss-Jordan elimination with partial pivoting, in double precision.
    double a[4][8];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            a[r][c] = m[r][c];
            a[r][c + 4] = r == c ? 1.0 : 0.0;
        }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        if (a[pivot][col] == 0.0) return false;
        if (pivot != col) std::swap(a[pivot], a[col]);
        const double inverse = 1.0 / a[col][col];
        for (int c = 0; c < 8; ++c) a[col][c] *= inverse;
        for (int r = 0; r < 4; ++r) {
            if (r == col || a[r][col] == 0.0) continue;
            const double factor = a[r][col];
            for (int c = 0; c < 8; ++c) a[r][c] -= factor * a[col][c];
        }
    }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m[r][c] = float(a[r][c + 4]);
    return true;
}

Matrix Matrix::Inverted() const {
    Matrix copy = *this;
    copy.Invert();
    return copy;
}

Matrix operator*(const Matrix& a, const Matrix& b) {
    Matrix result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a.m[r][k] * b.m[k][c];
            result.m[r][c] = sum;
        }
    return result;
}

bool operator==(const Matrix& a, const Matrix& b) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (a.m[r][c] != b.m[r][c]) return false;
    return true;
}

}  // namespace tarnix

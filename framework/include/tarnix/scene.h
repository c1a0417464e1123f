#pragma once
// The host's scene: its camera, and the curves that lie on the surfaces of meshes.
//
// A TarnixCurve is a polyline whose points may be attached to a mesh face (by the face and
// two parameters inside it). While a curve follows its surface (state 0), a brush that has
// changed the mesh lets it catch up at the end of a stroke: BeginUpdate, FollowSurface (which
// records the points' moves in a CurveManipulator) and FinishUpdate. Kernel::DoOperation then
// applies what the manipulator recorded, as one operation.

#include <cstdint>
#include <memory>
#include <vector>

#include "tarnix/math/matrix.h"
#include "tarnix/math/vector.h"
#include "tarnix/node.h"

namespace tarnix {

class Mesh;
class CurveManipulator;

class Camera {
public:
    /// @brief Places the camera at `eye` looking at `target` (with +y, or +z when looking
    /// along y, as the rough up direction).
    void LookAt(const Vector& eye, const Vector& target);
    /// @brief Camera-to-world: rows are the camera's right, up and backward axes, then its
    /// position (the camera looks along -z of its own space).
    const Matrix& Transformation() const { return m_transformation; }
    Vector Position() const { return m_transformation.Transform({0, 0, 0}, 1.0f); }
    /// @brief The camera vector: the unit direction it looks in.
    Vector Direction() const { return m_transformation.Transform({0, 0, -1}, 0.0f).Normalized(); }

private:
    Matrix m_transformation;
};

class TarnixCurve : public TreeNode {
public:
    enum State : int { kFollowingSurface = 0, kDetached = 1 };

    struct Point {
        Vector position;
        Mesh* mesh = nullptr;  // null: not attached
        uint32_t face = 0;
        float u = 0.0f, v = 0.0f;  // inside the face (quad: bilinear; triangle: barycentric)
    };

    const ClassDesc* GetClass() const override;
    static const ClassDesc* StaticClass();

    /// @brief Adds a point attached to `face` of `mesh` at (u, v), placed on the surface.
    void AddAttachedPoint(Mesh* mesh, uint32_t face, float u, float v);
    const std::vector<Point>& Points() const { return m_points; }
    void SetPointPosition(uint32_t index, const Vector& position) { m_points[index].position = position; }

    int StateQuery() const { return m_state; }
    void SetState(int state) { m_state = state; }

    void BeginUpdate() { m_updating = true; }
    /// @brief Records, in `manipulator`, where each point attached to `mesh` now lies.
    void FollowSurface(CurveManipulator& manipulator, Mesh* mesh);
    void FinishUpdate() { m_updating = false; }
    bool IsUpdating() const { return m_updating; }

    /// @brief Where a point attached to (mesh, face, u, v) lies on the mesh now.
    static Vector SurfacePosition(const Mesh& mesh, uint32_t face, float u, float v);

private:
    std::vector<Point> m_points;
    int m_state = kFollowingSurface;
    bool m_updating = false;
};

class CurveManipulator {
public:
    struct Move {
        TarnixCurve* curve;
        uint32_t point;
        Vector from;
        Vector to;
    };
    void Record(TarnixCurve* curve, uint32_t point, const Vector& from, const Vector& to) {
        m_moves.push_back({curve, point, from, to});
    }
    bool HasData() const { return !m_moves.empty(); }
    const std::vector<Move>& Moves() const { return m_moves; }
    void Clear() { m_moves.clear(); }

private:
    std::vector<Move> m_moves;
};

class Scene : public TreeNode {
public:
    const ClassDesc* GetClass() const override;
    static const ClassDesc* StaticClass();
    Camera& GetCamera() { return m_camera; }
    const Camera& GetCamera() const { return m_camera; }

private:
    Camera m_camera;
};

}  // namespace tarnix

#include "builtin_shapes.h"

#include <array>
#include <cmath>
#include <map>

namespace shapes {

tarnix::PolygonMesh Cube() {
    tarnix::PolygonMesh mesh;
    for (int i = 0; i < 8; ++i)
        mesh.positions.push_back({i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f});
    // Counter-clockwise seen from outside.
    mesh.faceVertices = {0, 2, 3, 1, 4, 5, 7, 6, 0, 1, 5, 4, 2, 6, 7, 3, 0, 4, 6, 2, 1, 3, 7, 5};
    mesh.faceSizes.assign(6, 4);
    return mesh;
}

tarnix::PolygonMesh Plane(uint32_t columns, uint32_t rows) {
    tarnix::PolygonMesh mesh;
    for (uint32_t y = 0; y <= rows; ++y)
        for (uint32_t x = 0; x <= columns; ++x) mesh.positions.push_back({float(x), float(y), 0.0f});
    for (uint32_t y = 0; y < rows; ++y)
        for (uint32_t x = 0; x < columns; ++x) {
            const uint32_t v = y * (columns + 1) + x;
            mesh.faceVertices.insert(mesh.faceVertices.end(), {v, v + 1, v + columns + 2, v + columns + 1});
            mesh.faceSizes.push_back(4);
        }
    return mesh;
}

tarnix::PolygonMesh Fan(uint32_t spokes) {
    tarnix::PolygonMesh mesh;
    mesh.positions.push_back({0, 0, 0});
    const float step = 2.0f * float(M_PI) / float(spokes);
    for (uint32_t i = 0; i < spokes; ++i) {
        const float a = step * float(i);
        mesh.positions.push_back({std::cos(a), std::sin(a), 0});  // spoke end
        mesh.positions.push_back({1.5f * std::cos(a + step / 2), 1.5f * std::sin(a + step / 2), 0});
    }
    for (uint32_t i = 0; i < spokes; ++i) {
        const uint32_t spoke = 1 + 2 * i, rim = spoke + 1, next = 1 + 2 * ((i + 1) % spokes);
        mesh.faceVertices.insert(mesh.faceVertices.end(), {0, spoke, rim, next});
        mesh.faceSizes.push_back(4);
    }
    return mesh;
}

tarnix::PolygonMesh Pyramid() {
    tarnix::PolygonMesh mesh;
    mesh.positions = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}, {0, 0, 1.5f}};
    mesh.faceVertices = {0, 3, 2, 1, 0, 1, 4, 1, 2, 4, 2, 3, 4, 3, 0, 4};
    mesh.faceSizes = {4, 3, 3, 3, 3};
    return mesh;
}

tarnix::PolygonMesh Octahedron() {
    tarnix::PolygonMesh mesh;
    mesh.positions = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    mesh.faceVertices = {0, 2, 4, 2, 1, 4, 1, 3, 4, 3, 0, 4, 2, 0, 5, 1, 2, 5, 3, 1, 5, 0, 3, 5};
    mesh.faceSizes.assign(8, 3);
    return mesh;
}

tarnix::PolygonMesh Sphere(uint32_t divisions) {
    // Six cube faces of (divisions + 1)^2 grid points each; points on shared cube edges are
    // made once and found again through their integer grid coordinates.
    tarnix::PolygonMesh mesh;
    const int n = int(divisions);
    std::map<std::array<int, 3>, uint32_t> numbers;
    const auto vertex = [&](std::array<int, 3> at) {
        const auto found = numbers.find(at);
        if (found != numbers.end()) return found->second;
        const float cells = float(n);
        const tarnix::Vector p(2.0f * float(at[0]) / cells - 1.0f, 2.0f * float(at[1]) / cells - 1.0f,
                               2.0f * float(at[2]) / cells - 1.0f);
        mesh.positions.push_back(p.Normalized());
        return numbers[at] = uint32_t(mesh.positions.size() - 1);
    };
    for (int axis = 0; axis < 3; ++axis)
        for (int side = 0; side < 2; ++side) {
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j) {
                    std::array<int, 3> corner[4];
                    const int steps[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
                    for (int k = 0; k < 4; ++k) {
                        corner[k][axis] = side * n;
                        corner[k][u] = i + steps[k][0];
                        corner[k][v] = j + steps[k][1];
                    }
                    // (u, v, axis) is right-handed, so this order faces +axis; reverse on -axis.
                    if (side == 0) std::swap(corner[1], corner[3]);
                    for (const auto& c : corner) mesh.faceVertices.push_back(vertex(c));
                    mesh.faceSizes.push_back(4);
                }
        }
    return mesh;
}

tarnix::PolygonMesh Triangulated(const tarnix::PolygonMesh& mesh) {
    tarnix::PolygonMesh triangles;
    triangles.positions = mesh.positions;
    size_t first = 0;
    for (uint32_t size : mesh.faceSizes) {
        for (uint32_t k = 1; k + 1 < size; ++k) {
            triangles.faceVertices.insert(
                triangles.faceVertices.end(),
                {mesh.faceVertices[first], mesh.faceVertices[first + k], mesh.faceVertices[first + k + 1]});
            triangles.faceSizes.push_back(3);
        }
        first += size;
    }
    return triangles;
}

bool Named(const QString& name, tarnix::PolygonMesh& mesh) {
    if (name == QLatin1String("cube")) {
        mesh = Cube();
    } else if (name == QLatin1String("sphere")) {
        mesh = Sphere(4);
    } else if (name == QLatin1String("plane")) {
        mesh = Plane(4, 4);
        for (tarnix::Vector& p : mesh.positions) p = {p.x * 0.5f - 1.0f, p.y * 0.5f - 1.0f, 0.0f};
    } else if (name == QLatin1String("triangles")) {
        mesh = Octahedron();
    } else {
        return false;
    }
    return true;
}

QStringList ShapeNames() {
    return {QStringLiteral("cube"), QStringLiteral("sphere"), QStringLiteral("plane"), QStringLiteral("triangles")};
}

std::unique_ptr<tarnix::Geometry> Subdivided(const tarnix::PolygonMesh& mesh, uint32_t levels) {
    auto geometry = tarnix::Geometry::FromPolygons(mesh);
    geometry->Subdivide(levels);
    return geometry;
}

}  // namespace shapes

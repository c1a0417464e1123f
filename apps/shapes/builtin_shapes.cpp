#include "builtin_shapes.h"

#include <cmath>

namespace shapes {

tarnix::PolygonMesh Cube() {
    tarnix::PolygonMesh mesh;
    for (int i = 0; i < 8; ++i)
        mesh.positions.push_back({i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f});
    // Counter-clockwise seen from outside.
    mesh.faceVertices = {0, 2, 3, 1,  4, 5, 7, 6,  0, 1, 5, 4,  2, 6, 7, 3,  0, 4, 6, 2,  1, 3, 7, 5};
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
    mesh.faceVertices = {0, 3, 2, 1,  0, 1, 4,  1, 2, 4,  2, 3, 4,  3, 0, 4};
    mesh.faceSizes = {4, 3, 3, 3, 3};
    return mesh;
}

tarnix::PolygonMesh Octahedron() {
    tarnix::PolygonMesh mesh;
    mesh.positions = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    mesh.faceVertices = {0, 2, 4,  2, 1, 4,  1, 3, 4,  3, 0, 4,  2, 0, 5,  1, 2, 5,  3, 1, 5,  0, 3, 5};
    mesh.faceSizes.assign(8, 3);
    return mesh;
}

std::unique_ptr<tarnix::Geometry> Subdivided(const tarnix::PolygonMesh& mesh, uint32_t levels) {
    auto geometry = tarnix::Geometry::FromPolygons(mesh);
    geometry->Subdivide(levels);
    return geometry;
}

}  // namespace shapes

#pragma once
// Built-in shapes of the host programs, also used by tests and benchmarks: small polygon
// meshes that a host turns into a geometry and subdivides.

#include <memory>

#include "tarnix/geometry.h"
#include "tarnix/polygon_mesh.h"

namespace shapes {

/// The unit cube [-1, 1]^3: eight vertices of valence 3, six outward quads.
tarnix::PolygonMesh Cube();
/// A flat open grid of `columns` x `rows` unit quads in the plane z = 0, from the origin.
tarnix::PolygonMesh Plane(uint32_t columns, uint32_t rows);
/// `spokes` quads around a centre vertex of valence `spokes`, open at the rim.
tarnix::PolygonMesh Fan(uint32_t spokes);
/// A square pyramid: a quad base and four triangles (closed, mixed).
tarnix::PolygonMesh Pyramid();
/// A regular octahedron of triangles (closed).
tarnix::PolygonMesh Octahedron();
/// A unit sphere of quads: each cube face split into `divisions` x `divisions` quads whose
/// corners are pushed onto the sphere (closed, valence 3 at the eight cube corners).
tarnix::PolygonMesh Sphere(uint32_t divisions);

/// @brief `mesh` with every face cut into a fan of triangles from its first corner.
tarnix::PolygonMesh Triangulated(const tarnix::PolygonMesh& mesh);

/// @brief The shapes a session file names: "cube", "sphere", "plane" (a 4 x 4 grid over
/// [-1, 1]^2, open), "triangles" (the octahedron). False for any other name.
bool Named(const QString& name, tarnix::PolygonMesh& mesh);
/// The names Named knows, in the order above.
QStringList ShapeNames();

/// @brief A geometry made from `mesh` and subdivided `levels` times.
std::unique_ptr<tarnix::Geometry> Subdivided(const tarnix::PolygonMesh& mesh, uint32_t levels);

}  // namespace shapes

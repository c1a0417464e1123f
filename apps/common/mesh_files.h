#pragma once
// Mesh files of the host programs. The format comes from the file name: OBJ is read with
// tinyobjloader (vertices, texture coordinates, groups and materials exactly as numbered in
// the file) and written here; PLY, STL, glTF (.gltf, .glb) and FBX go through Assimp. Formats
// that give each vertex one texture coordinate store a vertex twice along UV seams (and STL
// once per triangle); vertices at the same position are one vertex again when such a file is
// read, and are split per texture coordinate when one is written.
//
// Every reader returns a MeshFile: the polygons (with face-varying texture coordinates when
// the file has them) and each face's part, its group and material names. Every writer writes
// to a temporary file and renames it (all of them, for a glTF with its buffer), so that a
// failed write leaves nothing behind. Faults are thrown as tarnix::Error* naming the file.

#include <cstdint>
#include <memory>
#include <vector>

#include <QString>
#include <QStringList>

#include "tarnix/geometry.h"
#include "tarnix/mesh.h"
#include "tarnix/polygon_mesh.h"

namespace corvane_apps {

/// A face's names in its file: its group (or object, or node) and its material.
struct FacePart {
    QString group, material;
    bool operator==(const FacePart& other) const { return group == other.group && material == other.material; }
};

/// A mesh as a file holds it. polygons.faceTags, when present, index `parts`.
struct MeshFile {
    tarnix::PolygonMesh polygons;
    std::vector<FacePart> parts;
    /// The material library an OBJ file names; written back so that materials still resolve.
    QString materialLibrary;
    /// Points and lines the file holds besides its faces: no surface, so not read.
    uint32_t pointsAndLinesLeftOut = 0;
    /// What the reader found doubtful but read anyway (an OBJ whose last line is cut off), one
    /// line each, naming the file.
    QStringList warnings;
};

/// One level of a hierarchy as a writer takes it.
struct MeshToWrite {
    const tarnix::Mesh* mesh = nullptr;
    const tarnix::FaceVaryingUVs* uvs = nullptr;  // null: none
    std::vector<uint32_t> faceParts;              // per face, into parts; empty: none
    std::vector<FacePart> parts;
    QString materialLibrary;
    /// The scale per axis the mesh's positions carry beyond its own space: they are written
    /// divided by it.
    tarnix::Vector carriedScale{1, 1, 1};
    tarnix::Vector OwnPosition(uint32_t vertex) const {
        const tarnix::Vector p = mesh->VertexPosition(vertex);
        return {p.x / carriedScale.x, p.y / carriedScale.y, p.z / carriedScale.z};
    }
};

/// The extensions read ("obj", "ply", ...) and written.
QStringList MeshFormatsRead();
QStringList MeshFormatsWritten();

/// @brief Reads the mesh file at `path` in the format its name gives.
MeshFile ReadMesh(const QString& path);
/// @brief Writes `mesh` to `path` in the format its name gives, the vertices that faces use;
/// returns their number.
uint32_t WriteMesh(const MeshToWrite& mesh, const QString& path);

/// @brief Geometry::FromPolygons, its refusal re-raised naming `name` (the mesh's file).
std::unique_ptr<tarnix::Geometry> GeometryFromPolygons(const tarnix::PolygonMesh& polygons, const QString& name,
                                                       QStringList* changes = nullptr);

}  // namespace corvane_apps

#include "mesh_info.h"

#include <algorithm>
#include <map>
#include <set>

#include "mesh_files.h"
#include "tarnix/math/bounding_box.h"

namespace corvane_apps {
namespace {

// Edges of the cleaned polygons by how many faces hold them: one is a border, three or more
// make the surface non-manifold there.
void CountEdges(const tarnix::PolygonMesh& polygons, uint64_t& border, uint64_t& nonManifold) {
    std::map<std::pair<uint32_t, uint32_t>, uint32_t> faces;
    size_t offset = 0;
    for (uint32_t size : polygons.faceSizes) {
        for (uint32_t k = 0; k < size; ++k) {
            const uint32_t a = polygons.faceVertices[offset + k], b = polygons.faceVertices[offset + (k + 1) % size];
            ++faces[{std::min(a, b), std::max(a, b)}];
        }
        offset += size;
    }
    border = nonManifold = 0;
    for (const auto& edge : faces) {
        border += edge.second == 1;
        nonManifold += edge.second > 2;
    }
}

QString Point(const tarnix::Vector& p) { return QStringLiteral("(%1, %2, %3)").arg(p.x).arg(p.y).arg(p.z); }

QString Names(const std::vector<FacePart>& parts, QString FacePart::*name) {
    std::set<QString> names;
    for (const FacePart& part : parts)
        if (!(part.*name).isEmpty()) names.insert(part.*name);
    if (names.empty()) return QStringLiteral("none");
    return QStringList(names.begin(), names.end()).join(QStringLiteral(", "));
}

}  // namespace

void PrintMeshInfo(const QString& path, QTextStream& out) {
    const MeshFile file = ReadMesh(path);
    const tarnix::PolygonMesh& polygons = file.polygons;
    QStringList changes;
    const std::unique_ptr<tarnix::Geometry> geometry = GeometryFromPolygons(polygons, path, &changes);
    const tarnix::SubdivisionLevel* base = geometry->LowestLevel();
    const tarnix::PolygonMesh& cleaned = geometry->BasePolygons();
    std::map<uint32_t, uint32_t> sizes, valences;
    for (uint32_t size : polygons.faceSizes) ++sizes[size];
    for (uint32_t v = 0; v < base->VertexCount(); ++v) {
        uint32_t count = 0;
        base->FacesAroundVertex(v, count);
        ++valences[count];
    }
    uint64_t border = 0, nonManifold = 0;
    CountEdges(cleaned, border, nonManifold);
    const tarnix::AxisAlignedBoundingBox& box = base->BoundingBox();

    out << path << ": " << polygons.positions.size() << " vertices, " << polygons.FaceCount() << " faces\n";
    out << "bounding box: " << Point(box.Minimum()) << " to " << Point(box.Maximum()) << "\n";
    out << "face sizes:";
    for (const auto& [size, count] : sizes) out << " " << count << " x " << size;
    out << "\nfaces per vertex:";
    for (const auto& [valence, count] : valences) out << " " << count << " x " << valence;
    out << "\nborder edges: " << border << "\nnon-manifold edges: " << nonManifold << "\n";
    out << "texture coordinates: ";
    if (polygons.HasUVs()) out << "yes (" << polygons.uvs.size() << " values)\n";
    else out << "no\n";
    out << "groups: " << Names(file.parts, &FacePart::group) << "\n";
    out << "materials: " << Names(file.parts, &FacePart::material) << "\n";
    if (file.pointsAndLinesLeftOut)
        out << "left out: " << file.pointsAndLinesLeftOut << " points and lines (faces of fewer than 3 corners)\n";
    for (const QString& change : changes) out << "cleaned: " << change << "\n";
    for (const QString& warning : file.warnings) out << "warning: " << warning << "\n";
    out << "sculpted by patches: "
        << (base->m_faceKind == tarnix::Mesh::kQuads ? "yes (all quads)"
                                                     : "after one subdivision (level 1 is all quads)")
        << "\n";
}

}  // namespace corvane_apps

#include "mesh_info.h"

#include <map>

#include "mesh_files.h"

namespace corvane_apps {

void PrintMeshInfo(const QString& path, QTextStream& out) {
    const tarnix::PolygonMesh polygons = ReadObj(path);
    QStringList changes;
    const std::unique_ptr<tarnix::Geometry> geometry = GeometryFromPolygons(polygons, path, &changes);
    const tarnix::SubdivisionLevel* base = geometry->LowestLevel();
    std::map<uint32_t, uint32_t> sizes, valences;
    for (uint32_t size : polygons.faceSizes) ++sizes[size];
    uint32_t border = 0;
    for (uint32_t f = 0; f < base->m_faceCount; ++f)
        for (uint32_t s = 0; s < base->CornersPerFace(); ++s) border += base->EdgeAdjacency(f, s) >= tarnix::Mesh::kOpenBorder;
    for (uint32_t v = 0; v < base->VertexCount(); ++v) {
        uint32_t count = 0;
        base->FacesAroundVertex(v, count);
        ++valences[count];
    }
    out << path << ": " << polygons.positions.size() << " vertices, " << polygons.FaceCount() << " faces\n";
    out << "face sizes:";
    for (const auto& [size, count] : sizes) out << " " << count << " x " << size;
    out << "\nfaces per vertex:";
    for (const auto& [valence, count] : valences) out << " " << count << " x " << valence;
    out << "\nopen edges: " << border << "\n";
    // Brush sizes and paths are in these units: the box tells what a size of 0.2 means here.
    const tarnix::AxisAlignedBoundingBox box = base->BoundingBox();
    const auto point = [](const tarnix::Vector& p) {
        return QStringLiteral("(%1, %2, %3)").arg(p.x, 0, 'g', 6).arg(p.y, 0, 'g', 6).arg(p.z, 0, 'g', 6);
    };
    const tarnix::Vector size = box.Size();
    out << "bounding box: " << point(box.Minimum()) << " to " << point(box.Maximum()) << ", size "
        << QStringLiteral("%1 x %2 x %3").arg(size.x, 0, 'g', 6).arg(size.y, 0, 'g', 6).arg(size.z, 0, 'g', 6)
        << ", diagonal " << QString::number(size.Length(), 'g', 6) << "\n";
    for (const QString& change : changes) out << "cleaned: " << change << "\n";
    out << "sculpted by patches: "
        << (base->m_faceKind == tarnix::Mesh::kQuads ? "yes (all quads)" : "after one subdivision (level 1 is all quads)")
        << "\n";
}

}  // namespace corvane_apps

#include "mesh_files.h"

#include <tiny_obj_loader.h>

#include <cmath>
#include <vector>

#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include "tarnix/error.h"

namespace corvane_apps {
namespace {

[[noreturn]] void Fail(const QString& text) {
    tarnix::Error::Raise(tarnix::Error::kCodeInvalidArgument, "MeshFiles", "apps/common/mesh_files.cpp",
                         0, text);
}

// tinyobjloader reads a coordinate it cannot parse ("nan", "1e99999") as some number; such a
// vertex is refused here instead, before it could change the mesh silently.
void CheckCoordinates(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) Fail(QStringLiteral("%1: cannot read: %2").arg(path, file.errorString()));
    uint64_t vertex = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (!line.startsWith("v ") && !line.startsWith("v\t")) continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        for (int i = 1; i < fields.size() && i <= 3; ++i) {
            bool ok = false;
            const double value = fields[i].toDouble(&ok);
            if (!ok || !std::isfinite(value))
                Fail(QStringLiteral("%1: vertex %2 has a coordinate that is not a finite number").arg(path).arg(vertex));
        }
        ++vertex;
    }
}

}  // namespace

tarnix::PolygonMesh ReadObj(const QString& path) {
    if (!QFile::exists(path)) Fail(QStringLiteral("%1: no such file").arg(path));
    CheckCoordinates(path);
    tinyobj::ObjReaderConfig config;
    config.triangulate = false;
    tinyobj::ObjReader reader;
    if (!reader.ParseFromFile(QFile::encodeName(path).toStdString(), config))
        Fail(QStringLiteral("%1: %2").arg(path, QString::fromStdString(reader.Error()).trimmed()));
    tarnix::PolygonMesh mesh;
    const auto& vertices = reader.GetAttrib().vertices;
    for (size_t i = 0; i + 2 < vertices.size(); i += 3) mesh.positions.push_back({vertices[i], vertices[i + 1], vertices[i + 2]});
    for (const tinyobj::shape_t& shape : reader.GetShapes()) {
        size_t offset = 0;
        for (const unsigned char size : shape.mesh.num_face_vertices) {
            mesh.faceSizes.push_back(size);
            for (size_t k = 0; k < size; ++k) {
                const int index = shape.mesh.indices[offset + k].vertex_index;
                if (index < 0) Fail(QStringLiteral("%1: a face names vertex %2").arg(path).arg(index));
                mesh.faceVertices.push_back(uint32_t(index));
            }
            offset += size;
        }
    }
    return mesh;
}

std::unique_ptr<tarnix::Geometry> GeometryFromPolygons(const tarnix::PolygonMesh& polygons, const QString& name,
                                                       QStringList* changes) {
    try {
        return tarnix::Geometry::FromPolygons(polygons, changes);
    } catch (tarnix::Error* error) {
        const QString reason = error->Message();
        tarnix::Error::Dispose(error);
        Fail(QStringLiteral("%1: %2").arg(name, reason));
    }
}

uint32_t WriteObj(const tarnix::Mesh& mesh, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        Fail(QStringLiteral("%1: cannot write: %2").arg(path, file.errorString()));
    // Vertices no face uses (left by a tessellating brush) are not written.
    std::vector<uint32_t> numbers(mesh.VertexCount(), tarnix::Mesh::kNone);
    for (uint32_t corner : mesh.m_cornerIndices) numbers[corner] = 0;
    uint32_t written = 0;
    for (uint32_t& number : numbers)
        if (number == 0) number = ++written;
    QTextStream out(&file);
    out.setRealNumberPrecision(9);
    out << "# written by Corvane\n";
    for (uint32_t v = 0; v < mesh.VertexCount(); ++v) {
        if (numbers[v] == tarnix::Mesh::kNone) continue;
        const tarnix::Vector p = mesh.VertexPosition(v);
        out << "v " << p.x << ' ' << p.y << ' ' << p.z << '\n';
    }
    for (uint32_t f = 0; f < mesh.m_faceCount; ++f) {
        out << 'f';
        const uint32_t* corners = mesh.FaceCorners(f);
        for (uint32_t k = 0; k < mesh.CornersPerFace(); ++k) out << ' ' << numbers[corners[k]];
        out << '\n';
    }
    out.flush();
    if (!file.commit()) Fail(QStringLiteral("%1: cannot write: %2").arg(path, file.errorString()));
    return written;
}

}  // namespace corvane_apps

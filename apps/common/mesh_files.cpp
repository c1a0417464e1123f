#include "mesh_files.h"

#include <tiny_obj_loader.h>

#include <cmath>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include "tarnix/error.h"

namespace corvane_apps {
namespace {

[[noreturn]] void Fail(const QString& text) {
    tarnix::Error::Raise(tarnix::Error::kCodeInvalidArgument, "MeshFiles", "apps/common/mesh_files.cpp",
                         0, text);
}

// A mesh file larger than this is refused before it is read (a cube subdivided to the most
// faces a session may make takes about half of it).
constexpr qint64 kMostObjBytes = qint64(1) << 30;

// What the file itself says, line by line, for the checks the OBJ library does not make.
struct ObjScan {
    std::vector<uint32_t> faceSizes;  // corners of each face, as written
};

// tinyobjloader reads a coordinate it cannot parse ("nan", "1e99999") as some number, keeps a
// face's corner count in one byte (300 corners become 44) and drops faces of one or two
// corners without a word; the file's own text is read here to refuse or correct all three.
ObjScan ScanObj(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) Fail(QStringLiteral("%1: cannot read: %2").arg(path, file.errorString()));
    ObjScan scan;
    uint64_t vertex = 0, lineNumber = 0;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        ++lineNumber;
        if (const int comment = line.indexOf('#'); comment >= 0) line.truncate(comment);
        line = line.simplified();
        if (line.startsWith("v ")) {
            const QList<QByteArray> fields = line.split(' ');
            for (int i = 1; i < fields.size() && i <= 3; ++i) {
                bool ok = false;
                const double value = fields[i].toDouble(&ok);
                if (!ok || !std::isfinite(float(value)))
                    Fail(QStringLiteral("%1: vertex %2 has a coordinate that is not a finite number").arg(path).arg(vertex));
            }
            ++vertex;
        } else if (line.startsWith("f ")) {
            const auto corners = uint32_t(line.count(' '));
            if (corners < 3)
                Fail(QStringLiteral("%1: line %2: a face of %3 corners; a face needs at least 3")
                         .arg(path)
                         .arg(lineNumber)
                         .arg(corners));
            scan.faceSizes.push_back(corners);
        }
    }
    return scan;
}

}  // namespace

tarnix::PolygonMesh ReadObj(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) Fail(QStringLiteral("%1: no such file").arg(path));
    // A device or a pipe could be read for ever.
    if (!info.isFile()) Fail(QStringLiteral("%1: not a regular file").arg(path));
    if (info.size() > kMostObjBytes)
        Fail(QStringLiteral("%1: %2 bytes, more than a mesh file may have (%3)").arg(path).arg(info.size()).arg(kMostObjBytes));
    const ObjScan scan = ScanObj(path);
    tinyobj::ObjReaderConfig config;
    config.triangulate = false;
    tinyobj::ObjReader reader;
    if (!reader.ParseFromFile(QFile::encodeName(path).toStdString(), config))
        Fail(QStringLiteral("%1: %2").arg(path, QString::fromStdString(reader.Error()).trimmed()));
    tarnix::PolygonMesh mesh;
    const auto& vertices = reader.GetAttrib().vertices;
    for (size_t i = 0; i + 2 < vertices.size(); i += 3) mesh.positions.push_back({vertices[i], vertices[i + 1], vertices[i + 2]});
    for (const tinyobj::shape_t& shape : reader.GetShapes())
        for (const tinyobj::index_t& corner : shape.mesh.indices) {
            if (corner.vertex_index < 0)
                Fail(QStringLiteral("%1: a face names vertex %2").arg(path).arg(corner.vertex_index));
            mesh.faceVertices.push_back(uint32_t(corner.vertex_index));
        }
    // The corners come from the library, the corner counts from the file's text.
    mesh.faceSizes = scan.faceSizes;
    uint64_t corners = 0;
    for (uint32_t size : mesh.faceSizes) corners += size;
    if (corners != mesh.faceVertices.size())
        Fail(QStringLiteral("%1: the faces have %2 corners in all, but %3 could be read")
                 .arg(path)
                 .arg(corners)
                 .arg(mesh.faceVertices.size()));
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

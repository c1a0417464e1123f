#include "mesh_files.h"

#include <QFileInfo>

#include "mesh_formats.h"
#include "tarnix/error.h"

namespace corvane_apps {

void MeshFileFault(const QString& text) {
    tarnix::Error::Raise(tarnix::Error::kCodeInvalidArgument, "MeshFiles", "apps/common/mesh_files.cpp", 0, text);
}

std::vector<uint32_t> UsedVertexNumbers(const tarnix::Mesh& mesh, uint32_t& count) {
    std::vector<uint32_t> numbers(mesh.VertexCount(), tarnix::Mesh::kNone);
    for (uint32_t corner : mesh.m_cornerIndices) numbers[corner] = 0;
    count = 0;
    for (uint32_t& number : numbers)
        if (number == 0) number = count++;
    return numbers;
}

namespace {

QString Extension(const QString& path) { return QFileInfo(path).suffix().toLower(); }

// A mesh file larger than this is refused before it is read (a cube subdivided to the most
// faces a session may make takes about half of it as OBJ).
constexpr qint64 kMostMeshFileBytes = qint64(1) << 30;

}  // namespace

QStringList MeshFormatsRead() {
    return {QStringLiteral("obj"), QStringLiteral("ply"), QStringLiteral("stl"), QStringLiteral("gltf"),
            QStringLiteral("glb"), QStringLiteral("fbx")};
}

QStringList MeshFormatsWritten() { return MeshFormatsRead(); }

MeshFile ReadMesh(const QString& path) {
    const QString extension = Extension(path);
    if (!MeshFormatsRead().contains(extension))
        MeshFileFault(QStringLiteral("%1: cannot read \"%2\" files (formats: %3)")
                          .arg(path, extension, MeshFormatsRead().join(QStringLiteral(", "))));
    const QFileInfo file(path);
    if (!file.exists()) MeshFileFault(QStringLiteral("%1: no such file").arg(path));
    // A device or a pipe could be read for ever.
    if (!file.isFile()) MeshFileFault(QStringLiteral("%1: not a regular file").arg(path));
    if (!file.isReadable()) MeshFileFault(QStringLiteral("%1: cannot read the file").arg(path));
    if (file.size() > kMostMeshFileBytes)
        MeshFileFault(QStringLiteral("%1: %2 bytes, more than a mesh file may have (%3)")
                          .arg(path)
                          .arg(file.size())
                          .arg(kMostMeshFileBytes));
    return extension == QStringLiteral("obj") ? ReadObjFile(path) : ReadWithAssimp(path);
}

uint32_t WriteMesh(const MeshToWrite& mesh, const QString& path) {
    const QString extension = Extension(path);
    if (!MeshFormatsWritten().contains(extension))
        MeshFileFault(QStringLiteral("%1: cannot write \"%2\" files (formats: %3)")
                          .arg(path, extension, MeshFormatsWritten().join(QStringLiteral(", "))));
    return extension == QStringLiteral("obj") ? WriteObjFile(mesh, path) : WriteWithAssimp(mesh, path, extension);
}

std::unique_ptr<tarnix::Geometry> GeometryFromPolygons(const tarnix::PolygonMesh& polygons, const QString& name,
                                                       QStringList* changes) {
    try {
        return tarnix::Geometry::FromPolygons(polygons, changes);
    } catch (tarnix::Error* error) {
        const QString reason = error->Message();
        tarnix::Error::Dispose(error);
        MeshFileFault(QStringLiteral("%1: %2").arg(name, reason));
    }
}

}  // namespace corvane_apps

// libFuzzer target: a mesh file reader through ReadMesh, the entry the programs use, and the
// host's checks of the polygons it gives. Built once per format (CORVANE_FUZZ_FORMAT, the
// extension given to the file; "gltf" takes GLB files too, by their magic). Any bytes either
// make a level-0 mesh or are refused with one tarnix::Error of one line; nothing else may
// escape, crash, hang or take memory out of proportion to the file.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include "mesh_files.h"
#include "tarnix/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader takes a path, as the programs give it one.
    static const QTemporaryDir folder;
    QString extension = QStringLiteral(CORVANE_FUZZ_FORMAT);
    if (extension == QStringLiteral("gltf") && size >= 4 && std::memcmp(data, "glTF", 4) == 0)
        extension = QStringLiteral("glb");
    const QString path = folder.filePath(QStringLiteral("fuzz.") + extension);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) __builtin_trap();
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    try {
        const tarnix::PolygonMesh polygons = corvane_apps::ReadMesh(path).polygons;
        // Only what the reader let through reaches the host; a mesh too large to check
        // quickly is left to the reader's own limits.
        if (polygons.faceVertices.size() < 100000) corvane_apps::GeometryFromPolygons(polygons, path);
    } catch (tarnix::Error* error) {
        if (error->Message().contains(QLatin1Char('\n'))) __builtin_trap();
        tarnix::Error::Dispose(error);
    }
    return 0;
}

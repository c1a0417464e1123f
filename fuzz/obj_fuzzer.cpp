// libFuzzer target: the OBJ reader and the host's checks of the polygons it gives. Any bytes
// either make a level-0 mesh or are refused with one tarnix::Error.

#include <cstddef>
#include <cstdint>
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
    static const QString path = folder.filePath(QStringLiteral("fuzz.obj"));
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
        tarnix::Error::Dispose(error);
    }
    return 0;
}

// OBJ files: read through tinyobjloader's line callbacks, which hand over every index as the
// file numbers it (so vertices shared by faces stay shared, and texture coordinates stay per
// corner), together with the group, object and material names; written here.

#include <tiny_obj_loader.h>

#include <cmath>
#include <fstream>
#include <map>

#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include "errors.h"
#include "mesh_formats.h"

namespace corvane_apps {
namespace {

// tinyobjloader reads a coordinate it cannot parse ("nan", "1e99999") as some number, and an
// index past 32 bits as that index wrapped around; such lines are refused here instead, before
// they could change the mesh silently. A last line without a line break is read, with a warning
// that the file may have been cut short.
void CheckLines(const QString& path, QStringList& warnings) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        Fail(QStringLiteral("%1: cannot read: %2").arg(path, file.errorString()));
    uint64_t vertex = 0, line = 0;
    QByteArray text;
    while (!file.atEnd()) {
        text = file.readLine();
        ++line;
        const QByteArray trimmed = text.trimmed();
        const QList<QByteArray> fields = trimmed.simplified().split(' ');
        if (fields[0] == "v") {
            for (int i = 1; i < fields.size() && i <= 3; ++i) {
                bool ok = false;
                const double value = fields[i].toDouble(&ok);
                // It must stay finite as the float it is kept as, too.
                if (!ok || !std::isfinite(float(value)))
                    Fail(QStringLiteral("%1: vertex %2 has a coordinate that is not a finite number")
                             .arg(path)
                             .arg(vertex));
            }
            ++vertex;
        } else if (fields[0] == "f" || fields[0] == "l" || fields[0] == "p") {
            for (int i = 1; i < fields.size(); ++i)
                for (const QByteArray& index : fields[i].split('/')) {
                    bool ok = false;
                    if (!index.isEmpty()) index.toInt(&ok);
                    if (!index.isEmpty() && !ok)
                        Fail(QStringLiteral("%1: line %2: \"%3\" is not an index a mesh can have")
                                 .arg(path)
                                 .arg(line)
                                 .arg(QString::fromLatin1(fields[i].left(40))));
                }
        }
    }
    if (!text.isEmpty() && !text.endsWith('\n'))
        warnings << QStringLiteral("%1: the last line has no line break: the file may be cut short").arg(path);
}

// Remembers the material library a file names; the materials themselves are not needed.
class MaterialLibraryName : public tinyobj::MaterialReader {
public:
    bool operator()(const std::string& name, std::vector<tinyobj::material_t>*, std::map<std::string, int>*,
                    std::string*, std::string*) override {
        if (library.isEmpty()) library = QString::fromStdString(name);
        return false;
    }
    QString library;
};

// What the callbacks collect while the file is read.
struct ObjReading {
    QString path;
    MeshFile file;
    std::vector<uint32_t> cornerUVs;  // Mesh::kNone where a corner has none
    bool anyUV = false;
    FacePart current;
    std::map<std::pair<QString, QString>, uint32_t> partIndex;
    QString fault;

    // An OBJ index counts from 1, or backwards from the last element read when negative.
    bool Resolve(int index, size_t count, uint32_t& resolved) const {
        const int64_t absolute = index > 0 ? int64_t(index) - 1 : int64_t(count) + index;
        if (index == 0 || absolute < 0) return false;
        resolved = uint32_t(absolute);
        return true;
    }

    void Face(const tinyobj::index_t* indices, int count) {
        if (!fault.isEmpty()) return;
        if (count < 3) {
            fault = QStringLiteral("%1: face %2 has %3 corners; a face needs at least 3")
                        .arg(path)
                        .arg(file.polygons.faceSizes.size() + 1)
                        .arg(count);
            return;
        }
        tarnix::PolygonMesh& polygons = file.polygons;
        for (int k = 0; k < count; ++k) {
            uint32_t vertex = 0, uv = tarnix::Mesh::kNone;
            if (!Resolve(indices[k].vertex_index, polygons.positions.size(), vertex)) {
                fault = QStringLiteral("%1: a face names vertex %2").arg(path).arg(indices[k].vertex_index);
                return;
            }
            if (indices[k].texcoord_index != 0 && !Resolve(indices[k].texcoord_index, polygons.uvs.size(), uv)) {
                fault =
                    QStringLiteral("%1: a face names texture coordinate %2").arg(path).arg(indices[k].texcoord_index);
                return;
            }
            anyUV |= uv != tarnix::Mesh::kNone;
            polygons.faceVertices.push_back(vertex);
            cornerUVs.push_back(uv);
        }
        polygons.faceSizes.push_back(uint32_t(count));
        const auto found = partIndex.try_emplace({current.group, current.material}, uint32_t(file.parts.size()));
        if (found.second) file.parts.push_back(current);
        polygons.faceTags.push_back(found.first->second);
    }
};

QString Joined(const char** names, int count) {
    QStringList parts;
    for (int i = 0; i < count; ++i) parts << QString::fromUtf8(names[i]);
    return parts.join(QLatin1Char(' '));
}

}  // namespace

MeshFile ReadObjFile(const QString& path) {
    QStringList warnings;
    CheckLines(path, warnings);
    std::ifstream stream(QFile::encodeName(path).toStdString(), std::ios::binary);
    if (!stream) Fail(QStringLiteral("%1: cannot read the file").arg(path));

    ObjReading reading;
    reading.path = path;
    tinyobj::callback_t callbacks;
    callbacks.vertex_cb = [](void* data, tinyobj::real_t x, tinyobj::real_t y, tinyobj::real_t z, tinyobj::real_t) {
        static_cast<ObjReading*>(data)->file.polygons.positions.push_back({x, y, z});
    };
    callbacks.texcoord_cb = [](void* data, tinyobj::real_t u, tinyobj::real_t v, tinyobj::real_t) {
        static_cast<ObjReading*>(data)->file.polygons.uvs.push_back({u, v});
    };
    callbacks.index_cb = [](void* data, tinyobj::index_t* indices, int count) {
        static_cast<ObjReading*>(data)->Face(indices, count);
    };
    callbacks.usemtl_cb = [](void* data, const char* name, int) {
        static_cast<ObjReading*>(data)->current.material = QString::fromUtf8(name).trimmed();
    };
    callbacks.group_cb = [](void* data, const char** names, int count) {
        static_cast<ObjReading*>(data)->current.group = Joined(names, count);
    };
    callbacks.object_cb = [](void* data, const char* name) {
        static_cast<ObjReading*>(data)->current.group = QString::fromUtf8(name).trimmed();
    };
    MaterialLibraryName library;
    std::string warning, error;
    const bool read = tinyobj::LoadObjWithCallback(stream, callbacks, &reading, &library, &warning, &error);
    if (!reading.fault.isEmpty()) Fail(reading.fault);
    if (!read) Fail(QStringLiteral("%1: %2").arg(path, QString::fromStdString(error).trimmed()));

    MeshFile& file = reading.file;
    file.materialLibrary = library.library;
    file.warnings = warnings;
    tarnix::PolygonMesh& polygons = file.polygons;
    if (reading.anyUV) {
        // Corners without a coordinate (faces written without "vt" among faces with) get (0, 0).
        const uint32_t origin = uint32_t(polygons.uvs.size());
        bool originUsed = false;
        for (uint32_t& uv : reading.cornerUVs)
            if (uv == tarnix::Mesh::kNone) {
                uv = origin;
                originUsed = true;
            }
        if (originUsed) polygons.uvs.push_back({0.0f, 0.0f});
        polygons.faceUVs = std::move(reading.cornerUVs);
    } else {
        polygons.uvs.clear();
    }
    // A file without names has one nameless part: no tags at all.
    if (file.parts.size() == 1 && file.parts.front() == FacePart()) {
        file.parts.clear();
        polygons.faceTags.clear();
    }
    return file;
}

uint32_t WriteObjFile(const MeshToWrite& output, const QString& path) {
    const tarnix::Mesh& mesh = *output.mesh;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        Fail(QStringLiteral("%1: cannot write: %2").arg(path, file.errorString()));
    uint32_t written = 0, uvsWritten = 0;
    const std::vector<uint32_t> numbers = UsedVertexNumbers(mesh, written);
    std::vector<uint32_t> uvNumbers;
    if (output.uvs) {
        uvNumbers.assign(output.uvs->values.size(), tarnix::Mesh::kNone);
        for (uint32_t uv : output.uvs->corners) uvNumbers[uv] = 0;
        for (uint32_t& number : uvNumbers)
            if (number == 0) number = uvsWritten++;
    }

    QTextStream out(&file);
    out.setRealNumberPrecision(9);
    out << "# written by Corvane\n";
    if (!output.materialLibrary.isEmpty()) out << "mtllib " << output.materialLibrary << '\n';
    for (uint32_t v = 0; v < mesh.VertexCount(); ++v) {
        if (numbers[v] == tarnix::Mesh::kNone) continue;
        const tarnix::Vector p = output.OwnPosition(v);
        out << "v " << p.x << ' ' << p.y << ' ' << p.z << '\n';
    }
    for (size_t t = 0; t < uvNumbers.size(); ++t)
        if (uvNumbers[t] != tarnix::Mesh::kNone)
            out << "vt " << output.uvs->values[t].u << ' ' << output.uvs->values[t].v << '\n';

    const uint32_t perFace = mesh.CornersPerFace();
    uint32_t part = tarnix::Mesh::kNone;
    for (uint32_t f = 0; f < mesh.m_faceCount; ++f) {
        if (!output.faceParts.empty() && output.faceParts[f] != part) {
            const FacePart& next = output.parts[output.faceParts[f]];
            const FacePart previous = part == tarnix::Mesh::kNone ? FacePart() : output.parts[part];
            if (next.group != previous.group) out << "g " << next.group << '\n';
            if (next.material != previous.material && !next.material.isEmpty())
                out << "usemtl " << next.material << '\n';
            part = output.faceParts[f];
        }
        out << 'f';
        const uint32_t* corners = mesh.FaceCorners(f);
        for (uint32_t k = 0; k < perFace; ++k) {
            out << ' ' << numbers[corners[k]] + 1;
            if (output.uvs) out << '/' << uvNumbers[output.uvs->corners[size_t(f) * perFace + k]] + 1;
        }
        out << '\n';
    }
    out.flush();
    if (!file.commit()) Fail(QStringLiteral("%1: cannot write: %2").arg(path, file.errorString()));
    return written;
}

}  // namespace corvane_apps

#include "mesh_files.h"

#include <cstring>

#include <QFileInfo>

#include "errors.h"
#include "mesh_formats.h"

namespace corvane_apps {

std::vector<uint32_t> UsedVertexNumbers(const tarnix::Mesh& mesh, uint32_t& count) {
    std::vector<uint32_t> numbers(mesh.VertexCount(), tarnix::Mesh::kNone);
    for (uint32_t corner : mesh.m_cornerIndices) numbers[corner] = 0;
    count = 0;
    for (uint32_t& number : numbers)
        if (number == 0) number = count++;
    return numbers;
}

namespace {

// A value's bits, -0 taken as 0, so that equal values have equal bits.
template <size_t N>
std::array<uint32_t, N> BitsOf(const std::array<float, N>& values) {
    std::array<uint32_t, N> bits;
    for (size_t i = 0; i < N; ++i) {
        const float value = values[i] + 0.0f;
        std::memcpy(&bits[i], &value, sizeof value);
    }
    return bits;
}

template <size_t N>
size_t HashOf(const std::array<uint32_t, N>& bits) {
    uint64_t hash = 0x9e3779b97f4a7c15ull;
    for (uint32_t word : bits) hash = (hash ^ word) * 0xff51afd7ed558ccdull;
    return size_t(hash ^ (hash >> 29));
}

}  // namespace

template <size_t N, typename ValueAt, typename Add>
uint32_t CornerJoiner::Join(Table& table, const std::array<float, N>& value, const ValueAt& valueAt, const Add& add) {
    if (2 * (size_t(table.used) + 1) > table.cells.size()) {
        std::vector<uint32_t> cells(std::max<size_t>(64, 2 * table.cells.size()), 0);
        const size_t mask = cells.size() - 1;
        for (uint32_t entry : table.cells) {
            if (entry == 0) continue;
            size_t at = HashOf(BitsOf(valueAt(entry - 1))) & mask;
            while (cells[at] != 0) at = (at + 1) & mask;
            cells[at] = entry;
        }
        table.cells = std::move(cells);
    }
    const std::array<uint32_t, N> bits = BitsOf(value);
    const size_t mask = table.cells.size() - 1;
    for (size_t at = HashOf(bits) & mask;; at = (at + 1) & mask) {
        const uint32_t entry = table.cells[at];
        if (entry == 0) {
            const uint32_t index = table.used++;
            table.cells[at] = index + 1;
            add();
            return index;
        }
        if (BitsOf(valueAt(entry - 1)) == bits) return entry - 1;
    }
}

uint32_t CornerJoiner::Vertex(const tarnix::Vector& p) {
    return Join<3>(
        m_vertices, {p.x, p.y, p.z},
        [&](uint32_t i) {
            const tarnix::Vector& q = m_polygons.positions[i];
            return std::array<float, 3>{q.x, q.y, q.z};
        },
        [&] { m_polygons.positions.push_back(p); });
}

uint32_t CornerJoiner::UV(float u, float v) {
    return Join<2>(
        m_uvs, {u, v},
        [&](uint32_t i) {
            return std::array<float, 2>{m_polygons.uvs[i].u, m_polygons.uvs[i].v};
        },
        [&] {
            m_polygons.uvs.push_back({u, v});
        });
}

namespace {

QString Extension(const QString& path) { return QFileInfo(path).suffix().toLower(); }

// A mesh file larger than this is refused before it is read (a cube subdivided to the most
// faces a session may make takes about half of it as OBJ).
constexpr qint64 kMostMeshFileBytes = qint64(1) << 30;

}  // namespace

QStringList MeshFormatsRead() {
    return {QStringLiteral("obj"),  QStringLiteral("ply"), QStringLiteral("stl"),
            QStringLiteral("gltf"), QStringLiteral("glb"), QStringLiteral("fbx")};
}

QStringList MeshFormatsWritten() { return MeshFormatsRead(); }

namespace {

// A NUL ends a name as the system reads it: "a\0b.obj" would be "a".
void CheckName(const QString& path) {
    if (path.contains(QChar(0))) Fail(QStringLiteral("%1: a file name cannot hold a NUL character").arg(OneLine(path)));
    if (path.isEmpty()) Fail(QStringLiteral("a mesh file needs a name"));
}

}  // namespace

MeshFile ReadMesh(const QString& path) {
    CheckName(path);
    const QString extension = Extension(path);
    if (!MeshFormatsRead().contains(extension))
        Fail(QStringLiteral("%1: cannot read \"%2\" files (formats: %3)")
                 .arg(path, extension, MeshFormatsRead().join(QStringLiteral(", "))));
    const QFileInfo file(path);
    if (!file.exists()) Fail(QStringLiteral("%1: no such file").arg(path));
    // A device or a pipe could be read for ever.
    if (!file.isFile()) Fail(QStringLiteral("%1: not a regular file").arg(path));
    if (!file.isReadable()) Fail(QStringLiteral("%1: cannot read the file").arg(path));
    if (file.size() > kMostMeshFileBytes)
        Fail(QStringLiteral("%1: %2 bytes, more than a mesh file may have (%3)")
                 .arg(path)
                 .arg(file.size())
                 .arg(kMostMeshFileBytes));
    if (extension == QStringLiteral("obj")) return ReadObjFile(path);
    if (extension == QStringLiteral("ply")) return ReadPlyFile(path);
    if (extension == QStringLiteral("stl")) return ReadStlFile(path);
    return ReadWithAssimp(path);
}

uint32_t WriteMesh(const MeshToWrite& mesh, const QString& path) {
    CheckName(path);
    const QString extension = Extension(path);
    if (!MeshFormatsWritten().contains(extension))
        Fail(QStringLiteral("%1: cannot write \"%2\" files (formats: %3)")
                 .arg(path, extension, MeshFormatsWritten().join(QStringLiteral(", "))));
    return extension == QStringLiteral("obj") ? WriteObjFile(mesh, path) : WriteWithAssimp(mesh, path, extension);
}

std::unique_ptr<tarnix::Geometry> GeometryFromPolygons(const tarnix::PolygonMesh& polygons, const QString& name,
                                                       QStringList* changes) {
    return WithContext(name, [&] { return tarnix::Geometry::FromPolygons(polygons, changes); });
}

}  // namespace corvane_apps

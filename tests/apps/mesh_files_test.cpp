// Mesh files through every format: what one writer writes, the readers bring back (positions,
// shared vertices, texture coordinates, group and material names where the format has them),
// and faults name the file and leave nothing behind.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <set>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "builtin_shapes.h"
#include "caught_error.h"
#include "mesh_files.h"
#include "mesh_formats.h"

namespace {

using corvane_apps::FacePart;

// A sphere with a seam: every face's coordinates come from its vertex's longitude and height,
// and faces on the far side of the seam get their own copies; the faces are split into two
// named parts by height.
struct Subject {
    std::unique_ptr<tarnix::Geometry> geometry;
    corvane_apps::MeshToWrite output;
};

Subject MakeSubject() {
    tarnix::PolygonMesh sphere = shapes::Sphere(3);
    for (size_t c = 0; c < sphere.faceVertices.size(); ++c) {
        const tarnix::Vector& p = sphere.positions[sphere.faceVertices[c]];
        sphere.uvs.push_back({0.5f + 0.5f * p.x, 0.5f + 0.25f * p.y + (p.z < 0 ? 0.5f : 0.0f)});
        sphere.faceUVs.push_back(uint32_t(c));
    }
    for (size_t f = 0; f < sphere.FaceCount(); ++f) {
        const tarnix::Vector& p = sphere.positions[sphere.faceVertices[4 * f]];
        sphere.faceTags.push_back(p.y > 0 ? 0 : 1);
    }
    Subject subject;
    subject.geometry = shapes::Subdivided(sphere, 1);
    corvane_apps::MeshToWrite& output = subject.output;
    output.mesh = subject.geometry->HighestLevel();
    output.uvs = subject.geometry->UVs(1);
    output.parts = {{QStringLiteral("north"), QStringLiteral("skin")},
                    {QStringLiteral("south"), QStringLiteral("bone")}};
    for (uint32_t polygon : subject.geometry->BasePolygonOfFaces(1))
        output.faceParts.push_back(subject.geometry->BasePolygons().faceTags[polygon]);
    return subject;
}

QString WriteFile(const QTemporaryDir& folder, const char* name, const QByteArray& bytes) {
    QFile file(folder.filePath(QString::fromUtf8(name)));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return file.fileName();
}

// The written vertex at `p`: FBX files come back through an axis conversion, so within rounding.
int WrittenVertex(const std::vector<tarnix::Vector>& written, const tarnix::Vector& p) {
    for (size_t v = 0; v < written.size(); ++v)
        if ((written[v] - p).Length() < 1e-6f) return int(v);
    return -1;
}

TEST(MeshFilesTest, EveryFormatBringsBackWhatWasWritten) {
    const Subject subject = MakeSubject();
    const tarnix::Mesh& mesh = *subject.output.mesh;
    std::vector<tarnix::Vector> written;
    for (uint32_t v = 0; v < mesh.VertexCount(); ++v) written.push_back(mesh.VertexPosition(v));
    // The coordinates each vertex has (one per side of the seam), to check files against.
    std::vector<std::vector<tarnix::TextureCoordinate>> cornerValues(written.size());
    for (uint32_t c = 0; c < subject.output.uvs->corners.size(); ++c)
        cornerValues[mesh.m_cornerIndices[c]].push_back(subject.output.uvs->values[subject.output.uvs->corners[c]]);
    // glTF counts v from the top: its files hold 1 - v, which comes back within rounding.
    const auto hasValue = [&](int vertex, const tarnix::TextureCoordinate& uv) {
        for (const tarnix::TextureCoordinate& value : cornerValues[size_t(vertex)])
            if (std::abs(value.u - uv.u) < 1e-6f && std::abs(value.v - uv.v) < 1e-6f) return true;
        return false;
    };

    struct Format {
        const char* extension;
        bool triangles, uvs, parts;
    };
    const Format formats[] = {{"obj", false, true, true}, {"ply", false, true, false}, {"stl", true, false, false},
                              {"gltf", true, true, true}, {"glb", true, true, true},   {"fbx", false, true, true}};
    QTemporaryDir folder;
    for (const Format& format : formats) {
        SCOPED_TRACE(format.extension);
        const QString path = folder.filePath(QStringLiteral("sphere.") + QString::fromUtf8(format.extension));
        EXPECT_EQ(corvane_apps::WriteMesh(subject.output, path), mesh.VertexCount());
        const corvane_apps::MeshFile file = corvane_apps::ReadMesh(path);
        const tarnix::PolygonMesh& polygons = file.polygons;
        // Vertices split per seam side or per triangle are one vertex again.
        ASSERT_EQ(polygons.positions.size(), written.size());
        std::vector<int> writtenVertex;
        for (const tarnix::Vector& p : polygons.positions) writtenVertex.push_back(WrittenVertex(written, p));
        EXPECT_EQ(std::set<int>(writtenVertex.begin(), writtenVertex.end()).size(), written.size())
            << "each vertex comes back once";
        ASSERT_EQ(std::count(writtenVertex.begin(), writtenVertex.end(), -1), 0);
        EXPECT_EQ(polygons.FaceCount(), mesh.m_faceCount * (format.triangles ? 2 : 1));
        ASSERT_EQ(polygons.HasUVs(), format.uvs);
        for (size_t c = 0; format.uvs && c < polygons.faceVertices.size(); ++c) {
            const tarnix::TextureCoordinate& uv = polygons.uvs[polygons.faceUVs[c]];
            ASSERT_TRUE(hasValue(writtenVertex[polygons.faceVertices[c]], uv))
                << "corner " << c << ": " << uv.u << ", " << uv.v;
        }
        if (format.parts) {
            std::set<std::pair<QString, QString>> names;
            for (const FacePart& part : file.parts) names.insert({part.group, part.material});
            EXPECT_EQ(names,
                      (std::set<std::pair<QString, QString>>{{QStringLiteral("north"), QStringLiteral("skin")},
                                                             {QStringLiteral("south"), QStringLiteral("bone")}}));
            ASSERT_EQ(polygons.faceTags.size(), polygons.FaceCount());
        }
    }
}

TEST(MeshFilesTest, ObjIndicesCountFromOneOrBackwardsAndNamesFollowTheFaces) {
    QTemporaryDir folder;
    const corvane_apps::MeshFile mesh =
        corvane_apps::ReadMesh(WriteFile(folder, "two.obj",
                                         "mtllib two.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\n"
                                         "o first\nusemtl wood\nf 1/1 2/2 3/3\ng second part\nf -4 -2 -1\n"));
    EXPECT_EQ(mesh.polygons.faceVertices, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(mesh.materialLibrary, QStringLiteral("two.mtl"));
    ASSERT_EQ(mesh.parts.size(), 2u);
    EXPECT_EQ(mesh.parts[0], (FacePart{QStringLiteral("first"), QStringLiteral("wood")}));
    EXPECT_EQ(mesh.parts[1], (FacePart{QStringLiteral("second part"), QStringLiteral("wood")}));
    // The face written without coordinates gets (0, 0) at each corner.
    ASSERT_EQ(mesh.polygons.faceUVs.size(), 6u);
    for (size_t c = 3; c < 6; ++c) {
        EXPECT_EQ(mesh.polygons.uvs[mesh.polygons.faceUVs[c]].u, 0.0f);
        EXPECT_EQ(mesh.polygons.uvs[mesh.polygons.faceUVs[c]].v, 0.0f);
    }
}

TEST(MeshFilesTest, WriteFaultsNameTheFileAndLeaveNothingBehind) {
    QTemporaryDir folder;
    const Subject subject = MakeSubject();
    for (const char* name : {"nowhere/sphere.gltf", "nowhere/sphere.obj", "sphere.xyz"}) {
        const QString fault =
            FaultOf([&] { corvane_apps::WriteMesh(subject.output, folder.filePath(QString::fromUtf8(name))); });
        EXPECT_TRUE(fault.contains(QString::fromUtf8(name))) << fault.toStdString();
    }
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Files).isEmpty()) << "no file written, not even a glTF's buffer";
}

// Our PLY and STL readers take every encoding their formats have, and read past what they do
// not use; the round trip above covers only the binary files Assimp writes.
TEST(MeshFilesTest, PlyAndStlComeInEveryEncoding) {
    QTemporaryDir folder;
    const auto big = [](std::initializer_list<double> values) {
        QByteArray bytes;
        for (double value : values) {
            uint64_t bits;
            std::memcpy(&bits, &value, 8);
            for (int shift = 56; shift >= 0; shift -= 8) bytes += char(bits >> shift);
        }
        return bytes;
    };
    // Big-endian doubles, a 32-bit count of 16-bit indices, an element before the vertices and
    // a list among their properties, all read past.
    const corvane_apps::MeshFile bigEndian = corvane_apps::ReadMesh(
        WriteFile(folder, "big.ply",
                  "ply\nformat binary_big_endian 1.0\nelement camera 1\nproperty uchar lens\nelement vertex 3\n"
                  "property double x\nproperty list uchar uchar tags\nproperty double y\nproperty double z\n"
                  "element face 1\nproperty list uint ushort vertex_indices\nend_header\n" +
                      QByteArray(1, '\x07') + big({0}) + QByteArray("\x01\x09", 2) + big({0, 0}) + big({2}) +
                      QByteArray("\x00", 1) + big({0, 0}) + big({0}) + QByteArray("\x00", 1) + big({2, 0}) +
                      QByteArray("\x00\x00\x00\x03\x00\x00\x00\x01\x00\x02", 10)));
    EXPECT_EQ(bigEndian.polygons.faceVertices, (std::vector<uint32_t>{0, 1, 2}));
    ASSERT_EQ(bigEndian.polygons.positions.size(), 3u);
    EXPECT_EQ(bigEndian.polygons.positions[1].x, 2.0f);
    EXPECT_EQ(bigEndian.polygons.positions[2].y, 2.0f);
    // ASCII with texture coordinates as s and t; vertices at one position are one vertex, each
    // corner keeping its own coordinate.
    const corvane_apps::MeshFile seam = corvane_apps::ReadMesh(WriteFile(
        folder, "seam.ply",
        "ply\r\nformat ascii 1.0\r\nelement vertex 4\r\nproperty float x\r\nproperty float y\r\nproperty float z\r\n"
        "property float s\r\nproperty float t\r\nelement face 1\r\nproperty list uchar int "
        "vertex_index\r\nend_header\r\n"
        "0 0 0 0 0\r\n1 0 0 1 0\r\n0 1 0 0 1\r\n0 0 0 1 1\r\n4 0 1 2 3\r\n"));
    EXPECT_EQ(seam.polygons.positions.size(), 3u);
    EXPECT_EQ(seam.polygons.faceVertices, (std::vector<uint32_t>{0, 1, 2, 0}));
    ASSERT_EQ(seam.polygons.faceUVs.size(), 4u);
    EXPECT_EQ(seam.polygons.uvs[seam.polygons.faceUVs[3]].u, 1.0f);
    // ASCII STL of two solids, one vertex shared.
    const corvane_apps::MeshFile solids = corvane_apps::ReadMesh(WriteFile(
        folder, "two.stl",
        "solid a\n facet normal 0 0 1\n  outer loop\n   vertex 0 0 0\n   vertex 1 0 0\n   vertex 0 1 0\n  endloop\n"
        " endfacet\nendsolid a\nsolid b\nfacet normal 0 0 1 outer loop vertex 1 0 0 vertex 1 1 0 vertex 0 1 0 endloop "
        "endfacet endsolid b\n"));
    EXPECT_EQ(solids.polygons.faceSizes, (std::vector<uint32_t>{3, 3}));
    EXPECT_EQ(solids.polygons.faceVertices, (std::vector<uint32_t>{0, 1, 2, 1, 3, 2}));
    EXPECT_TRUE(FaultOf([&] {
                    corvane_apps::ReadMesh(WriteFile(folder, "open.stl", "solid a\nfacet normal 0 0 1\nouter loop\n"));
                }).contains(QStringLiteral("open.stl: the file ends before \"endsolid\"")));
}

// Faulty files and files made to hurt a reader: each is refused in one line naming the file and
// the fault, at once, or read for what it truly holds, with a warning where something is doubtful.
TEST(MeshFilesTest, HostileFilesAreRefusedAtOnceOrReadForWhatTheyHold) {
    QTemporaryDir folder;
    const auto write = [&](const char* name, const QByteArray& bytes) { return WriteFile(folder, name, bytes); };
    const QByteArray plyHeader =
        "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
        "property float z\nelement face 3\nproperty list uchar int vertex_indices\nend_header\n";
    // GLB: header, then a JSON chunk that claims 4 GiB.
    QByteArray glb("glTF\x02\0\0\0", 8);
    glb += QByteArray("\x18\0\0\0\xff\xff\xff\xffJSON{}\0\0", 16);
    QByteArray hugeCount =
        "ply\nformat ascii 1.0\nelement vertex 10000000\nproperty float x\nproperty float y\n"
        "property float z\nend_header\n";
    for (int v = 0; v < 8; ++v) hugeCount += "0 0 0\n";
    // A glTF whose index view starts before its buffer.
    const QByteArray gltf =
        R"({"asset": {"version": "2.0"}, "buffers": [{"byteLength": 48, "uri": "data:application/octet-stream;base64,)" +
        QByteArray(48, 'A').toBase64() + R"("}], "bufferViews": [{"buffer": 0, "byteOffset": -12, "byteLength": 12}],
        "accessors": [{"bufferView": 0, "componentType": 5123, "count": 6, "type": "SCALAR"}],
        "meshes": [{"primitives": [{"attributes": {}, "indices": 0}]}]})";
    QByteArray polygon = "";
    QByteArray corners = "f";
    for (int v = 0; v < 100000; ++v) {
        polygon += QByteArray("v ") + QByteArray::number(std::cos(v * 6.28318 / 100000)) + ' ' +
                   QByteArray::number(std::sin(v * 6.28318 / 100000)) + " 0\n";
        corners += ' ' + QByteArray::number(v + 1);
    }
    const std::pair<QString, QString> refusals[] = {
        {write("notes.txt", "v 0 0 0\n"), QStringLiteral("cannot read \"txt\" files")},
        {write("garbage.ply", "not a ply file\n"), QStringLiteral("garbage.ply: ")},
        {write("garbage.glb", "glTF"), QStringLiteral("garbage.glb: ")},
        {folder.filePath(QStringLiteral("missing.stl")), QStringLiteral("missing.stl: no such file")},
        {write("far.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 -7\n"), QStringLiteral("far.obj: a face names vertex -7")},
        {write("endless.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n" + QByteArray(70000, 'c')),
         QStringLiteral("endless.ply: the header does not end")},
        {write("counts.ply", hugeCount), QStringLiteral("counts.ply: the header declares 10000000 \"vertex\"")},
        {write("far.ply", plyHeader + "0 0 0\n1 0 0\n0 1 0\n3 0 1 7\n0\n1 2\n"),
         QStringLiteral("far.ply: face 0 names vertex 7, but the file has 3 vertices")},
        {write("claims.glb", glb), QStringLiteral("claims.glb: a chunk at byte 12 claims 4294967295 bytes")},
        {write("before.gltf", gltf),
         QStringLiteral("before.gltf: bufferViews[0].byteOffset must be a whole number of at least 0")},
        {write("short.stl", QByteArray(84, '\0').replace(80, 1, "\x05") + QByteArray(120, '\0')),
         QStringLiteral("short.stl: a binary STL file of 5 triangles has 204 bytes, not 334")},
        {write("wraps.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 3 4294967298\n"),
         QStringLiteral("wraps.obj: line 4: \"4294967298\" is not an index")},
        {write("polygon.obj", polygon + corners + "\n"),
         QStringLiteral("polygon.obj: face 0 has 100000 corners, more than")}};
    for (const auto& [path, reason] : refusals) {
        SCOPED_TRACE(path.toStdString());
        QElapsedTimer timer;
        timer.start();
        const QString fault =
            FaultOf([&] { corvane_apps::GeometryFromPolygons(corvane_apps::ReadMesh(path).polygons, path); });
        EXPECT_TRUE(fault.contains(reason)) << fault.toStdString();
        EXPECT_FALSE(fault.contains(QLatin1Char('\n'))) << fault.toStdString();
        EXPECT_LT(timer.elapsed(), 20000) << "refused at once, even under the sanitizers";
    }

    // Faces of no corner, one and two are no surface: left out, and counted so that `info` can
    // say so (faces of no corner and of one before a triangle crashed Assimp's reader).
    const corvane_apps::MeshFile stray =
        corvane_apps::ReadMesh(write("stray.ply", QByteArray(plyHeader).replace("face 3", "face 4") +
                                                      "0 0 0\n1 0 0\n0 1 0\n0\n1 2\n2 0 1\n3 0 1 2\n"));
    EXPECT_EQ(stray.polygons.faceSizes, std::vector<uint32_t>{3});
    EXPECT_EQ(stray.pointsAndLinesLeftOut, 3u);
    // A file cut inside its last line is read, and says it may be cut short.
    const corvane_apps::MeshFile cut =
        corvane_apps::ReadMesh(write("cut.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\nf 2 4 3"));
    ASSERT_EQ(cut.warnings.size(), 1);
    EXPECT_TRUE(cut.warnings[0].contains(QStringLiteral("cut.obj: the last line has no line break")))
        << cut.warnings[0].toStdString();
    EXPECT_TRUE(corvane_apps::ReadMesh(write("whole.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n")).warnings.isEmpty());
    // A name the system would cut at its NUL.
    EXPECT_TRUE(FaultOf([&] {
                    corvane_apps::ReadMesh(folder.filePath(QStringLiteral("a")) + QChar(0) + QStringLiteral("b.obj"));
                }).contains(QStringLiteral("cannot hold a NUL character")));
}

// A reader in a child process: its crash, its endless loop and its hunger for memory end the
// child only, and each is one fault naming the file.
TEST(MeshFilesTest, AReaderInAChildProcessIsStoppedAtItsBudget) {
    const QString path = QStringLiteral("hostile.fbx");
    struct Reader {
        std::function<corvane_apps::MeshFile()> read;
        double seconds;
        QString fault;
    };
    const Reader readers[] = {
        {[]() -> corvane_apps::MeshFile {
             raise(SIGBUS);
             return {};
         },
         60.0, QStringLiteral("hostile.fbx: the file could not be read: the reader failed on it")},
        {[]() -> corvane_apps::MeshFile {
             for (;;) pause();
         },
         1.0, QStringLiteral("hostile.fbx: reading was stopped after 1 s")},
        {[]() -> corvane_apps::MeshFile {
             std::vector<std::unique_ptr<char[]>> blocks;
             for (;;) {
                 blocks.emplace_back(new char[1 << 20]);
                 std::memset(blocks.back().get(), 1, 1 << 20);
             }
         },
         60.0, QStringLiteral("hostile.fbx: reading was stopped at 256 MiB of memory")},
        {[&]() -> corvane_apps::MeshFile { corvane_apps::Fail(QStringLiteral("hostile.fbx: its own fault")); }, 60.0,
         QStringLiteral("hostile.fbx: its own fault")}};
    const qint64 memory = qint64(256) << 20;
    for (const Reader& reader : readers) {
        SCOPED_TRACE(reader.fault.toStdString());
        QElapsedTimer timer;
        timer.start();
        const QString fault = FaultOf([&] {
            corvane_apps::ReadInChildProcess(path, {reader.seconds, memory}, reader.read);
        });
        EXPECT_TRUE(fault.startsWith(reader.fault)) << fault.toStdString();
        EXPECT_LT(timer.elapsed(), 20000);
    }
    corvane_apps::MeshFile file;
    file.polygons.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    file.polygons.faceSizes = {3};
    file.polygons.faceVertices = {0, 1, 2};
    file.warnings = QStringList{QStringLiteral("w")};
    // Positions, faces and parts come back through the Assimp formats' round trip; warnings only here.
    EXPECT_EQ(corvane_apps::ReadInChildProcess(path, {60.0, memory}, [&] { return file; }).warnings, file.warnings);
}

}  // namespace

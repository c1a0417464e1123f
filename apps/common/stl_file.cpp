// STL files, binary and ASCII, read here: the format is a list of triangles, each with its
// three corners written out, so the reader is short and every count it meets can be checked
// against the file's size. Corners at the same position become one vertex.
//
// A binary file is 80 bytes of header, a 32-bit triangle count and 50 bytes per triangle; a
// file of exactly that size is binary even when its header begins with "solid", as some
// writers make it. Anything else must be ASCII: "facet ... outer loop, vertex x y z (three
// times), endloop, endfacet", in one or more "solid" blocks.

#include <QFile>
#include <QtEndian>

#include <cmath>
#include <cstring>

#include "errors.h"
#include "mesh_formats.h"

namespace corvane_apps {
namespace {

constexpr qint64 kBinaryHeaderBytes = 84;
constexpr qint64 kBinaryTriangleBytes = 50;

class StlReader {
public:
    StlReader(const QString& path, const QByteArray& bytes) : m_path(path), m_bytes(bytes) {}

    MeshFile Read() {
        const uint32_t triangles =
            m_bytes.size() >= kBinaryHeaderBytes ? qFromLittleEndian<quint32>(m_bytes.constData() + 80) : 0;
        const bool binary = m_bytes.size() >= kBinaryHeaderBytes &&
                            m_bytes.size() == kBinaryHeaderBytes + kBinaryTriangleBytes * qint64(triangles);
        if (binary) {
            ReadBinary(triangles);
        } else if (m_bytes.trimmed().startsWith("solid")) {
            ReadAscii();
        } else if (m_bytes.size() >= kBinaryHeaderBytes) {
            Fault(QStringLiteral("a binary STL file of %1 triangles has %2 bytes, not %3")
                      .arg(triangles)
                      .arg(m_bytes.size())
                      .arg(kBinaryHeaderBytes + kBinaryTriangleBytes * qint64(triangles)));
        } else {
            Fault(QStringLiteral("not an STL file (too short to be binary, and it does not begin with \"solid\")"));
        }
        if (m_file.polygons.faceSizes.empty()) Fault(QStringLiteral("the file holds no triangles"));
        return std::move(m_file);
    }

private:
    [[noreturn]] void Fault(const QString& text, SourcePlace place = SourcePlace::Here()) const {
        Fail(QStringLiteral("%1: %2").arg(m_path, text), place);
    }

    void Corner(const float* p, uint64_t triangle) {
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
            Fault(QStringLiteral("triangle %1 has a coordinate that is not a finite number").arg(triangle));
        m_file.polygons.faceVertices.push_back(m_joiner.Vertex({p[0], p[1], p[2]}));
    }

    void ReadBinary(uint32_t triangles) {
        m_file.polygons.faceSizes.assign(triangles, 3);
        m_file.polygons.faceVertices.reserve(size_t(triangles) * 3);
        for (uint32_t t = 0; t < triangles; ++t) {
            // Each triangle: its normal, three corners (floats, little-endian), two spare bytes.
            const char* record = m_bytes.constData() + kBinaryHeaderBytes + kBinaryTriangleBytes * qint64(t);
            float values[12];
            for (int i = 0; i < 12; ++i) {
                const quint32 bits = qFromLittleEndian<quint32>(record + 4 * i);
                std::memcpy(&values[i], &bits, 4);
            }
            for (int corner = 1; corner <= 3; ++corner) Corner(values + 3 * corner, t);
        }
    }

    void ReadAscii() {
        const QList<QByteArray> words = m_bytes.simplified().split(' ');
        uint64_t triangle = 0;
        std::vector<float> corners;  // of the facet being read
        bool inSolid = false;
        for (int i = 0; i < words.size(); ++i) {
            const QByteArray& word = words[i];
            if (word == "solid" || word == "endsolid") {
                inSolid = word == "solid";
            } else if (word == "facet") {
                corners.clear();
            } else if (word == "vertex") {
                if (i + 3 >= words.size())
                    Fault(QStringLiteral("triangle %1: the file ends inside a corner").arg(triangle));
                for (int k = 1; k <= 3; ++k) {
                    bool ok = false;
                    corners.push_back(words[i + k].toFloat(&ok));
                    if (!ok)
                        Fault(QStringLiteral("triangle %1: \"%2\" is not a number")
                                  .arg(triangle)
                                  .arg(QString::fromLatin1(words[i + k].left(40))));
                }
                i += 3;
            } else if (word == "endfacet") {
                if (corners.size() != 9)
                    Fault(QStringLiteral("triangle %1 has %2 corners, not 3").arg(triangle).arg(corners.size() / 3));
                for (int corner = 0; corner < 3; ++corner) Corner(corners.data() + 3 * corner, triangle);
                m_file.polygons.faceSizes.push_back(3);
                ++triangle;
            }
        }
        if (inSolid) Fault(QStringLiteral("the file ends before \"endsolid\": it may be cut short"));
    }

    QString m_path;
    const QByteArray& m_bytes;
    MeshFile m_file;
    CornerJoiner m_joiner{m_file.polygons};
};

}  // namespace

MeshFile ReadStlFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) Fail(QStringLiteral("%1: cannot read: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    return StlReader(path, bytes).Read();
}

}  // namespace corvane_apps

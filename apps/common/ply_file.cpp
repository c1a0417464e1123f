// PLY files, ASCII and binary of either byte order, read here rather than through Assimp: its
// reader trusts the header (a count of ten million vertices is allocated before the file is
// seen to hold eight, a header without end is searched for ever, faces of no corners crash its
// post-processing). This one checks every count against the bytes left before it reserves
// anything, so its time and memory stay proportionate to the file.
//
// Of the elements, "vertex" gives positions (x, y, z) and texture coordinates (u, v, or s, t,
// or texture_u, texture_v, ...), "face" its corners (the list "vertex_indices" or
// "vertex_index"); every other element and property is read past. Vertices at the same
// position are one vertex (writers store a vertex once per UV island).

#include <QFile>

#include <cmath>
#include <cstring>

#include "errors.h"
#include "mesh_formats.h"

namespace corvane_apps {
namespace {

// A header is a few hundred bytes; one that runs past this has no end.
constexpr int kMostHeaderBytes = 64 * 1024;

enum class Encoding { kAscii, kLittleEndian, kBigEndian };

// PLY's scalar types by their names, old and new.
struct ScalarType {
    const char* names[2];
    int bytes;
    bool isFloat, isSigned;
};
const ScalarType kScalarTypes[] = {{{"char", "int8"}, 1, false, true},    {{"uchar", "uint8"}, 1, false, false},
                                   {{"short", "int16"}, 2, false, true},  {{"ushort", "uint16"}, 2, false, false},
                                   {{"int", "int32"}, 4, false, true},    {{"uint", "uint32"}, 4, false, false},
                                   {{"float", "float32"}, 4, true, true}, {{"double", "float64"}, 8, true, true}};

struct Property {
    QByteArray name;
    const ScalarType* type = nullptr;
    const ScalarType* countType = nullptr;  // a list's count; null for a scalar
};

struct Element {
    QByteArray name;
    uint64_t count = 0;
    std::vector<Property> properties;
};

// An item of an element ("vertex 12"), named in messages only: made into text only for one.
struct Place {
    const QByteArray& element;
    uint64_t item;
    QString Text() const { return QStringLiteral("%1 %2").arg(QString::fromLatin1(element)).arg(item); }
};

class PlyReader {
public:
    PlyReader(const QString& path, QByteArray bytes) : m_path(path), m_bytes(std::move(bytes)) {}

    MeshFile Read() {
        ReadHeader();
        for (const Element& element : m_elements) {
            if (element.name == "vertex") Vertices(element);
            else if (element.name == "face") Faces(element);
            else
                for (uint64_t i = 0; i < element.count; ++i) Skip(element, i);
        }
        if (m_vertexCount == 0 && m_file.polygons.faceSizes.empty()) Fault(QStringLiteral("the file holds no mesh"));
        if (!m_anyUV) {
            m_file.polygons.uvs.clear();
            m_file.polygons.faceUVs.clear();
        }
        return std::move(m_file);
    }

private:
    [[noreturn]] void Fault(const QString& text, SourcePlace place = SourcePlace::Here()) const {
        Fail(QStringLiteral("%1: %2").arg(m_path, text), place);
    }

    // ---- header --------------------------------------------------------------------------

    QByteArray HeaderLine() {
        const int end = m_bytes.indexOf('\n', int(m_at));
        if (end < 0 || end >= kMostHeaderBytes)
            Fault(QStringLiteral("the header does not end (no \"end_header\" line in its first %1 bytes)")
                      .arg(kMostHeaderBytes));
        const QByteArray line = m_bytes.mid(int(m_at), end - int(m_at)).trimmed();
        m_at = size_t(end) + 1;
        return line;
    }

    const ScalarType* TypeNamed(const QByteArray& name) const {
        for (const ScalarType& type : kScalarTypes)
            if (name == type.names[0] || name == type.names[1]) return &type;
        Fault(QStringLiteral("the header names an unknown type \"%1\"").arg(QString::fromLatin1(name)));
    }

    void ReadHeader() {
        if (HeaderLine() != "ply") Fault(QStringLiteral("not a PLY file (it does not begin with \"ply\")"));
        bool formatGiven = false;
        for (QByteArray line = HeaderLine(); line != "end_header"; line = HeaderLine()) {
            const QList<QByteArray> words = line.simplified().split(' ');
            if (words[0] == "comment" || words[0] == "obj_info" || line.isEmpty()) continue;
            if (words[0] == "format" && words.size() == 3) {
                formatGiven = true;
                if (words[1] == "ascii") m_encoding = Encoding::kAscii;
                else if (words[1] == "binary_little_endian") m_encoding = Encoding::kLittleEndian;
                else if (words[1] == "binary_big_endian") m_encoding = Encoding::kBigEndian;
                else Fault(QStringLiteral("unknown format \"%1\"").arg(QString::fromLatin1(words[1])));
            } else if (words[0] == "element" && words.size() == 3) {
                bool ok = false;
                const qulonglong count = words[2].toULongLong(&ok);
                if (!ok || count > UINT32_MAX)
                    Fault(QStringLiteral("element \"%1\" has a count of \"%2\"")
                              .arg(QString::fromLatin1(words[1]), QString::fromLatin1(words[2])));
                m_elements.push_back({words[1], count, {}});
            } else if (words[0] == "property" && !m_elements.empty() && words.size() == 3) {
                m_elements.back().properties.push_back({words[2], TypeNamed(words[1]), nullptr});
            } else if (words[0] == "property" && !m_elements.empty() && words.size() == 5 && words[1] == "list") {
                Property list{words[4], TypeNamed(words[3]), TypeNamed(words[2])};
                if (list.countType->isFloat)
                    Fault(QStringLiteral("list \"%1\" is counted by a floating-point type")
                              .arg(QString::fromLatin1(list.name)));
                m_elements.back().properties.push_back(list);
            } else {
                Fault(QStringLiteral("the header holds a line it cannot read: \"%1\"")
                          .arg(QString::fromLatin1(line.left(80))));
            }
        }
        if (!formatGiven) Fault(QStringLiteral("the header has no \"format\" line"));
        // Every element must fit in what is left: a count the file cannot hold is refused
        // before anything is reserved for it.
        uint64_t leastBytes = 0;
        for (const Element& element : m_elements) leastBytes += element.count * LeastBytes(element);
        const uint64_t left = m_bytes.size() - m_at;
        if (leastBytes > left + (m_encoding == Encoding::kAscii ? 1 : 0))
            Fault(QStringLiteral(
                      "the header declares %1, which needs at least %2 bytes, but the file has %3 after the header")
                      .arg(Declared())
                      .arg(leastBytes)
                      .arg(left));
    }

    // The fewest bytes one item of `element` can take: each ASCII value a digit and a space,
    // each binary value its size, lists empty.
    uint64_t LeastBytes(const Element& element) const {
        uint64_t bytes = 0;
        for (const Property& property : element.properties)
            bytes += m_encoding == Encoding::kAscii
                         ? 2
                         : uint64_t((property.countType ? property.countType : property.type)->bytes);
        return bytes;
    }

    QString Declared() const {
        QStringList counts;
        for (const Element& element : m_elements)
            counts << QStringLiteral("%1 \"%2\"").arg(element.count).arg(QString::fromLatin1(element.name));
        return counts.join(QStringLiteral(", "));
    }

    // ---- values --------------------------------------------------------------------------

    // The next value as a double (which holds every PLY integer exactly); `what` names it in
    // messages.
    double Value(const ScalarType& type, const Place& what) {
        if (m_encoding == Encoding::kAscii) return AsciiValue(type, what);
        if (m_bytes.size() - m_at < size_t(type.bytes))
            Fault(QStringLiteral("%1: the file ends inside it").arg(what.Text()));
        unsigned char raw[8];
        std::memcpy(raw, m_bytes.constData() + m_at, size_t(type.bytes));
        m_at += size_t(type.bytes);
        const bool swap = (m_encoding == Encoding::kBigEndian) == (Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
        if (swap) std::reverse(raw, raw + type.bytes);
        switch (type.bytes) {
            case 1:
                return type.isSigned ? double(int8_t(raw[0])) : double(raw[0]);
            case 2: {
                uint16_t v;
                std::memcpy(&v, raw, 2);
                return type.isSigned ? double(int16_t(v)) : double(v);
            }
            case 4: {
                if (type.isFloat) {
                    float f;
                    std::memcpy(&f, raw, 4);
                    return double(f);
                }
                uint32_t v;
                std::memcpy(&v, raw, 4);
                return type.isSigned ? double(int32_t(v)) : double(v);
            }
            default: {
                double d;
                std::memcpy(&d, raw, 8);
                return d;
            }
        }
    }

    double AsciiValue(const ScalarType& type, const Place& what) {
        const char* data = m_bytes.constData();
        const size_t size = size_t(m_bytes.size());
        while (m_at < size && std::isspace(static_cast<unsigned char>(data[m_at]))) ++m_at;
        const size_t start = m_at;
        while (m_at < size && !std::isspace(static_cast<unsigned char>(data[m_at]))) ++m_at;
        if (start == m_at) Fault(QStringLiteral("%1: the file ends before it").arg(what.Text()));
        const QByteArray token = QByteArray::fromRawData(data + start, int(m_at - start));
        bool ok = false;
        const double value = type.isFloat ? token.toDouble(&ok) : double(token.toLongLong(&ok));
        if (!ok)
            Fault(QStringLiteral("%1: \"%2\" is not a number").arg(what.Text(), QString::fromLatin1(token.left(40))));
        return value;
    }

    uint64_t Count(const Property& list, const Place& what) {
        const double count = Value(*list.countType, what);
        if (count < 0) Fault(QStringLiteral("%1: a list of %2 values").arg(what.Text()).arg(count));
        // Each of its values takes at least this much of what is left.
        const uint64_t least = m_encoding == Encoding::kAscii ? 2 : uint64_t(list.type->bytes);
        if (uint64_t(count) * least > m_bytes.size() - m_at + 1)
            Fault(QStringLiteral("%1: a list of %2 values, more than the rest of the file holds")
                      .arg(what.Text())
                      .arg(count));
        return uint64_t(count);
    }

    void Skip(const Element& element, uint64_t item) {
        const Place what{element.name, item};
        for (const Property& property : element.properties) {
            const uint64_t values = property.countType ? Count(property, what) : 1;
            for (uint64_t i = 0; i < values; ++i) Value(*property.type, what);
        }
    }

    // ---- vertices and faces --------------------------------------------------------------

    void Vertices(const Element& element) {
        if (m_vertexCount != 0) Fault(QStringLiteral("the file has two \"vertex\" elements"));
        int x = -1, y = -1, z = -1, u = -1, v = -1;
        for (int i = 0; i < int(element.properties.size()); ++i) {
            const QByteArray& name = element.properties[size_t(i)].name;
            if (element.properties[size_t(i)].countType) continue;
            if (name == "x") x = i;
            else if (name == "y") y = i;
            else if (name == "z") z = i;
            else if (name == "u" || name == "s" || name == "texture_u" || name == "texture_s") u = i;
            else if (name == "v" || name == "t" || name == "texture_v" || name == "texture_t") v = i;
        }
        if (x < 0 || y < 0 || z < 0) Fault(QStringLiteral("the vertices have no x, y and z"));
        m_anyUV = u >= 0 && v >= 0;
        m_vertexCount = element.count;
        m_vertices.reserve(element.count);
        m_uvs.reserve(m_anyUV ? element.count : 0);
        std::vector<double> values(element.properties.size());
        for (uint64_t item = 0; item < element.count; ++item) {
            const Place what{element.name, item};
            for (size_t i = 0; i < element.properties.size(); ++i) {
                const Property& property = element.properties[i];
                const uint64_t count = property.countType ? Count(property, what) : 1;
                for (uint64_t k = 0; k < count; ++k) values[i] = Value(*property.type, what);
            }
            const tarnix::Vector p{float(values[size_t(x)]), float(values[size_t(y)]), float(values[size_t(z)])};
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                Fault(QStringLiteral("%1 has a coordinate that is not a finite number").arg(what.Text()));
            m_vertices.push_back(m_joiner.Vertex(p));
            if (m_anyUV) {
                const float s = float(values[size_t(u)]), t = float(values[size_t(v)]);
                if (!std::isfinite(s) || !std::isfinite(t))
                    Fault(QStringLiteral("%1 has a texture coordinate that is not a finite number").arg(what.Text()));
                m_uvs.push_back(m_joiner.UV(s, t));
            }
        }
    }

    void Faces(const Element& element) {
        int corners = -1;
        for (int i = 0; i < int(element.properties.size()); ++i) {
            const Property& property = element.properties[size_t(i)];
            if (property.countType && (property.name == "vertex_indices" || property.name == "vertex_index"))
                corners = i;
        }
        if (corners < 0) Fault(QStringLiteral("the faces have no list \"vertex_indices\""));
        tarnix::PolygonMesh& polygons = m_file.polygons;
        polygons.faceSizes.reserve(element.count);
        std::vector<uint32_t> face;
        for (uint64_t item = 0; item < element.count; ++item) {
            const Place what{element.name, item};
            face.clear();
            for (int i = 0; i < int(element.properties.size()); ++i) {
                const Property& property = element.properties[size_t(i)];
                const uint64_t count = property.countType ? Count(property, what) : 1;
                for (uint64_t k = 0; k < count; ++k) {
                    const double value = Value(*property.type, what);
                    if (i != corners) continue;
                    if (!(value >= 0 && value < double(m_vertexCount)))
                        Fault(QStringLiteral("%1 names vertex %2, but the file has %3 vertices before it")
                                  .arg(what.Text())
                                  .arg(value, 0, 'g', 12)
                                  .arg(m_vertexCount));
                    face.push_back(uint32_t(value));
                }
            }
            // Points and lines are no surface: counted, not read.
            if (face.size() < 3) {
                ++m_file.pointsAndLinesLeftOut;
                continue;
            }
            for (uint32_t vertex : face) {
                polygons.faceVertices.push_back(m_vertices[vertex]);
                polygons.faceUVs.push_back(m_anyUV ? m_uvs[vertex] : 0);
            }
            polygons.faceSizes.push_back(uint32_t(face.size()));
        }
    }

    QString m_path;
    QByteArray m_bytes;
    size_t m_at = 0;
    Encoding m_encoding = Encoding::kAscii;
    std::vector<Element> m_elements;
    MeshFile m_file;
    CornerJoiner m_joiner{m_file.polygons};
    uint64_t m_vertexCount = 0;
    std::vector<uint32_t> m_vertices, m_uvs;  // each file vertex's joined vertex and value
    bool m_anyUV = false;
};

}  // namespace

MeshFile ReadPlyFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) Fail(QStringLiteral("%1: cannot read: %2").arg(path, file.errorString()));
    return PlyReader(path, file.readAll()).Read();
}

}  // namespace corvane_apps

// glTF files are checked here before Assimp reads them: its reader trusts the sizes a file
// gives (a GLB chunk that claims 4 GB is allocated before the file is seen to be 800 bytes) and
// reads what a buffer view with a negative offset points at. Every container the mesh data
// goes through is checked to lie inside the one that holds it: GLB chunks inside the file,
// buffers inside their chunk or file, views inside their buffer, accessors inside their view.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cmath>

#include "errors.h"
#include "mesh_formats.h"
#include "session.h"

namespace corvane_apps {
namespace {

using Json = nlohmann::json;

class GltfCheck {
public:
    explicit GltfCheck(const QString& path) : m_path(path) {}

    void Run() {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly)) Fault(QStringLiteral("cannot read: %1").arg(file.errorString()));
        const QByteArray bytes = file.readAll();
        QByteArray json = bytes;
        if (bytes.startsWith("glTF")) json = GlbChunks(bytes);
        m_root = ParseJson(json, m_path);
        if (!m_root.is_object()) Fault(QStringLiteral("the JSON is not an object"));
        const Json asset = m_root.value("asset", Json());
        const Json version = asset.is_object() ? asset.value("version", Json()) : Json();
        if (!version.is_string() || version.get<std::string>().rfind("2.", 0) != 0)
            Fault(QStringLiteral("not a glTF 2.0 file (its \"asset\" gives no version 2.x)"));
        Buffers();
        Views();
        Accessors();
    }

private:
    [[noreturn]] void Fault(const QString& text, SourcePlace place = SourcePlace::Here()) const {
        Fail(QStringLiteral("%1: %2").arg(m_path, text), place);
    }

    // A GLB file: a 12-byte header (magic, version, length), then chunks of a length, a type
    // and the bytes: JSON first, a binary buffer after it.
    QByteArray GlbChunks(const QByteArray& bytes) {
        if (bytes.size() < 20)
            Fault(QStringLiteral("a GLB file of %1 bytes is too short for its header").arg(bytes.size()));
        const quint32 length = qFromLittleEndian<quint32>(bytes.constData() + 8);
        if (length != quint32(bytes.size()))
            Fault(QStringLiteral("the GLB header gives a length of %1 bytes, but the file has %2")
                      .arg(length)
                      .arg(bytes.size()));
        QByteArray json;
        for (qint64 at = 12; at < bytes.size();) {
            if (bytes.size() - at < 8) Fault(QStringLiteral("the file ends inside a chunk header at byte %1").arg(at));
            const quint32 chunkLength = qFromLittleEndian<quint32>(bytes.constData() + at);
            const QByteArray type = bytes.mid(int(at + 4), 4);
            at += 8;
            if (chunkLength > bytes.size() - at)
                Fault(QStringLiteral("a chunk at byte %1 claims %2 bytes, but the file has %3 after it")
                          .arg(at - 8)
                          .arg(chunkLength)
                          .arg(bytes.size() - at));
            if (type == QByteArrayLiteral("JSON") && json.isNull()) json = bytes.mid(int(at), int(chunkLength));
            else if (type == QByteArrayLiteral("BIN\0") && m_binaryBytes < 0) m_binaryBytes = chunkLength;
            at += chunkLength;
        }
        if (json.isNull()) Fault(QStringLiteral("the GLB file has no JSON chunk"));
        return json;
    }

    // A whole number at `key` of `object` (`what` names it), at least 0; `fallback` when absent.
    double Count(const Json& object, const char* key, const QString& what, double fallback = -1) const {
        if (!object.is_object()) Fault(QStringLiteral("%1 must be an object").arg(what));
        if (!object.contains(key) && fallback >= 0) return fallback;
        const Json& value = object.contains(key) ? object[key] : Json();
        const double number = value.is_number() ? value.get<double>() : -1;
        if (number < 0 || number != std::floor(number) || number > 9e15)
            Fault(QStringLiteral("%1.%2 must be a whole number of at least 0").arg(what, QString::fromLatin1(key)));
        return number;
    }

    const Json& List(const char* key) const {
        static const Json kNone = Json::array();
        if (!m_root.contains(key)) return kNone;
        if (!m_root[key].is_array()) Fault(QStringLiteral("\"%1\" must be a list").arg(QString::fromLatin1(key)));
        return m_root[key];
    }

    // Each buffer's bytes as its source holds them: the GLB's binary chunk, a data URI (its
    // decoded length is bounded by the text's) or a file beside this one.
    void Buffers() {
        const Json& buffers = List("buffers");
        for (size_t i = 0; i < buffers.size(); ++i) {
            const QString what = QStringLiteral("buffers[%1]").arg(i);
            const Json& buffer = buffers[i];
            const double length = Count(buffer, "byteLength", what);
            const Json uriValue = buffer.value("uri", Json());
            if (!uriValue.is_null() && !uriValue.is_string())
                Fault(QStringLiteral("%1.uri must be a string").arg(what));
            const QString uri = uriValue.is_string() ? QString::fromStdString(uriValue.get<std::string>()) : QString();
            double available = 0;
            if (uriValue.is_null()) {
                available = double(std::max<qint64>(m_binaryBytes, 0));
            } else if (uri.startsWith(QLatin1String("data:"))) {
                available = double(uri.size());
            } else {
                const QFileInfo file(QFileInfo(m_path).dir(), uri);
                if (!file.isFile()) Fault(QStringLiteral("%1: no file \"%2\" beside it").arg(what, uri));
                available = double(file.size());
            }
            if (length > available)
                Fault(
                    QStringLiteral("%1 claims %2 bytes, but its source holds %3").arg(what).arg(length).arg(available));
            m_bufferBytes.push_back(length);
        }
    }

    void Views() {
        const Json& views = List("bufferViews");
        for (size_t i = 0; i < views.size(); ++i) {
            const QString what = QStringLiteral("bufferViews[%1]").arg(i);
            const Json& view = views[i];
            const double buffer = Count(view, "buffer", what);
            if (buffer >= double(m_bufferBytes.size()))
                Fault(QStringLiteral("%1 names buffer %2 of %3").arg(what).arg(buffer).arg(m_bufferBytes.size()));
            const double offset = Count(view, "byteOffset", what, 0), length = Count(view, "byteLength", what);
            const double stride = Count(view, "byteStride", what, 0);
            if (offset + length > m_bufferBytes[size_t(buffer)])
                Fault(QStringLiteral("%1 reaches byte %2 of buffer %3, which has %4")
                          .arg(what)
                          .arg(offset + length)
                          .arg(buffer)
                          .arg(m_bufferBytes[size_t(buffer)]));
            m_viewBytes.push_back(length);
            m_viewStrides.push_back(stride);
        }
    }

    void Accessors() {
        const Json& accessors = List("accessors");
        const std::map<std::string, int> components = {{"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3}, {"VEC4", 4},
                                                       {"MAT2", 4},   {"MAT3", 9}, {"MAT4", 16}};
        const std::map<int64_t, int> componentBytes = {{5120, 1}, {5121, 1}, {5122, 2},
                                                       {5123, 2}, {5125, 4}, {5126, 4}};
        for (size_t i = 0; i < accessors.size(); ++i) {
            const QString what = QStringLiteral("accessors[%1]").arg(i);
            const Json& accessor = accessors[i];
            const double count = Count(accessor, "count", what);
            const Json typeName = accessor.value("type", Json()),
                       componentType = accessor.value("componentType", Json());
            const auto type = components.find(typeName.is_string() ? typeName.get<std::string>() : std::string());
            const auto bytes =
                componentBytes.find(componentType.is_number_integer() ? componentType.get<int64_t>() : 0);
            if (type == components.end() || bytes == componentBytes.end())
                Fault(QStringLiteral("%1 has an unknown type or component type").arg(what));
            // Without a view an accessor is all zeros: nothing to read.
            if (!accessor.contains("bufferView")) continue;
            const double view = Count(accessor, "bufferView", what);
            if (view >= double(m_viewBytes.size()))
                Fault(QStringLiteral("%1 names buffer view %2 of %3").arg(what).arg(view).arg(m_viewBytes.size()));
            const double offset = Count(accessor, "byteOffset", what, 0);
            const double element = double(type->second * bytes->second);
            const double stride = m_viewStrides[size_t(view)] > 0 ? m_viewStrides[size_t(view)] : element;
            const double end = count == 0 ? offset : offset + stride * (count - 1) + element;
            if (end > m_viewBytes[size_t(view)])
                Fault(QStringLiteral("%1 reaches byte %2 of buffer view %3, which has %4")
                          .arg(what)
                          .arg(end)
                          .arg(view)
                          .arg(m_viewBytes[size_t(view)]));
        }
    }

    QString m_path;
    Json m_root;
    qint64 m_binaryBytes = -1;
    std::vector<double> m_bufferBytes, m_viewBytes, m_viewStrides;
};

}  // namespace

void CheckGltfFile(const QString& path) { GltfCheck(path).Run(); }

}  // namespace corvane_apps

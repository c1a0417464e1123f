#include "project_file.h"

#include <memory>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "brush_host.h"
#include "errors.h"
#include "sculpture.h"
#include "tarnix/stamp_stored_form.h"
#include "tarnix/stream.h"

namespace corvane_apps {
namespace {

const QString kMarker = QStringLiteral("corvane project");
constexpr uint32_t kFormatVersion = 1;
// A stream is held in memory whole: projects stop short of what a byte array holds.
constexpr qint64 kMostProjectBytes = qint64(0x7fff0000);

// Text maps as count, then key and value.
void ExchangeTexts(tarnix::Stream& stream, std::map<QString, QString>& texts) {
    uint32_t count = uint32_t(texts.size());
    stream.Exchange(count);
    if (stream.IsStoring()) {
        for (const auto& [key, value] : texts) {
            QString storedKey = key, storedValue = value;
            stream.Exchange(storedKey);
            stream.Exchange(storedValue);
        }
        return;
    }
    // Every entry takes at least the two lengths of its texts.
    if (uint64_t(count) * 8 > uint64_t(stream.Remaining()))
        Fail(QStringLiteral("%1 settings past the file's end").arg(count));
    for (uint32_t i = 0; i < count; ++i) {
        QString key, value;
        stream.Exchange(key);
        stream.Exchange(value);
        texts[key] = value;
    }
}

void ExchangeBrush(tarnix::Stream& stream, BrushHost::Settings& brush) {
    stream.Exchange(brush.tool);
    uint32_t tools = uint32_t(brush.records.size());
    stream.Exchange(tools);
    if (stream.IsLoading() && uint64_t(tools) * 8 > uint64_t(stream.Remaining()))
        Fail(QStringLiteral("%1 tools past the file's end").arg(tools));
    auto record = brush.records.begin();
    for (uint32_t i = 0; i < tools; ++i) {
        QString name = stream.IsStoring() ? record->first : QString();
        stream.Exchange(name);
        ExchangeTexts(stream, stream.IsStoring() ? (record++)->second : brush.records[name]);
    }
    ExchangeTexts(stream, brush.attributes);
    tarnix::ExchangeStamp(stream, brush.stamp);
}

}  // namespace

bool IsProjectFile(const QString& path) { return QFileInfo(path).suffix().toLower() == QLatin1String(kProjectSuffix); }

void WriteProject(const QString& path, const Sculpture& sculpture, const BrushHost& host,
                  const ProgramSettings& settings) {
    tarnix::Stream stream;
    QString marker = kMarker;
    uint32_t version = kFormatVersion;
    stream.Exchange(marker);
    stream.Exchange(version);
    sculpture.WriteDocument(stream);
    BrushHost::Settings brush = host.BrushSettings();
    ExchangeBrush(stream, brush);
    ProgramSettings program = settings;
    ExchangeTexts(stream, program);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(stream.Data()) != stream.Data().size() || !file.commit())
        Fail(QStringLiteral("%1: cannot write the project: %2").arg(path, file.errorString()));
}

ProgramSettings ReadProject(const QString& path, Sculpture& sculpture, BrushHost& host) {
    QFile file(path);
    const QFileInfo info(path);
    if (!info.exists()) Fail(QStringLiteral("%1: no such file").arg(path));
    if (!info.isFile()) Fail(QStringLiteral("%1: not a regular file").arg(path));
    if (info.size() > kMostProjectBytes)
        Fail(QStringLiteral("%1: %2 bytes, more than a project holds").arg(path).arg(info.size()));
    if (!file.open(QIODevice::ReadOnly)) Fail(QStringLiteral("%1: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();

    SculptureDocument document;
    BrushHost::Settings brush;
    ProgramSettings program;
    WithContext(path, [&] {
        QString marker;
        std::unique_ptr<tarnix::Stream> opened;
        try {
            opened = std::make_unique<tarnix::Stream>(bytes);
            opened->Exchange(marker);
        } catch (tarnix::Error* raised) {
            // Too short to hold a marker: the marker check below says what it is not.
            const OwnedError error(raised);
        }
        if (marker != kMarker) Fail(QStringLiteral("not a Corvane project"));
        tarnix::Stream& stream = *opened;
        uint32_t version = 0;
        stream.Exchange(version);
        if (version != kFormatVersion)
            Fail(QStringLiteral("a project of format %1, which this program does not read").arg(version));
        document = Sculpture::ReadDocument(stream);
        ExchangeBrush(stream, brush);
        ExchangeTexts(stream, program);
        if (stream.Remaining() != 0) Fail(QStringLiteral("%1 bytes after the project's end").arg(stream.Remaining()));
    });
    sculpture.Adopt(std::move(document));
    host.ApplyBrushSettings(brush);
    return program;
}

}  // namespace corvane_apps

#include "tarnix/image.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "tarnix/error.h"
#include "tarnix/image_codec.h"
#include "tarnix/kernel.h"

namespace tarnix {
namespace {

// Some of the image library's format readers (libpng's) print their complaints on standard
// error before the library reports them; while one reads, standard error goes nowhere, so
// that the program's own one-line message is all the user sees.
class QuietStandardError {
public:
    QuietStandardError() {
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        const int nowhere = open("/dev/null", O_WRONLY);
        if (m_saved >= 0 && nowhere >= 0) dup2(nowhere, STDERR_FILENO);
        if (nowhere >= 0) close(nowhere);
    }
    ~QuietStandardError() {
        std::fflush(stderr);
        if (m_saved < 0) return;
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    int m_saved = -1;
};

// A PNG file is a signature, then chunks (a 32-bit big-endian length, a 4-letter type, the
// data and a CRC) up to "IEND". One cut short is refused here: libpng reports the cut by a
// long jump past the image library's own clean-up, which then leaks what it was building.
QString PngCutShort(const QByteArray& bytes) {
    for (qint64 at = 8; at + 8 <= bytes.size();) {
        const uint32_t length = (uint32_t(uint8_t(bytes[int(at)])) << 24) |
                                (uint32_t(uint8_t(bytes[int(at + 1)])) << 16) |
                                (uint32_t(uint8_t(bytes[int(at + 2)])) << 8) | uint32_t(uint8_t(bytes[int(at + 3)]));
        const QByteArray type = bytes.mid(int(at + 4), 4);
        if (qint64(length) + 12 > bytes.size() - at)
            return QStringLiteral("the file ends inside its %1 chunk: it was cut short").arg(QString::fromLatin1(type));
        if (type == "IEND") return {};
        at += qint64(length) + 12;
    }
    return QStringLiteral("the file ends before its IEND chunk: it was cut short");
}

// The image library's message, which may run over several lines, on one.
QString LibraryMessage(const std::string& text) {
    return QString::fromStdString(text).trimmed().replace(QLatin1Char('\n'), QStringLiteral("; "));
}

[[noreturn]] void FailImage(const QString& text) {
    Error::Raise(Error::kCodeInvalidArgument, "tarnix::Image::Load", "framework/src/image.cpp", __LINE__, text);
}

// Limits on what is read, so that no file can make the host read for ever or take its memory:
// a regular file of at most 1 GiB, decoded to at most 2^28 samples (1 GiB of floats).
constexpr qint64 kMostFileBytes = qint64(1) << 30;
constexpr uint64_t kMostSamples = uint64_t(1) << 28;

// The neutral level a picture's description names ("... neutral=1 ..."), 0 when it names none.
float DescribedNeutralLevel(const QString& path, const QString& description) {
    static const QString kKey = QStringLiteral("neutral=");
    for (const QString& word : description.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        if (!word.startsWith(kKey)) continue;
        bool number = false;
        const float level = word.mid(kKey.size()).toFloat(&number);
        if (!number || !(level >= 0.0f && level <= 1.0f))
            FailImage(QStringLiteral("cannot read image %1: its neutral level \"%2\" is not a number from 0 to 1")
                          .arg(path, word.mid(kKey.size())));
        return level;
    }
    return 0.0f;
}

}  // namespace

std::unique_ptr<Image> Image::Load(const QString& path) {
    const QString resolved = Kernel::ResolveResource(path);
    if (!QFile::exists(resolved)) FailImage(QStringLiteral("cannot read image %1: no such file").arg(path));
    const QFileInfo file(resolved);
    if (!file.isFile()) FailImage(QStringLiteral("cannot read image %1: not a regular file").arg(path));
    if (file.size() > kMostFileBytes)
        FailImage(QStringLiteral("cannot read image %1: larger than %2 bytes").arg(path).arg(kMostFileBytes));
    {
        QFile picture(resolved);
        const bool png = picture.open(QIODevice::ReadOnly) && picture.peek(8) == QByteArray("\x89PNG\r\n\x1a\n", 8);
        const QString cut = png ? PngCutShort(picture.readAll()) : QString();
        if (!cut.isEmpty()) FailImage(QStringLiteral("cannot read image %1: %2").arg(path, cut));
    }
    const ImageCodec& codec = ImageCodec::Get();
    const std::string fileName = QFile::encodeName(resolved).toStdString();
    const QuietStandardError quiet;
    auto image = std::make_unique<Image>();
    ImageCodec::Layout layout;
    std::string description, error;
    if (!codec.Read(fileName, kMostSamples, layout, description, image->m_samples, error)) {
        if (!error.empty()) FailImage(QStringLiteral("cannot read image %1: %2").arg(path, LibraryMessage(error)));
        if (layout.width <= 0 || layout.height <= 0 || layout.channels <= 0)
            FailImage(QStringLiteral("cannot read image %1: it holds no pixels").arg(path));
        FailImage(QStringLiteral("cannot read image %1: %2 x %3 pixels of %4 channels, more than %5 samples")
                      .arg(path)
                      .arg(layout.width)
                      .arg(layout.height)
                      .arg(layout.channels)
                      .arg(kMostSamples));
    }
    image->m_path = path;
    image->m_neutralLevel = DescribedNeutralLevel(path, QString::fromStdString(description));
    image->m_width = uint32_t(layout.width);
    image->m_height = uint32_t(layout.height);
    image->m_depth = uint32_t(layout.depth);
    image->m_channels = uint32_t(layout.channels);
    return image;
}

bool Image::getTile(uint32_t x, uint32_t y, uint32_t width, uint32_t height, float* out,
                    const PixelDescriptor& descriptor) const {
    if (descriptor.bitsPerSample != 32 || (descriptor.channels != 1 && descriptor.channels != 3)) return false;
    if (uint64_t(x) + width > m_width || uint64_t(y) + height > m_height) return false;
    ++m_tileReads;
    for (uint32_t row = 0; row < height; ++row)
        for (uint32_t column = 0; column < width; ++column) {
            const float* pixel = m_samples.data() + (size_t(y + row) * m_width + x + column) * m_channels;
            const bool colour = m_channels >= 3;
            if (descriptor.channels == 1) {
                *out++ = colour ? 0.2126f * pixel[0] + 0.7152f * pixel[1] + 0.0722f * pixel[2] : pixel[0];
            } else {
                for (uint32_t c = 0; c < 3; ++c) *out++ = colour ? pixel[c] : pixel[0];
            }
        }
    return true;
}

}  // namespace tarnix

#include "stamp_images.h"

#include <algorithm>
#include <cmath>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "errors.h"
#include "tarnix/image_codec.h"
#include "tarnix/kernel.h"

namespace corvane_apps {
namespace {

// A thumbnail is read whole first: no picture of more samples than this (1 GiB of floats).
constexpr uint64_t kMostSamples = uint64_t(1) << 28;

}  // namespace

QStringList ShippedStamps() {
    QStringList stamps;
    for (const QString& folder : tarnix::Kernel::ResourceDirectories()) {
        const QDir directory(QDir(folder).filePath(QStringLiteral("Stamps")));
        for (const QString& name : directory.entryList(QDir::Files, QDir::Name)) {
            const QString stamp = QStringLiteral("Stamps/") + name;
            if (!stamps.contains(stamp)) stamps << stamp;
        }
    }
    return stamps;
}

QString PrebuiltThumbnailName(const QString& stamp) {
    return QStringLiteral("Thumbnails/") + QFileInfo(stamp).fileName() + QStringLiteral(".png");
}

QString PrebuiltThumbnail(const QString& stamp) {
    if (!stamp.startsWith(QStringLiteral("Stamps/"))) return {};
    const QString thumbnail = tarnix::Kernel::ResolveResource(QStringLiteral("Stamps/") + PrebuiltThumbnailName(stamp));
    return QFileInfo(thumbnail).isAbsolute() && QFile::exists(thumbnail) ? thumbnail : QString();
}

Picture StampThumbnail(const QString& path, int side) {
    const QString resolved = tarnix::Kernel::ResolveResource(path);
    const tarnix::ImageCodec& codec = tarnix::ImageCodec::Get();
    tarnix::ImageCodec::Layout layout;
    std::vector<float> samples;
    std::string description, error;
    if (!codec.Read(QFile::encodeName(resolved).toStdString(), kMostSamples, layout, description, samples, error))
        Fail(QStringLiteral("%1: cannot read the image").arg(path));
    const int channels = layout.channels;
    const float scale = float(side) / float(std::max(layout.width, layout.height));
    Picture picture;
    picture.width = std::max(1, int(std::lround(float(layout.width) * scale)));
    picture.height = std::max(1, int(std::lround(float(layout.height) * scale)));
    layout.depth = 1;
    const std::vector<float> small = codec.Resize(samples, layout, picture.width, picture.height);
    // Vector stamps hold signed moves: they are shown around mid grey, scaled to their extent.
    const bool vectors = channels >= 3;
    float extent = 1.0f;
    if (vectors) {
        extent = 1e-6f;
        for (size_t i = 0; i < small.size(); i += size_t(channels))
            for (size_t c = 0; c < 3; ++c) extent = std::max(extent, std::abs(small[i + c]));
    }
    picture.rgb.resize(size_t(picture.width) * picture.height * 3);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const float* pixel = &small[(size_t(y) * picture.width + x) * size_t(channels)];
            unsigned char* out = &picture.rgb[(size_t(y) * picture.width + x) * 3];
            for (int c = 0; c < 3; ++c) {
                const float value = vectors ? 0.5f + 0.5f * pixel[c] / extent : pixel[0];
                out[c] = (unsigned char)std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f);
            }
        }
    return picture;
}

}  // namespace corvane_apps

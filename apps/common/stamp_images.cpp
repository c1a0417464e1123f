#include "stamp_images.h"

#include <algorithm>
#include <cmath>

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>

#include <QDir>
#include <QFile>

#include "errors.h"
#include "tarnix/kernel.h"

namespace corvane_apps {

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

Picture StampThumbnail(const QString& path, int side) {
    const QString resolved = tarnix::Kernel::ResolveResource(path);
    OIIO::ImageBuf source(QFile::encodeName(resolved).toStdString());
    if (!source.read(0, 0, true, OIIO::TypeDesc::FLOAT) || source.roi().width() <= 0 || source.roi().height() <= 0)
        Fail(QStringLiteral("%1: cannot read the image").arg(path));
    const OIIO::ROI window = source.roi();
    const int channels = source.nchannels();
    const float scale = float(side) / float(std::max(window.width(), window.height()));
    Picture picture;
    picture.width = std::max(1, int(std::lround(float(window.width()) * scale)));
    picture.height = std::max(1, int(std::lround(float(window.height()) * scale)));
    OIIO::ImageBuf small =
        OIIO::ImageBufAlgo::resize(source, "", 0.0f, OIIO::ROI(0, picture.width, 0, picture.height, 0, 1, 0, channels));
    // Vector stamps hold signed moves: they are shown around mid grey, scaled to their extent.
    const bool vectors = channels >= 3;
    float extent = 1.0f;
    if (vectors) {
        const OIIO::ImageBufAlgo::PixelStats stats = OIIO::ImageBufAlgo::computePixelStats(small);
        extent = 1e-6f;
        for (int c = 0; c < 3; ++c) extent = std::max({extent, std::abs(stats.min[c]), std::abs(stats.max[c])});
    }
    picture.rgb.resize(size_t(picture.width) * picture.height * 3);
    std::vector<float> pixel(size_t(std::max(1, channels)));
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            small.getpixel(x, y, pixel.data(), int(pixel.size()));
            unsigned char* out = &picture.rgb[(size_t(y) * picture.width + x) * 3];
            for (int c = 0; c < 3; ++c) {
                const float value = vectors ? 0.5f + 0.5f * pixel[size_t(c)] / extent : pixel[0];
                out[c] = (unsigned char)std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f);
            }
        }
    return picture;
}

}  // namespace corvane_apps

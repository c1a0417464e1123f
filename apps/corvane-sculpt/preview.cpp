#include "preview.h"

#include <OpenImageIO/imageio.h>

#include <QFile>
#include <algorithm>
#include <cmath>
#include <vector>

#include "tarnix/error.h"
#include "tarnix/mesh.h"
#include "tarnix/spatial_grid.h"

namespace corvane_sculpt {

void WritePreview(tarnix::Mesh& mesh, const tarnix::Vector& eye, int width, int height, const QString& path) {
    tarnix::SpatialGrid* grid = mesh.Grid(true);
    grid->Update();
    const tarnix::Vector target = mesh.BoundingBox().Center();
    const tarnix::Vector forward = (target - eye).Normalized();
    const tarnix::Vector right = (forward & tarnix::Vector(0, 1, 0)).Normalized();
    const tarnix::Vector up = right & forward;
    const float extent = mesh.BoundingBox().Size().Length() * 0.55f;
    const tarnix::Vector light = (right * -0.4f + up * 0.6f - forward).Normalized();
    std::vector<unsigned char> pixels(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            // An orthographic view: parallel rays over a square around the mesh.
            const float u = (2.0f * (x + 0.5f) / width - 1.0f) * extent * float(width) / float(height);
            const float v = (1.0f - 2.0f * (y + 0.5f) / height) * extent;
            tarnix::SurfacePoint hit;
            float shade = 0.12f + 0.1f * float(y) / float(height);  // background
            float tint[3] = {shade, shade, shade * 1.2f};
            if (grid->CastRay(eye + right * u + up * v, forward, hit, false, true)) {
                const float lambert = std::max(0.0f, hit.LocalNormal() | light);
                const float value = 0.15f + 0.8f * lambert;
                tint[0] = value * 0.85f;
                tint[1] = value * 0.78f;
                tint[2] = value * 0.7f;
            }
            for (int c = 0; c < 3; ++c)
                pixels[(size_t(y) * width + x) * 3 + c] = (unsigned char)(std::clamp(tint[c], 0.0f, 1.0f) * 255.0f);
        }
    const QString temporary = path + QStringLiteral(".partial.png");
    auto output = OIIO::ImageOutput::create(QFile::encodeName(temporary).toStdString());
    const OIIO::ImageSpec layout(width, height, 3, OIIO::TypeDesc::UINT8);
    if (!output || !output->open(QFile::encodeName(temporary).toStdString(), layout) ||
        !output->write_image(OIIO::TypeDesc::UINT8, pixels.data()) || !output->close()) {
        QFile::remove(temporary);
        tarnix::Error::Raise(tarnix::Error::kCodeInvalidArgument, "corvane-sculpt", "apps/corvane-sculpt/preview.cpp", 0,
                             QStringLiteral("%1: cannot write the picture").arg(path));
    }
    QFile::remove(path);
    QFile::rename(temporary, path);
}

}  // namespace corvane_sculpt

#include "preview.h"

#include <OpenImageIO/imageio.h>

#include <QFile>
#include <algorithm>
#include <cmath>

#include "tarnix/error.h"
#include "tarnix/mesh.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/surface_point.h"
#include "tarnix/transformation.h"

namespace corvane_apps {

Picture RenderMesh(tarnix::Mesh& mesh, const tarnix::Vector& eye, int width, int height) {
    tarnix::SpatialGrid* grid = mesh.Grid(true);
    grid->Update();
    const tarnix::Transformation* transformation = mesh.GetTransformation();
    const tarnix::Matrix toWorld = transformation ? transformation->MeshToWorld() : tarnix::Matrix();
    const tarnix::Matrix toMesh = transformation ? transformation->WorldToMesh() : tarnix::Matrix();
    const tarnix::Vector scale = transformation ? transformation->Scale() : tarnix::Vector(1, 1, 1);
    const tarnix::AxisAlignedBoundingBox box = mesh.BoundingBox().Transformed(toWorld);
    const tarnix::Vector forward = (box.Center() - eye).Normalized();
    const tarnix::Vector right = (forward & tarnix::Vector(0, 1, 0)).Normalized();
    const tarnix::Vector up = right & forward;
    const float extent = box.Size().Length() * 0.55f;
    const tarnix::Vector light = (right * -0.4f + up * 0.6f - forward).Normalized();
    const tarnix::Vector localForward = toMesh.Transform(forward, 0.0f);
    Picture picture{width, height, std::vector<unsigned char>(size_t(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            // An orthographic view: parallel rays over a square around the mesh.
            const float u = (2.0f * (float(x) + 0.5f) / float(width) - 1.0f) * extent * float(width) / float(height);
            const float v = (1.0f - 2.0f * (float(y) + 0.5f) / float(height)) * extent;
            tarnix::SurfacePoint hit;
            const float shade = 0.12f + 0.1f * float(y) / float(height);  // background
            float tint[3] = {shade, shade, shade * 1.2f};
            if (grid->CastRay(toMesh.Transform(eye + right * u + up * v, 1.0f), localForward, hit, false, true)) {
                // Normals go into the world by the inverse transpose: the scale divides them.
                const tarnix::Vector n = hit.m_normal;
                const tarnix::Vector normal =
                    toWorld.Transform({n.x / (scale.x * scale.x), n.y / (scale.y * scale.y), n.z / (scale.z * scale.z)}, 0.0f)
                        .Normalized();
                const float value = 0.15f + 0.8f * std::max(0.0f, normal | light);
                tint[0] = value * 0.85f;
                tint[1] = value * 0.78f;
                tint[2] = value * 0.7f;
            }
            for (int c = 0; c < 3; ++c)
                picture.rgb[(size_t(y) * width + x) * 3 + c] = (unsigned char)(std::clamp(tint[c], 0.0f, 1.0f) * 255.0f);
        }
    return picture;
}

Picture SideBySide(const Picture& left, const Picture& right) {
    Picture both{left.width + right.width, left.height, {}};
    both.rgb.reserve(size_t(both.width) * both.height * 3);
    for (int y = 0; y < both.height; ++y) {
        const auto row = [y](const Picture& p) { return p.rgb.begin() + ptrdiff_t(y) * p.width * 3; };
        both.rgb.insert(both.rgb.end(), row(left), row(left) + left.width * 3);
        both.rgb.insert(both.rgb.end(), row(right), row(right) + right.width * 3);
    }
    return both;
}

void WritePng(const Picture& picture, const QString& path) {
    const std::string temporary = QFile::encodeName(path + QStringLiteral(".partial.png")).toStdString();
    auto output = OIIO::ImageOutput::create(temporary);
    const OIIO::ImageSpec layout(picture.width, picture.height, 3, OIIO::TypeDesc::UINT8);
    const bool written = output && output->open(temporary, layout) &&
                         output->write_image(OIIO::TypeDesc::UINT8, picture.rgb.data()) && output->close();
    if (!written || std::rename(temporary.c_str(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(QFile::decodeName(temporary.c_str()));
        tarnix::Error::Raise(tarnix::Error::kCodeInvalidArgument, "WritePng", "apps/common/preview.cpp", 0,
                             QStringLiteral("%1: cannot write the picture").arg(path));
    }
}

}  // namespace corvane_apps

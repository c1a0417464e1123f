#include "preview.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QFile>

#include "errors.h"
#include "tarnix/image_codec.h"
#include "tarnix/mesh.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/surface_point.h"
#include "tarnix/transformation.h"

namespace corvane_apps {
namespace {

QString Point(const tarnix::Vector& p) {
    return QStringLiteral("(%1, %2, %3)").arg(p.x, 0, 'g', 4).arg(p.y, 0, 'g', 4).arg(p.z, 0, 'g', 4);
}

constexpr float kRadiansPerDegree = 3.14159265358979f / 180.0f;

// The distance from `p` to the nearest edge of `face` (mesh space).
float DistanceToEdges(const tarnix::Mesh& mesh, uint32_t face, const tarnix::Vector& p) {
    const uint32_t* corners = mesh.FaceCorners(face);
    const uint32_t count = mesh.CornersPerFace();
    float nearest = std::numeric_limits<float>::max();
    for (uint32_t c = 0; c < count; ++c) {
        const tarnix::Vector a = mesh.VertexPosition(corners[c]), b = mesh.VertexPosition(corners[(c + 1) % count]);
        const tarnix::Vector edge = b - a;
        const float along = std::clamp(((p - a) | edge) / std::max(edge | edge, 1e-30f), 0.0f, 1.0f);
        nearest = std::min(nearest, (p - (a + edge * along)).Length());
    }
    return nearest;
}

}  // namespace

View ViewOfBox(const tarnix::AxisAlignedBoundingBox& box, const tarnix::Vector& direction, float fovDegrees) {
    // Far enough that the box's bounding sphere fits the field of view, with a margin.
    const float radius = 0.5f * box.Size().Length();
    const float distance = 1.08f * radius / std::sin(0.5f * fovDegrees * kRadiansPerDegree);
    return {box.Center() - direction.Normalized() * distance, box.Center(), fovDegrees};
}

Picture RenderMesh(tarnix::Mesh& mesh, const View& view, int width, int height) {
    tarnix::SpatialGrid* grid = mesh.Grid(true);
    grid->Update();
    const tarnix::Transformation* transformation = mesh.GetTransformation();
    const tarnix::Matrix toWorld = transformation ? transformation->MeshToWorld() : tarnix::Matrix();
    const tarnix::Matrix toMesh = transformation ? transformation->WorldToMesh() : tarnix::Matrix();
    const tarnix::Vector scale = transformation ? transformation->Scale() : tarnix::Vector(1, 1, 1);
    const tarnix::AxisAlignedBoundingBox box = mesh.BoundingBox().Transformed(toWorld);
    const tarnix::Vector forward = (view.target - view.eye).Normalized();
    // Looking along the y axis, the world's y cannot be up: z takes its place.
    const tarnix::Vector worldUp = std::abs(forward.y) > 0.99f ? tarnix::Vector(0, 0, -1) : tarnix::Vector(0, 1, 0);
    const tarnix::Vector right = (forward & worldUp).Normalized();
    const tarnix::Vector up = right & forward;
    const float reach = std::tan(0.5f * std::clamp(view.fovDegrees, 1.0f, 170.0f) * kRadiansPerDegree);
    const tarnix::Vector light = (right * -0.4f + up * 0.6f - forward).Normalized();
    const tarnix::Vector localEye = toMesh.Transform(view.eye, 1.0f);
    Picture picture{width, height, std::vector<unsigned char>(size_t(width) * height * 3), {}};
    size_t hits = 0, insideHits = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float u = (2.0f * (float(x) + 0.5f) / float(width) - 1.0f) * reach * float(width) / float(height);
            const float v = (1.0f - 2.0f * (float(y) + 0.5f) / float(height)) * reach;
            const tarnix::Vector ray = (forward + right * u + up * v).Normalized();
            tarnix::SurfacePoint hit;
            const float shade = 0.12f + 0.1f * float(y) / float(height);  // background
            float tint[3] = {shade, shade, shade * 1.2f};
            if (grid->CastRay(localEye, toMesh.Transform(ray, 0.0f).Normalized(), hit, false, true)) {
                // Normals go into the world by the inverse transpose: the scale divides them.
                const tarnix::Vector n = hit.m_normal;
                tarnix::Vector normal =
                    toWorld
                        .Transform({n.x / (scale.x * scale.x), n.y / (scale.y * scale.y), n.z / (scale.z * scale.z)},
                                   0.0f)
                        .Normalized();
                ++hits;
                // The inside of the surface faces away from the eye; it is shaded as the outside.
                if ((normal | ray) > 0.0f) {
                    ++insideHits;
                    normal = normal * -1.0f;
                }
                float value = 0.15f + 0.8f * std::max(0.0f, normal | light);
                if (view.wireframe) {
                    // An edge closer than about a pixel's width at that distance is drawn.
                    const float pixel = 2.0f * reach / float(height) * (hit.m_position - localEye).Length();
                    if (DistanceToEdges(mesh, hit.m_face, hit.m_position) < 0.6f * pixel) value *= 0.45f;
                }
                tint[0] = value * 0.85f;
                tint[1] = value * 0.78f;
                tint[2] = value * 0.7f;
            }
            for (int c = 0; c < 3; ++c)
                picture.rgb[(size_t(y) * width + x) * 3 + c] =
                    (unsigned char)(std::clamp(tint[c], 0.0f, 1.0f) * 255.0f);
        }
    if (hits == 0)
        picture.problem = QStringLiteral(
                              "nothing of the mesh is in view from %1 towards %2 (field of view %3 degrees); "
                              "the mesh lies within %4 to %5")
                              .arg(Point(view.eye), Point(view.target))
                              .arg(view.fovDegrees)
                              .arg(Point(box.Minimum()), Point(box.Maximum()));
    else if (box.IsContaining(view.eye) && insideHits * 2 > hits)
        picture.problem = QStringLiteral(
                              "the eye %1 is inside the mesh, so the picture shows it from within; "
                              "the mesh lies within %2 to %3")
                              .arg(Point(view.eye), Point(box.Minimum()), Point(box.Maximum()));
    return picture;
}

bool Label(Picture& picture, const QString& text) {
    const tarnix::ImageCodec& codec = tarnix::ImageCodec::Get();
    const int size = std::clamp(picture.height / 12, 10, 28);
    const float band[3] = {0.05f, 0.05f, 0.07f}, white[3] = {1.0f, 1.0f, 1.0f};
    // Drawn on a copy, so that a missing font leaves the picture as it was.
    std::vector<unsigned char> labelled = picture.rgb;
    const tarnix::ImageCodec::Rgb8 target{labelled.data(), picture.width, picture.height};
    const int bandHeight = size + size / 2;
    codec.Fill(target, 0, picture.width, 0, std::min(bandHeight, picture.height), band);
    if (!codec.DrawText(target, size / 2, size + size / 8, text.toStdString(), size, "DejaVuSans", white)) return false;
    picture.rgb = std::move(labelled);
    return true;
}

Picture ContactSheet(const std::vector<Picture>& pictures, int columns) {
    if (pictures.empty()) return {};
    const int width = pictures.front().width, height = pictures.front().height;
    const int rows = (int(pictures.size()) + columns - 1) / columns;
    Picture sheet{
        width * columns, height * rows, std::vector<unsigned char>(size_t(width) * columns * height * rows * 3), {}};
    for (size_t i = 0; i < pictures.size(); ++i) {
        const int left = int(i) % columns * width, top = int(i) / columns * height;
        for (int y = 0; y < height; ++y)
            std::copy_n(pictures[i].rgb.begin() + ptrdiff_t(y) * width * 3, width * 3,
                        sheet.rgb.begin() + (ptrdiff_t(top + y) * sheet.width + left) * 3);
    }
    return sheet;
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
    const tarnix::ImageCodec& codec = tarnix::ImageCodec::Get();
    const std::string temporary = QFile::encodeName(path + QStringLiteral(".partial.png")).toStdString();
    std::string error;
    const bool written = codec.Write(temporary, picture.rgb.data(), picture.width, picture.height, error);
    if (!written || std::rename(temporary.c_str(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(QFile::decodeName(temporary.c_str()));
        Fail(QStringLiteral("%1: cannot write the picture").arg(path));
    }
}

}  // namespace corvane_apps

#include "tarnix/stroke_driver.h"

#include <algorithm>
#include <cmath>

#include "tarnix/kernel.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/subdivision_level.h"
#include "tarnix/surface_point.h"
#include "tarnix/transformation.h"

namespace tarnix {
namespace {

// The surface point under `local` (mesh space) along `direction`, either way, nearest.
bool PlaceOnSurface(SubdivisionLevel& level, const Vector& local, const Vector& direction, SurfacePoint& hit) {
    return level.Grid(true)->CastRay(local, direction, hit, true, true);
}

}  // namespace

std::vector<Vector> StrokeDriver::DabCentres(const std::vector<Vector>& path, float size) const {
    std::vector<Vector> centres;
    if (path.empty()) return centres;
    const float spacing = std::max(size * m_brush.m_dabSpacingAttr.Value() / 100.0f, size * 1e-3f);
    const BoolFloat smoothing = m_brush.StrokeSmoothing();
    const float follow = smoothing.on ? 1.0f - std::clamp(smoothing.value, 0.0f, 0.95f) : 1.0f;
    // Resample the path at the spacing, the steadied position trailing the raw one.
    Vector steadied = path.front();
    centres.push_back(steadied);
    float carried = 0.0f;
    for (size_t i = 1; i < path.size(); ++i) {
        const Vector from = path[i - 1], to = path[i];
        const float length = (to - from).Length();
        for (float along = spacing - carried; along <= length; along += spacing) {
            const Vector raw = from + (to - from) * (along / length);
            steadied = steadied + (raw - steadied) * follow;
            centres.push_back(steadied);
        }
        carried = length > 0.0f ? std::fmod(carried + length, spacing) : carried;
    }
    return centres;
}

StrokeReport StrokeDriver::Run(SubdivisionLevel& level, const std::vector<Vector>& path,
                               const StrokeOptions& options) {
    StrokeReport report;
    const Transformation* transformation = level.GetTransformation();
    const Matrix toMesh = transformation ? transformation->WorldToMesh() : Matrix();
    const Matrix toWorld = transformation ? transformation->MeshToWorld() : Matrix();
    const Vector view = toMesh.Transform(Kernel::Scene()->GetCamera().Direction(), 0.0f).Normalized();
    const float localSize = toMesh.Transform({options.size, 0, 0}, 0.0f).Length();
    // The host scales the user's strength per tool (the brush's strength scale).
    const float strength = options.strength * m_brush.StrengthScale();

    // Dabs are placed on the surface as it is when the stroke starts.
    if (SpatialGrid* grid = level.Grid(false)) grid->Update();
    std::vector<Vector> centres = DabCentres(path, options.size);
    if (m_brush.PlacesSingleStamp() && centres.size() > 1) centres.resize(1);

    m_brush.SetPreviousPatchPosition({0, 0, 0});
    m_brush.BeginStroke(&level, options.modifier, BrushOperation::kTriggerDrag);
    Vector previous = centres.empty() ? Vector() : toMesh.Transform(centres.front(), 1.0f);
    for (const Vector& centre : centres) {
        const Vector local = toMesh.Transform(centre, 1.0f);
        SurfacePoint hit;
        if (!PlaceOnSurface(level, local, view, hit)) continue;
        const Vector tangent = (local - previous).LengthSquared() > 0.0f ? local - previous : view & hit.m_normal;
        previous = local;
        m_brush.PlaceStamp(hit.m_position, hit.m_normal, tangent, localSize);
        Vector world = toWorld.Transform(hit.m_position, 1.0f);
        m_brush.ApplyDab(&hit, &world, options.size, options.dabFactor, strength, report.changedArea);
        ++report.dabs;
        if (m_brush.MirrorConfig().MirrorMode() != MirrorConfiguration::kOff) {
            const Vector mirrored = m_brush.MirrorConfig().Transform(hit.m_position, 1.0f, hit);
            const Vector mirroredNormal = m_brush.MirrorConfig().Transform(hit.m_normal, 0.0f, hit);
            SurfacePoint twin;
            if (PlaceOnSurface(level, mirrored + mirroredNormal * (0.5f * localSize), -mirroredNormal, twin)) {
                twin.m_mirrored = 1;
                m_brush.PlaceStamp(twin.m_position, twin.m_normal,
                                   m_brush.MirrorConfig().Transform(tangent, 0.0f, hit), localSize);
                Vector twinWorld = toWorld.Transform(twin.m_position, 1.0f);
                m_brush.ApplyDab(&twin, &twinWorld, options.size, options.dabFactor, strength, report.changedArea);
                ++report.mirroredDabs;
            }
        }
        m_brush.SetPreviousPatchPosition(world);
    }
    m_brush.EndStroke();
    return report;
}

}  // namespace tarnix

#include "sculpture.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <vector>

#include "brush_host.h"
#include "errors.h"
#include "mesh_files.h"
#include "tarnix/brush_operation.h"
#include "tarnix/kernel.h"
#include "tarnix/mesh_change.h"
#include "tarnix/scene.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/stream.h"
#include "tarnix/stroke_driver.h"
#include "tarnix/subdivision_level.h"
#include "tarnix/surface_point.h"

namespace corvane_apps {
namespace {

const QString kNoDabLanded = QStringLiteral("no dab landed on the mesh: the path misses it along the view");

tarnix::BrushOperation::Modifier ModifierOf(const StrokeStep& stroke) {
    return stroke.smooth   ? tarnix::BrushOperation::kModifierSmooth
           : stroke.invert ? tarnix::BrushOperation::kModifierInvert
                           : tarnix::BrushOperation::kModifierNone;
}

tarnix::StrokeOptions OptionsOf(const StrokeStep& stroke) {
    tarnix::StrokeOptions options;
    options.size = stroke.size;
    options.strength = stroke.strength;
    options.modifier = ModifierOf(stroke);
    options.dabFactor = stroke.pressure;
    return options;
}

// Visits the vertices of a box of the sculpted level, each once.
template <typename Visit>
class VertexVisitor : public tarnix::VertexEnumerator {
public:
    explicit VertexVisitor(Visit visit) : m_visit(visit) {}
    bool Tester(tarnix::Mesh*, uint32_t vertex, uint32_t) override {
        m_visit(vertex);
        return true;
    }

private:
    Visit m_visit;
};

}  // namespace

Sculpture::Sculpture(BrushHost& host) : m_host(host) {}

tarnix::BrushOperation& Sculpture::Brush() const { return m_host.Brush(); }

tarnix::BrushOperation& Sculpture::StrokeBrush(const StrokeStep& stroke) const {
    tarnix::BrushOperation& smoothing = m_host.SmoothingBrush();
    if (!stroke.smooth || &Brush() == &smoothing) return Brush();
    // The tool in hand (Grab's, say) has no smoothing of its own: the stroke smooths as it
    // would with a Corvane tool in hand, with that brush's settings.
    smoothing.SetBrushSize(stroke.size);
    smoothing.SetBrushStrength(stroke.strength);
    smoothing.MirrorConfig().SetMirrorMode(stroke.mirror);
    return smoothing;
}

void Sculpture::Prepare(const StrokeStep& stroke) {
    PrepareBrush(m_host, m_host.UseBrushOf(m_host.Tool(stroke.tool)), stroke);
}

Sculpture::~Sculpture() = default;

uint64_t Sculpture::FacesAfter(const tarnix::PolygonMesh& polygons, uint32_t subdivide) {
    if (subdivide == 0) return polygons.FaceCount();
    // Every polygon becomes as many quads as it has corners, then each quad four.
    uint64_t faces = 0;
    for (uint32_t size : polygons.faceSizes) faces += size;
    return faces << (2 * (std::min(subdivide, 16u) - 1));
}

void Sculpture::Load(const tarnix::PolygonMesh& polygons, const QString& name, uint32_t subdivide) {
    const uint64_t faces = FacesAfter(polygons, subdivide);
    if (faces > kMostFaces)
        Fail(QStringLiteral("%1 subdivisions of %2 would make %3 faces, more than %4")
                 .arg(subdivide)
                 .arg(name)
                 .arg(faces)
                 .arg(kMostFaces));
    m_driver.reset();
    m_layerNames.clear();
    m_bakedScale = tarnix::Vector(1, 1, 1);
    m_geometry = GeometryFromPolygons(polygons, name);
    m_parts.clear();
    m_materialLibrary.clear();
    WithContext(name, [&] { m_geometry->Subdivide(subdivide); });
    m_level = m_geometry->HighestLevel();
    PrepareLevel();
}

void Sculpture::Load(const MeshFile& file, const QString& name, uint32_t subdivide) {
    Load(file.polygons, name, subdivide);
    m_parts = file.parts;
    m_materialLibrary = file.materialLibrary;
}

void Sculpture::WriteDocument(tarnix::Stream& stream) const {
    stream.StoreObject(*m_geometry);
    uint32_t count = uint32_t(m_parts.size());
    stream.Exchange(count);
    for (FacePart part : m_parts) {
        stream.Exchange(part.group);
        stream.Exchange(part.material);
    }
    QString library = m_materialLibrary;
    stream.Exchange(library);
    std::vector<SculptureDocument::LayerName> names;
    for (uint32_t l = 0; l < m_geometry->LevelCount(); ++l)
        for (uint32_t k = 0; k < m_geometry->Level(l)->LayerCount(); ++k) {
            const auto renamed = m_layerNames.find(m_geometry->Level(l)->Layer(k));
            if (renamed != m_layerNames.end()) names.push_back({l, k, renamed->second});
        }
    count = uint32_t(names.size());
    stream.Exchange(count);
    for (SculptureDocument::LayerName& name : names) {
        stream.Exchange(name.level);
        stream.Exchange(name.layer);
        stream.Exchange(name.name);
    }
    tarnix::Vector baked = m_bakedScale;
    stream.Exchange(baked.x);
    stream.Exchange(baked.y);
    stream.Exchange(baked.z);
    uint32_t level = m_level->Index();
    stream.Exchange(level);
}

SculptureDocument Sculpture::ReadDocument(tarnix::Stream& stream) {
    SculptureDocument document;
    document.geometry = std::make_unique<tarnix::Geometry>();
    stream.LoadObject(*document.geometry);
    const tarnix::Geometry& geometry = *document.geometry;
    const auto countOf = [&](const char* what) {
        uint32_t count = 0;
        stream.Exchange(count);
        // Every entry takes at least one 32-bit word.
        if (uint64_t(count) * 4 > uint64_t(stream.Remaining()))
            Fail(QStringLiteral("%1 %2 past the file's end").arg(count).arg(QString::fromUtf8(what)));
        return count;
    };
    for (uint32_t i = countOf("face names"); i > 0; --i) {
        FacePart part;
        stream.Exchange(part.group);
        stream.Exchange(part.material);
        document.parts.push_back(part);
    }
    stream.Exchange(document.materialLibrary);
    for (uint32_t i = countOf("layer names"); i > 0; --i) {
        SculptureDocument::LayerName name;
        stream.Exchange(name.level);
        stream.Exchange(name.layer);
        stream.Exchange(name.name);
        if (name.level >= geometry.LevelCount() || name.layer >= geometry.Level(name.level)->LayerCount())
            Fail(QStringLiteral("a name for layer %1 of level %2, which is not there").arg(name.layer).arg(name.level));
        document.layerNames.push_back(name);
    }
    stream.Exchange(document.bakedScale.x);
    stream.Exchange(document.bakedScale.y);
    stream.Exchange(document.bakedScale.z);
    const tarnix::Vector& baked = document.bakedScale;
    if (!(baked.x > 0.0f && baked.y > 0.0f && baked.z > 0.0f && std::isfinite(baked.x * baked.y * baked.z)))
        Fail(QStringLiteral("a carried scale of (%1, %2, %3)")
                 .arg(double(baked.x))
                 .arg(double(baked.y))
                 .arg(double(baked.z)));
    stream.Exchange(document.sculptedLevel);
    if (document.sculptedLevel >= geometry.LevelCount())
        Fail(QStringLiteral("level %1 sculpted of %2").arg(document.sculptedLevel).arg(geometry.LevelCount()));
    // A face name of the file's for every tag the base polygons hold.
    for (uint32_t tag : geometry.BasePolygons().faceTags)
        if (!document.parts.empty() && tag >= document.parts.size())
            Fail(QStringLiteral("a face tagged %1 of %2 names").arg(tag).arg(document.parts.size()));
    return document;
}

void Sculpture::Adopt(SculptureDocument document) {
    // The document held so far goes before the new one is taken.
    Close();
    m_geometry = std::move(document.geometry);
    m_parts = std::move(document.parts);
    m_materialLibrary = document.materialLibrary;
    for (const SculptureDocument::LayerName& renamed : document.layerNames)
        m_layerNames[m_geometry->Level(renamed.level)->Layer(renamed.layer)] = renamed.name;
    m_bakedScale = document.bakedScale;
    m_level = m_geometry->Level(document.sculptedLevel);
    PrepareLevel();
}

void Sculpture::Close() {
    m_driver.reset();
    m_freezeAtStart.clear();
    m_lastFreezePoint.reset();
    m_level = nullptr;
    m_geometry.reset();
    m_parts.clear();
    m_layerNames.clear();
}

uint32_t Sculpture::LevelCount() const { return m_geometry->LevelCount(); }

void Sculpture::Subdivide(uint32_t levels) {
    const uint64_t faces = uint64_t(m_geometry->HighestLevel()->m_faceCount) << (2 * std::min(levels, 16u));
    if (faces > kMostFaces)
        Fail(QStringLiteral("%1 more subdivisions would make %2 faces, more than %3")
                 .arg(levels)
                 .arg(faces)
                 .arg(kMostFaces));
    m_geometry->Subdivide(levels);
    SculptLevel(m_geometry->LevelCount() - 1);
}

void Sculpture::SculptLevel(uint32_t index) {
    if (index >= m_geometry->LevelCount())
        Fail(QStringLiteral("level %1 does not exist (levels 0 to %2)").arg(index).arg(m_geometry->LevelCount() - 1));
    m_level = m_geometry->Level(index);
    // Only the sculpted level is cast at and searched (the volume falloff builds the patch
    // level's grid again when it needs it): the others' grids go before this one is built.
    m_geometry->FreeGridsBut(*m_level);
    PrepareLevel();
}

void Sculpture::PrepareLevel() {
    // Everything a first stroke would build, built now: the grid, the level's caches and lists,
    // the brushes' own tables. The first stroke then costs what a later one does.
    m_level->Grid(true);
    m_geometry->PrepareForStrokes(*m_level);
    m_host.PrepareMesh(m_level);
}

tarnix::AxisAlignedBoundingBox Sculpture::WorldBox() const {
    return m_level->BoundingBox().Transformed(m_geometry->GetTransformation().MeshToWorld());
}

void Sculpture::Place(const tarnix::Vector& scale, const tarnix::Vector& rotateDegrees,
                      const tarnix::Vector& translate) {
    // The uniform part of the scale stays with the placement, its sign too (carried in the
    // positions, a mirroring scale would turn the faces inside out).
    const float product = std::fabs(scale.x * scale.y * scale.z);
    const float uniform = product > 0.0f ? std::cbrt(product) : 1.0f;
    tarnix::Vector baked(std::fabs(scale.x) / uniform, std::fabs(scale.y) / uniform, std::fabs(scale.z) / uniform);
    if (!(product > 0.0f)) baked = tarnix::Vector(1, 1, 1);
    // Sculpted or layered, the levels keep what they carry: the undo history and the layers
    // hold positions in it.
    bool layered = false;
    for (uint32_t i = 0; i < m_geometry->LevelCount(); ++i) layered |= m_geometry->Level(i)->LayerCount() != 0;
    if (UndoCount() + RedoCount() == 0 && !layered) Rebake(baked);
    else baked = m_bakedScale;
    Place(m_geometry->GetTransformation(), {scale.x / baked.x, scale.y / baked.y, scale.z / baked.z}, rotateDegrees,
          translate);
}

void Sculpture::Rebake(const tarnix::Vector& baked) {
    if (baked == m_bakedScale) return;
    const tarnix::Vector ratio(baked.x / m_bakedScale.x, baked.y / m_bakedScale.y, baked.z / m_bakedScale.z);
    for (uint32_t i = 0; i < m_geometry->LevelCount(); ++i) {
        tarnix::SubdivisionLevel& level = *m_geometry->Level(i);
        for (uint32_t v = 0; v < level.VertexCount(); ++v) {
            const tarnix::Vector p = level.VertexPosition(v);
            level.SetVertexPosition(v, {p.x * ratio.x, p.y * ratio.y, p.z * ratio.z});
        }
        level.ClearMovedArea();
        level.RecomputeNormals();
        level.UpdateBoundingBox(tarnix::AxisAlignedBoundingBox());
        if (tarnix::SpatialGrid* grid = level.Grid(false)) grid->Rebuild();
    }
    m_bakedScale = baked;
}

tarnix::Vector Sculpture::OwnPosition(const tarnix::Vector& p) const {
    return {p.x / m_bakedScale.x, p.y / m_bakedScale.y, p.z / m_bakedScale.z};
}

tarnix::Vector Sculpture::OwnNormal(const tarnix::Vector& n) const {
    // Normals take the inverse transpose of the positions' scaling.
    return tarnix::Vector(n.x * m_bakedScale.x, n.y * m_bakedScale.y, n.z * m_bakedScale.z).Normalized();
}

void Sculpture::Place(tarnix::Transformation& placement, const tarnix::Vector& scale,
                      const tarnix::Vector& rotateDegrees, const tarnix::Vector& translate) {
    constexpr float kRadians = 3.14159265358979f / 180.0f;
    placement.SetScale(scale);
    placement.SetRotation(tarnix::Matrix::Rotation({1, 0, 0}, rotateDegrees.x * kRadians) *
                          tarnix::Matrix::Rotation({0, 1, 0}, rotateDegrees.y * kRadians) *
                          tarnix::Matrix::Rotation({0, 0, 1}, rotateDegrees.z * kRadians));
    placement.SetTranslation(translate);
}

void Sculpture::AddLayer(const LayerSetup& setup, bool activate) {
    tarnix::SculptLayer* layer = m_level->AddLayer(setup.name);
    layer->SetStrength(setup.strength);
    layer->SetLocked(setup.locked);
    if (activate) m_level->SetActiveLayer(m_level->LayerCount() - 1);
}

std::optional<uint32_t> Sculpture::LayerIndex(const QString& name) const {
    std::optional<uint32_t> index;
    for (uint32_t i = 0; i < m_level->LayerCount(); ++i)
        if (LayerName(i) == name) index = i;
    return index;
}

bool Sculpture::ActivateLayer(const QString& name, std::optional<float> strength) {
    const std::optional<uint32_t> found = LayerIndex(name);
    if (!found && !name.isEmpty()) return false;
    const uint32_t index = found.value_or(UINT32_MAX);
    m_level->SetActiveLayer(index);
    if (strength && index != UINT32_MAX) m_level->Layer(index)->SetStrength(*strength);
    return true;
}

QString Sculpture::LayerName(uint32_t index) const {
    const tarnix::SculptLayer* layer = m_level->Layer(index);
    const auto renamed = m_layerNames.find(layer);
    return renamed != m_layerNames.end() ? renamed->second : layer->Name();
}

void Sculpture::RenameLayer(uint32_t index, const QString& name) { m_layerNames[m_level->Layer(index)] = name; }

bool Sculpture::SetLayerStrength(uint32_t index, float strength) {
    tarnix::SculptLayer* layer = m_level->Layer(index);
    if (strength == layer->Strength()) return false;
    m_level->CurrentChange()->KeepLayerStrength(layer);
    layer->SetStrength(strength);
    m_level->RecomputeNormals();
    m_level->UpdateBoundingBox(tarnix::AxisAlignedBoundingBox());
    return CommitEdit();
}

bool Sculpture::CommitEdit() {
    m_freezeAtStart.clear();
    m_lastFreezePoint.reset();
    const size_t before = m_geometry->UndoCount() + m_geometry->RedoCount();
    const size_t undoBefore = m_geometry->UndoCount();
    m_level->EndOfChange(true, false);
    return m_geometry->UndoCount() != undoBefore || m_geometry->UndoCount() + m_geometry->RedoCount() != before;
}

tarnix::AxisAlignedBoundingBox Sculpture::PaintFreeze(const tarnix::Vector& centre, float radius, float strength,
                                                      bool thaw) {
    const tarnix::Matrix& toMesh = m_geometry->GetTransformation().WorldToMesh();
    const tarnix::Matrix& toWorld = m_geometry->GetTransformation().MeshToWorld();
    tarnix::AxisAlignedBoundingBox changed;
    tarnix::SpatialGrid* grid = m_level->Grid(true);
    grid->Update();
    const float most = float(tarnix::Mesh::kFreezeStrengthMask);
    const float step = std::clamp(strength, 0.0f, 1.0f) * most;
    // The brush swept from the last point to this one: a vertex takes what the nearest point
    // of that way gives it, so that the pointer's reports along a line change nothing.
    const tarnix::Vector from = m_lastFreezePoint.value_or(centre), way = centre - from;
    const float length2 = way.LengthSquared();
    const auto paint = [&](uint32_t v) {
        const tarnix::Vector p = toWorld.Transform(m_level->VertexPosition(v), 1.0f);
        const float along = length2 > 0.0f ? std::clamp(((p - from) | way) / length2, 0.0f, 1.0f) : 0.0f;
        const float t = (p - (from + way * along)).Length() / radius;
        if (t >= 1.0f) return;
        // Full within half the radius, then easing out to nothing at the radius.
        const float edge = std::clamp(2.0f * t - 1.0f, 0.0f, 1.0f);
        const float reach = step * (1.0f - edge * edge * (3.0f - 2.0f * edge));
        const uint8_t held = m_level->m_vertices[v].freeze & tarnix::Mesh::kFreezeStrengthMask;
        const uint8_t start = m_freezeAtStart.try_emplace(v, held).first->second;
        const float target = std::round(thaw ? std::max(0.0f, start - reach) : std::min(most, start + reach));
        const auto next = uint8_t(thaw ? std::min(float(held), target) : std::max(float(held), target));
        if (next == held) return;
        m_level->CurrentChange()->KeepFreeze(v, 0);
        m_level->SetFreeze(v, next);
        changed.Extend(m_level->VertexPosition(v));
    };
    VertexVisitor<decltype(paint)> visitor(paint);
    tarnix::AxisAlignedBoundingBox swept = tarnix::AxisAlignedBoundingBox::SphereBoundingBox(from, radius, toMesh);
    swept.Extend(tarnix::AxisAlignedBoundingBox::SphereBoundingBox(centre, radius, toMesh));
    grid->EnumerateVertices(swept, &visitor);
    m_lastFreezePoint = centre;
    return changed;
}

bool Sculpture::ClearFreeze() {
    tarnix::MeshChange* change = m_level->CurrentChange();
    for (uint32_t v = 0; v < m_level->VertexCount(); ++v)
        if (m_level->m_vertices[v].freeze & tarnix::Mesh::kFreezeStrengthMask) {
            change->KeepFreeze(v, 0);
            m_level->SetFreeze(v, 0);
        }
    return CommitEdit();
}

bool Sculpture::InvertFreeze() {
    tarnix::MeshChange* change = m_level->CurrentChange();
    for (uint32_t v = 0; v < m_level->VertexCount(); ++v) {
        change->KeepFreeze(v, 0);
        m_level->SetFreeze(v, uint8_t(tarnix::Mesh::kFreezeStrengthMask -
                                      (m_level->m_vertices[v].freeze & tarnix::Mesh::kFreezeStrengthMask)));
    }
    return CommitEdit();
}

std::optional<SurfaceHit> Sculpture::Pick(const tarnix::Vector& origin, const tarnix::Vector& direction) const {
    const tarnix::Transformation& placement = m_geometry->GetTransformation();
    tarnix::SurfacePoint hit;
    if (!m_level->Grid(true)->CastRay(placement.WorldToMesh().Transform(origin, 1.0f),
                                      placement.WorldToMesh().Transform(direction, 0.0f), hit, false, true))
        return std::nullopt;
    // Normals go to the world by the inverse transpose of mesh-to-world.
    const tarnix::Matrix& toMesh = placement.WorldToMesh();
    const tarnix::Vector n = hit.m_normal;
    const tarnix::Vector worldNormal(n.x * toMesh[0][0] + n.y * toMesh[0][1] + n.z * toMesh[0][2],
                                     n.x * toMesh[1][0] + n.y * toMesh[1][1] + n.z * toMesh[1][2],
                                     n.x * toMesh[2][0] + n.y * toMesh[2][1] + n.z * toMesh[2][2]);
    float freeze = 0.0f;
    const uint32_t* corners = m_level->FaceCorners(hit.m_face);
    for (uint32_t k = 0; k < m_level->CornersPerFace(); ++k)
        freeze += float(m_level->m_vertices[corners[k]].freeze & tarnix::Mesh::kFreezeStrengthMask);
    freeze /= float(m_level->CornersPerFace() * tarnix::Mesh::kFreezeStrengthMask);
    return SurfaceHit{placement.MeshToWorld().Transform(hit.m_position, 1.0f), worldNormal.Normalized(), freeze};
}

void Sculpture::Freeze(const FreezeRegion& region) {
    const tarnix::Matrix& toWorld = m_geometry->GetTransformation().MeshToWorld();
    const auto strength = uint8_t(std::lround(region.strength * tarnix::Mesh::kFreezeStrengthMask));
    const tarnix::AxisAlignedBoundingBox box(region.centre, region.corner);
    for (uint32_t v = 0; v < m_level->VertexCount(); ++v) {
        const tarnix::Vector p = toWorld.Transform(m_level->VertexPosition(v), 1.0f);
        const bool inside = region.box ? box.IsContaining(p) : (p - region.centre).Length() <= region.radius;
        const uint8_t held = m_level->m_vertices[v].freeze & tarnix::Mesh::kFreezeStrengthMask;
        if (inside && strength > held) m_level->SetFreeze(v, strength);
    }
}

void Sculpture::Freeze(const float* strengths, size_t count) {
    if (count != m_level->VertexCount())
        Fail(QStringLiteral("%1 freeze strengths for %2 vertices").arg(count).arg(m_level->VertexCount()));
    for (size_t v = 0; v < count; ++v)
        if (!(strengths[v] >= 0.0f && strengths[v] <= 1.0f))
            Fail(QStringLiteral("freeze strength %1 of vertex %2 is out of range [0, 1]").arg(strengths[v]).arg(v));
    for (uint32_t v = 0; v < m_level->VertexCount(); ++v)
        m_level->SetFreeze(v, uint8_t(std::lround(strengths[v] * tarnix::Mesh::kFreezeStrengthMask)));
}

void Sculpture::Look(const CameraPlacement& camera) const {
    tarnix::Kernel::Scene()->GetCamera().LookAt(camera.eye, camera.target);
}

void Sculpture::LookFor(const StrokeStep& stroke, const std::optional<CameraPlacement>& camera,
                        const tarnix::Vector& wholeMeshEye) const {
    const std::optional<CameraPlacement>& chosen = stroke.camera ? stroke.camera : camera;
    if (chosen) {
        Look(*chosen);
        return;
    }
    const tarnix::Vector centre = WorldBox().Center();
    const tarnix::Vector eye = stroke.path.empty() ? wholeMeshEye : stroke.path.front();
    Look({eye == centre ? centre + tarnix::Vector(0, 0, 1) : eye, centre});
}

View Sculpture::DefaultView(float fovDegrees) const {
    return ViewOfBox(WorldBox(), tarnix::Vector(-2.2f, -1.6f, -4.0f), fovDegrees);
}

void Sculpture::PrepareBrush(const BrushHost& host, tarnix::BrushOperation& brush, const StrokeStep& stroke) {
    BrushHost::ActivateTool(brush, host.Tool(stroke.tool));
    // A whole-mesh application passes its strength to the driver; it leaves the brush's alone.
    if (!stroke.path.empty()) {
        brush.SetBrushSize(stroke.size);
        brush.SetBrushStrength(stroke.strength);
    }
    if (stroke.falloff) brush.SetFalloffIndex(*stroke.falloff);
    if (stroke.falloffType) {
        // A geodesic falloff needs distances measured along the surface; the host's choice
        // sets both, as its falloff menu does.
        brush.SetFalloffType(*stroke.falloffType);
        brush.m_distanceModeAttr.SetValue(*stroke.falloffType == tarnix::BrushOperation::kFalloffGeodesic ? 1 : 0);
    }
    if (stroke.direction) brush.m_directionAttr.SetValue(*stroke.direction);
    brush.MirrorConfig().SetMirrorMode(stroke.mirror);
    // Choosing an image takes its neutral level as the offset; the stroke's options come after.
    if (stroke.stamp) brush.SetStamp(!stroke.stamp->isEmpty(), *stroke.stamp);
    tarnix::StampConfiguration stamp = brush.StampConfig();
    stroke.stampOptions.ApplyTo(stamp);
    brush.SetStampConfig(stamp);
    if (!brush.StampError().isEmpty()) Fail(QStringLiteral("stamp: %1").arg(brush.StampError()));
    for (const NamedValue& attribute : stroke.attributes) BrushHost::SetAttribute(brush, attribute);
}

StrokeFigures Sculpture::Apply(const StrokeStep& stroke, bool wholeMesh) {
    const uint32_t facesBefore = m_level->m_faceCount, verticesBefore = m_level->VertexCount();
    const tarnix::MeshChange* latestBefore = m_geometry->LatestChange();
    // The kernel keeps its log lines in memory; a stroke's are not needed after it.
    tarnix::Kernel::ClearLog();

    StrokeFigures figures;
    figures.tool = stroke.tool;
    figures.wholeMesh = wholeMesh;
    tarnix::BrushOperation& brush = StrokeBrush(stroke);
    tarnix::StrokeDriver driver(brush);
    const auto start = std::chrono::steady_clock::now();
    if (wholeMesh) {
        driver.RunWholeMesh(*m_level, stroke.strength, stroke.fromCamera, ModifierOf(stroke));
        figures.dabs = 1;
        figures.brushSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } else {
        const tarnix::StrokeReport placed = driver.Run(*m_level, stroke.path, OptionsOf(stroke), stroke.pressures);
        figures.dabs = placed.dabs + placed.mirroredDabs;
        figures.brushSeconds = placed.brushSeconds;
    }
    figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    if (CountMoves(latestBefore, verticesBefore, figures)) {
        // Kept, such a mesh could not be cast at or written as numbers.
        m_geometry->Undo();
        Fail(QStringLiteral("the stroke moved vertices beyond %1 or to no finite place; it was taken back")
                 .arg(kSessionCoordinateLimit, 0, 'g', 6));
    }
    TakeStatistics(brush, facesBefore, verticesBefore, figures);
    figures.warning = WhyNothingChanged(stroke, figures);
    // As a live stroke: what a program's journal plays back keeps the program's undo steps.
    DropIfNothingMoved(latestBefore, figures);
    return figures;
}

bool Sculpture::CountMoves(const tarnix::MeshChange* latestBefore, uint32_t verticesBefore,
                           StrokeFigures& figures) const {
    // The stroke's undo record tells where its vertices started, so the moves are counted
    // without a copy of the whole mesh. A tessellating stroke's record keeps the whole mesh
    // and adds vertices; only those that were there before count as moved. Where they moved,
    // and the surface's mean normal there, is what a picture of the stroke looks at.
    const tarnix::Matrix& toWorld = m_geometry->GetTransformation().MeshToWorld();
    tarnix::Vector normals;
    bool beyond = false;
    const auto count = [&](const tarnix::Vector& from, uint32_t v) {
        const tarnix::Vector p = m_level->VertexPosition(v);
        beyond |= !(std::fabs(p.x) <= kSessionCoordinateLimit && std::fabs(p.y) <= kSessionCoordinateLimit &&
                    std::fabs(p.z) <= kSessionCoordinateLimit);
        const double moved = (OwnPosition(p) - OwnPosition(from)).Length();
        if (moved == 0.0) return;
        ++figures.movedVertices;
        figures.maxDisplacement = std::max(figures.maxDisplacement, moved);
        figures.movedArea.Extend(toWorld.Transform(m_level->VertexPosition(v), 1.0f));
        normals = normals + m_level->VertexNormal(v);
    };
    // The stroke's record was made while `latestBefore` still lived, so a new one has
    // another address.
    const tarnix::MeshChange* change = m_geometry->LatestChange();
    if (change && change != latestBefore && change->GetMesh() == m_level) {
        if (change->KeepsTopology()) {
            for (uint32_t v = 0; v < std::min({m_level->VertexCount(), verticesBefore, change->KeptVertexCount()}); ++v)
                count(change->KeptPosition(v), v);
        } else {
            for (uint32_t slot = 0; slot < change->Count(); ++slot) {
                const tarnix::StoredVertexInfo& entry = (*change)[slot];
                count({entry.m_position[0], entry.m_position[1], entry.m_position[2]}, entry.m_vertex);
            }
        }
    }
    figures.movedNormal = toWorld.Transform(normals, 0.0f).Normalized();
    return beyond;
}

void Sculpture::TakeStatistics(const tarnix::BrushOperation& brush, uint32_t facesBefore, uint32_t verticesBefore,
                               StrokeFigures& figures) const {
    const tarnix::BrushOperation::StrokeStatistics statistics = brush.LastStrokeStatistics();
    figures.processedVertices = statistics.processedVertices;
    figures.vertexUpdates = statistics.vertexUpdates;
    figures.addedVertices = int64_t(m_level->VertexCount()) - int64_t(verticesBefore);
    // Splits add vertices and merges remove faces, so either count tells that faces changed.
    figures.facesChanged = figures.addedVertices != 0 || m_level->m_faceCount != facesBefore;
}

namespace {

// Why a brush of the stroke's size cannot work where its path lies, when that is why: a float
// holds a point this far from the origin only to within a step that may be larger than the
// brush, so that its dabs miss every vertex, or the surface, by more than their radius.
QString TooFarForTheBrush(const StrokeStep& stroke) {
    double farthest = 0.0;
    for (const tarnix::Vector& point : stroke.path)
        farthest =
            std::max({farthest, double(std::fabs(point.x)), double(std::fabs(point.y)), double(std::fabs(point.z))});
    const double precision = farthest * double(std::numeric_limits<float>::epsilon());
    if (precision * 4.0 <= double(stroke.size)) return {};
    return QStringLiteral(
               "nothing moved: %1 from the origin, points are held only to within %2, too coarse for a brush "
               "of radius %3: place the mesh nearer the origin")
        .arg(farthest, 0, 'g', 3)
        .arg(precision, 0, 'g', 3)
        .arg(double(stroke.size), 0, 'g', 3);
}

}  // namespace

QString Sculpture::WhyNothingChanged(const StrokeStep& stroke, const StrokeFigures& figures) const {
    const QString tooFar = figures.wholeMesh ? QString() : TooFarForTheBrush(stroke);
    if (!figures.wholeMesh && figures.dabs == 0) return tooFar.isEmpty() ? kNoDabLanded : tooFar;
    if (figures.movedVertices != 0 || figures.facesChanged) return {};
    if (const tarnix::SculptLayer* layer = m_level->ActiveLayer(); layer && layer->IsLocked())
        return QStringLiteral("nothing moved: the active layer \"%1\" is locked").arg(layer->Name());
    if (stroke.strength == 0.0f) return QStringLiteral("nothing moved: the strength is 0");
    if (!figures.wholeMesh && stroke.pressure == 0.0f) return QStringLiteral("nothing moved: the pressure is 0");
    if (!figures.wholeMesh && Brush().FalloffIndex() == tarnix::BrushOperation::kNoFalloff)
        return QStringLiteral(
            "nothing moved: the falloff is \"none\", and a dab without a falloff curve moves nothing");
    if (!tooFar.isEmpty()) return tooFar;
    if (!figures.wholeMesh && figures.vertexUpdates == 0)
        return QStringLiteral(
                   "nothing moved: the brush (radius %1) reached no vertex where its dabs landed: the vertices "
                   "there are further apart than that")
            .arg(double(stroke.size), 0, 'g', 3);
    if (m_level->FrozenVertexCount() != 0)
        return QStringLiteral(
            "nothing moved: the vertices under the brush are frozen, or already as the tool leaves them");
    return QStringLiteral("nothing moved: the surface under the brush is already as the tool leaves it");
}

void Sculpture::BeginStroke(const StrokeStep& stroke) {
    // A driver drives one brush: the studio may have taken up a tool of another since.
    tarnix::BrushOperation& brush = StrokeBrush(stroke);
    if (!m_driver || &m_driver->DrivenBrush() != &brush) m_driver = std::make_unique<tarnix::StrokeDriver>(brush);
    tarnix::Kernel::ClearLog();
    brush.SetBrushSize(stroke.size);
    brush.SetBrushStrength(stroke.strength);
    brush.MirrorConfig().SetMirrorMode(stroke.mirror);
    m_liveStroke = stroke;
    m_liveFacesBefore = m_level->m_faceCount;
    m_liveVerticesBefore = m_level->VertexCount();
    m_liveLatestBefore = m_geometry->LatestChange();
    m_strokeStart = std::chrono::steady_clock::now();
    m_driver->Begin(*m_level, OptionsOf(stroke));
    // Named after it began: the smoothing modifier swaps the Smooth tool in.
    m_liveStroke.tool = brush.ActiveConfiguration() ? brush.ActiveConfiguration()->Name() : QString();
}

tarnix::AxisAlignedBoundingBox Sculpture::AddStrokePoint(const tarnix::Vector& point, float pressure) {
    if (!InStroke()) return {};
    // The brush adds what each dab moved to the level's pending box, which the stroke's end
    // reads; it is set aside here so that this point's dabs can be told apart, then put back.
    const tarnix::AxisAlignedBoundingBox before = m_level->PendingUpdateBox();
    m_level->SetPendingUpdateBox(tarnix::AxisAlignedBoundingBox());
    m_driver->AddPoint(point, pressure);
    const tarnix::AxisAlignedBoundingBox touched = m_level->PendingUpdateBox();
    tarnix::AxisAlignedBoundingBox all = before;
    all.Extend(touched);
    m_level->SetPendingUpdateBox(all);
    return touched;
}

StrokeFigures Sculpture::EndStroke() {
    StrokeFigures figures;
    if (!InStroke()) return figures;
    const tarnix::StrokeReport placed = m_driver->End();
    figures.tool = m_liveStroke.tool;
    figures.dabs = placed.dabs + placed.mirroredDabs;
    figures.brushSeconds = placed.brushSeconds;
    figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_strokeStart).count();
    CountMoves(m_liveLatestBefore, m_liveVerticesBefore, figures);
    TakeStatistics(m_driver->DrivenBrush(), m_liveFacesBefore, m_liveVerticesBefore, figures);
    figures.warning = WhyNothingChanged(m_liveStroke, figures);
    DropIfNothingMoved(m_liveLatestBefore, figures);
    return figures;
}

void Sculpture::DropIfNothingMoved(const tarnix::MeshChange* latestBefore, const StrokeFigures& figures) {
    // A record of no move would be an undo step that does nothing. One that rewired faces
    // stays: the history behind it needs it to go back.
    const tarnix::MeshChange* change = m_geometry->LatestChange();
    if (!figures.warning.isEmpty() && change && change != latestBefore && !change->KeepsTopology())
        m_geometry->DropLatestChange();
}

bool Sculpture::InStroke() const { return m_driver && m_driver->InStroke(); }

size_t Sculpture::UndoCount() const { return m_geometry->UndoCount(); }

size_t Sculpture::RedoCount() const { return m_geometry->RedoCount(); }

void Sculpture::Undo() { m_geometry->Undo(); }

void Sculpture::Redo() { m_geometry->Redo(); }

Picture Sculpture::Render(const View& view, int width, int height) const {
    return RenderMesh(*m_level, view, width, height);
}

MeshToWrite Sculpture::ToWrite(std::optional<uint32_t> level) const {
    const uint32_t index = level.value_or(m_level->Index());
    if (index >= m_geometry->LevelCount())
        Fail(QStringLiteral("level %1 does not exist (levels 0 to %2)").arg(index).arg(m_geometry->LevelCount() - 1));
    MeshToWrite output;
    output.mesh = m_geometry->Level(index);
    output.carriedScale = m_bakedScale;
    output.uvs = m_geometry->UVs(index);
    output.materialLibrary = m_materialLibrary;
    const std::vector<uint32_t>& tags = m_geometry->BasePolygons().faceTags;
    if (!m_parts.empty() && !tags.empty()) {
        output.faceParts = m_geometry->BasePolygonOfFaces(index);
        for (uint32_t& part : output.faceParts) part = tags[part];
        if (!output.faceParts.empty()) output.parts = m_parts;
    }
    return output;
}

uint32_t Sculpture::Write(const QString& path, std::optional<uint32_t> level) const {
    return WriteMesh(ToWrite(level), path);
}

}  // namespace corvane_apps

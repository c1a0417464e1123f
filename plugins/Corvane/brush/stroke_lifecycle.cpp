// The two ends of a stroke: BeginStroke (the smoothing-modifier swap, signs, falloff, stamp
// cache, binding the mesh), EndStroke (grid refresh, curves, committing the undo records, the
// throughput log line, restoring the preset), and the mesh binding itself.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "brush/corvane.h"
#include "host/crash_guard.h"
#include "host/errors.h"
#include "host/tool_ids.h"
#include "host/tr.h"
#include "host/tracked_store.h"
#include "kernels/dab_block.h"
#include "kernels/patch_kernel.h"
#include "patch/patch_map.h"
#include "tarnix/geometry.h"
#include "tarnix/image.h"
#include "tarnix/kernel.h"
#include "tarnix/mesh_change.h"
#include "tarnix/mesh_renderer.h"
#include "tarnix/spatial_grid.h"
#include "tarnix/subdivision_level.h"
#include "tarnix/transformation.h"

using corvane::EntryGuard;

namespace corvane {

tarnix::BrushConfiguration* s_smoothConfiguration = nullptr;

/// The processor clock, in milliseconds, when the stroke began.
uint32_t g_strokeStartClock = 0;

/// @brief The processor clock in milliseconds (the unit of the throughput log line).
uint32_t ClockMilliseconds() { return uint32_t(uint64_t(std::clock()) * 1000 / CLOCKS_PER_SEC); }

}  // namespace corvane

namespace {

bool IsVectorDisplacementName(const QString& name) {
    return name.indexOf(QLatin1String(".vdm"), 0, Qt::CaseInsensitive) >= 0 ||
           name.indexOf(QLatin1String("_vdm"), 0, Qt::CaseInsensitive) >= 0;
}

}  // namespace

void Corvane::BeginStroke(tarnix::Mesh* mesh, Modifier modifier, TriggerType trigger) {
    const EntryGuard guard(corvane::kGuardBeginStroke);
    m_strokeRefused = false;
    if (m_dynamicTessellation) {
        Velder::BeginStroke(mesh, modifier, trigger);
        if (m_strokeRefused) return;
        m_dabSerial = 0;
        const tarnix::BoolFloat refine = m_adaptiveRefineAttr.Value();
        if (refine.on && m_refineModeAttr.Value() == 0) {
            const float x = refine.value;
            // The finer the detail asked for, the more dabs between refinements.
            const int interval = x > 0.25f ? 1 : double(x) > 0.15 ? 3 : double(x) > 0.1 ? 4 : x > 0 ? 8 : 16;
            m_refineIntervalAttr.SetValue(interval, true);
        }
    } else {
        tarnix::BrushOperation::BeginStroke(mesh, modifier, trigger);
    }
    const float b = m_buildUpRateAttr.Value();
    m_buildUpRate = b * b * b;

    if (modifier == kModifierSmooth && corvane::s_smoothConfiguration &&
        ActiveToolId() != corvane::s_smoothConfiguration->ID()) {
        m_switchingConfiguration = true;
        m_savedConfiguration = ActiveConfiguration();
        SetActiveConfiguration(corvane::s_smoothConfiguration);
        m_switchingConfiguration = false;
    }
    if (trigger != kTriggerDrag) {
        m_subdivisionLevel = nullptr;
        PublishStrengthHints();
        return;
    }

    m_dabCount = 0xFFFFFFFFu;
    for (int m = 0; m < 2; ++m) {
        m_planeOffset[m] = 0.0f;
        m_planeDirection[m] = m_planePoint[m] = tarnix::Vector(0, 0, 0);
    }
    m_inverseMeshScale = 1.0f;
    m_strengthSign = 1.0f;

    if (ActiveToolId() == corvane::kToolAmplify) m_planeSign = modifier == kModifierInvert ? 1.0f : -1.0f;
    m_liftSign = 1.0f;
    if (modifier == kModifierInvert) {
        if (m_switches.plane) m_liftSign = -1.0f;
        else if (!m_switches.smooth) m_strengthSign = -1.0f;
    }

    const Falloff falloff = FalloffData();
    m_falloffSamples = falloff.data;
    m_falloffLastIndexAsFloat = float(falloff.count) - 1.0f;
    m_falloffScale = (float(falloff.count) - 1.0f) * m_invRadius;
    m_falloffLastIndex = falloff.count - 1;

    PrepareStrokeStamp();
    if (mesh) SetMesh(mesh);
    corvane::g_processedVertexCount = 0;
    m_vertexUpdates = 0;
    corvane::g_strokeStartClock = corvane::ClockMilliseconds();
    m_inStroke = true;
    // The tool that runs (the smoothing modifier's swap done) with this stroke's stamp.
    PublishStrengthHints();
}

void Corvane::PrepareStrokeStamp() {
    m_useStamp = IsMaskEnabled(kStampMask);
    m_stampTiled = IsMaskTiled(kStampMask);
    tarnix::Image* image = MaskImage(kStampMask);
    if (m_switches.smooth && image && image->Depth() == 1) m_useStamp = false;
    if (m_useStamp && (!image || image->Width() == 0))
        tarnix::Kernel::Interface()->HUDMessageShow(
            corvane::Tr("Please choose a stamp image first,\notherwise the brush will take no effect."), 1, 2000);
    m_stampIsVectorDisplacement = m_useStamp && IsVectorDisplacementName(MaskName(kStampMask));

    if (m_useStamp && image) CacheStampSamples(*image);
    if (m_useStamp && (!image || !m_stampPixels)) {
        // No pixels to sample (no image, no memory for them, or a read that failed): the
        // stroke's stamp is empty, so that every vertex lies outside it and the brush takes no
        // effect, as the notice says, rather than sampling what is not there. The cache is
        // forgotten, so the next stroke reads the image again.
        if (image && image->Width() != 0)
            tarnix::Kernel::Interface()->HUDMessageShow(
                corvane::Tr("Please choose a stamp image first,\notherwise the brush will take no effect."), 1, 2000);
        m_stampImage = nullptr;
        m_stampSamples.Release();
        m_stampPixels = nullptr;
        m_stampWidth = m_stampHeight = 0;
        m_stampTiled = false;
    }
}

void Corvane::CacheStampSamples(tarnix::Image& image) {
    const bool inverted = IsMaskInverted(kStampMask);
    const float factor = MaskFactor(kStampMask), offset = MaskOffset(kStampMask);
    const QString name = MaskName(kStampMask);
    // The image is converted only when one of these changed since the last stroke.
    const bool cached = &image == m_stampImage && inverted == m_stampInverted && factor == m_stampMaskFactor &&
                        offset == m_stampOffset && image.Version() == m_stampImageVersion && name == m_stampName;
    if (!cached) {
        m_stampImage = &image;
        m_stampInverted = inverted;
        m_stampMaskFactor = factor;
        m_stampOffset = offset;
        m_stampImageVersion = image.Version();
        m_stampName = name;
        m_stampWidth = image.Width();
        m_stampHeight = image.Height();
        m_stampBuildUp = MaskBuildUp(kStampMask);
        m_stampSamples.Release();
        m_stampPixels = nullptr;
        m_stampIsVectorDisplacement = IsVectorDisplacementName(name);
        const uint32_t channels = m_stampIsVectorDisplacement ? 3 : 1;
        // A sample count past the store's range fails like an allocation the host refuses.
        const uint64_t samples = uint64_t(m_stampWidth) * m_stampHeight * channels;
        if (samples <= UINT32_MAX && corvane::GrowTrackedStore(m_stampSamples, uint32_t(samples)) &&
            image.getTile(0, 0, m_stampWidth, m_stampHeight, m_stampSamples.Data(), {channels, 32})) {
            m_stampSamples.SetCount(uint32_t(samples));
            m_stampPixels = m_stampSamples.Data();
            for (float& value : m_stampSamples) value = inverted ? 1.0f - value + offset : value - offset;
        }
    }
}

void Corvane::SetMesh(tarnix::Mesh* mesh) {
    const EntryGuard guard(corvane::kGuardSetMesh);
    ReleaseMesh();
    if (!mesh->Lock(true, this)) return;
    m_subdivisionLevel = dynamic_cast<tarnix::SubdivisionLevel*>(mesh);
    if (!m_subdivisionLevel) corvane::RaiseError("Corvane::SetMesh", 1771, QStringLiteral("Invalid mesh specified"));

    const tarnix::Transformation* transformation = mesh->GetTransformation();
    tarnix::Vector scale = transformation ? transformation->Scale() : tarnix::Vector(1, 1, 1);
    const float volume = scale.x * scale.y * scale.z;
    if (volume == 0.0f) scale = tarnix::Vector(1, 1, 1);
    m_scratch.dabRows[corvane::kRowInverseScale] =
        tarnix::HWVector(1.0f / scale.x, 1.0f / scale.y, 1.0f / scale.z, 0.0f);
    if (m_switches.ignoresMeshScale) {
        m_inverseMeshScale = 1.0f;
    } else {
        const float c = std::pow(volume, 0.33333334f);
        m_inverseMeshScale = c == 0.0f ? 0.0f : 1.0f / c;
    }
    m_meshHasFreeze = mesh->FrozenVertexCount() != 0;
    m_activeLayer = mesh->ActiveLayer();
    m_hasActiveLayer = m_activeLayer != nullptr;
    RefreshMeshTransform();

    if (mesh->m_faceKind == tarnix::Mesh::kQuads) {
        m_baseMesh = PatchMapLevel(*m_subdivisionLevel);
        m_patchMap = LinkPatchMap(*m_baseMesh);
    }
    AddMeshChange(mesh, mesh->CurrentChange());

    m_skipRendererNotify = true;
    m_renderers.Release();
    for (uint32_t index = 0;; ++index) {
        auto* renderer =
            dynamic_cast<tarnix::MeshRenderer*>(mesh->ChildByClass(tarnix::MeshRenderer::StaticClass(), false, index));
        if (!renderer) break;
        if (renderer->UpdateGranularity() == 0.0f) m_skipRendererNotify = false;
        corvane::AppendTracked(m_renderers, renderer);
    }
}

tarnix::SubdivisionLevel* Corvane::PatchMapLevel(tarnix::SubdivisionLevel& level) {
    tarnix::Geometry* geometry = level.GetGeometry();
    tarnix::SubdivisionLevel* base = geometry ? geometry->Level(0) : &level;
    if (base->m_faceKind != tarnix::Mesh::kQuads && geometry && geometry->LevelCount() > 1) base = geometry->Level(1);
    return base;
}

PatchMap* Corvane::LinkPatchMap(tarnix::SubdivisionLevel& base) {
    auto* map = dynamic_cast<PatchMap*>(base.ChildByClass(PatchMap::StaticClass(), true));
    if (map && map->m_neighbourFaces.Count() == 0) {
        // An empty table (a map loaded without one): link a freshly built map instead.
        base.RemoveChild(map);
        delete map;
        map = dynamic_cast<PatchMap*>(base.ChildByClass(PatchMap::StaticClass(), true));
    }
    return map;
}

void Corvane::PrepareMesh(tarnix::Mesh* mesh) {
    const EntryGuard guard(corvane::kGuardSetMesh);
    auto* level = dynamic_cast<tarnix::SubdivisionLevel*>(mesh);
    if (level && level->m_faceKind == tarnix::Mesh::kQuads) LinkPatchMap(*PatchMapLevel(*level));
}

void Corvane::AddMeshChange(tarnix::Mesh* mesh, tarnix::MeshChange* change) {
    corvane::AppendTracked(m_meshChanges, std::make_pair(mesh, change));
    ++m_changeSerial;
}

void Corvane::ReleaseMesh() {
    const EntryGuard guard(corvane::kGuardReleaseMesh);
    if (!m_subdivisionLevel) return;
    m_subdivisionLevel->Unlock(true);
    m_subdivisionLevel->ContentChanged();
    m_subdivisionLevel = nullptr;
}

void Corvane::RefreshMeshTransform() {
    if (!m_subdivisionLevel) return;
    const tarnix::Transformation* transformation = m_subdivisionLevel->GetTransformation();
    if (!transformation) return;
    const tarnix::Vector& s = transformation->Scale();
    const auto uniform = [](float ratio) { return ratio >= 0.99f && ratio <= 1.01f; };
    m_nonUniformScale = !uniform(s.y / s.x) || !uniform(s.z / s.x);
    tarnix::HWVector* rows = m_scratch.dabRows;
    corvane::StoreMatrixRows(rows, corvane::kRowMeshToWorld, transformation->MeshToWorld());
    corvane::StoreMatrixRows(rows, corvane::kRowWorldToMesh, transformation->WorldToMesh());
}

void Corvane::MergeChangedBox(tarnix::Mesh* mesh) {
    const tarnix::AxisAlignedBoundingBox area = mesh->PendingUpdateBox();
    if (area.IsEmpty()) return;
    tarnix::AxisAlignedBoundingBox added;
    for (int corner = 0; corner < 8; ++corner)
        if (!mesh->BoundingBox().IsContaining(area.Corner(corner))) added.Extend(area.Corner(corner));
    if (!added.IsEmpty()) mesh->UpdateBoundingBox(added);
}

void Corvane::EndStroke() {
    const EntryGuard guard(corvane::kGuardEndStroke);
    if (m_dynamicTessellation) Velder::EndStroke();

    m_strokeStatistics = {corvane::g_processedVertexCount, m_vertexUpdates};
    const int32_t elapsed = int32_t(corvane::ClockMilliseconds() - corvane::g_strokeStartClock);
    const double rate = double(int32_t(corvane::g_processedVertexCount)) / (double(elapsed) / 1000.0) / 1e6;
    tarnix::Kernel::Log(QStringLiteral("\n**** Sculpt Brush Performance - %1 Mega vertices per second\n")
                            .arg(rate, 0, 'g', -1, QLatin1Char(' ')));

    if (m_savedConfiguration) {
        SetActiveConfiguration(m_savedConfiguration);
        m_savedConfiguration = nullptr;
    }
    if (!m_subdivisionLevel) return;

    if (GetFalloffType() == kFalloffVolume || m_projectToSurface) {
        MergeChangedBox(m_subdivisionLevel);
        const tarnix::AxisAlignedBoundingBox box = m_subdivisionLevel->BoundingBox();
        tarnix::SpatialGrid* grid = m_subdivisionLevel->Grid(true);
        if (grid->Box().IsContaining(box)) grid->Update();
        else grid->Rebuild();
    }
    tarnix::Scene* scene = tarnix::Kernel::Scene();
    const auto forEachCurve = [scene](auto&& step) {
        for (uint32_t i = 0; i < scene->ChildCount(); ++i)
            if (auto* curve = dynamic_cast<tarnix::TarnixCurve*>(scene->Child(i)))
                if (curve->StateQuery() == tarnix::TarnixCurve::kFollowingSurface) step(*curve);
    };
    forEachCurve([](tarnix::TarnixCurve& curve) { curve.BeginUpdate(); });
    bool any = false;
    if (m_dynamicTessellation)
        for (const auto& [mesh, change] : m_meshChanges)
            if (MeshEditable(mesh)) {
                any = true;
                break;
            }
    for (uint32_t i = 0; i < m_meshChanges.Count(); ++i) {
        tarnix::Mesh* mesh = m_meshChanges[i].first;
        mesh->EndOfChange(!(m_dynamicTessellation && MeshEditable(mesh)), i != 0 || any);
        mesh->UpdateBoundingBox(tarnix::AxisAlignedBoundingBox());
    }
    m_meshChanges.Release();
    m_inStroke = false;
    forEachCurve([this](tarnix::TarnixCurve& curve) {
        curve.FollowSurface(m_curveManipulator, m_subdivisionLevel);
        curve.FinishUpdate();
    });
    if (m_curveManipulator.HasData()) {
        tarnix::Kernel::DoOperation(&m_curveManipulator, true, false);
        m_curveManipulator.Clear();
    }
    ReleaseMesh();
    m_coarseWarningShown = false;
    m_directionNeedsLocalFrame = false;
}

void Corvane::ApplyToWholeMesh(tarnix::Mesh* mesh, float, float amount, bool fromCamera) {
    const EntryGuard guard(corvane::kGuardApplyToWholeMesh);
    m_wholeMeshPass = true;
    m_wholeMeshFromCamera = fromCamera;
    if (fromCamera) {
        const tarnix::Vector world = tarnix::Kernel::Scene()->GetCamera().Transformation().Transform({0, 0, 0}, 1.0f);
        const tarnix::Transformation* transformation = mesh->GetTransformation();
        const tarnix::Vector local = transformation ? transformation->WorldToMesh().Transform(world, 1.0f) : world;
        m_wholeMeshCameraDirection = local.Normalized();
    }
    // The pass starts from the face named by the first entry of the mesh's face index array
    // (the corner array); an entry past the faces starts from the first face instead.
    const uint32_t first = mesh->m_cornerIndices.Count() ? mesh->m_cornerIndices[0] : 0;
    const tarnix::SurfacePoint point(mesh, first < mesh->m_faceCount ? first : 0, 0);
    const tarnix::Vector zero(0, 0, 0);
    tarnix::AxisAlignedBoundingBox changed;
    ApplyDab(&point, &zero, 0.0f, 1.0f, amount, changed);
    m_wholeMeshPass = false;
}

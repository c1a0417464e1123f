// Tool activation: the one place where the per-tool values are decided. Activating a preset
// resets the tool state, applies the preset's first-use defaults when the host has no record
// of it yet, sets the tool-family flags, signs and clamps the kernels read, and shows the
// attributes that make sense for the tool.

#include "brush/corvane.h"
#include "host/crash_guard.h"
#include "host/tool_ids.h"
#include "tarnix/brush_configuration.h"
#include "tarnix/kernel.h"

using corvane::EntryGuard;

namespace {

// Shows an attribute (or hides it) in the brush's panel.
void Show(tarnix::Attribute& attribute) { attribute.SetVisible(true); }
void Hide(tarnix::Attribute& attribute) { attribute.SetVisible(false); }

}  // namespace

uint32_t Corvane::ActiveToolId() const {
    return ActiveConfiguration() ? ActiveConfiguration()->ID() : 0xFFFFFFFFu;
}

void Corvane::SetActiveConfiguration(tarnix::BrushConfiguration* configuration) {
    const EntryGuard guard(corvane::kGuardSetActiveConfiguration);
    Velder::SetActiveConfiguration(configuration);
    tarnix::Kernel::Interface()->ActivateLayerSystem(0);

    // Reset. A smoothing-modifier swap keeps the preset it will return to.
    m_smoothTool = m_pinchTool = m_planeTool = m_bulgeTool = m_smearTool = m_relaxTool = m_waxTool = false;
    if (!m_switchingConfiguration) m_savedConfiguration = nullptr;
    m_ignoreMeshScale = false;
    m_fastPlaneEstimate = true;
    m_waxDepthFactor = 0.0f;
    m_planeSign = 1.0f;
    m_planeMin = -1e8f;
    m_planeMax = 1e8f;
    m_baseStrengthFactor = 1.0f;

    // What every tool shows.
    Show(m_buildUpRateAttr);
    Show(m_steadyStrokeAttr);
    Show(m_adaptiveRefineAttr);
    Show(m_curvatureRefineAttr);
    Hide(m_drawFromCenterAttr);
    Hide(m_affectAllLayersAttr);
    Show(m_directionAttr);
    m_pressureSizeAttr.SetSeparator(true);
    Show(m_strokeSmoothingAttr);
    Show(m_dabSpacingAttr);
    Show(m_dabJitterAttr);
    Show(m_refineModeAttr);
    Show(m_refineIntervalAttr);
    Show(m_invertAttr);
    Hide(m_projectToSurfaceAttr);
    m_projectToSurfaceAttr.SetValue(false);
    Hide(m_lockBordersAttr);
    m_lockBordersAttr.SetValue(true);
    Hide(m_preserveVolumeAttr);

    const uint32_t id = configuration ? configuration->ID() : 0xFFFFFFFFu;
    const bool firstUse = !IsConfigurationInited(configuration);
    if (firstUse) {
        SetBrushStrength(15.0f);
        m_invertAttr.SetValue(false, true);
        m_pressureSizeAttr.SetValue(false, true);
        m_dabSpacingAttr.SetValue(25.0f, true);
        m_dabJitterAttr.SetValue(0.0f, true);
        SetStrokeSmoothing(true, 0.0625f);
        SetSteadyStroke(false, 0.04f);
        m_updatePlaneAttr.SetValue(true, true);
        m_globalPlaneAttr.SetValue(false, true);
        m_affectAllLayersAttr.SetValue(true, true);
        m_buildUpRateAttr.SetValue(0.5f, true);
        SetStamp(false, QString());
        SetStampConfig(tarnix::StampConfiguration());
        SetFalloffIndex(2);
        m_directionAttr.SetValue(1, true);
        m_dynamicTessellationAttr.SetValue(false, true);
    }

    switch (id) {
        case corvane::kToolSmear:
            m_smearTool = true;
            Hide(m_directionAttr);
            break;
        case corvane::kToolPinch:
            m_pinchTool = m_ignoreMeshScale = true;
            SetBrushStrengthScale(0.01f);
            Hide(m_directionAttr);
            break;
        case corvane::kToolSmooth:
            m_smoothTool = m_ignoreMeshScale = true;
            Show(m_affectAllLayersAttr);
            Hide(m_directionAttr);
            m_pressureSizeAttr.SetSeparator(false);
            Hide(m_invertAttr);
            Show(m_preserveVolumeAttr);
            if (firstUse) SetBrushStrength(100.0f);
            break;
        case corvane::kToolAmplify:
            m_planeTool = m_ignoreMeshScale = true;
            m_planeSign = -1.0f;
            SetBrushStrengthScale(0.2f);
            m_pressureSizeAttr.SetSeparator(false);
            break;
        case corvane::kToolFlatten:
            m_planeTool = m_ignoreMeshScale = true;
            m_fastPlaneEstimate = false;
            m_pressureSizeAttr.SetSeparator(false);
            Hide(m_invertAttr);
            break;
        case corvane::kToolScrape:
            m_planeTool = m_ignoreMeshScale = true;
            m_fastPlaneEstimate = false;
            m_planeMax = 0.0f;
            Hide(m_invertAttr);
            m_pressureSizeAttr.SetSeparator(false);
            break;
        case corvane::kToolFill:
            m_planeTool = m_ignoreMeshScale = true;
            m_fastPlaneEstimate = false;
            m_planeMin = 0.0f;
            Hide(m_invertAttr);
            m_pressureSizeAttr.SetSeparator(false);
            break;
        case corvane::kToolWax:
            m_planeTool = m_waxTool = true;
            m_fastPlaneEstimate = false;
            m_waxDepthFactor = 0.1f;
            SetBrushStrengthScale(0.5f);
            m_pressureSizeAttr.SetSeparator(false);
            if (firstUse) SetStrokeSmoothing(true, 0.1f);
            break;
        case corvane::kToolBulge:
            m_bulgeTool = true;
            Hide(m_directionAttr);
            break;
        case corvane::kToolSpray:
            if (firstUse) {
                SetStrokeSmoothing(true, 0.0625f);
                SetBuildUpRate(0.5f);
                tarnix::StampConfiguration spray;
                spray.m_imagePath = QStringLiteral("Stamps/bw_brickTile.tif");
                spray.m_enabled = true;
                spray.m_randomize = true;
                SetStampConfig(spray);
            }
            break;
        case corvane::kToolRepeat:
            if (firstUse) {
                SetStamp(true, QStringLiteral("Stamps/bw_scale.tif"));
                SetStrokeSmoothing(true, 0.0625f);
                SetBuildUpRate(0.5f);
            }
            break;
        case corvane::kToolKnife:
            if (firstUse) {
                SetStamp(true, QStringLiteral("Stamps/knife.tif"));
                SetStrokeSmoothing(true, 0.2625f);
                SetBuildUpRate(0.5f);
            }
            break;
        case corvane::kToolFoamy:
            if (firstUse) {
                SetStrokeSmoothing(false, 0.1125f);
                SetBuildUpRate(0.25f);
            }
            break;
        case corvane::kToolImprint:
            for (tarnix::Attribute* attribute :
                 {static_cast<tarnix::Attribute*>(&m_refineModeAttr), static_cast<tarnix::Attribute*>(&m_refineIntervalAttr),
                  static_cast<tarnix::Attribute*>(&m_strokeSmoothingAttr), static_cast<tarnix::Attribute*>(&m_dabSpacingAttr),
                  static_cast<tarnix::Attribute*>(&m_dabJitterAttr), static_cast<tarnix::Attribute*>(&m_buildUpRateAttr),
                  static_cast<tarnix::Attribute*>(&m_steadyStrokeAttr), static_cast<tarnix::Attribute*>(&m_adaptiveRefineAttr),
                  static_cast<tarnix::Attribute*>(&m_curvatureRefineAttr)})
                Hide(*attribute);
            Show(m_drawFromCenterAttr);
            if (firstUse) {
                SetStamp(true, QStringLiteral("Stamps/rubble.tif"));
                SetStrokeSmoothing(false, 0.1125f);
                SetFalloffIndex(7);
                SetBuildUpRate(1.0f);
                m_dabSpacingAttr.SetValue(100.0f, true);
                m_dabJitterAttr.SetValue(100.0f, true);
                m_drawFromCenterAttr.SetValue(true, true);
                m_stampRandomizeAttr.SetValue({false, 0.6f});
            }
            break;
        case corvane::kToolRelax:
            m_smoothTool = m_relaxTool = m_ignoreMeshScale = true;
            Show(m_affectAllLayersAttr);
            Hide(m_directionAttr);
            m_pressureSizeAttr.SetSeparator(false);
            Hide(m_invertAttr);
            Show(m_projectToSurfaceAttr);
            m_projectToSurfaceAttr.SetValue(true);
            Show(m_lockBordersAttr);
            m_lockBordersAttr.SetValue(true);
            if (firstUse) SetBrushStrength(100.0f);
            break;
        default:  // Sculpt takes the defaults; ids 15 and above 16 take nothing.
            break;
    }

    m_globalPlaneAttr.SetVisible(m_planeTool);
    m_updatePlaneAttr.SetVisible(m_planeTool);
    EnableOptions();
    PublishStrengthHints();
}

void Corvane::ResetBrushConfiguration() {
    Velder::ResetBrushConfiguration();
    SetBrushSize(25.0f);
}

int Corvane::StampDragMode() const {
    if (ActiveToolId() != corvane::kToolImprint) return 0;
    return m_drawFromCenterAttr.Value() ? 1 : 2;
}

bool Corvane::PlacesSingleStamp() const { return ActiveToolId() == corvane::kToolImprint; }

bool Corvane::SpacesDabs() const { return ActiveToolId() != corvane::kToolImprint; }

bool Corvane::OrientsStampToSurface() const { return ActiveToolId() != corvane::kToolImprint; }

// What the flags of the running tool make of a dab's strength: the kernels' family rules, the
// mesh-scale correction (which a tool that ignores the mesh scale, or a vector-displacement
// stamp, does without), the build-up of the displacement family, and whether smoothing steps
// towards the one-ring (Smooth) or a target gathered over the brush (Relax).
void Corvane::PublishStrengthHints() {
    StrengthHints& hints = m_strengthHints;
    hints.family = m_smoothTool  ? StrengthHints::kSmoothing
                   : m_pinchTool ? StrengthHints::kPinch
                   : m_planeTool ? StrengthHints::kPlane
                                 : StrengthHints::kDisplacement;
    hints.isLength = !m_ignoreMeshScale && !m_stampIsVectorDisplacement;
    hints.buildUp = hints.family == StrengthHints::kDisplacement ? m_buildUpRate : 1.0f;
    hints.iterates = m_smoothTool && !m_relaxTool;
}

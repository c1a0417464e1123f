// Tool activation: activating a preset applies its tool's row (tools.cpp): the switches the
// kernels read, the panel, and the first-use values when the host has no record of the preset
// yet. The questions the host asks about the running tool are answered here too.

#include "brush/corvane.h"
#include "brush/tools.h"
#include "host/crash_guard.h"
#include "host/tool_ids.h"
#include "tarnix/brush_configuration.h"
#include "tarnix/kernel.h"

using corvane::EntryGuard;

uint32_t Corvane::ActiveToolId() const { return ActiveConfiguration() ? ActiveConfiguration()->ID() : 0xFFFFFFFFu; }

void Corvane::SetActiveConfiguration(tarnix::BrushConfiguration* configuration) {
    const EntryGuard guard(corvane::kGuardSetActiveConfiguration);
    Velder::SetActiveConfiguration(configuration);
    tarnix::Kernel::Interface()->ActivateLayerSystem(0);
    // A smoothing-modifier swap keeps the preset it will return to.
    if (!m_switchingConfiguration) m_savedConfiguration = nullptr;

    const corvane::ToolTraits& tool = corvane::ToolOf(configuration ? configuration->ID() : 0xFFFFFFFFu);
    ApplyKernelSwitches(tool.switches);
    ShowPanel(tool);
    if (!IsConfigurationInited(configuration)) {
        corvane::ApplyCommonFirstUse(*this);
        if (tool.firstUse) tool.firstUse(*this);
    }
    EnableOptions();
    PublishStrengthHints();
}

void Corvane::ApplyKernelSwitches(const corvane::KernelSwitches& switches) {
    m_switches = switches;
    // The plane's sign and limits start from the tool's; a stroke (Amplify inverted) or a dab
    // (Wax in test mode) may change them.
    m_planeSign = switches.planeSign;
    m_planeMin = switches.planeMinimum;
    m_planeMax = switches.planeMaximum;
    m_baseStrengthFactor = 1.0f;
    if (switches.strengthScale != 0.0f) SetBrushStrengthScale(switches.strengthScale);
}

void Corvane::ShowPanel(const corvane::ToolTraits& tool) {
    const auto show = [&tool](tarnix::Attribute& attribute, uint32_t item) {
        attribute.SetVisible((tool.panel & item) != 0);
    };
    for (tarnix::Attribute* attribute :
         {static_cast<tarnix::Attribute*>(&m_refineModeAttr), static_cast<tarnix::Attribute*>(&m_refineIntervalAttr),
          static_cast<tarnix::Attribute*>(&m_strokeSmoothingAttr), static_cast<tarnix::Attribute*>(&m_dabSpacingAttr),
          static_cast<tarnix::Attribute*>(&m_dabJitterAttr), static_cast<tarnix::Attribute*>(&m_buildUpRateAttr),
          static_cast<tarnix::Attribute*>(&m_steadyStrokeAttr), static_cast<tarnix::Attribute*>(&m_adaptiveRefineAttr),
          static_cast<tarnix::Attribute*>(&m_curvatureRefineAttr)})
        show(*attribute, corvane::kPanelStroke);
    show(m_directionAttr, corvane::kPanelDirection);
    show(m_invertAttr, corvane::kPanelInvert);
    show(m_affectAllLayersAttr, corvane::kPanelAffectAllLayers);
    show(m_preserveVolumeAttr, corvane::kPanelPreserveVolume);
    show(m_projectToSurfaceAttr, corvane::kPanelProjectToSurface);
    show(m_lockBordersAttr, corvane::kPanelLockBorders);
    show(m_drawFromCenterAttr, corvane::kPanelDrawFromCenter);
    m_pressureSizeAttr.SetSeparator(tool.pressureSizeSeparator);
    m_globalPlaneAttr.SetVisible(tool.switches.plane);
    m_updatePlaneAttr.SetVisible(tool.switches.plane);
    m_projectToSurfaceAttr.SetValue(tool.projectsToSurface);
    m_lockBordersAttr.SetValue(true);
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
    hints.family = m_switches.smooth  ? StrengthHints::kSmoothing
                   : m_switches.pinch ? StrengthHints::kPinch
                   : m_switches.plane ? StrengthHints::kPlane
                                      : StrengthHints::kDisplacement;
    hints.isLength = !m_switches.ignoresMeshScale && !m_stampIsVectorDisplacement;
    hints.buildUp = hints.family == StrengthHints::kDisplacement ? m_buildUpRate : 1.0f;
    hints.iterates = m_switches.smooth && !m_switches.relax;
}

#include "brush/corvane.h"

#include "host/crash_guard.h"
#include "host/preferences.h"
#include "host/tr.h"
#include "tarnix/kernel.h"
#include "tarnix/stream.h"

using corvane::EntryGuard;
using corvane::Tr;

namespace {

// The host's renderer-override value that turns the brush's own rendering off.
const QString kNoRenderValue = QStringLiteral("corvane_norender");

}  // namespace

Corvane::Corvane()
    : m_preserveVolumeAttr(this, QStringLiteral("preservevolume")),
      m_bilinearSampleAttr(this, QStringLiteral("bilinearsample")),
      m_globalPlaneAttr(this, QStringLiteral("globalplane"), false),
      m_updatePlaneAttr(this, QStringLiteral("updateplane"), true),
      m_affectAllLayersAttr(this, QStringLiteral("affectalllayers")),
      m_drawFromCenterAttr(this, QStringLiteral("drawfromcenter")),
      m_lockBordersAttr(this, QStringLiteral("lockborders")),
      m_hostStringLinkAttr(this, QString()),
      m_buildUpRateAttr(this, QStringLiteral("builduprate"), 0.0f, 1.0f, 1.0f, 2) {
    const EntryGuard guard(corvane::kGuardBrushConstructor);
    m_hostStringLinkAttr.SetCategory(Tr("Falloff"));
    m_hostStringLinkAttr.SetVisible(false);
    m_wholeMeshPass = false;
    m_baseStrengthFactor = 1.0f;
    m_globalPlaneAttr.SetValue(false, true);
    m_updatePlaneAttr.SetValue(true, true);

    corvane::ApplyPreferenceVisibility();
    m_hostStringLinkAttr.Connect(&tarnix::Kernel::Instance()->RendererOverride(), false);
    LoadTemplate(QString(), false);
    SetBuildUpRate(0.5f);
    m_distanceModeAttr.SetVisible(true);
    m_falloffTypeAttr.SetVisible(true);
    // The smoothing modifier strokes with the preset named "Smooth".
    m_smoothingModifier = 1;
    m_smoothingPresetName = QStringLiteral("Smooth");
}

Corvane::~Corvane() { const EntryGuard guard(corvane::kGuardBrushDestructor); }

void Corvane::OnNodeEvent(tarnix::Attribute& attribute, int eventType) {
    const EntryGuard guard(corvane::kGuardOnNodeEvent);
    // The brush only ever turns its rendering off; turning it back on is the user's call.
    if (eventType == tarnix::Attribute::kEventValueChanged && &attribute == &m_hostStringLinkAttr &&
        m_hostStringLinkAttr.Value() == kNoRenderValue)
        corvane::g_prefRender.Attribute()->SetValue(false, true);
    Velder::OnNodeEvent(attribute, eventType);
}

void Corvane::Serialize(tarnix::Stream& stream) {
    const EntryGuard guard(corvane::kGuardBrushSerialize);
    Velder::Serialize(stream);
    m_buildUpRateAttr.Serialize(stream);
    m_bilinearSampleAttr.Serialize(stream);
    // Class version 1 added the plane and layer switches; older data ends here.
    if (stream.ClassVersion(StaticClass()) >= 1) {
        m_affectAllLayersAttr.Serialize(stream);
        m_globalPlaneAttr.Serialize(stream);
        m_updatePlaneAttr.Serialize(stream);
    }
}

Corvane& Corvane::operator=(const tarnix::BrushOperation& source) {
    const EntryGuard guard(corvane::kGuardBrushAssignment);
    Velder::operator=(source);
    if (const auto* brush = dynamic_cast<const Corvane*>(&source)) {
        m_buildUpRateAttr = brush->m_buildUpRateAttr;
        m_bilinearSampleAttr.SetValue(brush->m_bilinearSampleAttr.Value(), true);
        m_affectAllLayersAttr.SetValue(brush->m_affectAllLayersAttr.Value(), true);
        m_globalPlaneAttr.SetValue(brush->m_globalPlaneAttr.Value(), true);
        m_updatePlaneAttr.SetValue(brush->m_updatePlaneAttr.Value(), true);
    }
    return *this;
}

void Corvane::SetBuildUpRate(float rate) {
    m_buildUpRateAttr.SetValue(rate, true);
    m_buildUpRate = rate * rate * rate;
    PublishStrengthHints();
}

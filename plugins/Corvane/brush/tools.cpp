// The sixteen tools, one row each: kernel switches, panel, first-use values. Every tool is the
// one Corvane brush; the row is what makes it that tool.
//
// The host converts a tool's strength (framework/src/strength_conversion.cpp) by the hints
// the brush publishes for the running tool (PublishStrengthHints): its family (displacement,
// pinch, plane or smoothing, from the switches below), whether the strength is a length
// (not for the tools that ignore the mesh's scale, nor for a vector-displacement stamp), the
// build-up of the displacement family and whether smoothing iterates (Smooth, not Relax),
// and the strength scale each row sets. The conversion's constants per family stay with it:
// the hints are the framework's interface for every brush, and carry what kind of move a dab
// makes, not this module's factors. Two of those constants are tuned to factors here: Pinch
// moves a tenth of its weighted length (kernels/rules/pinch_rule.h) and Wax lifts by a tenth
// of its strength (wax::SetDabLength below); changing either means changing the conversion.

#include "brush/tools.h"

#include <QString>

#include "brush/corvane.h"
#include "host/preferences.h"
#include "tarnix/brush_configuration.h"
#include "tarnix/kernel.h"

namespace corvane {
namespace {

KernelSwitches Switches(void (*set)(KernelSwitches&)) {
    KernelSwitches switches;
    set(switches);
    return switches;
}

void SmoothingStrength(Corvane& brush) { brush.SetBrushStrength(100.0f); }

const ToolTraits kTools[] = {
    // Sculpt: along the direction the direction mode gives.
    {kToolSculpt, {}, kCommonPanel, true, false, nullptr},
    // Smear: along the stroke.
    {kToolSmear, Switches([](KernelSwitches& s) { s.smear = true; }), kCommonPanel & ~kPanelDirection, true, false,
     nullptr},
    // Pinch: a hundredth of the strength pulls towards the brush centre.
    {kToolPinch, Switches([](KernelSwitches& s) {
         s.pinch = s.ignoresMeshScale = true;
         s.strengthScale = 0.01f;
     }),
     kCommonPanel & ~kPanelDirection, true, false, nullptr},
    // Smooth: towards the neighbours' average; optionally keeping the volume.
    {kToolSmooth, Switches([](KernelSwitches& s) { s.smooth = s.ignoresMeshScale = true; }),
     kPanelStroke | kPanelAffectAllLayers | kPanelPreserveVolume, false, false, SmoothingStrength},
    // Amplify: away from the region plane (towards it inverted).
    {kToolAmplify, Switches([](KernelSwitches& s) {
         s.plane = s.ignoresMeshScale = true;
         s.planeSign = -1.0f;
         s.strengthScale = 0.2f;
     }),
     kCommonPanel, false, false, nullptr},
    // Flatten: towards the gathered region plane.
    {kToolFlatten, Switches([](KernelSwitches& s) {
         s.plane = s.ignoresMeshScale = true;
         s.fastPlaneEstimate = false;
     }),
     kCommonPanel & ~kPanelInvert, false, false, nullptr},
    // Scrape: Flatten that only lowers.
    {kToolScrape, Switches([](KernelSwitches& s) {
         s.plane = s.ignoresMeshScale = true;
         s.fastPlaneEstimate = false;
         s.planeMaximum = 0.0f;
     }),
     kCommonPanel & ~kPanelInvert, false, false, nullptr},
    // Fill: Flatten that only raises.
    {kToolFill, Switches([](KernelSwitches& s) {
         s.plane = s.ignoresMeshScale = true;
         s.fastPlaneEstimate = false;
         s.planeMinimum = 0.0f;
     }),
     kCommonPanel & ~kPanelInvert, false, false, nullptr},
    // Wax: towards the region plane lifted by its depth (see the wax namespace below).
    {kToolWax, Switches([](KernelSwitches& s) {
         s.plane = s.wax = true;
         s.fastPlaneEstimate = false;
         s.waxDepthFactor = 0.1f;
         s.strengthScale = 0.5f;
     }),
     kCommonPanel, false, false, [](Corvane& brush) { brush.SetStrokeSmoothing(true, 0.1f); }},
    // Bulge: along each vertex's own normal.
    {kToolBulge, Switches([](KernelSwitches& s) { s.bulge = true; }), kCommonPanel & ~kPanelDirection, true, false,
     nullptr},
    // Spray: Sculpt with a randomised brick stamp.
    {kToolSpray,
     {},
     kCommonPanel,
     true,
     false,
     [](Corvane& brush) {
         brush.SetStrokeSmoothing(true, 0.0625f);
         brush.SetBuildUpRate(0.5f);
         tarnix::StampConfiguration spray;
         spray.m_imagePath = QStringLiteral("Stamps/bw_brickTile.tif");
         spray.m_enabled = true;
         spray.m_randomize = true;
         brush.SetStampConfig(spray);
     }},
    // Repeat: Sculpt with a scale stamp that follows the stroke.
    {kToolRepeat,
     {},
     kCommonPanel,
     true,
     false,
     [](Corvane& brush) {
         brush.SetStamp(true, QStringLiteral("Stamps/bw_scale.tif"));
         brush.SetStrokeSmoothing(true, 0.0625f);
         brush.SetBuildUpRate(0.5f);
     }},
    // Knife: Sculpt with a fine cutting stamp.
    {kToolKnife,
     {},
     kCommonPanel,
     true,
     false,
     [](Corvane& brush) {
         brush.SetStamp(true, QStringLiteral("Stamps/knife.tif"));
         brush.SetStrokeSmoothing(true, 0.2625f);
         brush.SetBuildUpRate(0.5f);
     }},
    // Foamy: Sculpt with a softer build-up.
    {kToolFoamy,
     {},
     kCommonPanel,
     true,
     false,
     [](Corvane& brush) {
         brush.SetStrokeSmoothing(false, 0.1125f);
         brush.SetBuildUpRate(0.25f);
     }},
    // Imprint: one stamp placed by dragging; the stroke's own settings do not apply.
    {kToolImprint,
     {},
     kPanelDirection | kPanelInvert | kPanelDrawFromCenter,
     true,
     false,
     [](Corvane& brush) {
         brush.SetStamp(true, QStringLiteral("Stamps/rubble.tif"));
         brush.SetStrokeSmoothing(false, 0.1125f);
         brush.SetFalloffIndex(7);
         brush.SetBuildUpRate(1.0f);
         brush.m_dabSpacingAttr.SetValue(100.0f, true);
         brush.m_dabJitterAttr.SetValue(100.0f, true);
         brush.m_drawFromCenterAttr.SetValue(true, true);
         brush.m_stampRandomizeAttr.SetValue({false, 0.6f});
     }},
    // Relax: towards targets gathered over the brush, projected back onto the surface.
    {kToolRelax, Switches([](KernelSwitches& s) { s.smooth = s.relax = s.ignoresMeshScale = true; }),
     kPanelStroke | kPanelAffectAllLayers | kPanelProjectToSurface | kPanelLockBorders, false, true, SmoothingStrength},
};

// Ids without a tool take what every tool takes.
const ToolTraits kNoTool = {ToolId(0xFFFFFFFFu), {}, kCommonPanel, true, false, nullptr};

}  // namespace

const ToolTraits& ToolOf(uint32_t id) {
    for (const ToolTraits& tool : kTools)
        if (tool.id == id) return tool;
    return kNoTool;
}

void ApplyCommonFirstUse(Corvane& brush) {
    brush.SetBrushStrength(15.0f);
    brush.m_invertAttr.SetValue(false, true);
    brush.m_pressureSizeAttr.SetValue(false, true);
    brush.m_dabSpacingAttr.SetValue(25.0f, true);
    brush.m_dabJitterAttr.SetValue(0.0f, true);
    brush.SetStrokeSmoothing(true, 0.0625f);
    brush.SetSteadyStroke(false, 0.04f);
    brush.m_updatePlaneAttr.SetValue(true, true);
    brush.m_globalPlaneAttr.SetValue(false, true);
    brush.m_affectAllLayersAttr.SetValue(true, true);
    brush.m_buildUpRateAttr.SetValue(0.5f, true);
    brush.SetStamp(false, QString());
    brush.SetStampConfig(tarnix::StampConfiguration());
    brush.SetFalloffIndex(2);
    brush.m_directionAttr.SetValue(1, true);
    brush.m_dynamicTessellationAttr.SetValue(false, true);
}

// ---- Wax --------------------------------------------------------------------------------------
// Wax builds the surface up towards the region plane lifted by a depth. Its row above makes it
// a plane tool with the plane gathered over the brush, a depth of a tenth of the radius and
// half the strength. Per dab (below) a tenth of the strength becomes the lift and the move
// towards the lifted plane is full, weighted by the dab factor raised by the strength bias.
// The rest of Wax lives with the rules every plane tool follows: the plane rule
// (kernels/rules/plane_rule.h) lifts the plane by the depth, signed by the lift sign (inverted
// strokes dig); under a non-uniform mesh scale the dab's frame corrects the lift rather than
// the length (dab_frame.cpp), and the dab driver keeps Wax's plane in the direction slot's
// frame (PlaceDabPlane). The host converts its strength to a lift proportional to the radius
// (the plane family whose strength is a length).
namespace wax {

void SetDabLength(float strength, float& depth, float& length, float& planeMin, float& planeMax) {
    depth = strength * 0.1f;
    length = 100.0f;
    if (tarnix::Kernel::IsTestModeOn()) {
        planeMin = g_prefWaxFillsOnly ? 0.0f : -1e8f;
        planeMax = g_prefWaxScrapesOnly ? 0.0f : 1e8f;
    }
}

float WeightFactor(float strengthBias, float dabFactor) {
    return (1.0f - 0.01f * strengthBias) * dabFactor + 0.01f * strengthBias;
}

}  // namespace wax

}  // namespace corvane

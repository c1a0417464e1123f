#pragma once
// The home of the sixteen tools (tools.cpp): for each, the switches its kernels read, what its
// panel shows, the values it starts from the first time it is used, and how the host converts
// its strength. Activating a preset (tool_activation.cpp) applies its tool's row; the few
// rules of a tool that act per dab (Wax's) are here too.

#include <cstdint>

#include "host/tool_ids.h"
#include "kernels/kernel_switches.h"

class Corvane;

namespace corvane {

/// Attributes of the panel a tool may show or hide.
enum PanelItem : uint32_t {
    kPanelDirection = 1u << 0,
    kPanelInvert = 1u << 1,
    kPanelAffectAllLayers = 1u << 2,
    kPanelPreserveVolume = 1u << 3,
    kPanelProjectToSurface = 1u << 4,
    kPanelLockBorders = 1u << 5,
    kPanelDrawFromCenter = 1u << 6,
    /// Refinement, stroke smoothing, dab spacing and jitter, build-up rate, steady stroke.
    kPanelStroke = 1u << 7,
};
/// What most tools show.
constexpr uint32_t kCommonPanel = kPanelDirection | kPanelInvert | kPanelStroke;

struct ToolTraits {
    ToolId id;
    KernelSwitches switches;
    /// The panel items shown (every other one hidden); the plane tools' two plane switches
    /// follow the plane family.
    uint32_t panel;
    /// A separator after the pressure-size switch.
    bool pressureSizeSeparator;
    /// Relax projects onto the surface unless the user turns it off.
    bool projectsToSurface;
    /// First-use values beyond those every tool starts from; null: none.
    void (*firstUse)(Corvane& brush);
};

/// @brief The row of the tool with preset id `id`; ids without a tool (15, above 16) get a
/// row that sets nothing beyond what every tool sets.
const ToolTraits& ToolOf(uint32_t id);

/// @brief The values every tool starts from the first time it is used.
void ApplyCommonFirstUse(Corvane& brush);

namespace wax {

/// @brief Wax's dab: a tenth of the dab's strength lifts its plane, and the move towards the
/// lifted plane is full (length 100). In test mode two preferences restrict it to filling or
/// to scraping: the dab's depth, its length and its plane limits.
void SetDabLength(float strength, float& depth, float& length, float& planeMin, float& planeMax);
/// @brief The factor on every vertex's weight: the dab factor, raised towards 1 by the
/// brush's strength bias (percent).
float WeightFactor(float strengthBias, float dabFactor);

}  // namespace wax

}  // namespace corvane

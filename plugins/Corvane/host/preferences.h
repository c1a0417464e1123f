#pragma once
// The module's six preferences, in the host's "Sculpting" category. They are developer
// settings: the host shows them only in test mode. Read them by converting the object
// (bool or float) at each use; nothing in the module keeps a copy of their values. They are
// declared here, below every layer that reads them, and defined with the module's other
// registrations (plugin/registration.cpp), which fixes the order they are constructed in.

#include "tarnix/preferences.h"

namespace corvane {

/// "Render Corvane": grow the changed area by the touched box and notify renderers.
extern tarnix::Preferences::Bool g_prefRender;
/// "Use Original Data For Flatten": plane samples use the normals from before the stroke.
extern tarnix::Preferences::Bool g_prefUseOriginalDataForFlatten;
/// "Use Vertex Weights For Flatten": plane samples weigh 1 - distance / radius.
extern tarnix::Preferences::Bool g_prefUseVertexWeightsForFlatten;
/// "Wax Fills Only": in test mode, Wax never lowers.
extern tarnix::Preferences::Bool g_prefWaxFillsOnly;
/// "Wax Scrapes Only": in test mode, Wax never raises.
extern tarnix::Preferences::Bool g_prefWaxScrapesOnly;
/// "Corvane Level Factor" (0.25 to 4): scales the patch depth chosen from the brush size.
extern tarnix::Preferences::Float g_prefLevelFactor;

/// @brief Shows the six preferences exactly when the host is in test mode.
void ApplyPreferenceVisibility();

}  // namespace corvane

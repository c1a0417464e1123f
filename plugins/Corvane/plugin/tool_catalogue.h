#pragma once
// The tool catalogue: the sixteen presets the plug-in registers, one per tool id.

#include "host/tool_ids.h"

namespace corvane {

/// @brief The plug-in initializer: registers the sixteen presets in catalogue order and sets
/// s_smoothConfiguration (brush/corvane.h).
void InitializePlugin();

}  // namespace corvane

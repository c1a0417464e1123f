#pragma once
// The built-in demo of the host program: a cube subdivided to about 400k vertices and one
// short stroke of each of the sixteen tools, side by side over its front face, run as any
// session is run.

#include <QString>
#include <QStringList>

#include "session.h"

namespace corvane_sculpt {

/// @brief The demo as a session over a cube subdivided `levels` times (8: 393k quads); one
/// stroke for each of `tools`.
corvane_apps::Session DemoSession(uint32_t levels, const QStringList& tools);

}  // namespace corvane_sculpt

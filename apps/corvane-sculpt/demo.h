#pragma once
// The built-in demo of the host program: a cube subdivided to about 400k vertices and one
// short stroke of each of the sixteen tools at its preset's first-use strength, four on each
// of four faces, run as any session is run. Tools that work on what is there (smoothing,
// plane tools, Smear, Pinch, Relax) get a relief, ridge or trough to work on first. The
// moving tools (Grab, Snake Hook, Nudge) stroke last, above and below the cells of the front
// face, and are taken back after their tiles are taken, so that the result is the sixteen
// tools' cube. Its picture is a contact sheet: a close view of each stroke, labelled with the
// tool and its strength.

#include <QString>
#include <QStringList>

#include "session.h"

namespace corvane_sculpt {

/// @brief The demo as a session over a cube subdivided `levels` times (8: 393k quads); one
/// stroke for each of `tools` (preceded by a relief stroke where the tool needs one), one
/// tile of the picture for each.
corvane_apps::Session DemoSession(uint32_t levels, const QStringList& tools);

}  // namespace corvane_sculpt

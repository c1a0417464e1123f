#pragma once
// Running a session: the mesh is made (a built-in shape or a mesh file, subdivided, or a project), placed
// in the world and prepared (layers, frozen regions, preferences); the steps run in order
// through the host's stroke driver; then the mesh (result.obj, in its own space), a picture
// (preview.png) and the figures (report.json) are written to the output folder. Progress and
// a summary table go to `out`, a warning line per step that changed nothing to `warnings`;
// the module's own log lines go to standard error.

#include <vector>

#include <QString>
#include <QTextStream>

#include "session.h"

namespace corvane_apps {

class BrushHost;
class Sculpture;

/// @brief Runs `session` with the brush of `host`. Every fault of the session is found before
/// anything is written. Throws tarnix::Error*.
void RunSession(const Session& session, BrushHost& host, const QString& outputDirectory, QTextStream& out,
                QTextStream& warnings);

/// @brief Plays `session` on `sculpture` (a program's, whose document becomes the session's
/// mesh) with the brush of `host`, as RunSession does but writing nothing: how a program picks
/// up a journal. The session is checked before anything changes. Returns, for each step,
/// whether it made an undoable change (a stroke that moved nothing makes none; undo and redo
/// steps count as none). Throws tarnix::Error*.
std::vector<bool> PlaySession(const Session& session, BrushHost& host, Sculpture& sculpture, QTextStream& out,
                              QTextStream& warnings);

}  // namespace corvane_apps

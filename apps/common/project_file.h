#pragma once
// Project files (".corvane"): a sculpting document kept whole, so that a session can be put
// down and picked up. A project holds the geometry as it stands (every level's positions,
// normals and freeze, the sculpt layers, the placement; Geometry's stored form), what the
// programs add to it (the file's face names, layer names, the level sculpted), the brush's
// settings (the active tool, every tool's recorded settings and those in use), and settings
// of the program that wrote it. Saving and reopening gives the same document bit for bit;
// the undo history is not kept.
//
// The file is the framework's binary stream ("TXST"), opening with the text "corvane project"
// and a format version. Reading checks it all and throws a tarnix::Error* naming the file and
// the fault; it changes nothing until the whole file has been read. Writing goes to a
// temporary file, renamed over the target only once complete.

#include <map>

#include <QString>

namespace corvane_apps {

class BrushHost;
class Sculpture;

/// A program's own settings, by name (the studio's freeze strength, ...), as text.
using ProgramSettings = std::map<QString, QString>;

/// The extension of project files.
constexpr const char* kProjectSuffix = "corvane";

/// @brief Whether `path` names a project file (by its extension).
bool IsProjectFile(const QString& path);

/// @brief Writes the document `sculpture` holds, the settings of `host`'s brush and
/// `settings` to `path`. Throws tarnix::Error*.
void WriteProject(const QString& path, const Sculpture& sculpture, const BrushHost& host,
                  const ProgramSettings& settings = {});

/// @brief Reads the project at `path` into `sculpture` (whose document it replaces) and
/// `host`'s brush; returns the program settings it holds. Throws tarnix::Error* before
/// anything is changed when the file cannot be read or is not a sound project.
ProgramSettings ReadProject(const QString& path, Sculpture& sculpture, BrushHost& host);

}  // namespace corvane_apps

#pragma once
// A sculpting session as a session file describes it (docs/session-format.md): the mesh (a
// shape, a mesh file or a project) and how far to subdivide it, where it sits in the world,
// its layers and frozen regions, the preference values, the picture to take, and the steps:
// strokes, whole-mesh applications, undo, redo, subdivision and the level sculpted, freeze
// painting, layer changes and preferences. A journal (what a program appends as it works, a
// step a line) reads as a session too.
//
// ReadSession checks everything the file alone can tell (types, ranges, names of shapes,
// mirror modes, falloffs); the names only the loaded module knows (tools, attributes,
// preferences) are checked by the host before it sculpts (BrushHost::CheckSession in
// brush_host.h). Every complaint is one line naming the file, the place in it and the fault.

#include <cstdint>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include <QString>

#include "steps.h"

namespace corvane_apps {

/// A mesh is subdivided at most this many times (the face count sets a lower limit for most).
constexpr uint32_t kMostSubdivisions = 10;

/// One view of a contact sheet: a camera, or the step whose stroke it looks at closely, and
/// the label written on its tile.
struct PictureTile {
    tarnix::Vector eye, target;
    std::optional<size_t> step;  // else eye and target
    float zoom = 1.0f;           // a step's view: how much closer than what shows all it moved
    float fovDegrees = 30.0f;
    QString label;
    bool wireframe = false;
    // A step's view taken right after the step, as the mesh is then, rather than at the end:
    // for a stroke that later steps take back (the demo's moving tools).
    bool rightAfterStep = false;
};

struct PictureSetup {
    bool beforeAndAfter = false;
    int width = 800;  // of the picture, or of each tile
    int height = 600;
    std::optional<tarnix::Vector> eye;     // else from the front, above and to the right
    std::optional<tarnix::Vector> target;  // else the mesh's centre
    float fovDegrees = 30.0f;              // vertical field of view
    std::vector<PictureTile> tiles;        // when given, a contact sheet of these views
    int columns = 4;                       // tiles per row
};

struct Session {
    QString file;                                       // the session file, for messages and relative paths
    bool journal = false;                               // read from a journal
    QString shape;                                      // a built-in shape, or empty
    QString meshPath;                                   // else this mesh file or project (relative to the session file)
    QString meshPathKey;                                // "file" or "obj", for messages
    QString resultName = QStringLiteral("result.obj");  // the mesh written; its format from the name
    std::optional<uint32_t> resultLevel;                // the level written; else the sculpted one
    uint32_t subdivide = 0;
    tarnix::Vector scale{1, 1, 1};
    tarnix::Vector rotate{0, 0, 0};  // degrees about x, then y, then z
    tarnix::Vector translate{0, 0, 0};
    std::vector<LayerSetup> layers;
    QString activeLayer;  // empty: sculpt the base
    std::vector<FreezeRegion> freeze;
    std::vector<NamedValue> preferences;
    std::optional<CameraPlacement> camera;
    PictureSetup picture;
    std::vector<Step> steps;
};

/// @brief Parses JSON text as session files are parsed: nesting is bounded and a key given twice
/// in one object is refused. Throws tarnix::Error* with one line naming `file`.
nlohmann::json ParseJson(const QByteArray& text, const QString& file);

/// @brief Reads and checks the session file at `path`, or a journal. Throws tarnix::Error*
/// with one line naming the file and the fault.
Session ReadSession(const QString& path);
/// @brief The same for a session held in memory; `file` names it in messages. A journal is
/// JSON lines: a first line `{"journal": 1, ...}` holds what a session holds but its steps,
/// each further line one step. Its last line, cut short by a program that stopped while
/// writing it, is left out.
Session ParseSession(const QByteArray& text, const QString& file);

/// @brief A step as a session's "steps" list holds it (the inverse of reading it; a stroke
/// gives every setting it has).
nlohmann::json StepToJson(const Step& step);
/// @brief The name sessions give mirror mode `mode`, and falloff type `type`.
QString MirrorModeName(int mode);
QString FalloffTypeName(int type);

/// @brief Reads one step as a session's "steps" list holds it (a stroke, a whole-mesh
/// application, undo or redo; a layer step needs the session's layers and is refused). `file`
/// names it in messages, which then read "FILE: stroke.size: ...".
Step ParseStep(const nlohmann::json& step, const QString& file);

/// @brief The file a path of the session names: relative paths start at the session file's
/// folder.
QString SessionRelativePath(const Session& session, const QString& path);

}  // namespace corvane_apps

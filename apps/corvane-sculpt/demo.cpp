#include "demo.h"

#include <map>
#include <vector>

namespace corvane_sculpt {

using corvane_apps::CameraPlacement;
using corvane_apps::PictureTile;
using corvane_apps::Session;
using corvane_apps::Step;

namespace {

// Four faces of the cube (front, right, back, left) hold 2 x 2 cells each, one per tool;
// subdivided, the cube rounds into a ball of about 0.85, so cells keep near each face's middle.
constexpr float kCellSpacing = 0.4f;
constexpr float kBrushRadius = 0.09f;
constexpr float kHalfLength = 0.08f;

// Per tool: the strength its preset starts from, the first-use value the scale is made for.
float StrengthFor(const QString& tool) {
    return tool == QLatin1String("Smooth") || tool == QLatin1String("Relax") ? 100.0f : 15.0f;
}

// What a tool needs under it to show its effect, and where its stroke goes over it.
struct Preparation {
    QString tool;  // empty: nothing
    float strength = 0.0f;
    bool invert = false;  // a trough instead of a ridge
    float sizeFactor = 1.0f;
    float strokeShift = 0.0f;  // the tool's stroke runs this far above the relief's middle
    bool upward = false;       // the relief runs up the cell, across the tool's stroke
};

// Tools that even out or deepen what is there get a regular relief of scales; plane tools
// that cut or fill get a ridge or a trough; Smear a ridge up the cell to drag sideways; Pinch
// a ridge to sharpen, Relax (which evens out the faces) a pinched patch. Strokes over a relief
// cover its upper half, leaving the lower half to compare.
Preparation PreparationFor(const QString& tool) {
    const Preparation scales{QStringLiteral("Repeat"), 60.0f, false, 1.25f, 0.04f};
    const Preparation ridge{QStringLiteral("Sculpt"), 100.0f, false, 1.0f, 0.04f};
    static const std::map<QString, Preparation> preparations = {
        {"Smear", {QStringLiteral("Sculpt"), 100.0f, false, 1.0f, 0.04f, true}},
        {"Smooth", scales},
        {"Amplify", scales},
        {"Flatten", ridge},
        {"Scrape", ridge},
        {"Fill", {QStringLiteral("Sculpt"), 100.0f, true, 1.0f, 0.04f}},
        {"Pinch", {QStringLiteral("Sculpt"), 100.0f, false, 1.0f, 0.0f}},
        {"Relax", {QStringLiteral("Pinch"), 100.0f, false, 1.25f, 0.0f}}};
    const auto found = preparations.find(tool);
    return found == preparations.end() ? Preparation() : found->second;
}

// Imprint places its stamp once: twice the size shows its stones over more vertices.
float SizeFor(const QString& tool) { return tool == QLatin1String("Imprint") ? 2.0f * kBrushRadius : kBrushRadius; }

// A point of the front (x, y, z) turned to face `face` (0 front, 1 right, 2 back, 3 left).
tarnix::Vector OnFace(int face, float x, float y, float z) {
    switch (face) {
        case 1:
            return {z, y, -x};
        case 2:
            return {-x, y, -z};
        case 3:
            return {-z, y, x};
        default:
            return {x, y, z};
    }
}

// A short stroke over cell (x, y) of `face`, looked at straight on: across the cell, or up it.
Step StrokeStep(const QString& where, const QString& tool, float strength, float size, int face, float x, float y,
                float halfLength, bool upward = false) {
    Step step;
    step.where = where;
    step.stroke.tool = tool;
    step.stroke.size = size;
    step.stroke.strength = strength;
    if (upward)
        step.stroke.path = {OnFace(face, x + 0.02f, y - halfLength, 2.0f),
                            OnFace(face, x - 0.02f, y + halfLength, 2.0f)};
    else
        step.stroke.path = {OnFace(face, x - halfLength, y - 0.02f, 2.0f),
                            OnFace(face, x + halfLength, y + 0.02f, 2.0f)};
    step.stroke.camera = CameraPlacement{OnFace(face, 0, 0, 5), {0, 0, 0}};
    return step;
}

// The moving tools' strokes, on the front face above and below its cells (within the quarters
// of the face the cells' strokes sculpt), each drawn in the view plane: Grab pulls a region up
// and aside, Snake Hook draws a strand out and over, Nudge pushes the surface sideways. They come after the other
// tools' strokes and are taken back once their tiles are taken, so that the sculpted cube is that of the other tools
// alone.
struct MovingStroke {
    float size, strength;
    std::vector<tarnix::Vector> path;
};

const std::map<QString, MovingStroke>& MovingStrokes() {
    static const std::map<QString, MovingStroke> strokes = {
        {"Grab",
         {0.12f, 100.0f, {{-0.3f, 0.42f, 2.0f}, {-0.33f, 0.52f, 2.0f}, {-0.37f, 0.62f, 2.0f}, {-0.42f, 0.72f, 2.0f}}}},
        {"Snake Hook",
         {0.06f,
          100.0f,
          {{0.3f, 0.42f, 2.0f},
           {0.32f, 0.55f, 2.0f},
           {0.36f, 0.68f, 2.0f},
           {0.44f, 0.8f, 2.0f},
           {0.55f, 0.88f, 2.0f}}}},
        {"Nudge", {0.1f, 50.0f, {{-0.12f, -0.42f, 2.0f}, {0.12f, -0.42f, 2.0f}}}}};
    return strokes;
}

}  // namespace

Session DemoSession(uint32_t levels, const QStringList& tools) {
    Session session;
    session.file = QStringLiteral("demo");
    session.shape = QStringLiteral("cube");
    session.subdivide = levels;
    // Each tile of the picture looks closely at one tool's stroke, labelled.
    session.picture.width = 240;
    session.picture.height = 200;
    session.picture.columns = 4;
    QStringList cellTools, movingTools;
    for (const QString& tool : tools) (MovingStrokes().count(tool) ? movingTools : cellTools) << tool;
    for (int t = 0; t < cellTools.size(); ++t) {
        const QString& tool = cellTools[t];
        const int face = t / 4;
        const float x = kCellSpacing * (float(t % 2) - 0.5f), y = kCellSpacing * (0.5f - float(t % 4 / 2));
        const Preparation preparation = PreparationFor(tool);
        if (!preparation.tool.isEmpty()) {
            session.steps.push_back(StrokeStep(QStringLiteral("relief for %1").arg(tool), preparation.tool,
                                               preparation.strength, preparation.sizeFactor * kBrushRadius, face, x, y,
                                               kHalfLength, preparation.upward));
            session.steps.back().stroke.invert = preparation.invert;
        }
        session.steps.push_back(StrokeStep(QStringLiteral("stroke %1").arg(t + 1), tool, StrengthFor(tool),
                                           SizeFor(tool), face, x, y + preparation.strokeShift, kHalfLength));
        // Relax evens out the faces, which only their edges show: its tile looks closer.
        PictureTile tile;
        tile.step = session.steps.size() - 1;
        tile.label = QStringLiteral("%1 %2").arg(tool).arg(StrengthFor(tool));
        tile.wireframe = tool == QLatin1String("Relax");
        tile.zoom = tile.wireframe ? 3.0f : 1.0f;
        session.picture.tiles.push_back(tile);
    }
    for (const QString& tool : movingTools) {
        const MovingStroke& moving = MovingStrokes().at(tool);
        Step step;
        step.where = QStringLiteral("stroke of %1").arg(tool);
        step.stroke.tool = tool;
        step.stroke.size = moving.size;
        step.stroke.strength = moving.strength;
        step.stroke.path = moving.path;
        step.stroke.camera = CameraPlacement{{0, 0, 5}, {0, 0, 0}};
        session.steps.push_back(step);
        PictureTile tile;
        tile.step = session.steps.size() - 1;
        tile.label = QStringLiteral("%1 %2").arg(tool).arg(moving.strength);
        tile.rightAfterStep = true;
        session.picture.tiles.push_back(tile);
    }
    if (!movingTools.isEmpty()) {
        Step undo;
        undo.where = QStringLiteral("taking the moving tools' strokes back");
        undo.kind = Step::kUndo;
        undo.count = uint32_t(movingTools.size());
        session.steps.push_back(undo);
    }
    return session;
}

}  // namespace corvane_sculpt

#include "demo.h"

#include <map>

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

// Per tool: a strength (0..100) at which its effect shows clearly in one stroke.
float StrengthFor(const QString& tool) {
    static const std::map<QString, float> strengths = {
        {"Smooth", 100.0f}, {"Relax", 100.0f}, {"Flatten", 100.0f}, {"Scrape", 100.0f}, {"Fill", 100.0f},
        {"Amplify", 100.0f}, {"Pinch", 100.0f}, {"Smear", 80.0f},   {"Wax", 60.0f},   {"Knife", 100.0f}};
    const auto found = strengths.find(tool);
    return found == strengths.end() ? 50.0f : found->second;
}

// What a tool needs under it to show its effect: tools that even out, flatten, deepen or drag
// what is there get a stamped relief first, Pinch a ridge to sharpen, Relax (which evens out
// the faces) a pinched patch; their stroke then covers the relief's upper half, leaving the
// lower half to compare.
QString PreparationFor(const QString& tool) {
    static const std::map<QString, QString> preparations = {
        {"Smear", "Spray"}, {"Smooth", "Spray"},  {"Flatten", "Spray"}, {"Scrape", "Spray"},
        {"Fill", "Spray"},  {"Amplify", "Spray"}, {"Pinch", "Sculpt"},  {"Relax", "Pinch"}};
    const auto found = preparations.find(tool);
    return found == preparations.end() ? QString() : found->second;
}

// A point of the front (x, y, z) turned to face `face` (0 front, 1 right, 2 back, 3 left).
tarnix::Vector OnFace(int face, float x, float y, float z) {
    switch (face) {
        case 1: return {z, y, -x};
        case 2: return {-x, y, -z};
        case 3: return {-z, y, x};
        default: return {x, y, z};
    }
}

// A short stroke over cell (x, y) of `face`, looked at straight on.
Step StrokeStep(const QString& where, const QString& tool, float strength, float size, int face, float x, float y,
                float halfLength) {
    Step step;
    step.where = where;
    step.stroke.tool = tool;
    step.stroke.size = size;
    step.stroke.strength = strength;
    step.stroke.path = {OnFace(face, x - halfLength, y - 0.02f, 2.0f), OnFace(face, x + halfLength, y + 0.02f, 2.0f)};
    step.stroke.camera = CameraPlacement{OnFace(face, 0, 0, 5), {0, 0, 0}};
    return step;
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
    for (int t = 0; t < tools.size(); ++t) {
        const QString& tool = tools[t];
        const int face = t / 4;
        const float x = kCellSpacing * (float(t % 2) - 0.5f), y = kCellSpacing * (0.5f - float(t % 4 / 2));
        const QString preparation = PreparationFor(tool);
        float strokeY = y;
        if (!preparation.isEmpty()) {
            // A ridge is pinched along its length; a relief is worked over its upper half.
            const bool ridge = preparation == QLatin1String("Sculpt");
            session.steps.push_back(StrokeStep(QStringLiteral("relief for %1").arg(tool), preparation,
                                               preparation == QLatin1String("Spray") ? 60.0f : 100.0f,
                                               (ridge ? 1.0f : 1.25f) * kBrushRadius, face, x, y, kHalfLength));
            if (!ridge) strokeY = y + 0.04f;
        }
        session.steps.push_back(StrokeStep(QStringLiteral("stroke %1").arg(t + 1), tool, StrengthFor(tool),
                                           kBrushRadius, face, x, strokeY, kHalfLength));
        // Relax evens out the faces, which only their edges show: its tile looks closer.
        PictureTile tile;
        tile.step = session.steps.size() - 1;
        tile.label = QStringLiteral("%1 %2").arg(tool).arg(StrengthFor(tool));
        tile.wireframe = tool == QLatin1String("Relax");
        tile.zoom = tile.wireframe ? 3.0f : 1.0f;
        session.picture.tiles.push_back(tile);
    }
    return session;
}

}  // namespace corvane_sculpt

#include "demo.h"

#include <map>

namespace corvane_sculpt {

using corvane_apps::CameraPlacement;
using corvane_apps::Session;
using corvane_apps::Step;

namespace {

// Per tool: the strength a sculptor would start with on a unit-sized cube.
float StrengthFor(const QString& tool) {
    static const std::map<QString, float> strengths = {
        {"Smooth", 100.0f}, {"Relax", 100.0f}, {"Amplify", 60.0f}, {"Flatten", 80.0f}, {"Scrape", 80.0f},
        {"Fill", 80.0f},    {"Wax", 0.6f},     {"Pinch", 8.0f},    {"Smear", 0.03f}};
    const auto found = strengths.find(tool);
    return found == strengths.end() ? 0.04f : found->second;
}

}  // namespace

Session DemoSession(uint32_t levels, const QStringList& tools) {
    Session session;
    session.file = QStringLiteral("demo");
    session.shape = QStringLiteral("cube");
    session.subdivide = levels;
    // The strokes are made looking straight at the front face; the picture is taken from aside.
    session.camera = CameraPlacement{{0, 0, 5}, {0, 0, 0}};
    session.picture.eye = tarnix::Vector(2.2f, 1.6f, 4.0f);
    for (int t = 0; t < tools.size(); ++t) {
        // The tools take turns on a 4 x 4 grid of short strokes over the front face.
        const float x = -0.48f + 0.32f * float(t % 4), y = 0.48f - 0.32f * float(t / 4);
        Step step;
        step.where = QStringLiteral("stroke %1").arg(t + 1);
        step.stroke.tool = tools[t];
        step.stroke.size = 0.16f;
        step.stroke.strength = StrengthFor(tools[t]);
        step.stroke.path = {{x - 0.1f, y, 2.0f}, {x + 0.1f, y + 0.04f, 2.0f}};
        session.steps.push_back(step);
    }
    return session;
}

}  // namespace corvane_sculpt

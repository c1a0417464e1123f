#pragma once
// What the tests of the programs' library share: the modules loaded once per suite, as a
// program loads them (from CORVANE_PLUGIN_DIRECTORY), small meshes to sculpt (a built-in shape
// subdivided and seen from in front) and strokes run on them whole.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "brush_host.h"
#include "builtin_shapes.h"
#include "sculpture.h"
#include "small_meshes.h"
#include "tarnix/kernel.h"
#include "tarnix/subdivision_level.h"

namespace test_support {

class HostSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        tarnix::Kernel::SetLogEcho(false);
        s_host = std::make_unique<corvane_apps::BrushHost>(QStringLiteral(CORVANE_PLUGIN_DIRECTORY));
    }
    static void TearDownTestSuite() { s_host.reset(); }
    static corvane_apps::BrushHost& Host() { return *s_host; }

    /// The built-in shape `name` subdivided `levels` times, strokes cast from (0, 0, 5).
    static std::unique_ptr<corvane_apps::Sculpture> Shape(const char* name, uint32_t levels) {
        tarnix::PolygonMesh polygons;
        shapes::Named(QString::fromLatin1(name), polygons);
        auto sculpture = std::make_unique<corvane_apps::Sculpture>(*s_host);
        sculpture->Load(polygons, QString::fromLatin1(name), levels);
        sculpture->Look({{0, 0, 5}, {0, 0, 0}});
        return sculpture;
    }
    static corvane_apps::StrokeStep Stroke(const char* tool, float size, float strength,
                                           std::vector<tarnix::Vector> path) {
        corvane_apps::StrokeStep stroke;
        stroke.tool = QString::fromLatin1(tool);
        stroke.size = size;
        stroke.strength = strength;
        stroke.path = std::move(path);
        return stroke;
    }
    static corvane_apps::StrokeFigures Run(corvane_apps::Sculpture& sculpture, const corvane_apps::StrokeStep& stroke) {
        sculpture.Prepare(stroke);
        return sculpture.Apply(stroke, false);
    }
    /// The sculpted level's positions, as the level holds them.
    static std::vector<tarnix::Vector> PositionsOf(const corvane_apps::Sculpture& sculpture) {
        return test_support::PositionsOf(sculpture.Level());
    }

private:
    inline static std::unique_ptr<corvane_apps::BrushHost> s_host;
};

}  // namespace test_support

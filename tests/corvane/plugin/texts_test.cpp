#include <gtest/gtest.h>

#include <ctime>
#include <vector>

#include "brush/corvane.h"
#include "builtin_shapes.h"
#include "caught_error.h"
#include "dab_setup.h"
#include "patch/grid.h"
#include "plugin/tool_catalogue.h"
#include "small_meshes.h"
#include "tarnix/kernel.h"

// What the system shows people must read exactly as written: on-screen messages, the log line,
// error texts and the tool tips. One test holds them all.

namespace {

using tarnix::BrushOperation;

// Spends `milliseconds` of processor time, the clock the brush measures its strokes by.
void SpendProcessorTime(int milliseconds) {
    const std::clock_t start = std::clock();
    volatile double sink = 0.0;
    while ((std::clock() - start) * 1000 < std::clock_t(milliseconds) * CLOCKS_PER_SEC) sink = sink + 1.0;
}

// The figure of the throughput line that closes the log, as written; empty when the log ends
// otherwise.
QString ThroughputOf(const std::vector<QString>& log) {
    const QString head = QStringLiteral("\n**** Sculpt Brush Performance - "),
                  tail = QStringLiteral(" Mega vertices per second\n");
    if (log.empty() || !log.back().startsWith(head) || !log.back().endsWith(tail)) return {};
    return log.back().mid(head.size(), log.back().size() - head.size() - tail.size());
}

TEST(ShownTextsTest, MessagesLogLineErrorsAndToolTipsAreExact) {
    tarnix::Kernel::Interface()->ClearHUDMessages();
    auto brush = dab_setup::MakeBrush(corvane::kToolSculpt);
    auto geometry = shapes::Subdivided(shapes::Plane(4, 4), 0);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();

    // An enabled stamp without a picture, then a brush far smaller than the never subdivided faces.
    tarnix::StampConfiguration stamp;
    stamp.m_enabled = true;
    brush->SetStampConfig(stamp);
    brush->BeginStroke(level, BrushOperation::kModifierNone, BrushOperation::kTriggerDrag);
    brush->SetStamp(false, QString());
    brush->BeginStroke(level, BrushOperation::kModifierNone, BrushOperation::kTriggerDrag);
    const tarnix::Vector at(0.5f, 0.5f, 0.0f);
    const tarnix::SurfacePoint point(level, 0, at, {0, 0, 1});
    tarnix::AxisAlignedBoundingBox changed;
    brush->ApplyDab(&point, &at, 0.05f, 1.0f, 0.0f, changed);
    tarnix::Kernel::ClearLog();
    brush->EndStroke();
    const auto& messages = tarnix::Kernel::Interface()->HUDMessages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text,
              QStringLiteral("Please choose a stamp image first,\notherwise the brush will take no effect."));
    EXPECT_EQ(
        messages[1].text,
        QStringLiteral("The mesh you are trying to sculpt is too coarse<br>\t\t\t\t\tfor the size of your brush.<p>"
                       "\t\t\t\t\tPress <b>%%Subdivide faces%%</b> to subdivide the mesh into finer polygons.<p>"
                       "\t\t\t\t\tPress <b>%%Toggle wireframe%%</b> to show/hide the wireframe."));
    for (const auto& message : messages) {
        EXPECT_EQ(message.type, 1);
        EXPECT_EQ(message.milliseconds, 2000);
    }

    // The throughput line closes every stroke (its figure is held by the test below).
    EXPECT_FALSE(ThroughputOf(tarnix::Kernel::LogLines()).isEmpty());

    // Errors: a mesh that is not a subdivision level, a grid orientation past 3.
    const auto expectError = [](auto&& call, const char* function, int sourceLine, const char* text) {
        const CaughtError error = Caught(call);
        EXPECT_EQ(error.message, QString::fromLatin1(text));
        EXPECT_EQ(error.function, QString::fromLatin1(function));
        EXPECT_EQ(error.code, 4);
        EXPECT_EQ(error.file, QStringLiteral("plugins/Corvane/Corvane"));
        EXPECT_EQ(error.line, sourceLine);
    };
    tarnix::Mesh plain;
    expectError([&] { brush->SetMesh(&plain); }, "Corvane::SetMesh", 1771, "Invalid mesh specified");
    plain.Unlock(true);
    auto cube = shapes::Subdivided(shapes::Cube(), 1);
    const Grid grid{cube->Level(1), cube->Level(0), 0, 4, 1, 2, 4};
    expectError([&] { grid.Face(0, 0); }, "Grid::Face", 256, "wrong parameter");

    // A tool tip frames the preset's name and keeps its help text as written.
    const auto* sculpt = BrushOperation::FindConfiguration(Corvane::StaticClass(), corvane::kToolSculpt);
    EXPECT_EQ(sculpt->ToolTip(), QStringLiteral("<div style=\"background-color:Black; color:White;\">Sculpt</div><p>"
                                                "The Sculpt Tool lifts the surface as you stroke over it.\n<p>To "
                                                "depress the surface rather than lifting it, hold down the "
                                                "<b>${SHORTCUT:Draw inverse-NoMouse}</b> key as you stroke."));
    const auto* repeat = BrushOperation::FindConfiguration(Corvane::StaticClass(), corvane::kToolRepeat);
    EXPECT_TRUE(repeat->ToolTip().contains(QStringLiteral("stitching, etc.  The stamp"))) << "two blanks after etc.";
}

TEST(ShownTextsTest, TheThroughputLineGivesMillionsOfVerticesReachedPerSecondOfProcessorTime) {
    auto brush = dab_setup::MakeBrush(corvane::kToolSculpt);
    auto geometry = shapes::Subdivided(shapes::Plane(4, 4), 3);
    tarnix::SubdivisionLevel* level = geometry->HighestLevel();
    const tarnix::Vector at(2.0f, 2.0f, 0.0f);
    const tarnix::SurfacePoint point(level, test_support::FaceNearest(level, at), at, {0, 0, 1});
    tarnix::AxisAlignedBoundingBox changed;
    const std::clock_t start = std::clock();
    brush->BeginStroke(level, BrushOperation::kModifierNone, BrushOperation::kTriggerDrag);
    brush->ApplyDab(&point, &at, 0.5f, 1.0f, 1.0f, changed);
    SpendProcessorTime(50);
    tarnix::Kernel::ClearLog();
    brush->EndStroke();
    const double seconds = double(std::clock() - start) / CLOCKS_PER_SEC;

    const double processed = double(brush->LastStrokeStatistics().processedVertices);
    ASSERT_GT(processed, 0.0);
    const QString figure = ThroughputOf(tarnix::Kernel::LogLines());
    bool number = false;
    const double rate = figure.toDouble(&number);
    ASSERT_TRUE(number) << "\"" << figure.toStdString() << "\"";
    // The brush's clock counts whole milliseconds of the stroke, at least the 50 spent in it.
    EXPECT_GE(rate, processed / (seconds + 0.002) / 1e6);
    EXPECT_LE(rate, processed / 0.049 / 1e6);
}

}  // namespace

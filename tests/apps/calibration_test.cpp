// What one stroke of each tool does where a sculptor starts it (the figures of
// docs/calibration.md): every tool shows at the strength it starts from, Smooth takes a ridge
// away, and every figure grows with the strength.

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "calibration.h"
#include "host_suite.h"

namespace corvane_apps {
namespace {

class CalibrationTest : public test_support::HostSuite {
protected:
    static void SetUpTestSuite() {
        HostSuite::SetUpTestSuite();
        for (const CalibrationRow& row : Calibration::Measure(Host())) s_rows[row.tool + row.variant] = row;
    }
    static void TearDownTestSuite() {
        s_rows.clear();
        HostSuite::TearDownTestSuite();
    }

    static const CalibrationRow& Row(const QString& tool, const QString& variant = QString()) {
        static const CalibrationRow missing{tool, variant, {}, {}, 0.0f, std::vector<double>(3, 0.0)};
        const auto found = s_rows.find(tool + variant);
        if (found != s_rows.end()) return found->second;
        ADD_FAILURE() << "no figure for " << tool.toStdString() << " " << variant.toStdString();
        return missing;
    }
    // The figure at `strength`, one of Calibration::Strengths().
    static double At(const CalibrationRow& row, float strength) {
        const std::vector<float>& strengths = Calibration::Strengths();
        for (size_t i = 0; i < strengths.size(); ++i)
            if (strengths[i] == strength) return row.values[i];
        ADD_FAILURE() << "no figure at " << strength;
        return 0.0;
    }
    static double AtFirstUse(const CalibrationRow& row) { return At(row, row.firstUseStrength); }

    static std::map<QString, CalibrationRow> s_rows;
};

std::map<QString, CalibrationRow> CalibrationTest::s_rows;

TEST_F(CalibrationTest, SmoothTakesARidgeAwayInAStrokeOrThree) {
    const CalibrationRow& one = Row(QStringLiteral("Smooth"));
    EXPECT_GE(At(one, 100.0f), 0.40);
    EXPECT_GE(AtFirstUse(one), 0.15);
    EXPECT_GE(At(Row(QStringLiteral("Smooth"), QStringLiteral("three strokes")), 100.0f), 0.80);
}

TEST_F(CalibrationTest, EveryToolShowsAtTheStrengthItStartsFrom) {
    // One dab moves the surface at its centre (a stamp where it moves it most) by a twentieth
    // of the radius.
    for (const char* tool : {"Sculpt", "Bulge", "Foamy", "Wax", "Spray", "Repeat", "Knife", "Imprint"}) {
        SCOPED_TRACE(tool);
        EXPECT_GE(AtFirstUse(Row(QString::fromLatin1(tool))), 0.05);
    }
    EXPECT_GE(AtFirstUse(Row(QStringLiteral("Smear"))), 0.05) << "the bump's crest, dragged along";
    for (const char* tool : {"Flatten", "Scrape", "Fill"}) {
        SCOPED_TRACE(tool);
        EXPECT_GE(AtFirstUse(Row(QString::fromLatin1(tool))), 0.30) << "of the way to the plane";
    }
    EXPECT_GE(AtFirstUse(Row(QStringLiteral("Pinch"))), 0.15) << "the groove's walls drawn in";
    EXPECT_GE(AtFirstUse(Row(QStringLiteral("Amplify"))), 0.20) << "the relief's growth";
    EXPECT_GE(At(Row(QStringLiteral("Relax")), 100.0f), 0.20) << "less spread in the edge lengths";
}

TEST_F(CalibrationTest, EveryFigureGrowsWithTheStrength) {
    ASSERT_EQ(s_rows.size(), 17u) << "the sixteen tools, Smooth twice";
    for (const auto& [name, row] : s_rows) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_EQ(row.values.size(), Calibration::Strengths().size());
        for (size_t i = 1; i < row.values.size(); ++i) EXPECT_GT(row.values[i], row.values[i - 1]);
    }
}

}  // namespace
}  // namespace corvane_apps

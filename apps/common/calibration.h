#pragma once
// What one stroke of each tool does where a sculptor starts it, measured on a relief that shows
// it: the figures behind the host's strength conversion (docs/calibration.md), made by
// `corvane-sculpt calibrate` and held by tests.
//
// Every tool runs as a fresh preset (its first-use settings), on a surface cut into faces of
// about a sixteenth of the brush radius, seen from straight above. The reliefs and figures:
//
// - flat plane, one dab at its centre (Sculpt, Bulge, Foamy, Wax; stamp tools Spray, Repeat,
//   Knife, Imprint): how far the surface moved at the dab's centre (for the stamp tools, where
//   the stamp moved it most), in brush radii;
// - a bump (Smear): how far the bump's crest moved along the stroke, in brush radii;
// - a bump (Flatten, Scrape), a pit (Fill): the share of its height the stroke took away;
// - an egg-crate relief (Amplify): how much the relief under the stroke grew;
// - a groove along the stroke (Pinch): how much narrower it is at half its depth;
// - a ridge (Smooth): the share of its height one stroke, and three, took away;
// - faces of uneven size (Relax): how much less the lengths of the edges under the stroke
//   spread (standard deviation over mean).

#include <vector>

#include <QString>

namespace corvane_apps {

class BrushHost;

struct CalibrationRow {
    QString tool;
    QString variant;  // which of a tool's figures ("three strokes"); empty: its own
    QString relief;
    QString figure;              // what the values measure, in words
    float firstUseStrength;      // the strength the preset starts from
    std::vector<double> values;  // at each of Calibration::Strengths()
};

class Calibration {
public:
    /// The strengths every figure is measured at.
    static const std::vector<float>& Strengths();

    /// @brief Measures every tool of `host` that has a relief here, in catalogue order. The
    /// framework's preset records are put back as they were afterwards.
    static std::vector<CalibrationRow> Measure(BrushHost& host);
    /// @brief One row: `variant` names the figure for tools with more than one ("three
    /// strokes" for Smooth), empty for the tool's own.
    static CalibrationRow MeasureTool(BrushHost& host, const QString& tool, const QString& variant = QString());

    /// @brief The rows as a Markdown table.
    static QString Table(const std::vector<CalibrationRow>& rows);
};

}  // namespace corvane_apps

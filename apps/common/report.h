#pragma once
// What the host program tells about a session: per stroke (and whole-mesh application) the
// dabs, what the kernels processed, the vertex moves, the distinct vertices moved, the
// largest move, the wall-clock time and the throughput, and why a stroke did nothing when it
// did nothing; as a table on the terminal and as report.json. Every figure is a finite
// number: JSON has no infinity, and a table of "inf" and "nan" tells a user nothing.

#include <cstdint>
#include <vector>

#include <QString>
#include <QTextStream>

#include "tarnix/math/bounding_box.h"
#include "tarnix/math/vector.h"

namespace corvane_apps {

struct StrokeFigures {
    QString step;  // its place in the session ("steps[2]")
    QString tool;
    bool wholeMesh = false;
    uint32_t dabs = 0;
    uint64_t processedVertices = 0;
    uint64_t vertexUpdates = 0;
    uint64_t movedVertices = 0;  // of the vertices there before the stroke
    int64_t addedVertices = 0;   // by dynamic tessellation
    bool facesChanged = false;   // dynamic tessellation split or merged faces
    double maxDisplacement = 0.0;
    double seconds = 0.0;
    /// Of those, the time spent in the brush's dab calls (the whole application for a
    /// whole-mesh step).
    double brushSeconds = 0.0;
    /// Why the stroke changed nothing (no dab landed, a locked layer, ...); empty when it did.
    QString warning;
    /// Where it moved vertices (world space), and the mean normal there: what a picture of
    /// the stroke looks at.
    tarnix::AxisAlignedBoundingBox movedArea;
    tarnix::Vector movedNormal;

    /// Processed grid vertices per second of the stroke's wall-clock time, in millions; 0 for
    /// a stroke that processed none or took no measurable time.
    double MegaVerticesPerSecond() const;
};

struct SessionReport {
    QString session;
    uint32_t vertices = 0;
    uint32_t faces = 0;
    uint32_t undone = 0;
    uint32_t redone = 0;
    std::vector<StrokeFigures> strokes;
};

/// @brief The strokes as a table.
void PrintSummary(const SessionReport& report, QTextStream& out);
/// @brief Writes the report as JSON to `path` (a temporary file renamed). Throws tarnix::Error*.
void WriteReport(const SessionReport& report, const QString& path);

}  // namespace corvane_apps

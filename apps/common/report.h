#pragma once
// What the host program tells about a session: per stroke (and whole-mesh application) the
// dabs, what the kernels processed, the vertex moves, the distinct vertices moved, the
// largest move, the wall-clock time and the module's own throughput figure; as a table on
// the terminal and as report.json.

#include <cstdint>
#include <vector>

#include <QString>
#include <QTextStream>

namespace corvane_apps {

struct StrokeFigures {
    QString step;  // its place in the session ("steps[2]")
    QString tool;
    bool wholeMesh = false;
    uint32_t dabs = 0;
    uint64_t processedVertices = 0;
    uint64_t vertexUpdates = 0;
    uint64_t movedVertices = 0;    // of the vertices there before the stroke
    int64_t addedVertices = 0;     // by dynamic tessellation
    bool facesChanged = false;     // dynamic tessellation split or merged faces
    double maxDisplacement = 0.0;
    double seconds = 0.0;
    double megaVerticesPerSecond = 0.0;  // NaN when the module logged no figure
};

struct SessionReport {
    QString session;
    uint32_t vertices = 0;
    uint32_t faces = 0;
    uint32_t undone = 0;
    uint32_t redone = 0;
    std::vector<StrokeFigures> strokes;
};

/// @brief The rate of the module's last performance log line; NaN when there is none.
double LastLoggedRate();
/// @brief The strokes as a table.
void PrintSummary(const SessionReport& report, QTextStream& out);
/// @brief Writes the report as JSON to `path` (a temporary file renamed). Throws tarnix::Error*.
void WriteReport(const SessionReport& report, const QString& path);

}  // namespace corvane_apps

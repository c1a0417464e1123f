#pragma once
// The built-in demo of the host program: a cube subdivided to about 400k vertices, one stroke
// of each of the sixteen tools, then the mesh, a picture and a report written to a folder.

#include <QString>
#include <QTextStream>

namespace corvane_sculpt {

struct DemoOptions {
    QString pluginDirectory;
    QString outputDirectory;
    uint32_t levels = 8;  // subdivision levels of the cube (8: 393k quads)
};

/// @brief Runs the demo, printing progress and a summary table to `out`. Throws tarnix::Error*.
void RunDemo(const DemoOptions& options, QTextStream& out);

/// @brief The "info" command: statistics of an OBJ file. Throws tarnix::Error*.
void PrintMeshInfo(const QString& path, QTextStream& out);

}  // namespace corvane_sculpt

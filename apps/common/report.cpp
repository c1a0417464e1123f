#include "report.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include <QSaveFile>

#include "errors.h"

namespace corvane_apps {

double StrokeFigures::MegaVerticesPerSecond() const {
    // The module's own line measures with a millisecond clock and says "inf" for a stroke
    // shorter than a tick; the host's clock is finer.
    return seconds > 0.0 ? double(processedVertices) / seconds / 1e6 : 0.0;
}

void PrintSummary(const SessionReport& report, QTextStream& out) {
    out << "\n"
        << qSetFieldWidth(12) << Qt::left << "tool" << qSetFieldWidth(6) << Qt::right << "dabs" << qSetFieldWidth(12)
        << "processed" << qSetFieldWidth(10) << "moved" << qSetFieldWidth(12) << "max move" << qSetFieldWidth(10)
        << "seconds" << qSetFieldWidth(10) << "Mverts/s" << qSetFieldWidth(0) << "\n";
    for (const StrokeFigures& s : report.strokes)
        out << qSetFieldWidth(12) << Qt::left << (s.wholeMesh ? s.tool + QStringLiteral(" (all)") : s.tool)
            << qSetFieldWidth(6) << Qt::right << s.dabs << qSetFieldWidth(12) << s.processedVertices
            << qSetFieldWidth(10) << s.movedVertices << qSetFieldWidth(12) << QString::number(s.maxDisplacement, 'f', 4)
            << qSetFieldWidth(10) << QString::number(s.seconds, 'f', 3) << qSetFieldWidth(10)
            << QString::number(s.MegaVerticesPerSecond(), 'f', 1) << qSetFieldWidth(0) << "\n";
}

void WriteReport(const SessionReport& report, const QString& path) {
    nlohmann::json document;
    document["session"] = report.session.toStdString();
    document["vertices"] = report.vertices;
    document["faces"] = report.faces;
    document["undone"] = report.undone;
    document["redone"] = report.redone;
    document["strokes"] = nlohmann::json::array();
    for (const StrokeFigures& s : report.strokes) {
        nlohmann::json entry = {{"step", s.step.toStdString()},
                                {"tool", s.tool.toStdString()},
                                {"whole_mesh", s.wholeMesh},
                                {"dabs", s.dabs},
                                {"processed_vertices", s.processedVertices},
                                {"vertex_updates", s.vertexUpdates},
                                {"moved_vertices", s.movedVertices},
                                {"added_vertices", s.addedVertices},
                                {"faces_changed", s.facesChanged},
                                {"max_displacement", s.maxDisplacement},
                                {"seconds", s.seconds},
                                {"module_seconds", s.brushSeconds},
                                {"host_seconds", std::max(0.0, s.seconds - s.brushSeconds)},
                                {"mega_vertices_per_second", s.MegaVerticesPerSecond()}};
        if (!s.warning.isEmpty()) entry["warning"] = s.warning.toStdString();
        document["strokes"].push_back(std::move(entry));
    }
    QSaveFile file(path);
    const QByteArray text = QByteArray::fromStdString(document.dump(2) + "\n");
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        Fail(QStringLiteral("%1: cannot write the report").arg(path));
}

}  // namespace corvane_apps

// corvane-sculpt as a user runs it: the demo's outputs, mesh statistics, and one-line errors
// with exit status 2 that leave no file behind.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct Outcome {
    int status;
    QString out, err;
};

Outcome Program(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(CORVANE_SCULPT), arguments);
    process.waitForFinished(300000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QString Write(const QTemporaryDir& folder, const char* name, const char* text) {
    QFile file(folder.filePath(QString::fromUtf8(name)));
    file.open(QIODevice::WriteOnly);
    file.write(text);
    return file.fileName();
}

TEST(CorvaneSculptTest, TheDemoWritesTheMeshThePictureAndTheReport) {
    QTemporaryDir folder;
    const Outcome run = Program({QStringLiteral("demo"), QStringLiteral("--levels"), QStringLiteral("5"),
                             QStringLiteral("--out"), folder.path()});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("**** Sculpt Brush Performance - "))) << "the module's log line";
    QFile reportFile(folder.filePath(QStringLiteral("report.json")));
    ASSERT_TRUE(reportFile.open(QIODevice::ReadOnly));
    const auto report = nlohmann::json::parse(reportFile.readAll().toStdString());
    ASSERT_EQ(report["strokes"].size(), 16u);
    const char* tools[] = {"Sculpt", "Smear", "Pinch", "Smooth", "Amplify", "Flatten", "Scrape", "Fill",
                           "Wax", "Bulge", "Spray", "Repeat", "Knife", "Foamy", "Imprint", "Relax"};
    for (size_t i = 0; i < 16; ++i) {
        const auto& stroke = report["strokes"][i];
        EXPECT_EQ(stroke["tool"], tools[i]);
        EXPECT_GT(stroke["dabs"].get<int>(), 0) << tools[i];
        EXPECT_GT(stroke["moved_vertices"].get<int>(), 0) << tools[i];
        EXPECT_GE(stroke["vertex_updates"].get<double>(), stroke["moved_vertices"].get<double>() * 0.5) << tools[i];
        for (const char* key : {"processed_vertices", "max_displacement", "seconds", "mega_vertices_per_second"})
            EXPECT_TRUE(stroke.contains(key)) << key;
    }
    EXPECT_EQ(report["faces"].get<int>(), 6 * 1024);
    // The OBJ holds every vertex and quad of the report.
    QFile obj(folder.filePath(QStringLiteral("result.obj")));
    ASSERT_TRUE(obj.open(QIODevice::ReadOnly | QIODevice::Text));
    int vertices = 0, quads = 0;
    while (!obj.atEnd()) {
        const QByteArray line = obj.readLine();
        vertices += line.startsWith("v ");
        quads += line.startsWith("f ") && line.trimmed().split(' ').size() == 5;
    }
    EXPECT_EQ(vertices, report["vertices"].get<int>());
    EXPECT_EQ(quads, report["faces"].get<int>());
    EXPECT_GT(QFile(folder.filePath(QStringLiteral("preview.png"))).size(), 1000);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files).size(), 3) << "nothing half-written is left";

    // Read back as a mesh, the result has the demo's counts.
    const Outcome info = Program({QStringLiteral("info"), folder.filePath(QStringLiteral("result.obj"))});
    ASSERT_EQ(info.status, 0) << info.err.toStdString();
    EXPECT_TRUE(info.out.contains(QStringLiteral("%1 vertices, 6144 faces").arg(vertices)));
    EXPECT_TRUE(info.out.contains(QStringLiteral("sculpted by patches: yes")));
    EXPECT_TRUE(info.out.contains(QStringLiteral("open edges: 0")));
}

TEST(CorvaneSculptTest, BadMeshFilesGiveOneLineAndStatusTwo) {
    QTemporaryDir folder;
    const QString badIndex = Write(folder, "bad_index.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n");
    const QString notANumber = Write(folder, "nan.obj", "v 0 0 0\nv nan 0 0\nv 0 1 0\nf 1 2 3\n");
    const QString empty = Write(folder, "empty.obj", "v 0 0 0\n");
    const std::pair<QString, QString> cases[] = {
        {folder.filePath(QStringLiteral("missing.obj")), QStringLiteral("no such file")},
        {badIndex, QStringLiteral("names vertex 8")},
        {notANumber, QStringLiteral("not a finite number")},
        {empty, QStringLiteral("no faces")}};
    for (const auto& [path, reason] : cases) {
        const Outcome run = Program({QStringLiteral("info"), path});
        EXPECT_EQ(run.status, 2) << path.toStdString();
        EXPECT_TRUE(run.err.startsWith(QStringLiteral("corvane-sculpt: "))) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(reason)) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(path)) << "names the file: " << run.err.toStdString();
        EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << "one line";
    }
}

}  // namespace

// corvane-sculpt as a user runs it: the demo's and the example sessions' outputs, mesh
// statistics, undo through sessions, and one-line errors with exit status 2 that leave no file
// behind.

#include <gtest/gtest.h>

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <nlohmann/json.hpp>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <array>
#include <cmath>
#include <ostream>
#include <vector>

// Failure messages show Qt's strings as text.
static std::ostream& operator<<(std::ostream& stream, const QString& text) { return stream << text.toStdString(); }

namespace {

struct Outcome {
    int status;
    QString out, err;
};

// A run that has not ended by `seconds` is stopped and reported as status -1.
Outcome Program(const QStringList& arguments, int seconds = 300) {
    QProcess process;
    process.start(QStringLiteral(CORVANE_SCULPT), arguments);
    if (!process.waitForFinished(seconds * 1000)) {
        process.kill();
        process.waitForFinished();
        return {-1, QString(), QStringLiteral("did not end within %1 s").arg(seconds)};
    }
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// A refusal: status 2 and one line on standard error that begins with the program's name and
// then `named`, and gives `reason`.
void ExpectRefused(const Outcome& run, const QString& reason, const QString& named = QString()) {
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_TRUE(run.err.startsWith("corvane-sculpt: " + named) && run.err.contains(reason))
        << "expected \"" << reason << "\", got: " << run.err;
    EXPECT_EQ(run.err.count('\n'), 1) << run.err;
}

QString Write(const QTemporaryDir& folder, const QString& name, const QByteArray& text) {
    QFile file(folder.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(text);
    return file.fileName();
}

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

nlohmann::json ReadJson(const QString& path) {
    const QByteArray text = Bytes(path);
    return text.isEmpty() ? nlohmann::json() : nlohmann::json::parse(text.toStdString());
}

// Everything in a folder, hidden entries too.
QStringList Entries(const QString& path) {
    return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

using Vertices = std::vector<std::array<double, 3>>;

// The vertex positions of an OBJ file, as written.
Vertices ObjVertices(const QString& path) {
    QFile file(path);
    Vertices vertices;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return vertices;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (!line.startsWith("v ")) continue;
        const QList<QByteArray> fields = line.split(' ');
        vertices.push_back({fields[1].toDouble(), fields[2].toDouble(), fields[3].toDouble()});
    }
    return vertices;
}

// A PNG as RGB bytes.
struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    std::array<unsigned char, 3> At(int x, int y) const {
        const size_t at = (size_t(y) * width + x) * 3;
        return {rgb[at], rgb[at + 1], rgb[at + 2]};
    }
    // The surface is shaded warm; the background is a cool grey.
    bool IsSurface(int x, int y) const { return At(x, y)[0] > At(x, y)[2]; }
};

Image ReadPng(const QString& path) {
    OIIO::ImageBuf buffer(path.toStdString());
    Image image;
    if (!buffer.read(0, 0, true, OIIO::TypeDesc::UINT8) || buffer.nchannels() != 3) return image;
    const OIIO::ROI window = buffer.roi();
    image.width = window.width();
    image.height = window.height();
    image.rgb.resize(size_t(image.width) * image.height * 3);
    if (!buffer.get_pixels(window, OIIO::TypeDesc::UINT8, image.rgb.data())) image = {};
    return image;
}

// Runs a session file into a fresh folder and returns the outcome and the folder's path.
Outcome RunSession(const QString& session, const QTemporaryDir& output) {
    return Program({"run", session, "--out", output.path()});
}

// What a session written as `text` left: its outcome, its report and the result's vertices.
struct Result {
    Outcome run;
    nlohmann::json report;
    Vertices vertices;
};

Result RunText(const QTemporaryDir& folder, const QString& name, const QByteArray& text) {
    QTemporaryDir output;
    Result result{RunSession(Write(folder, name, text), output), nullptr, {}};
    EXPECT_EQ(result.run.status, 0) << name << ": " << result.run.err;
    result.report = ReadJson(output.filePath("report.json"));
    result.vertices = ObjVertices(output.filePath("result.obj"));
    return result;
}

TEST(CorvaneSculptTest, TheDemoWritesTheMeshThePictureAndTheReport) {
    QTemporaryDir folder, oneThread;
    const Outcome run = Program({"demo", "--levels", "5", "--threads", "2", "--out", folder.path()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.contains("**** Sculpt Brush Performance - ")) << "the module's log line";
    EXPECT_FALSE(run.err.contains("warning")) << run.err;
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files).size(), 3) << "nothing half-written is left";
    const nlohmann::json report = ReadJson(folder.filePath("report.json"));
    EXPECT_EQ(report["faces"].get<int>(), 6 * 1024);
    const char* tools[] = {"Sculpt",  "Smear", "Pinch", "Smooth",     "Amplify", "Flatten", "Scrape",
                           "Fill",    "Wax",   "Bulge", "Spray",      "Repeat",  "Knife",   "Foamy",
                           "Imprint", "Relax", "Grab",  "Snake Hook", "Nudge"};
    // One stroke per tool, in order; some tools get a relief stroke before theirs, and the
    // moving tools' strokes (the last three) are taken back after them.
    std::vector<nlohmann::json> strokes;
    for (const auto& stroke : report["strokes"])
        if (stroke["step"].get<std::string>().rfind("stroke ", 0) == 0) strokes.push_back(stroke);
    ASSERT_EQ(strokes.size(), 19u);
    for (size_t i = 0; i < 19; ++i) {
        SCOPED_TRACE(tools[i]);
        const auto& stroke = strokes[i];
        EXPECT_EQ(stroke["tool"], tools[i]);
        EXPECT_GT(stroke["dabs"].get<int>(), 0);
        EXPECT_GT(stroke["moved_vertices"].get<int>(), 0);
        EXPECT_GE(stroke["vertex_updates"].get<double>(), stroke["moved_vertices"].get<double>() * 0.5);
        // The module's time is part of the stroke's, and the host's the rest of it.
        const double seconds = stroke["seconds"].get<double>(), module = stroke["module_seconds"].get<double>();
        EXPECT_GT(module, 0.0);
        EXPECT_LE(module, seconds);
        EXPECT_NEAR(stroke["host_seconds"].get<double>(), seconds - module, 1e-9);
    }
    // The picture is a contact sheet of 4 tiles a row, each labelled on a dark band at its top.
    // Below the label the surface fills nine tenths of the view (a smoothing stroke's tile looks
    // a little wider), but for the moving tools', whose strands are seen against the background.
    const Image sheet = ReadPng(folder.filePath("preview.png"));
    ASSERT_EQ(sheet.width, 4 * 240);
    ASSERT_EQ(sheet.height, 5 * 200);
    for (int tile = 0; tile < 19; ++tile) {
        const int left = tile % 4 * 240, top = tile / 4 * 200;
        int letters = 0, surface = 0;
        for (int y = top; y < top + 20; ++y)
            for (int x = left; x < left + 120; ++x) letters += sheet.At(x, y)[0] > 200;
        for (int y = top + 40; y < top + 200; ++y)
            for (int x = left; x < left + 240; ++x) surface += sheet.IsSurface(x, y);
        EXPECT_GT(letters, 20) << "tile " << tile << " has its label";
        if (tile < 16) {
            EXPECT_GT(surface, 240 * 160 * 9 / 10) << "tile " << tile << " is a close view of the surface";
        }
    }

    // Read back as a mesh, the result holds every vertex and quad of the report.
    const Outcome info = Program({"info", folder.filePath("result.obj")});
    ASSERT_EQ(info.status, 0) << info.err;
    for (const QString& line :
         {QString("%1 vertices, 6144 faces").arg(report["vertices"].get<int>()), QString("face sizes: 6144 x 4\n"),
          QString("sculpted by patches: yes"), QString("border edges: 0")})
        EXPECT_TRUE(info.out.contains(line)) << info.out;

    // The host's threads build and refit the spatial index; the brush sculpts on one thread.
    // The strokes come out the same, bit for bit, for any thread count.
    ASSERT_EQ(Program({"demo", "--levels", "5", "--threads", "1", "--out", oneThread.path()}).status, 0);
    EXPECT_TRUE(Bytes(oneThread.filePath("result.obj")) == Bytes(folder.filePath("result.obj")));
}

TEST(CorvaneSculptTest, StrokesThatChangeNothingSayWhyAndEveryRateIsANumber) {
    // A path beside the mesh, a stroke into a locked layer, and a one-dab Imprint (shorter than
    // the module's millisecond clock).
    QTemporaryDir folder;
    const Result idle = RunText(folder, "idle.json", R"({ "mesh": { "builtin": "sphere", "subdivide": 3 },
        "camera": { "eye": [0, 0, 5], "target": [0, 0, 0] },
        "layers": [ { "name": "held", "locked": true } ],
        "steps": [ { "stroke": { "tool": "Sculpt", "size": 0.2, "strength": 50, "path": [[3, 3, 2], [3.5, 3, 2]] } },
                   { "layer": { "name": "held" } },
                   { "stroke": { "tool": "Sculpt", "size": 0.2, "strength": 50, "path": [[0, 0, 2], [0.2, 0, 2]] } },
                   { "layer": { "name": "" } },
                   { "stroke": { "tool": "Imprint", "size": 0.2, "strength": 50, "path": [[0, 0, 2]] } } ] })");
    const QStringList warnings = idle.run.err.split('\n').filter("warning: ");
    ASSERT_EQ(warnings.size(), 2) << idle.run.err;
    EXPECT_TRUE(warnings[0].contains("steps[0]") && warnings[0].contains("misses"));
    EXPECT_TRUE(warnings[1].contains("steps[2]") && warnings[1].contains("\"held\" is locked"));
    const nlohmann::json& strokes = idle.report["strokes"];
    ASSERT_EQ(strokes.size(), 3u);
    EXPECT_TRUE(strokes[0]["warning"].get<std::string>().find("misses") != std::string::npos);
    EXPECT_TRUE(strokes[1]["warning"].get<std::string>().find("locked") != std::string::npos);
    EXPECT_FALSE(strokes[2].contains("warning"));
    for (const auto& stroke : strokes) EXPECT_TRUE(stroke["mega_vertices_per_second"].is_number()) << stroke;
    EXPECT_FALSE(idle.run.out.contains("nan") || idle.run.out.contains("inf")) << idle.run.out;

    // Each reason has its own warning: no pressure; a brush smaller than the gaps between the
    // cube's corners; no falloff curve; a mesh placed so far from the origin that a float cannot
    // place a dab to within the brush's radius.
    const Result near = RunText(folder, "near.json", R"({ "mesh": { "builtin": "cube" },
        "camera": { "eye": [0, 0, 5], "target": [0, 0, 0] },
        "steps": [ { "stroke": { "tool": "Sculpt", "size": 0.3, "strength": 30, "pressure": 0, "path": [[0, 0, 2], [0.3, 0, 2]] } },
                   { "stroke": { "tool": "Sculpt", "size": 0.01, "strength": 30, "path": [[0.05, 0.05, 2], [0.1, 0.05, 2]] } },
                   { "stroke": { "tool": "Sculpt", "size": 0.3, "strength": 30, "falloff": "none", "path": [[0, 0, 2], [0.3, 0, 2]] } } ] })");
    const Result far =
        RunText(folder, "far.json", R"({ "mesh": { "builtin": "cube", "subdivide": 4 }, "translate": [1e8, 1e8, 1e8],
        "steps": [ { "stroke": { "tool": "Sculpt", "size": 0.5, "strength": 30,
                                 "path": [[100000000.0, 100000000.0, 100000002.0], [100000000.3, 100000000.0, 100000002.0]] } } ] })");
    const QStringList reasons = (near.run.err + far.run.err).split('\n').filter(": steps[");
    ASSERT_EQ(reasons.size(), 4) << near.run.err + far.run.err;
    EXPECT_TRUE(reasons[0].endsWith("steps[0]: nothing moved: the pressure is 0")) << reasons[0];
    EXPECT_TRUE(reasons[1].contains("steps[1]: nothing moved: the brush (radius 0.01) reached no vertex"))
        << reasons[1];
    EXPECT_TRUE(reasons[2].endsWith(
        "steps[2]: nothing moved: the falloff is \"none\", and a dab without a falloff curve moves nothing"))
        << reasons[2];
    EXPECT_TRUE(reasons[3].contains("steps[0]: nothing moved: 1e+08 from the origin, points are held only to within"))
        << reasons[3];
}

TEST(CorvaneSculptTest, PicturesLookFromTheEyeAndSayWhenTheyCannotShowTheMesh) {
    QTemporaryDir folder;
    const auto picture = [&](const char* name, const QByteArray& setup, const QByteArray& steps = "") {
        const QString session = Write(folder, name,
                                      R"({ "mesh": { "builtin": "sphere", "subdivide": 3 },
            "picture": { "width": 200, "height": 160, )" +
                                          setup + R"( }, "steps": [ )" + steps + " ] }");
        QTemporaryDir output;
        const Outcome run = RunSession(session, output);
        EXPECT_EQ(run.status, 0) << run.err;
        return std::pair(ReadPng(output.filePath("preview.png")), run.err);
    };
    const auto surface = [](const Image& image) {
        int count = 0;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) count += image.IsSurface(x, y);
        return count;
    };
    // Distance matters: three times as far, about a ninth of the pixels.
    const auto [near, nearSays] = picture("near.json", R"("eye": [0, 0, 4])");
    const auto [far, farSays] = picture("far.json", R"("eye": [0, 0, 12])");
    EXPECT_GT(surface(near), 6 * surface(far));
    EXPECT_GT(surface(far), 0);
    // Straight above, and aimed with a narrow field of view at a point of the surface.
    const auto [above, aboveSays] = picture("above.json", R"("eye": [0, 6, 0])");
    EXPECT_GT(surface(above), 1000);
    const auto [close, closeSays] =
        picture("close.json", R"("eye": [0.3, 0.3, 2], "target": [0.3, 0.3, 0.9], "fov": 20)");
    EXPECT_EQ(surface(close), 200 * 160) << "the surface fills a close view";
    EXPECT_FALSE((nearSays + farSays + aboveSays + closeSays).contains("warning"));
    // From inside, and looking away: the picture is written, and the reason is told.
    EXPECT_TRUE(picture("inside.json", R"("eye": [0, 0, 0.2], "target": [0, 0, 1])")
                    .second.contains("warning: " + folder.filePath("inside.json") +
                                     ": picture (after): the eye (0, 0, 0.2) is inside the mesh"));
    EXPECT_TRUE(picture("away.json", R"("eye": [0, 0, 5], "target": [0, 0, 9])")
                    .second.contains("nothing of the mesh is in view"));
    // Before and after share one framing: a bump on top leaves the lower half of the view alone.
    const auto [both, bothSays] =
        picture("both.json", R"("before_after": true, "eye": [0, 0, 5])",
                R"({ "stroke": { "tool": "Sculpt", "size": 0.4, "strength": 100, "path": [[0, 3, 0]],
             "camera": { "eye": [0, 3, 0], "target": [0, 0, 0] } } })");
    ASSERT_EQ(both.width, 400);
    int differing = 0;
    for (int y = 100; y < 160; ++y)
        for (int x = 0; x < 200; ++x) differing += both.At(x, y) != both.At(x + 200, y);
    EXPECT_EQ(differing, 0);
}

// Every example session runs and reports each stroke; the one that undoes every stroke writes
// the original mesh back exactly.
TEST(CorvaneSculptTest, ExampleSessionsRunReportEveryStrokeAndUndoBackToTheOriginal) {
    QTemporaryDir folder, untouched;
    const QString plain =
        Write(folder, "plain.json", R"({ "mesh": { "builtin": "cube", "subdivide": 5 }, "steps": [] })");
    ASSERT_EQ(RunSession(plain, untouched).status, 0);
    const QDir examples(QStringLiteral(CORVANE_EXAMPLES));
    const QStringList files = examples.entryList({"*.json"}, QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 4);
    ASSERT_TRUE(files.contains("undo-everything.json"));
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        QTemporaryDir output;
        const Outcome run = RunSession(examples.filePath(name), output);
        ASSERT_EQ(run.status, 0) << run.err;
        const nlohmann::json session = ReadJson(examples.filePath(name));
        const nlohmann::json report = ReadJson(output.filePath("report.json"));
        size_t sculpting = 0;
        for (const auto& step : session["steps"]) sculpting += step.contains("stroke") || step.contains("whole_mesh");
        ASSERT_EQ(report["strokes"].size(), sculpting);
        for (const auto& stroke : report["strokes"]) {
            SCOPED_TRACE(stroke["step"].dump());
            const int moved = stroke["moved_vertices"].get<int>(), processed = stroke["processed_vertices"].get<int>();
            EXPECT_GT(moved, 0);
            // Merging edges moves vertices the brush did not.
            if (!stroke["faces_changed"].get<bool>()) {
                EXPECT_GE(stroke["vertex_updates"].get<int>(), moved);
            }
            // The vertex-by-vertex path of triangle meshes runs no kernels and processes nothing.
            if (processed > 0) {
                EXPECT_GE(processed, moved);
            }
            EXPECT_GT(stroke["max_displacement"].get<double>(), 0.0);
        }
        EXPECT_EQ(ObjVertices(output.filePath("result.obj")).size(), report["vertices"].get<size_t>());
        // Before and after side by side double the picture's width.
        const nlohmann::json shown = session.value("picture", nlohmann::json::object());
        EXPECT_EQ(ReadPng(output.filePath("preview.png")).width,
                  shown.value("width", 800) * (shown.value("before_after", false) ? 2 : 1));
        if (name == "undo-everything.json") {
            EXPECT_EQ(report["undone"].get<int>() - report["redone"].get<int>(), int(report["strokes"].size()));
            EXPECT_TRUE(Bytes(output.filePath("result.obj")) == Bytes(untouched.filePath("result.obj")))
                << "every position back, bit for bit";
        }
    }
}

// What a stroke is given, what it leaves out, and the scene around it reach the brush.
TEST(CorvaneSculptTest, StrokeSettingsFrozenRegionsLayersAndTheMeshTransformReachTheBrush) {
    // The top half of a sphere stretched to twice its height is frozen; a stroke across the
    // equator (world y = 0) moves only the bottom half.
    QTemporaryDir folder;
    const QByteArray sphere = R"("mesh": { "builtin": "sphere", "subdivide": 3 }, "scale": [1, 2, 1])";
    const Vertices after = RunText(folder, "stroke.json", "{ " + sphere + R"(,
        "freeze": [ { "box": { "min": [-3, 0, -3], "max": [3, 3, 3] } } ],
        "steps": [ { "stroke": { "tool": "Sculpt", "size": 0.8, "strength": 30,
                                 "path": [[0, -0.6, 1.2], [0, 0.6, 1.2]] } } ] })")
                               .vertices;
    Vertices before = RunText(folder, "sphere.json", "{ " + sphere + R"(, "steps": [] })").vertices;
    ASSERT_EQ(after.size(), before.size());
    int movedBelow = 0, movedAbove = 0;
    for (size_t v = 0; v < after.size(); ++v)
        if (after[v] != before[v]) (before[v][1] < 0.0 ? movedBelow : movedAbove) += 1;
    EXPECT_GT(movedBelow, 20) << "the stroke reached the unfrozen half";
    EXPECT_EQ(movedAbove, 0) << "nothing frozen moved";

    // Two strokes into the layer "detail", then its strength turned to 0: the base is untouched.
    const QByteArray cube = R"("mesh": { "builtin": "cube", "subdivide": 4 })";
    const Result layered = RunText(folder, "layer.json", "{ " + cube + R"(,
        "layers": [ { "name": "detail" } ], "active_layer": "detail",
        "steps": [ { "stroke": { "tool": "Sculpt", "size": 0.5, "strength": 30, "path": [[0, 0, 1.5], [0.3, 0.1, 1.5]] } },
                   { "stroke": { "tool": "Wax", "size": 0.4, "strength": 50, "path": [[0, 0.2, 1.5]] } },
                   { "layer": { "name": "detail", "strength": 0 } } ] })");
    before = RunText(folder, "cube.json", "{ " + cube + R"(, "steps": [] })").vertices;
    EXPECT_GT(layered.report["strokes"][0]["moved_vertices"].get<int>(), 0);
    ASSERT_EQ(layered.vertices.size(), before.size());
    for (size_t v = 0; v < before.size(); ++v)
        for (int axis = 0; axis < 3; ++axis) ASSERT_NEAR(layered.vertices[v][axis], before[v][axis], 1e-5) << v;

    // A second Knife stroke that does not repeat the first one's falloff and stamp turn cuts
    // as one that repeats them.
    const auto session = [](const QByteArray& second) {
        return R"({ "mesh": { "builtin": "plane", "subdivide": 5 }, "steps": [
            { "stroke": { "tool": "Knife", "size": 0.3, "strength": 0.02, "falloff": "flat",
                          "stamp_options": { "rotation": 90 }, "path": [[-0.5, 0.3, 1], [0.5, 0.3, 1]] } },
            { "stroke": { "tool": "Knife", "size": 0.3, "strength": 0.02, )" +
               second + R"( "path": [[-0.5, -0.3, 1], [0.5, -0.3, 1]] } } ] })";
    };
    const Result kept = RunText(folder, "kept.json", session(""));
    EXPECT_GT(kept.report["strokes"][1]["moved_vertices"].get<int>(), 0) << "the second stroke cuts";
    EXPECT_EQ(kept.vertices,
              RunText(folder, "repeated.json", session(R"("falloff": "flat", "stamp_options": { "rotation": 90 },)"))
                  .vertices);
}

TEST(CorvaneSculptTest, TextureCoordinatesAndNamesComeBackFromASubdividedSculptedMesh) {
    // A 4 x 4 plate whose texture coordinates are its x and y, subdivided twice and sculpted:
    // every vertex the stroke left alone still has coordinates equal to its x and y.
    QTemporaryDir folder, output, base;
    QByteArray obj = "mtllib plate.mtl\ng plate\nusemtl steel\n";
    for (int y = 0; y <= 4; ++y)
        for (int x = 0; x <= 4; ++x) {
            const QByteArray xy = QByteArray::number(x * 0.5 - 1) + ' ' + QByteArray::number(y * 0.5 - 1);
            obj += "v " + xy + " 0\nvt " + xy + "\n";
        }
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            obj += "f";
            for (int corner : {y * 5 + x, y * 5 + x + 1, y * 5 + x + 6, y * 5 + x + 5})
                obj += ' ' + QByteArray::number(corner + 1) + '/' + QByteArray::number(corner + 1);
            obj += '\n';
        }
    Write(folder, "plate.obj", obj);
    const QString session = Write(folder, "plate.json", R"({ "mesh": { "file": "plate.obj", "subdivide": 2 },
        "steps": [ { "stroke": { "tool": "Sculpt", "size": 0.3, "strength": 0.2, "path": [[-0.3, 0, 1], [0.3, 0, 1]] } } ] })");
    const Outcome run = RunSession(session, output);
    ASSERT_EQ(run.status, 0) << run.err;

    QFile result(output.filePath("result.obj"));
    ASSERT_TRUE(result.open(QIODevice::ReadOnly | QIODevice::Text));
    std::vector<std::array<double, 3>> positions;
    std::vector<std::array<double, 2>> uvs;
    int unmoved = 0, moved = 0, faces = 0;
    QStringList names;
    while (!result.atEnd()) {
        const QList<QByteArray> fields = result.readLine().trimmed().split(' ');
        if (fields[0] == "v") positions.push_back({fields[1].toDouble(), fields[2].toDouble(), fields[3].toDouble()});
        if (fields[0] == "vt") uvs.push_back({fields[1].toDouble(), fields[2].toDouble()});
        if (fields[0] == "mtllib" || fields[0] == "g" || fields[0] == "usemtl")
            names << QString::fromUtf8(fields.join(' '));
        if (fields[0] != "f") continue;
        ++faces;
        for (int k = 1; k < fields.size(); ++k) {
            const QList<QByteArray> corner = fields[k].split('/');
            ASSERT_EQ(corner.size(), 2) << "every corner has its coordinate";
            const auto& p = positions.at(size_t(corner[0].toInt() - 1));
            const auto& uv = uvs.at(size_t(corner[1].toInt() - 1));
            (p[2] != 0.0 ? moved : unmoved) += 1;
            if (p[2] == 0.0) {
                ASSERT_LT(std::hypot(uv[0] - p[0], uv[1] - p[1]), 1e-6) << "corner " << fields[k].toStdString();
            }
        }
    }
    EXPECT_EQ(faces, 16 * 16);
    EXPECT_EQ(positions.size(), 17u * 17u);
    EXPECT_GT(uvs.size(), 25u) << "coordinates of every level, not only the base's";
    EXPECT_GT(moved, 0);
    EXPECT_GT(unmoved, moved);
    EXPECT_EQ(names, QStringList({"mtllib plate.mtl", "g plate", "usemtl steel"}));

    // The base level comes out with --level 0, as it was.
    ASSERT_EQ(Program({"run", session, "--out", base.path(), "--level", "0"}).status, 0);
    EXPECT_EQ(ObjVertices(base.filePath("result.obj")).size(), 25u);
}

TEST(CorvaneSculptTest, EveryFormatOpensSculptsAndSavesAndInfoCountsEdgesAndLargeFaces) {
    // A sculpted sphere saved in each format, then opened by another session, sculpted again
    // and saved as OBJ.
    QTemporaryDir folder;
    const QString first = Write(folder, "first.json", R"({ "mesh": { "builtin": "sphere", "subdivide": 1 },
        "steps": [ { "stroke": { "tool": "Sculpt", "size": 0.4, "strength": 0.2, "path": [[0, 0, 2]] } } ] })");
    for (const char* extension : {"ply", "stl", "gltf", "glb", "fbx"}) {
        SCOPED_TRACE(extension);
        const QString name = QStringLiteral("sphere.") + extension;
        const Outcome saved = Program({"run", first, "--out", folder.path(), "--result", name});
        ASSERT_EQ(saved.status, 0) << saved.err;
        const Result second = RunText(folder, "second.json", R"({ "mesh": { "file": ")" + name.toUtf8() + R"(" },
            "steps": [ { "stroke": { "tool": "Sculpt", "size": 0.4, "strength": 0.2, "path": [[0, 2, 0]] } } ] })");
        EXPECT_GT(second.report["strokes"][0]["moved_vertices"].get<int>(), 0);
        EXPECT_EQ(second.vertices.size(), 386u);
    }

    // Three triangles on one edge and a fourth sharing another edge with the first, in PLY.
    const Outcome fin = Program({"info", Write(folder, "fin.ply",
                                               "ply\nformat ascii 1.0\nelement vertex 6\nproperty float x\n"
                                               "property float y\nproperty float z\nelement face 4\n"
                                               "property list uchar int vertex_indices\nend_header\n"
                                               "0 0 0\n1 0 0\n0 1 0\n0 -1 0\n0 0 1\n1 1 0\n"
                                               "3 0 1 2\n3 1 0 3\n3 0 1 4\n3 1 5 2\n")});
    ASSERT_EQ(fin.status, 0) << fin.err;
    for (const char* line : {"6 vertices, 4 faces", "bounding box: (0, -1, 0) to (1, 1, 1)",
                             "border edges: 7\nnon-manifold edges: 1", "texture coordinates: no"})
        EXPECT_TRUE(fin.out.contains(line)) << fin.out;
    // One polygon of n corners around a circle, past what a byte counts.
    for (int corners : {255, 256, 300}) {
        QByteArray polygon, face = "f";
        for (int i = 0; i < corners; ++i) {
            polygon += "v " + QByteArray::number(std::cos(i * 6.2831853 / corners)) + " " +
                       QByteArray::number(std::sin(i * 6.2831853 / corners)) + " 0\n";
            face += " " + QByteArray::number(i + 1);
        }
        const Outcome large = Program({"info", Write(folder, "polygon.obj", polygon + face + "\n")});
        ASSERT_EQ(large.status, 0) << corners << ": " << large.err;
        EXPECT_TRUE(large.out.contains(QString("%1 vertices, 1 faces").arg(corners))) << large.out;
        EXPECT_TRUE(large.out.contains(QString("face sizes: 1 x %1\n").arg(corners))) << large.out;
    }
}

// Faulty sessions, among them inputs that once hung, aborted or wrote a wrong result: each is
// refused before anything is sculpted, at once, in one line naming the file and the place,
// with nothing written. Faulty command lines and mesh files, too, get one line and status 2.
TEST(CorvaneSculptTest, FaultySessionsCommandLinesAndMeshFilesAreRefusedAtOnceInOneLine) {
    QTemporaryDir folder;
    const QByteArray cube = R"("mesh": { "builtin": "cube", "subdivide": 2 })";
    const auto stroke = [&](const QByteArray& settings, const QByteArray& tool = "Sculpt",
                            const QByteArray& size = "0.2", const QByteArray& path = "[[0, 0, 2], [0.3, 0, 2]]") {
        return R"({ "steps": [ { "stroke": { "tool": ")" + tool + R"(", "size": )" + size +
               R"(, "strength": 15, "path": )" + path + settings + " } } ], " + cube + " }";
    };
    const auto steps = [&](const QByteArray& list) { return "{ " + cube + R"(, "steps": [ )" + list + " ] }"; };
    const auto top = [&](const QByteArray& settings) { return "{ " + cube + ", " + settings + R"(, "steps": [] })"; };
    // Seventy strokes, then the step at fault: found before the first of them runs.
    QByteArray seventy;
    for (int i = 0; i < 70; ++i)
        seventy += R"({ "stroke": { "tool": "Smooth", "size": 0.3, "strength": 50, "path": [[0, 0, 2]] } }, )";
    Write(folder, "nan.obj", "v 0 0 0\nv nan 0 0\nv 0 1 0\nf 1 2 3\n");
    Write(folder, "not-a-picture.png", "a stamp that is text\n");
    // A picture cut short, whose format library complains on standard error as it reads.
    OIIO::ImageBuf noise(OIIO::ImageSpec(64, 64, 3, OIIO::TypeDesc::UINT8));
    OIIO::ImageBufAlgo::noise(noise, "uniform", 0.0f, 1.0f);
    ASSERT_TRUE(noise.write(folder.filePath("whole.png").toStdString()));
    Write(folder, "cut.png", Bytes(folder.filePath("whole.png")).left(400));
    // Two hundred tiles, each within its own limits.
    QByteArray tiles;
    for (int i = 0; i < 200; ++i) tiles += QByteArray(i ? ", " : "") + R"({ "eye": [0, 0, 5], "target": [0, 0, 0] })";
    const std::pair<QByteArray, const char*> cases[] = {
        {"{ \"mesh\": ", "not valid JSON"},
        {stroke(R"(, "attributes": { "builduprate": )" + QByteArray(100000, '[') + QByteArray(100000, ']') + " }"),
         "values nested more than 64 deep"},
        {steps(R"({ "undo": 1 })").replace("\"steps\"", R"("steps": [], "steps")"), "key \"steps\" is given twice"},
        {R"({ "mesh": { "builtin": "cube", "subdivide": 1e308 }, "steps": [] })",
         "mesh.subdivide: 1e+308 is out of range [0, 10]"},
        {top(R"("picture": { "width": 4096, "height": 4096, "tiles": [ )" + tiles + " ] }"),
         "picture: the picture would be 16384 x 204800 pixels, more than"},
        {"{ " + cube + " }", "\"steps\" is missing"},
        {R"({ "mesh": { "builtin": "torus" }, "steps": [] })", "mesh.builtin: \"torus\" is not one of"},
        {R"({ "mesh": { "obj": "nan.obj" }, "steps": [] })",
         "nan.obj: vertex 1 has a coordinate that is not a finite number"},
        {R"({ "mesh": { "builtin": "sphere", "subdivide": 10 }, "steps": [] })", "100663296 faces, more than"},
        {top(R"("scale": 1e300)"), "scale: 1e+300 is out of range"},
        {"{ " + cube +
             R"(, "scale": 1e-30, "steps": [ { "stroke": { "tool": "Sculpt", "size": 0.2, "strength": 0.1, "path": [[0, 0, 2]] } } ] })",
         "steps[0].stroke.path[0]: (0, 0, 2e+30) lies beyond 1e+09 in the mesh's own space"},
        {top(R"("picture": { "eye": [0, 0, 1], "target": [0, 0, 1] })"), "picture: eye and target are the same point"},
        {top(R"("preferences": { "Wax Only": true })"), "preferences.Wax Only: unknown name"},
        {stroke("", "Carve"), "steps[0]: unknown tool \"Carve\""},
        {stroke("", "Sculpt", "-1"), "steps[0].stroke.size: -1 must be greater than 0"},
        {stroke("", "Sculpt", "1e-12"), "steps[0].stroke.path: the stroke would place more than 100000 dabs"},
        {stroke("", "Sculpt", "1e-30"),
         "steps[0].stroke.size: 1e-30 is too small a size once carried into the mesh's own space"},
        {stroke("", "Sculpt", "1e-300"), "steps[0].stroke.size: 1e-300 is out of range"},
        {stroke("", "Sculpt", "1e999"), "line 1, column 54: number overflow parsing '1e999'"},
        {stroke("", "Sculpt", "0.2", "[[0, 0, 2], [0, 1.5e9, 0]]"),
         "steps[0].stroke.path[1][1]: 1500000000.0 is out of range"},
        {steps(R"({ "stroke": { "tool": "Sculpt", "size": 0.2, "strength": 150, "path": [[0, 0, 2]] } })"),
         "steps[0].stroke.strength: 150 is out of range [0, 100]"},
        {stroke(R"(, "str\ngth": 1)"), "steps[0].stroke: unknown key \"str\\ngth\""},
        {stroke(R"(, "mirror": "w")"), "steps[0].stroke.mirror: \"w\" is not one of none, x"},
        {stroke(R"(, "direction": 18446744073709551615)"),
         "stroke.direction: 18446744073709551615 is out of range [0, 12]"},
        {stroke(R"(, "attributes": { "preservevolum": true })"), "attributes.preservevolum: unknown name"},
        {stroke(R"(, "attributes": { "builduprate": 2 })"), "attributes.builduprate: 2 is out of range [0, 1]"},
        {stroke(R"(, "attributes": { "lockborders": 1 })"), "lockborders: must be true or false"},
        {stroke(R"(, "attributes": { "strokesmoothing": [true, 1e300] })"), "strokesmoothing: 1e+300 is out of range"},
        {stroke(R"(, "stamp": "Stamps/none.tif")"), "steps[0].stroke.stamp: no file"},
        {stroke(R"(, "stamp": "cut.png")"), "steps[0].stroke.stamp: cannot read image"},
        {stroke(R"(, "stamp_options": { "mirrored": true })", "Spray"),
         "stamp_options.mirrored: mirrors the stamp of a mirrored stroke's twins, but the stroke has no \"mirror\""},
        {stroke(R"(, "stamp": null, "stamp_options": { "tiled": true })", "Spray"),
         "stamp_options: shape a stamp, but \"stamp\" turns it off"},
        {steps(R"({ "layer": { "name": "x" } })"),
         "steps[0].layer.name: no layer \"x\" in \"layers\" or added by an earlier step"},
        {steps(seventy + R"({ "undo": 65 })"), "steps[70]: undo 65, but only 64 to undo"},
        {steps(
             seventy +
             R"({ "stroke": { "tool": "Sculpt", "size": 0.2, "strength": 0.1, "path": [[0, 0, 2]], "stamp": "not-a-picture.png" } })"),
         "steps[70].stroke.stamp: cannot read image"},
    };
    int index = 0;
    for (const auto& [text, reason] : cases) {
        SCOPED_TRACE(text.toStdString());
        const QString session = Write(folder, QString("case%1.json").arg(index++), text);
        const QString output = folder.filePath(QString("out%1").arg(index));
        ExpectRefused(Program({"run", session, "--out", output}, 20), reason, session + ": ");
        EXPECT_FALSE(QFileInfo::exists(output)) << "nothing written";
    }

    // The readers' own faults are checked with the readers; here, that each reaches the user as one
    // line naming the file, for a reader's fault, the mesh check's and a file that is none.
    QTemporaryDir output;
    const QString zero = folder.filePath("zero.obj");
    QFile::link("/dev/zero", zero);  // read for ever, were it read
    const QString empty = Write(folder, "empty.obj", "v 0 0 0\n"),
                  line = Write(folder, "line.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 2\n");
    const QString session = Write(folder, "s.json", R"({ "mesh": { "builtin": "cube", "subdivide": 2 },
        "steps": [ { "stroke": { "tool": "Sculpt", "size": 0.2, "strength": 0.1, "path": [[0, 0, 2]] } } ] })");
    // An output folder under a file cannot be made: found before the stroke logs anything.
    const QString underAFile = Write(folder, "file", "") + "/out";
    struct Case {
        QStringList arguments;
        QString reason, named;
    };
    const Case lines[] = {
        {{"info", empty}, "no faces", empty},
        {{"info", line}, "face 2 has 2 corners; a face needs at least 3", line},
        {{"info", zero}, "not a regular file", zero},
        {{"run"}},
        {{"--frobnicate"}},
        {{"demo", "--levels", "0"}},
        {{"help"}},
        {{"info", "x.obj", "--levels", "3"}},
        {{"list", "--plugins", folder.path()}, "no plug-in modules in " + folder.path()},
        {{"--plugins", folder.path(), "--out", folder.filePath("out")}, "no Corvane module in " + folder.path()},
        {{"run", folder.filePath("none.json")}, "none.json: no such file"},
        {{"run", session, "--out", underAFile}, underAFile + ": cannot make the folder"},
        {{"run", session, "--out", ""}, "the output folder needs a name"},
        {{"run", session, "--out", folder.filePath("out"), "--result", "/abs.obj"},
         session + ": cannot write the result as \"/abs.obj\": it is written into the output folder"}};
    for (const Case& c : lines) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        ExpectRefused(Program(c.arguments, 20), c.reason, c.named);
    }
    // The demo's options stand without its name, as the README shows them.
    const Outcome demo = Program({"--out", output.path(), "--levels", "2"});
    ASSERT_EQ(demo.status, 0) << demo.err;
    EXPECT_EQ(QDir(output.path()).entryList(QDir::Files).size(), 3);
}

TEST(CorvaneSculptTest, OutputsAppearTogetherOrNotAtAll) {
    QTemporaryDir folder, output, killed;
    // Earlier outputs, and a folder where the report should go: the report cannot be moved
    // into place, so the earlier mesh and picture stay exactly as they were.
    Write(output, "result.obj", "earlier mesh\n");
    Write(output, "preview.png", "earlier picture\n");
    ASSERT_TRUE(QDir(output.path()).mkdir("report.json"));
    const Outcome run = RunSession(
        Write(folder, "s.json", R"({ "mesh": { "builtin": "cube", "subdivide": 2 }, "steps": [] })"), output);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.err.contains("report.json")) << run.err;
    EXPECT_EQ(Entries(output.path()), QStringList({"preview.png", "report.json", "result.obj"})) << "no partial files";
    EXPECT_EQ(Bytes(output.filePath("result.obj")), QByteArray("earlier mesh\n"));
    EXPECT_EQ(Bytes(output.filePath("preview.png")), QByteArray("earlier picture\n"));

    // A run killed while it moved its outputs into place left its staging folder: the mesh it
    // replaced set aside, its picture already moved in. The next run, even one that fails,
    // puts the folder back as it was before the killed run.
    const QString staging = ".corvane-partial-4194305-AbCdEf/";
    ASSERT_TRUE(QDir(killed.path()).mkpath(staging + "previous") && QDir(killed.path()).mkpath(staging + "new"));
    Write(killed, staging + "names", "preview.png\nreport.json\nresult.obj");
    Write(killed, staging + "previous/result.obj", "earlier mesh\n");
    Write(killed, staging + "new/report.json", "{}");
    Write(killed, "preview.png", "the killed run's picture\n");
    const QString faulty = Write(folder, "faulty.json", R"({ "mesh": { "builtin": "cube" },
        "steps": [ { "stroke": { "tool": "Carve", "size": 0.2, "strength": 15, "path": [[0, 0, 2]] } } ] })");
    EXPECT_EQ(RunSession(faulty, killed).status, 2);
    EXPECT_EQ(Entries(killed.path()), QStringList{"result.obj"});
    EXPECT_EQ(Bytes(killed.filePath("result.obj")), QByteArray("earlier mesh\n"));
}

TEST(CorvaneSculptTest, TheUndoHistoryKeepsToItsBudget) {
    // Each whole-mesh Smooth of a cube subdivided 6 times keeps about 0.9 MiB to undo.
    QTemporaryDir folder, kept, dropped;
    const QString session = Write(folder, "smooths.json", R"({ "mesh": { "builtin": "cube", "subdivide": 6 }, "steps": [
        { "whole_mesh": { "tool": "Smooth", "strength": 50 } }, { "whole_mesh": { "tool": "Smooth", "strength": 50 } },
        { "whole_mesh": { "tool": "Smooth", "strength": 50 } }, { "undo": 3 } ] })");
    const Outcome plenty = RunSession(session, kept);
    ASSERT_EQ(plenty.status, 0) << plenty.err;
    EXPECT_EQ(ReadJson(kept.filePath("report.json"))["undone"].get<int>(), 3);
    // With a budget of 1 MiB only the newest change stays.
    const Outcome tight = Program({"run", session, "--undo-memory", "1", "--out", dropped.path()});
    EXPECT_EQ(tight.status, 2);
    EXPECT_TRUE(tight.err.trimmed().endsWith("steps[3]: undo 3, but only 1 to undo")) << tight.err;
    EXPECT_FALSE(QFileInfo::exists(dropped.filePath("result.obj")));
}

}  // namespace

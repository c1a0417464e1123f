// Journals: every step a program writes reads back as it was written, a journal left by a
// program that stopped is found, taken over and played back, and one held by a running
// program is left alone.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include "caught_error.h"
#include "host_suite.h"
#include "journal.h"
#include "project_file.h"
#include "sculpture.h"
#include "session.h"
#include "session_runner.h"
#include "small_meshes.h"
#include "tarnix/kernel.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/subdivision_level.h"

namespace corvane_apps {
namespace {

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

Step Kind(Step::Kind kind) {
    Step step;
    step.kind = kind;
    return step;
}

// One step of every kind, each with settings that differ from the defaults.
std::vector<Step> EveryKindOfStep() {
    std::vector<Step> steps;
    Step stroke = Kind(Step::kStroke);
    stroke.stroke.tool = QStringLiteral("Wax");
    stroke.stroke.size = 0.125f;
    stroke.stroke.strength = 37.5f;
    stroke.stroke.invert = true;
    stroke.stroke.mirror = 9;
    stroke.stroke.falloffType = 1;
    stroke.stroke.direction = 4;
    stroke.stroke.path = {{0.1f, 0.2f, 0.3f}, {-0.1f, 0.25f, 1.0f / 3.0f}};
    stroke.stroke.pressures = {0.25f, 0.8f};
    stroke.stroke.camera = CameraPlacement{{0, 0, 5}, {0, 0.5f, 0}};
    stroke.stroke.attributes.push_back({QStringLiteral("Stroke spacing"), 0.3, {}});
    steps.push_back(stroke);
    steps.push_back(stroke);
    Step undo = Kind(Step::kUndo);
    undo.count = 2;
    steps.push_back(undo);
    steps.push_back(Kind(Step::kRedo));
    Step subdivide = Kind(Step::kSubdivide);
    steps.push_back(subdivide);
    Step level = Kind(Step::kLevel);
    level.count = 1;
    steps.push_back(level);
    Step freeze = Kind(Step::kFreezeStroke);
    freeze.freeze.size = 0.2f;
    freeze.freeze.strength = 75.0f;
    freeze.freeze.thaw = true;
    freeze.freeze.path = {{0, 0, 1}, {0.5f, 0, 1}};
    freeze.freeze.pressures = {1.0f, 0.5f};
    steps.push_back(freeze);
    steps.push_back(Kind(Step::kClearFreeze));
    steps.push_back(Kind(Step::kInvertFreeze));
    Step add = Kind(Step::kAddLayer);
    add.added.name = QStringLiteral("forms \"big\"");
    steps.push_back(add);
    Step rename = Kind(Step::kRenameLayer);
    rename.layer = add.added.name;
    rename.newName = QStringLiteral("forms");
    steps.push_back(rename);
    Step lock = Kind(Step::kLockLayer);
    lock.layer = rename.newName;
    lock.locked = true;
    steps.push_back(lock);
    Step strength = Kind(Step::kLayerStrength);
    strength.layer = rename.newName;
    strength.layerStrength = 0.5f;
    steps.push_back(strength);
    Step base = Kind(Step::kLayer);
    steps.push_back(base);
    Step preferences = Kind(Step::kPreferences);
    preferences.preferences.push_back({QStringLiteral("Undo memory"), 512, {}});
    steps.push_back(preferences);
    return steps;
}

TEST(JournalForm, EveryStepReadsBackAsItWasWrittenAndALineCutShortIsLeftOut) {
    QByteArray text = R"({"journal":1,"mesh":{"builtin":"sphere","subdivide":2}})"
                      "\n";
    const std::vector<Step> written = EveryKindOfStep();
    for (const Step& step : written) text += QByteArray::fromStdString(StepToJson(step).dump()) + '\n';
    // What a program killed while writing leaves after the last complete line.
    text += R"({"kind":"stroke","stroke":{"tool":"Scu)";
    Session session;
    ASSERT_EQ(FaultOf([&] { session = ParseSession(text, QStringLiteral("work.journal")); }).toStdString(), "");
    EXPECT_TRUE(session.journal);
    EXPECT_EQ(session.shape, QStringLiteral("sphere"));
    EXPECT_EQ(session.subdivide, 2u);
    ASSERT_EQ(session.steps.size(), written.size());
    for (size_t i = 0; i < written.size(); ++i) {
        // Written again, each step gives the same text: nothing was lost or changed in between.
        EXPECT_EQ(StepToJson(session.steps[i]), StepToJson(written[i])) << i;
    }
    const StrokeStep& stroke = session.steps[0].stroke;
    EXPECT_EQ(stroke.path[1].z, 1.0f / 3.0f) << "coordinates keep every bit";
    EXPECT_EQ(stroke.pressures, (std::vector<float>{0.25f, 0.8f}));
    EXPECT_EQ(stroke.mirror, 9);
    ASSERT_TRUE(stroke.camera);
    EXPECT_EQ(stroke.camera->target.y, 0.5f);
    EXPECT_EQ(session.steps[6].freeze.pressures, (std::vector<float>{1.0f, 0.5f}));
    EXPECT_EQ(session.steps[9].added.name, QStringLiteral("forms \"big\""));
    EXPECT_EQ(session.steps[12].layerStrength, 0.5f);

    // A fault before the last line is a fault of the journal, named by its line.
    QByteArray broken = text;
    broken.replace(R"({"redo":1})", R"({"redo":-1})");
    const QString fault = FaultOf([&] { ParseSession(broken, QStringLiteral("work.journal")); });
    EXPECT_TRUE(fault.startsWith(QLatin1String("work.journal"))) << fault.toStdString();
    EXPECT_TRUE(fault.contains(QLatin1String("redo"))) << fault.toStdString();
    // Steps on a layer the journal never made are refused as a session's would be.
    QByteArray unknownLayer = R"({"journal":1,"mesh":{"builtin":"cube"}})"
                              "\n";
    Step lockMissing = Kind(Step::kLockLayer);
    lockMissing.layer = QStringLiteral("nowhere");
    unknownLayer += QByteArray::fromStdString(StepToJson(lockMissing).dump()) + '\n';
    EXPECT_TRUE(FaultOf([&] {
                    ParseSession(unknownLayer, QStringLiteral("work.journal"));
                }).contains(QLatin1String("nowhere")));
}

TEST(Journals, AJournalLeftBehindIsFoundTakenOverAndOneInUseIsLeftAlone) {
    QTemporaryDir home;
    const QString recovery = home.filePath(QStringLiteral("recovery"));
    const QString document = home.filePath(QStringLiteral("bust.obj"));
    Write(document, "v 0 0 0\n");
    const nlohmann::json origin = {{"file", document.toStdString()}, {"subdivide", 0}};

    Step clear = Kind(Step::kClearFreeze);
    QString path;
    {
        Journal beside(recovery, document, origin);
        path = beside.Path();
        EXPECT_EQ(path, document + QStringLiteral(".journal")) << "a document's journal lies beside it";
        beside.Append(clear);
        // A document with no file yet keeps its journal in the recovery folder.
        Journal unnamed(recovery, QString(), {{"builtin", "cube"}, {"subdivide", 1}});
        EXPECT_EQ(QFileInfo(unnamed.Path()).dir(), QDir(recovery));
        unnamed.Append(clear);
        EXPECT_TRUE(Journal::Recoverable(recovery).empty()) << "both are held by this program";
        unnamed.Discard();
        EXPECT_FALSE(QFile::exists(unnamed.Path()));
        // Dropped without being discarded, as a program that stops drops it.
    }
    // A journal whose program stopped before its first step is nothing to recover, and goes.
    { Journal empty(recovery, QString(), {{"builtin", "cube"}, {"subdivide", 0}}); }

    std::vector<Journal::Left> left = Journal::Recoverable(recovery);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].path, path);
    EXPECT_EQ(left[0].document, document);
    EXPECT_EQ(left[0].steps, 1u);
    EXPECT_EQ(QDir(recovery).entryList({QStringLiteral("*.journal")}, QDir::Files).size(), 0);

    // Taken over after a line cut short: that line goes, new steps follow the last whole one.
    Write(path, Read(path) + R"({"und)");
    {
        std::unique_ptr<Journal> taken = Journal::TakeOver(recovery, path);
        EXPECT_EQ(taken->StepCount(), 1u);
        Step undo = Kind(Step::kUndo);
        taken->Append(undo);
        EXPECT_TRUE(Journal::Recoverable(recovery).empty());
        EXPECT_FALSE(FaultOf([&] { Journal::TakeOver(recovery, path); }).isEmpty()) << "one program at a time";
    }
    Session session;
    ASSERT_EQ(FaultOf([&] { session = ReadSession(path); }).toStdString(), "");
    ASSERT_EQ(session.steps.size(), 2u);
    EXPECT_EQ(session.steps[0].kind, Step::kClearFreeze);
    EXPECT_EQ(session.steps[1].kind, Step::kUndo);

    left = Journal::Recoverable(recovery);
    ASSERT_EQ(left.size(), 1u);
    Journal::Forget(recovery, left[0].path);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(Journal::Recoverable(recovery).empty());
    EXPECT_TRUE(QDir(recovery).entryList(QDir::Files).isEmpty())
        << QDir(recovery).entryList(QDir::Files).join(' ').toStdString();
}

using JournalPlayback = test_support::HostSuite;

// A journal that starts from a project plays on the project as it was saved, and gives what
// the same work on the loaded project gives.
TEST_F(JournalPlayback, AJournalFromAProjectGoesOnFromTheSavedDocument) {
    QTemporaryDir home;
    const QString project = home.filePath(QStringLiteral("head.corvane"));
    {
        auto sculpture = Shape("sphere", 2);
        sculpture->AddLayer({QStringLiteral("detail")}, true);
        WriteProject(project, *sculpture, Host());
    }
    Step stroke = Kind(Step::kStroke);
    stroke.stroke = Stroke("Sculpt", 0.3f, 40.0f, {{-0.4f, 0.1f, 1}, {0.4f, 0.2f, 1}});
    stroke.stroke.pressures = {0.3f, 1.0f};
    stroke.stroke.camera = CameraPlacement{{0, 0, 5}, {0, 0, 0}};
    Step strength = Kind(Step::kLayerStrength);
    strength.layer = QStringLiteral("detail");
    strength.layerStrength = 0.25f;

    const QString path = home.filePath(QStringLiteral("x.journal"));
    QByteArray text =
        QByteArray::fromStdString(nlohmann::json({{"journal", 1}, {"mesh", {{"file", "head.corvane"}}}}).dump()) + '\n';
    for (const Step* step : {&stroke, &strength}) text += QByteArray::fromStdString(StepToJson(*step).dump()) + '\n';
    Write(path, text);

    Sculpture played(Host());
    QString log;
    QTextStream out(&log);
    PlaySession(ReadSession(path), Host(), played, out, out);

    Sculpture direct(Host());
    ReadProject(project, direct, Host());
    const std::vector<tarnix::Vector> saved = PositionsOf(direct);
    direct.Look(*stroke.stroke.camera);
    direct.Prepare(stroke.stroke);
    direct.Apply(stroke.stroke, false);
    direct.SetLayerStrength(0, 0.25f);

    const std::vector<tarnix::Vector> a = PositionsOf(played), b = PositionsOf(direct);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(tarnix::Vector)), 0);
    EXPECT_NE(std::memcmp(a.data(), saved.data(), a.size() * sizeof(tarnix::Vector)), 0) << "the stroke was played";
    EXPECT_EQ(played.UndoCount(), 2u);
    EXPECT_FLOAT_EQ(played.Level().Layer(0)->Strength(), 0.25f);
}

}  // namespace
}  // namespace corvane_apps

// corvane-studio driven as a person drives it: real mouse events over the real viewport, the
// real module loaded from bin/plugins, a real OpenGL context (Mesa under Xvfb in CI).

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "attribute_panel.h"
#include "attribute_words.h"
#include "brush_host.h"
#include "builtin_shapes.h"
#include "journal.h"
#include "main_window.h"
#include "mesh_files.h"
#include "small_meshes.h"
#include "stamp_images.h"
#include "studio_document.h"
#include "tarnix/brush_operation.h"
#include "tarnix/kernel.h"
#include "tarnix/preferences.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/subdivision_level.h"
#include "viewport.h"

namespace {

using corvane_studio::MainWindow;

using test_support::PositionsOf;

bool SameBits(const std::vector<tarnix::Vector>& a, const std::vector<tarnix::Vector>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(tarnix::Vector)) == 0;
}

// Writes `mesh` as an OBJ file.
void WriteObj(const tarnix::Mesh& mesh, const QString& path) { corvane_apps::WriteMesh({&mesh}, path); }

// Answers the modal windows actions open, as a person would, until it goes: the
// unsaved-changes prompt with Discard (with Cancel while `refuse` is set), every other
// dialog with Cancel, or with `answer` when one is set.
class ModalAnswerer : public QObject {
public:
    ModalAnswerer() {
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::Answer);
        m_timer.start(20);
    }
    bool refuse = false;
    std::function<void(QDialog&)> answer;

private:
    void Answer() {
        QWidget* modal = QApplication::activeModalWidget();
        // Progress shows itself over long work and goes by itself.
        if (!modal || qobject_cast<QProgressDialog*>(modal)) return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            for (QAbstractButton* button : box->buttons())
                if (box->buttonRole(button) == (refuse ? QMessageBox::RejectRole : QMessageBox::DestructiveRole)) {
                    button->click();
                    return;
                }
        }
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            if (answer) answer(*dialog);
            else dialog->reject();
        }
    }
    QTimer m_timer;
};

// The label a form shows for `field`.
QLabel* LabelOf(QWidget* field) {
    for (QLabel* label : field->window()->findChildren<QLabel*>())
        if (label->buddy() == field) return label;
    return nullptr;
}

// Samples of `image` (every fourth pixel each way) that differ from the background's colour.
int MeshPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4) count += image.pixel(x, y) != image.pixel(2, 2);
    return count;
}

// Pixels of the brush circle's warm yellow in `image`, blended as they are at its edges; the
// grey background and the clay surface are far less yellow.
int CursorPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.red() - c.blue() > 70 && c.green() - c.blue() > 50;
        }
    return count;
}

class Studio : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_host = std::make_unique<corvane_apps::BrushHost>(QStringLiteral(CORVANE_PLUGINS));
    }
    static void TearDownTestSuite() { s_host.reset(); }

    void SetUp() override {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "no display: CTest runs these under xvfb-run";
        m_window = std::make_unique<MainWindow>(*s_host);
        m_window->SetQuietProblems(true);
        m_window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void TearDown() override {
        // The window goes as a closed one would: its journal with it.
        if (m_window) m_window->Document().CloseJournal();
        m_window.reset();
    }

    corvane_studio::Viewport& View() { return m_window->View(); }
    tarnix::SubdivisionLevel& Level() { return m_window->Document().Sculpture().Level(); }
    std::vector<tarnix::Vector> Positions() { return PositionsOf(Level()); }
    bool Is(const std::vector<tarnix::Vector>& positions) { return SameBits(Positions(), positions); }
    // `tool`, at `strength` and at `size` pixels when they are given.
    void Pick(const char* tool, int strength = 0, int size = 0) {
        m_window->PickTool(QString::fromLatin1(tool));
        if (strength) SetSlider("brushStrength", strength);
        if (size) SetSlider("brushSize", size);
    }
    QString Temp(const char* name) { return m_folder.filePath(QString::fromLatin1(name)); }
    // `mesh` written as the OBJ file `name`, opened and seen from the front.
    QString OpenObj(const tarnix::Mesh& mesh, const char* name) {
        const QString path = Temp(name);
        WriteObj(mesh, path);
        EXPECT_TRUE(m_window->OpenFile(path)) << m_window->LastProblem().toStdString();
        FromTheFront();
        return path;
    }
    void FromTheFront() {
        View().SetView(corvane_studio::OrbitCamera::View::kFront);
        View().FrameMesh();
        QApplication::processEvents();
    }

    // A flat open plane facing the camera (z = 0 seen from +z), subdivided by New.
    void NewPlane() {
        ASSERT_TRUE(m_window->NewShape(QStringLiteral("plane")));
        FromTheFront();
        // A gentle strength: the ridge stays low beside the brush's radius.
        SetSlider("brushStrength", 2);
    }

    void SetSlider(const char* name, int value) { Find<QSlider>(name)->setValue(value); }
    template <typename Widget>
    Widget* Find(const char* name) {
        return m_window->findChild<Widget*>(QString::fromLatin1(name));
    }
    // Types `value` into the spin box called `name` as a person does: select, type, Enter.
    void Type(const char* name, int value) {
        auto* box = Find<QAbstractSpinBox>(name);
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, QString::number(value));
        QTest::keyClick(box, Qt::Key_Return);
    }
    void MovePointer(const QPointF& at, Qt::MouseButtons held = Qt::NoButton,
                     Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent move(QEvent::MouseMove, at, View().mapToGlobal(at.toPoint()), Qt::NoButton, held, modifiers);
        QApplication::sendEvent(&View(), &move);
    }
    QAction& Action(const char* name) { return *m_window->findChild<QAction*>(QString::fromLatin1(name)); }
    void PressShortcut(Qt::Key key) {
        for (QAction* action : m_window->findChildren<QAction*>())
            if (action->shortcut() == QKeySequence(key)) action->trigger();
    }
    // The layer table's first row's editor of type Widget (strength spin box, lock box).
    template <typename Widget>
    Widget* LayerRow() {
        return Find<QWidget>("layers")->findChild<Widget*>();
    }

    QPointF PixelOf(const tarnix::Vector& world) {
        const QSize size = View().size();
        const QVector3D clip =
            (View().Camera().Projection(size) * View().Camera().ViewMatrix()).map(QVector3D(world.x, world.y, world.z));
        return {(clip.x() + 1.0) * 0.5 * size.width(), (1.0 - clip.y()) * 0.5 * size.height()};
    }

    // A left-button drag from `from` to `to` (world points on the surface) in small steps.
    void Drag(const tarnix::Vector& from, const tarnix::Vector& to, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        const QPointF start = PixelOf(from), end = PixelOf(to);
        QTest::mousePress(&View(), Qt::LeftButton, modifiers, start.toPoint());
        for (int step = 1; step <= 30; ++step)
            MovePointer(start + (end - start) * (step / 30.0), Qt::LeftButton, modifiers);
        QTest::mouseRelease(&View(), Qt::LeftButton, modifiers, end.toPoint());
        QApplication::processEvents();
    }

    // The lowest and highest z (0 at least, at most) of the vertices within `radius` of the line
    // y = `y`, |x| < `halfWidth`.
    std::pair<float, float> HeightsNear(float y, float radius, float halfWidth = 1e9f) {
        float lowest = 0.0f, highest = 0.0f;
        for (uint32_t v = 0; v < Level().VertexCount(); ++v) {
            const tarnix::Vector p = Level().VertexPosition(v);
            if (std::abs(p.y - y) < radius && std::abs(p.x) < halfWidth) {
                lowest = std::min(lowest, p.z);
                highest = std::max(highest, p.z);
            }
        }
        return {lowest, highest};
    }

    static std::unique_ptr<corvane_apps::BrushHost> s_host;
    std::unique_ptr<MainWindow> m_window;
    QTemporaryDir m_folder;
};

// Keeps the tools' presets as they were before a test that changes them.
struct PresetsKept {
    PresetsKept(MainWindow& window) : m_window(window) {}
    ~PresetsKept() {
        m_window.PickTool(QStringLiteral("Smooth"));
        tarnix::BrushOperation::RestorePresetRecords(m_records);
        m_window.PickTool(QStringLiteral("Sculpt"));
    }
    MainWindow& m_window;
    const tarnix::BrushOperation::PresetRecords m_records = tarnix::BrushOperation::SavedPresetRecords();
};

// Pixels that differ between two pictures of a size.
int Differing(const QImage& a, const QImage& b) {
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}

std::unique_ptr<corvane_apps::BrushHost> Studio::s_host;

TEST_F(Studio, DragsSculptInvertAndSmoothAndTheHistoryBringsBackEveryBit) {
    NewPlane();
    corvane_studio::StudioDocument& document = m_window->Document();
    // A narrow brush at the preset's first strength: a ridge a few vertices wide, which a
    // smoothing stroke visibly lowers.
    Pick("Sculpt", 15, 12);
    const std::vector<tarnix::Vector> flat = Positions();

    Drag({-0.6f, 0.3f, 0}, {0.6f, 0.3f, 0});
    const std::vector<tarnix::Vector> raised = Positions();
    EXPECT_GT(HeightsNear(0.3f, 0.05f, 0.4f).second, 1e-4f) << "the path rises towards the viewer";
    // The brush covers tens of pixels; the plane's far half lies well outside it.
    size_t farMoved = 0;
    for (size_t v = 0; v < raised.size(); ++v) farMoved += flat[v].y < -0.5f && !(raised[v] == flat[v]);
    EXPECT_EQ(farMoved, 0u);
    EXPECT_EQ(document.History().size(), 1);
    EXPECT_TRUE(m_window->isWindowModified());

    // Ctrl lowers, along another line.
    Drag({-0.6f, -0.2f, 0}, {0.6f, -0.2f, 0}, Qt::ControlModifier);
    EXPECT_LT(HeightsNear(-0.2f, 0.05f).first, -1e-4f);

    // Shift smooths the ridge down as the Smooth tool does at the studio's smoothing strength
    // (100, where the Smooth tool starts), whatever the strength of the tool in hand.
    SetSlider("brushSize", 40);
    const float ridge = HeightsNear(0.3f, 0.05f, 0.5f).second, middle = HeightsNear(0.3f, 0.05f, 0.2f).second;
    Drag({-0.5f, 0.3f, ridge}, {0.5f, 0.3f, ridge}, Qt::ShiftModifier);
    const std::vector<tarnix::Vector> shifted = Positions();
    EXPECT_LT(HeightsNear(0.3f, 0.05f, 0.2f).second, middle * 0.8f);
    Action("undo").trigger();
    Pick("Smooth", 100);
    Drag({-0.5f, 0.3f, ridge}, {0.5f, 0.3f, ridge});
    // The same stroke, but for the rounding of casts into a spatial index refitted after the
    // undo.
    const std::vector<tarnix::Vector> smoothed = Positions();
    for (size_t v = 0; v < smoothed.size(); ++v) ASSERT_LT((smoothed[v] - shifted[v]).Length(), 1e-5f) << v;
    ASSERT_EQ(document.History().size(), 3);

    // Undo through the Edit menu, then a click on "Start" in the history list and its keys:
    // the mesh follows the highlight either way.
    for (int i = 0; i < 2; ++i) Action("undo").trigger();
    EXPECT_EQ(document.HistoryPosition(), 1);
    auto* history = Find<QListWidget>("history");
    QTest::mouseClick(history->viewport(), Qt::LeftButton, Qt::NoModifier,
                      history->visualItemRect(history->item(0)).center());
    EXPECT_TRUE(Is(flat));
    EXPECT_FALSE(m_window->isWindowModified());
    QTest::keyClick(history, Qt::Key_Down);
    EXPECT_EQ(document.HistoryPosition(), 1);
    EXPECT_TRUE(Is(raised));
    QTest::keyClick(history, Qt::Key_End);
    EXPECT_TRUE(Is(smoothed));
    QTest::keyClick(history, Qt::Key_Home);
    EXPECT_EQ(history->currentRow(), 0);
    EXPECT_TRUE(Is(flat)) << "what is saved now is what the highlight shows";
    Action("redo").trigger();
    EXPECT_TRUE(Is(raised));
}

TEST_F(Studio, EveryToolStartsWithItsOwnStrengthScale) {
    // Smear used for the first time, once straight away and once after Pinch (which scales
    // its strength by a hundredth): the same stroke, to the bit.
    const auto smear = [this](const char* before) {
        NewPlane();
        tarnix::BrushOperation::RestorePresetRecords({});
        if (before) m_window->PickTool(QString::fromLatin1(before));
        Pick("Smear", 40);
        Drag({-0.5f, 0.1f, 0}, {0.5f, -0.1f, 0});
        return Positions();
    };
    const tarnix::BrushOperation::PresetRecords records = tarnix::BrushOperation::SavedPresetRecords();
    const std::vector<tarnix::Vector> fresh = smear(nullptr), afterPinch = smear("Pinch");
    tarnix::BrushOperation::RestorePresetRecords(records);
    NewPlane();
    EXPECT_FALSE(SameBits(fresh, Positions())) << "the stroke moves the surface";
    EXPECT_TRUE(SameBits(fresh, afterPinch));
}

TEST_F(Studio, AFastStrokeKeepsItsCornersAndReachesWhereTheButtonWasLetGo) {
    NewPlane();
    Pick("Sculpt", 15, 10);
    const std::vector<tarnix::Vector> flat = Positions();
    // A zigzag of ten segments, the pointer reported once per corner and all of it moved
    // before the program looks: as fast as a hand can draw it. The moves go through the
    // window system, which may merge them.
    std::vector<tarnix::Vector> corners;
    for (int i = 0; i <= 10; ++i) corners.push_back({-0.6f + 0.12f * float(i), i % 2 ? 0.25f : -0.25f, 0});
    QTest::mousePress(&View(), Qt::LeftButton, Qt::NoModifier, PixelOf(corners[0]).toPoint());
    for (size_t i = 1; i < corners.size(); ++i) QCursor::setPos(View().mapToGlobal(PixelOf(corners[i]).toPoint()));
    QApplication::processEvents();
    QTest::mouseRelease(&View(), Qt::LeftButton, Qt::NoModifier, PixelOf(corners.back()).toPoint());
    QApplication::processEvents();

    // Near every corner, the last one too, the surface rose as high as anywhere along the way.
    float highest = 0.0f;
    std::vector<float> atCorner(corners.size(), 0.0f);
    for (uint32_t v = 0; v < Level().VertexCount(); ++v) {
        const float lift = Level().VertexPosition(v).z - flat[v].z;
        highest = std::max(highest, lift);
        for (size_t i = 0; i < corners.size(); ++i)
            if ((flat[v] - corners[i]).Length() < 0.03f) atCorner[i] = std::max(atCorner[i], lift);
    }
    ASSERT_GT(highest, 0.0f);
    for (size_t i = 0; i < corners.size(); ++i) EXPECT_GT(atCorner[i], 0.7f * highest) << "corner " << i;
}

TEST_F(Studio, ThePaletteActivatesPresetsAndThePanelNamesEverySettingAndReachesTheBrush) {
    NewPlane();
    tarnix::BrushOperation& brush = s_host->Brush();
    // The tools keep what this test sets; the tests after it find them as they were.
    const PresetsKept kept(*m_window);
    auto* flatten = Find<QToolButton>("tool:Flatten");
    ASSERT_NE(flatten, nullptr);
    EXPECT_EQ(flatten->toolTip(), s_host->Tool(QStringLiteral("Flatten"))->ToolTip());
    // The Sculpt tip names the studio's invert key in place of the placeholder.
    const QString sculptTip = Find<QToolButton>("tool:Sculpt")->toolTip();
    EXPECT_TRUE(sculptTip.contains(QLatin1String("<b>Ctrl</b>"))) << sculptTip.toStdString();
    EXPECT_FALSE(sculptTip.contains(QLatin1String("${SHORTCUT")));

    QTest::mouseClick(flatten, Qt::LeftButton);
    ASSERT_EQ(brush.ActiveConfiguration()->Name(), QStringLiteral("Flatten"));
    // A plane tool shows its plane switches; the panel offers them and a click reaches the brush.
    auto* global = Find<QCheckBox>("attribute:globalplane");
    ASSERT_NE(global, nullptr);
    const bool before = brush.FindAttribute(QStringLiteral("globalplane"))->ToText() == QLatin1String("true");
    global->click();
    EXPECT_EQ(brush.FindAttribute(QStringLiteral("globalplane"))->ToText() == QLatin1String("true"), !before);

    QTest::mouseClick(Find<QToolButton>("tool:Relax"), Qt::LeftButton);
    ASSERT_EQ(brush.ActiveConfiguration()->Name(), QStringLiteral("Relax"));
    QApplication::processEvents();
    EXPECT_FALSE(m_window->Attributes().ShownKeys().contains(QStringLiteral("globalplane")));
    EXPECT_TRUE(m_window->Attributes().ShownKeys().contains(QStringLiteral("lockborders")));

    Find<QToolButton>("advancedFold")->click();
    // Every setting of every tool named in words, with tips, in sight.
    auto* scroll = Find<QScrollArea>("brushScroll");
    ASSERT_NE(scroll, nullptr);
    // Seen whole once scrolled to: neither squeezed (over the next row) nor cut off at the dock's
    // bottom or right.
    const auto inSight = [scroll](QWidget* widget) {
        if (widget->height() < widget->minimumSizeHint().height()) return false;
        QScrollBar* bar = scroll->verticalScrollBar();
        const int top = widget->mapTo(scroll->widget(), QPoint()).y();
        bar->setValue(std::min(top, std::max(bar->value(), top + widget->height() - scroll->viewport()->height())));
        const QRect area(widget->mapTo(scroll->viewport(), QPoint()), widget->size());
        return scroll->viewport()->rect().contains(area);
    };
    // Choices named in words, not numbers.
    const auto byName = [](const QComboBox* choices, const std::string& where) {
        for (int i = 0; i < choices->count(); ++i)
            EXPECT_FALSE(choices->itemText(i).contains(QRegularExpression(QStringLiteral("[0-9]"))))
                << where << ": " << choices->itemText(i).toStdString();
    };
    // Every tool with the Advanced fold open (as it stays), then closed.
    int most = 0;
    for (const bool open : {true, false}) {
        if (!open) Find<QToolButton>("advancedFold")->click();
        for (const tarnix::BrushConfiguration* tool : s_host->Tools()) {
            m_window->PickTool(tool->Name());
            QApplication::processEvents();
            const QStringList keys = m_window->Attributes().ShownKeys();
            ASSERT_FALSE(keys.isEmpty()) << tool->Name().toStdString();
            int shown = 0;
            for (const QString& key : keys) {
                const std::string where = tool->Name().toStdString() + " " + key.toStdString();
                const corvane_studio::AttributeWords* words = corvane_studio::WordsFor(key);
                EXPECT_NE(words, nullptr) << where << ": a setting the studio has no words for";
                auto* editor = m_window->Attributes().findChild<QWidget*>(QStringLiteral("attribute:") + key);
                ASSERT_NE(editor, nullptr) << where;
                const bool advanced = !words || words->advanced;
                EXPECT_EQ(editor->isVisibleTo(m_window.get()), !advanced || open) << where;
                if (!editor->isVisibleTo(m_window.get())) continue;
                const QLabel* label = LabelOf(editor);
                ASSERT_NE(label, nullptr) << where;
                if (words) {
                    EXPECT_EQ(label->text(), words->label) << where;
                }
                EXPECT_FALSE(editor->toolTip().isEmpty()) << where;
                EXPECT_FALSE(label->toolTip().isEmpty()) << where;
                if (auto* choices = qobject_cast<QComboBox*>(editor)) byName(choices, where);
                EXPECT_TRUE(inSight(editor)) << where;
                ++shown;
            }
            most = std::max(most, shown);
        }
    }
    EXPECT_GT(most, 8) << "a tool shows more rows than the dock holds, which it scrolls to";

    // Numbers with units; choices by name.
    Pick("Sculpt");
    EXPECT_TRUE(Find<QDoubleSpinBox>("attribute:dabspacing")->suffix().contains(QLatin1Char('%')));
    auto* direction = Find<QComboBox>("direction");
    EXPECT_EQ(direction->count(), 12);  // the thirteen modes, the two that move alike once
    byName(direction, "direction");
    for (int i = 0; i < direction->count(); ++i)
        EXPECT_FALSE(direction->itemData(i, Qt::ToolTipRole).toString().isEmpty());
    direction->setCurrentIndex(direction->findText(QStringLiteral("Along the stroke")));
    EXPECT_EQ(brush.Direction(), 3);
    auto* kind = Find<QComboBox>("falloffKind");
    ASSERT_EQ(kind->count(), 3);
    EXPECT_EQ(kind->itemText(1), QStringLiteral("Geodesic"));
    kind->setCurrentIndex(1);
    EXPECT_EQ(brush.GetFalloffType(), tarnix::BrushOperation::kFalloffGeodesic);
    EXPECT_EQ(brush.m_distanceModeAttr.Value(), 1) << "a geodesic falloff measures along the surface";
    EXPECT_EQ(Find<QComboBox>("falloff")->currentData().toInt(), brush.FalloffIndex());

    // Size and Strength show their values and take typed ones.
    Type("brushStrengthValue", 42);
    EXPECT_EQ(Find<QSlider>("brushStrength")->value(), 42);
    EXPECT_FLOAT_EQ(brush.BrushStrength(), 42.0f);
    Type("brushSizeValue", 120);
    EXPECT_EQ(View().BrushPixels(), 120);
    EXPECT_EQ(Find<QSlider>("brushSize")->value(), 120);
    SetSlider("brushSize", 60);
    EXPECT_EQ(Find<QSpinBox>("brushSizeValue")->value(), 60);

    // The freeze brush's own settings, not the tool's.
    QTest::mouseClick(Find<QToolButton>("tool:Freeze"), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(m_window->Attributes().ShownKeys().isEmpty());
    EXPECT_TRUE(Find<QLabel>("freezeSettings")->isVisibleTo(m_window.get()));
    EXPECT_FALSE(direction->isEnabled());
    Type("brushStrengthValue", 80);
    EXPECT_FLOAT_EQ(m_window->Document().FreezeStrength(), 80.0f);
    EXPECT_FLOAT_EQ(brush.BrushStrength(), 42.0f);

    // Preferences: the module's are developer settings, shown in test mode only; outside it
    // the dialog says so, and how to see them.
    for (const bool testMode : {false, true}) {
        tarnix::Kernel::SetTestMode(testMode);
        tarnix::Preferences::ApplyTestModeVisibility();
        corvane_studio::PreferencesDialog dialog(m_window.get());
        const auto* note = dialog.findChild<QLabel*>(QStringLiteral("preferencesNote"));
        const auto* render = dialog.findChild<QCheckBox*>(QStringLiteral("preference:Render Corvane"));
        ASSERT_EQ(note == nullptr, testMode);
        if (testMode) {
            ASSERT_NE(render, nullptr);
            EXPECT_FALSE(render->toolTip().isEmpty());
        } else {
            EXPECT_TRUE(note->text().contains(QLatin1String("Render Corvane")) &&
                        note->text().contains(QLatin1String("--test-mode")))
                << note->text().toStdString();
        }
    }
    tarnix::Kernel::SetTestMode(false);
    tarnix::Preferences::ApplyTestModeVisibility();
}

TEST_F(Studio, TheStatusBarTellsWhatRanTheVerticesItMovedAndTheBrushsTime) {
    // A triangle mesh: the brush sculpts it vertex by vertex.
    OpenObj(*shapes::Subdivided(shapes::Triangulated(shapes::Plane(24, 24)), 0)->LowestLevel(), "triangles.obj");
    Pick("Sculpt", 15, 60);
    const auto* status = Find<QLabel>("strokeStatus");
    const QRegularExpression figures(
        QStringLiteral("^(\\w+): ([0-9,.]+) dabs, ([0-9,.]+) vertices moved, brush ([0-9.]+) ms a dab$"));
    // A plain stroke, then a smoothing one with Shift: the status bar and the history both name what ran.
    const std::pair<Qt::KeyboardModifiers, const char*> strokes[] = {{Qt::NoModifier, "Sculpt"},
                                                                     {Qt::ShiftModifier, "Smooth"}};
    for (const auto& [modifiers, ran] : strokes) {
        const std::vector<tarnix::Vector> before = Positions();
        Drag({6, 12, 0}, {18, 12, 0}, modifiers);
        const QRegularExpressionMatch match = figures.match(status->text());
        ASSERT_TRUE(match.hasMatch()) << status->text().toStdString();
        EXPECT_EQ(match.captured(1), QLatin1String(ran));
        EXPECT_GT(QLocale().toInt(match.captured(2)), 1);
        uint64_t moved = 0;
        for (size_t v = 0; v < before.size(); ++v) moved += !(Level().VertexPosition(uint32_t(v)) == before[v]);
        ASSERT_GT(moved, 10u) << ran;
        EXPECT_EQ(match.captured(3), QLocale().toString(qulonglong(moved)));
        EXPECT_GT(match.captured(4).toDouble(), 0.0);
        EXPECT_EQ(m_window->Document().History().back(), QLatin1String(ran));
    }
    EXPECT_TRUE(Find<QLabel>("frameStatus")->text().contains(QLatin1String(" ms")));

    // The tool's Invert setting lowers as Ctrl does, and Ctrl then raises.
    auto* invert = Find<QCheckBox>("attribute:invert");
    ASSERT_NE(invert, nullptr);
    invert->click();
    Drag({6, 5, 0}, {18, 5, 0});
    EXPECT_LT(HeightsNear(5, 0.6f).first, -1e-3f);
    Drag({6, 19, 0}, {18, 19, 0}, Qt::ControlModifier);
    EXPECT_GT(HeightsNear(19, 0.6f).second, 1e-3f);
    invert->click();
}

TEST_F(Studio, ShippedStampsShowTheBuildsPicturesAndOnesOwnIsShownChosenAndAMissingOneChangesNothing) {
    // The shipped stamps show the pictures the build made of them, the same as it would make.
    for (const QString& stamp : corvane_apps::ShippedStamps()) {
        const QImage prebuilt(corvane_apps::PrebuiltThumbnail(stamp));
        const corvane_apps::Picture made = corvane_apps::StampThumbnail(stamp, corvane_apps::kPrebuiltThumbnailSide);
        EXPECT_EQ(prebuilt.convertToFormat(QImage::Format_RGB888),
                  QImage(made.rgb.data(), made.width, made.height, made.width * 3, QImage::Format_RGB888))
            << stamp.toStdString();
        const QList<QListWidgetItem*> items =
            Find<QListWidget>("stamps")->findItems(QFileInfo(stamp).completeBaseName(), Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << stamp.toStdString();
        EXPECT_EQ(items.front()->icon().actualSize(QSize(64, 64)), QSize(48, 48)) << stamp.toStdString();
    }
    const QString own = Temp("my-stamp.tif");
    ASSERT_TRUE(QFile::copy(tarnix::Kernel::ResolveResource(QStringLiteral("Stamps/rubble.tif")), own));
    NewPlane();
    Pick("Sculpt", 15);
    Drag({-0.6f, 0.3f, 0}, {0.6f, 0.3f, 0});
    const std::vector<tarnix::Vector> sculpted = Positions();
    const PresetsKept kept(*m_window);
    ModalAnswerer answerer;
    answerer.answer = [&own](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        ASSERT_NE(files, nullptr);
        files->selectFile(own);
        dialog.accept();
    };
    QTest::mouseClick(Find<QPushButton>("openStamp"), Qt::LeftButton);
    EXPECT_EQ(s_host->Brush().StampConfig().m_imagePath, own);
    const QListWidgetItem* chosen = Find<QListWidget>("stamps")->currentItem();
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(chosen->data(Qt::UserRole).toString(), own);
    EXPECT_TRUE(chosen->isSelected());
    EXPECT_EQ(chosen->text(), QStringLiteral("my-stamp"));
    EXPECT_FALSE(m_window->Document().UseStamp(Temp("no-such-stamp.tif")).isEmpty());
    EXPECT_EQ(s_host->Brush().StampConfig().m_imagePath, own);
    EXPECT_TRUE(Is(sculpted));
}

TEST_F(Studio, EveryMenuActionAndKeyTwiceInARowLeavesAStudioThatStillSculpts) {
    const auto cube = shapes::Subdivided(shapes::Cube(), 3);
    // Each action starts from the same small mesh, just sculpted (and so with unsaved changes).
    const auto sculpted = [&] {
        OpenObj(*cube->HighestLevel(), "work.obj");
        Pick("Sculpt");
        Drag({-0.3f, 0.1f, 1}, {0.3f, -0.1f, 1});
        ASSERT_TRUE(m_window->isWindowModified());
        m_window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    };
    ModalAnswerer answerer;

    // Menus that list files and levels are made anew as those change: actions are found by
    // the titles leading to them, each time.
    const auto menuActions = [this] {
        std::map<QStringList, QAction*> found;
        std::function<void(QAction*, QStringList)> gather = [&](QAction* action, QStringList path) {
            path << action->text();
            if (action->menu()) {
                for (QAction* inner : action->menu()->actions()) gather(inner, path);
            } else if (!action->isSeparator()) {
                found[path] = action;
            }
        };
        for (QAction* top : m_window->menuBar()->actions()) gather(top, {});
        return found;
    };
    sculpted();
    const std::map<QStringList, QAction*> paths = menuActions();
    ASSERT_GT(paths.size(), 20u);
    for (const auto& entry : paths) {
        const QStringList& path = entry.first;
        sculpted();
        // Quit is refused: its prompt is cancelled.
        answerer.refuse = path.back().contains(QLatin1String("Quit"));
        for (int time = 0; time < 2; ++time) {
            const std::map<QStringList, QAction*> now = menuActions();
            const auto action = now.find(path);
            if (action == now.end()) break;  // gone with the list it was in
            action->second->trigger();
            QApplication::processEvents();
            ASSERT_TRUE(m_window->isVisible()) << path.join(QStringLiteral(" > ")).toStdString();
            View().grabFramebuffer();  // a frame drawn after each
        }
    }

    // The documented keys, pressed twice each.
    for (const char* name : {"[", "]", "Ctrl+Z", "Ctrl+Shift+Z", "Ctrl+Y", "F", "1", "3", "7", "W", "Ctrl+D", "PgUp",
                             "PgDown", "Ctrl+N", "Ctrl+O", "Ctrl+S", "Ctrl+Shift+S", "Ctrl+Q"}) {
        const QKeySequence key(QString::fromLatin1(name));
        ASSERT_EQ(key.count(), 1) << name;
        sculpted();
        answerer.refuse = key == QKeySequence::Quit;
        const int pixels = View().BrushPixels();
        for (int time = 0; time < 2; ++time) {
            QTest::keySequence(&View(), key);
            QApplication::processEvents();
            ASSERT_TRUE(m_window->isVisible()) << key.toString().toStdString();
            View().grabFramebuffer();
            if (time == 0 && key == QKeySequence(Qt::Key_W)) {
                EXPECT_TRUE(View().Wireframe()) << "the keys reach the window";
            }
        }
        if (key == QKeySequence(Qt::Key_BracketRight)) {
            EXPECT_GT(View().BrushPixels(), pixels);
        }
    }

    // Still answering: a stroke sculpts and a frame shows the mesh.
    sculpted();
    const std::vector<tarnix::Vector> before = Positions();
    Drag({-0.3f, -0.2f, 1}, {0.3f, 0.2f, 1});
    EXPECT_FALSE(Is(before));
    EXPECT_GT(MeshPixels(View().grabFramebuffer()), 100);
}

TEST_F(Studio, OpenSculptSaveReopenAndBadInputLosesNothing) {
    const QString output = Temp("sculpted.corvane"), exported = Temp("sculpted.ply");
    OpenObj(*shapes::Subdivided(shapes::Plane(8, 8), 4)->HighestLevel(), "grid.obj");  // 16384 quads over [0, 8]^2
    Pick("Sculpt");
    Drag({2, 4, 0}, {6, 4, 0});
    const std::vector<tarnix::Vector> sculpted = Positions();
    ASSERT_TRUE(m_window->SaveTo(output));
    EXPECT_FALSE(m_window->isWindowModified());
    EXPECT_TRUE(m_window->windowTitle().contains(QLatin1String("sculpted.corvane")));
    // Exporting writes the mesh and leaves the document the project it is.
    ASSERT_TRUE(m_window->ExportTo(exported));
    EXPECT_TRUE(m_window->windowTitle().contains(QLatin1String("sculpted.corvane")));

    // What cannot be read is named and leaves the sculpted mesh as it was.
    EXPECT_FALSE(m_window->OpenFile(Temp("missing.obj")));
    EXPECT_TRUE(m_window->LastProblem().contains(QLatin1String("missing.obj")))
        << m_window->LastProblem().toStdString();
    QFile garbage(Temp("garbage.obj"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("v 0 0 0\nv 1 0 0\nf 1 2 7\n");
    garbage.close();
    EXPECT_FALSE(m_window->OpenFile(garbage.fileName()));
    EXPECT_FALSE(m_window->LastProblem().isEmpty());
    EXPECT_TRUE(Is(sculpted));

    // The project comes back bit for bit; the exported mesh as its format keeps numbers.
    ASSERT_TRUE(m_window->OpenFile(output));
    EXPECT_TRUE(Is(sculpted));
    EXPECT_FALSE(m_window->isWindowModified());
    ASSERT_TRUE(m_window->OpenFile(exported));
    const std::vector<tarnix::Vector> reread = Positions();
    ASSERT_EQ(reread.size(), sculpted.size());
    double worst = 0.0;
    for (size_t v = 0; v < reread.size(); ++v) worst = std::max(worst, double((reread[v] - sculpted[v]).Length()));
    EXPECT_LT(worst, 1e-4);
}

TEST_F(Studio, ViewportShowsTheMeshAndSendsOnlyWhatAStrokeChanged) {
    NewPlane();
    Pick("Sculpt");
    const QImage before = View().grabFramebuffer();
    // Background is one flat colour; the shaded plane covers much of the middle.
    const int meshPixels = MeshPixels(before);
    EXPECT_GT(meshPixels, before.width() * before.height() / 16 / 10);

    const uint64_t total = m_window->Document().DrawMesh()->VertexCount();
    QTest::mousePress(&View(), Qt::LeftButton, Qt::NoModifier, PixelOf({-0.3f, 0, 0}).toPoint());
    MovePointer(PixelOf({0.3f, 0, 0}), Qt::LeftButton);
    // The frame drawn during the stroke sends part of the mesh.
    const QImage during = View().grabFramebuffer();
    EXPECT_GT(View().LastUploadedVertices(), 0u);
    EXPECT_LT(View().LastUploadedVertices(), total / 2);
    QTest::mouseRelease(&View(), Qt::LeftButton, Qt::NoModifier, PixelOf({0.3f, 0, 0}).toPoint());
    const QImage after = View().grabFramebuffer();
    EXPECT_GT(Differing(after, before), 200);
    // The wireframe's edges go to the card when it is shown and away when it is not: the
    // picture gains lines, then is the shaded one again.
    View().SetWireframe(true);
    const QImage wire = View().grabFramebuffer();
    EXPECT_GT(Differing(wire, after), meshPixels);
    View().SetWireframe(false);
    EXPECT_EQ(View().grabFramebuffer(), after);

    // The brush circle stays in sight off the mesh and larger than it.
    // Off the mesh, the circle is drawn around the pointer at the brush's size on screen.
    Type("brushSizeValue", 50);
    const QPointF corner(70, 70);
    MovePointer(corner);
    QImage frame = View().grabFramebuffer();
    const double scale = double(frame.width()) / View().width();
    EXPECT_GT(CursorPixels(frame), 100);
    // It passes the brush's radius right of the pointer.
    const QImage right = frame.copy(QRect(int((corner.x() + 50) * scale) - 2, int(corner.y() * scale) - 2, 5, 5));
    EXPECT_GT(CursorPixels(right), 0);
    // Over the mesh with a brush far larger than it, seen at a slant: the circle, tilted
    // towards the eye, reaches past the planes that hug the mesh.
    Type("brushSizeValue", 600);
    View().Camera().Orbit({0, 180});
    MovePointer(PixelOf({0, 0, 0}));
    frame = View().grabFramebuffer();
    EXPECT_GT(CursorPixels(frame), 800);
}

TEST_F(Studio, GrabPullsWhatItTookHoldOfAlongWithThePointerPastTheOutline) {
    NewPlane();
    const PresetsKept kept(*m_window);
    Pick("Grab", 100);
    EXPECT_EQ(m_window->Document().ActiveTool(), QStringLiteral("Grab"));
    const std::vector<tarnix::Vector> before = Positions();
    uint32_t held = 0;
    for (uint32_t v = 0; v < before.size(); ++v)
        if ((before[v] - tarnix::Vector(0.7f, 0, 0)).Length() < (before[held] - tarnix::Vector(0.7f, 0, 0)).Length())
            held = v;
    // The plane ends at x = 1: the pointer goes on beyond it, over nothing, and the region with it.
    Drag({0.7f, 0, 0}, {1.5f, 0, 0});
    const std::vector<tarnix::Vector> after = Positions();
    EXPECT_NEAR(after[held].x - before[held].x, 0.8, 0.03) << "by the pointer's travel, to the pixel";
    EXPECT_EQ(after[held].z, before[held].z) << "in the view plane";
    Action("undo").trigger();
    EXPECT_TRUE(Is(before));

    if (const QByteArray path = qgetenv("CORVANE_STUDIO_GRAB_SCREENSHOT"); !path.isEmpty()) {
        // Not a check: a picture of a grabbed form, an ear pulled out of a ball, from in front.
        ASSERT_TRUE(m_window->NewShape(QStringLiteral("sphere")));
        FromTheFront();
        Pick("Grab", 100, 60);
        Drag({0.45f, 0.6f, 0.66f}, {0.9f, 1.05f, 0.66f});
        Pick("Snake Hook", 100, 25);
        Drag({-0.5f, 0.5f, 0.7f}, {-1.1f, 1.2f, 0.7f});
        QApplication::processEvents();
        m_window->grab().save(QString::fromLocal8Bit(path));
    }
}

// Everything a session does, as the journal holds it, played again from the start.
std::vector<std::vector<tarnix::Vector>> EveryLevel(const corvane_apps::Sculpture& sculpture) {
    std::vector<std::vector<tarnix::Vector>> levels;
    for (uint32_t i = 0; i < sculpture.Geometry().LevelCount(); ++i)
        levels.push_back(PositionsOf(*sculpture.Geometry().Level(i)));
    return levels;
}

// Freeze, layer and lower-level changes are one undoable step each, and the journal plays every
// change back to the bit.
TEST_F(Studio, EveryChangeIsOneUndoableStepAndTheJournalPlaysItBack) {
    NewPlane();
    corvane_studio::StudioDocument& document = m_window->Document();
    ASSERT_NE(document.CurrentJournal(), nullptr);
    QAction& undo = Action("undo");
    Pick("Sculpt", 30);
    Drag({-0.6f, 0.3f, 0}, {0.6f, 0.35f, 0});
    // A layer from its button, renamed in its table, sculpted, then weakened from its spin box.
    for (QPushButton* button : m_window->findChildren<QPushButton*>())
        if (button->text() == QLatin1String("Add layer")) QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_EQ(Level().LayerCount(), 1u);
    Find<QTableWidget>("layers")->item(0, 0)->setText(QStringLiteral("Ridge"));
    Drag({-0.6f, -0.3f, 0}, {0.5f, -0.2f, 0}, Qt::ControlModifier);
    const std::vector<tarnix::Vector> layered = Positions();
    LayerRow<QDoubleSpinBox>()->setValue(0.5);
    EXPECT_FALSE(Is(layered));
    ASSERT_EQ(document.History().size(), 3);
    // A stroke into the layer locked moves nothing and leaves no step: the undo after it takes
    // back the strength, in the studio as in the journal.
    LayerRow<QCheckBox>()->setChecked(true);
    Drag({-0.6f, -0.3f, 0}, {0.5f, -0.2f, 0});
    EXPECT_EQ(document.History().size(), 3);
    const QString said = Find<QLabel>("strokeStatus")->text();
    EXPECT_TRUE(said.contains(QLatin1String("locked"))) << said.toStdString();
    undo.trigger();
    EXPECT_TRUE(Is(layered));
    EXPECT_FLOAT_EQ(Level().Layer(0)->Strength(), 1.0f);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the panel's old rows
    EXPECT_DOUBLE_EQ(LayerRow<QDoubleSpinBox>()->value(), 1.0) << "the panel shows the strength undo gave back";
    LayerRow<QCheckBox>()->setChecked(false);
    // Back to the base, a freeze drag (one step; undo thaws exactly what it froze) taken back,
    // a Pinch over the undone freeze.
    Find<QComboBox>("activeLayer")->setCurrentIndex(0);
    QTest::mouseClick(Find<QToolButton>("tool:Freeze"), Qt::LeftButton);
    Drag({-0.6f, 0.0f, 0}, {0.6f, 0.0f, 0});
    const uint32_t frozen = Level().FrozenVertexCount();
    EXPECT_GT(frozen, 0u);
    ASSERT_EQ(document.History().size(), 3);
    undo.trigger();
    EXPECT_EQ(Level().FrozenVertexCount(), 0u);
    Action("redo").trigger();
    EXPECT_EQ(Level().FrozenVertexCount(), frozen);
    undo.trigger();
    Pick("Pinch");
    Drag({0.0f, -0.6f, 0}, {0.0f, 0.6f, 0});
    // A smoothing stroke with Shift; one level down, a stroke that carries up to the level above
    // and that undo takes back from both; back up, and a freeze kept.
    Drag({-0.5f, 0.3f, 0}, {0.5f, 0.3f, 0}, Qt::ShiftModifier);
    const tarnix::SubdivisionLevel& top = *document.Sculpture().Geometry().HighestLevel();
    ASSERT_GE(document.Sculpture().LevelCount(), 2u);
    const std::vector<tarnix::Vector> topBefore = PositionsOf(top);
    PressShortcut(Qt::Key_PageDown);
    ASSERT_EQ(Level().Index() + 2, document.Sculpture().LevelCount());
    Pick("Bulge");
    Drag({-0.3f, 0.1f, 0}, {0.3f, 0.1f, 0});
    float raised = 0.0f;
    for (uint32_t v = 0; v < top.VertexCount(); ++v)
        if (std::abs(topBefore[v].y - 0.1f) < 0.05f && std::abs(topBefore[v].x) < 0.2f)
            raised = std::max(raised, top.VertexPosition(v).z - topBefore[v].z);
    EXPECT_GT(raised, 1e-4f) << "the level above follows the stroke";
    undo.trigger();
    EXPECT_TRUE(SameBits(PositionsOf(top), topBefore));
    Action("redo").trigger();
    PressShortcut(Qt::Key_PageUp);
    Pick("Freeze");
    Drag({-0.6f, -0.5f, 0}, {0.6f, -0.5f, 0});
    document.InvertFreeze();

    // What a studio killed now would leave: the journal as it stands on disk.
    QTemporaryDir folder;
    const QString copy = folder.filePath(QStringLiteral("copy.journal"));
    ASSERT_TRUE(QFile::copy(document.CurrentJournal()->Path(), copy));
    corvane_studio::StudioDocument::Loaded recovered = corvane_studio::StudioDocument::Recover(*s_host, copy);
    const corvane_apps::Sculpture& again = *recovered.sculpture;
    const corvane_apps::Sculpture& live = document.Sculpture();
    const auto liveLevels = EveryLevel(live), againLevels = EveryLevel(again);
    ASSERT_EQ(againLevels.size(), liveLevels.size());
    for (size_t i = 0; i < liveLevels.size(); ++i)
        EXPECT_TRUE(SameBits(againLevels[i], liveLevels[i])) << "level " << i;
    EXPECT_EQ(again.Level().Index(), live.Level().Index());
    EXPECT_EQ(again.Level().FrozenVertexCount(), live.Level().FrozenVertexCount());
    EXPECT_EQ(again.UndoCount(), live.UndoCount());
    EXPECT_EQ(again.RedoCount(), live.RedoCount());
    EXPECT_EQ(corvane_studio::StudioDocument::NamesOf(recovered.changes), document.History());
    EXPECT_EQ(int(recovered.changesDone), document.HistoryPosition());
    ASSERT_EQ(again.Level().LayerCount(), 1u);
    EXPECT_EQ(again.LayerName(0), QStringLiteral("Ridge"));
    EXPECT_FLOAT_EQ(again.Level().Layer(0)->Strength(), 1.0f);
    EXPECT_FALSE(again.Level().Layer(0)->IsLocked());
    EXPECT_EQ(again.Level().ActiveLayer(), nullptr);
    corvane_apps::DrawMesh::Detach(recovered.drawMesh);
}

// A studio killed mid-work leaves its journal; the next one finds it, plays it and goes on
// writing it. The child studio runs in a recovery folder of its own, shared with this test.
TEST_F(Studio, AStudioKilledMidWorkLeavesItToRecover) {
    const QByteArray before = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", m_folder.path().toLocal8Bit());
    const QString mesh = Temp("grid.obj");
    WriteObj(*shapes::Subdivided(shapes::Plane(8, 8), 3)->HighestLevel(), mesh);
    QProcess studio;
    studio.start(QStringLiteral(CORVANE_STUDIO), {mesh, QStringLiteral("--plugins"), QStringLiteral(CORVANE_PLUGINS)});
    ASSERT_TRUE(studio.waitForStarted());
    // xdotool with `command`, its words apart.
    const auto xdotool = [](const QString& command) {
        QProcess tool;
        tool.start(QStringLiteral(XDOTOOL), command.split(QLatin1Char(' ')));
        tool.waitForFinished(60000);
        return QString::fromLatin1(tool.readAllStandardOutput()).trimmed();
    };
    // Searched for again until it shows: a search stops on an X error when a window it looks
    // at goes away meanwhile, as the windows Qt makes and drops while it starts do.
    QString window;
    for (QElapsedTimer waited; window.isEmpty() && waited.elapsed() < 60000; QTest::qWait(200))
        window = xdotool(QStringLiteral("search --onlyvisible --name grid.obj")).section(QLatin1Char('\n'), 0, 0);
    ASSERT_FALSE(window.isEmpty()) << "the studio's window did not show";
    QTest::qWait(1000);  // its first frame
    // The viewport lies between the docks; the plane fills its middle, seen from the front.
    const QString geometry = xdotool(QStringLiteral("getwindowgeometry --shell ") + window);
    const auto field = [&](const char* name) {
        return geometry.section(QLatin1String(name), 1).section(QLatin1Char('\n'), 0, 0).toInt();
    };
    const int x = field("WIDTH=") / 2 - 60, y = field("HEIGHT=") / 2;
    ASSERT_GT(x, 0);
    QString drag = QStringLiteral("mousemove --window %1 %2 %3 mousedown 1").arg(window).arg(x).arg(y);
    for (int step = 1; step <= 10; ++step)
        drag += QStringLiteral(" mousemove --window %1 %2 %3 sleep 0.05").arg(window).arg(x + 8 * step).arg(y);
    xdotool(drag + QStringLiteral(" mouseup 1"));

    const QString journal = mesh + QStringLiteral(".journal");
    const auto lines = [&] {
        QFile file(journal);
        return file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
    };
    const auto steps = [&] { return lines().size() - 2; };
    const auto strokeWritten = [&] {
        for (const QByteArray& line : lines())
            if (line.contains("\"Sculpt\"") && line.contains("\"path\"")) return true;
        return false;
    };
    for (int wait = 0; wait < 100 && !strokeWritten(); ++wait) QTest::qWait(100);
    ASSERT_TRUE(strokeWritten()) << lines().join('\n').toStdString();
    const QString recovery = corvane_studio::StudioDocument::RecoveryFolder();
    EXPECT_TRUE(corvane_apps::Journal::Recoverable(recovery).empty()) << "a running studio's journal is its own";
    studio.kill();
    ASSERT_TRUE(studio.waitForFinished());

    const std::vector<corvane_apps::Journal::Left> left = corvane_apps::Journal::Recoverable(recovery);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].path, journal);
    EXPECT_EQ(left[0].document, mesh);
    ASSERT_TRUE(m_window->RecoverJournal(left[0].path)) << m_window->LastProblem().toStdString();
    EXPECT_TRUE(m_window->isWindowModified());
    EXPECT_TRUE(m_window->windowTitle().contains(QLatin1String("grid.obj")));
    EXPECT_EQ(m_window->Document().History(), QStringList{QStringLiteral("Sculpt")});
    const auto [lowest, highest] = HeightsNear(0, 1e9f);
    EXPECT_GT(std::max(-lowest, highest), 1e-3f) << "the recovered stroke raised the plane";
    // The journal goes on from where it stopped.
    View().FrameMesh();
    QApplication::processEvents();
    const int taken = steps();
    Drag({2, 3, 0}, {6, 3, 0});
    EXPECT_GT(steps(), taken);
    m_window->Document().CloseJournal();
    EXPECT_FALSE(QFile::exists(journal));
    qputenv("XDG_DATA_HOME", before);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no display; running them needs one.
    if (::testing::GTEST_FLAG(list_tests) || qEnvironmentVariableIsEmpty("DISPLAY")) return RUN_ALL_TESTS();
    corvane_studio::Viewport::PrepareOpenGL();
    // The windows' settings, recent files and journals go to a home of the tests' own, where a
    // studio started by a test finds them too.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    // Dialogs are Qt's own, so that tests can answer them.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    QApplication::setApplicationName(QStringLiteral("corvane-studio"));
    return RUN_ALL_TESTS();
}

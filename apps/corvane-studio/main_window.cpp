#include "main_window.h"

#include <functional>
#include <vector>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "attribute_panel.h"
#include "attribute_words.h"
#include "brush_host.h"
#include "builtin_shapes.h"
#include "errors.h"
#include "mesh_files.h"
#include "project_file.h"
#include "stamp_images.h"
#include "tarnix/brush_operation.h"
#include "tarnix/sculpt_layer.h"
#include "tarnix/subdivision_level.h"
#include "viewport.h"

namespace corvane_studio {
namespace {

constexpr int kMostRecentFiles = 8;
constexpr uint64_t kNewShapeFaces = 65536;  // built-in shapes are subdivided to at least this
const char* const kFreezeTool = "Freeze";

// In the order of the mirror configuration's modes.
const char* const kMirrors[] = {"Off",           "Local X",       "Local Y",       "Local Z",
                                "World X",       "World Y",       "World Z",       "Topological",
                                "Local X and Y", "Local X and Z", "Local Y and Z", "Local X, Y and Z",
                                "World X and Y", "World X and Z", "World Y and Z", "World X, Y and Z"};

// Tool tips name keys through placeholders; the studio fills in its own.
QString WithShortcuts(QString text) {
    static const QRegularExpression placeholder(QStringLiteral("\\$\\{SHORTCUT:([^}]*)\\}"));
    QRegularExpressionMatch match;
    while ((match = placeholder.match(text)).hasMatch()) {
        const QString name = match.captured(1);
        const QString key = name.startsWith(QLatin1String("Draw inverse")) ? QStringLiteral("Ctrl") : name;
        text.replace(match.capturedStart(), match.capturedLength(), key);
    }
    return text;
}

// A file dialog's filter for the extensions `formats` ("obj", ...), one entry for all of them first.
QString FormatFilter(const QString& all, const QStringList& formats) {
    QStringList patterns, entries;
    for (const QString& format : formats) {
        patterns << QStringLiteral("*.") + format;
        entries << QStringLiteral("%1 (*.%2)").arg(format.toUpper(), format);
    }
    return QStringLiteral("%1 (%2);;").arg(all, patterns.join(QLatin1Char(' '))) + entries.join(QStringLiteral(";;"));
}

bool IsReadable(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return corvane_apps::IsProjectFile(path) || corvane_apps::MeshFormatsRead().contains(suffix);
}

// A shipped stamp's picture comes from the build (a PNG, which Qt reads), so that the studio
// loads the image codec and its libraries only once a stamp is used.
QIcon StampIcon(const QString& path) {
    const QString prebuilt = corvane_apps::PrebuiltThumbnail(path);
    if (!prebuilt.isEmpty()) return QIcon(prebuilt);
    const corvane_apps::Picture picture = corvane_apps::StampThumbnail(path, corvane_apps::kPrebuiltThumbnailSide);
    const QImage image(picture.rgb.data(), picture.width, picture.height, picture.width * 3, QImage::Format_RGB888);
    return QIcon(QPixmap::fromImage(image.copy()));
}

// A menu entry: its text, what it does, its shortcuts and, for the tests, its object name. An
// entry without an action is a separator.
struct MenuEntry {
    QString text;
    std::function<void()> action;
    QList<QKeySequence> shortcuts = {};
    QString name = {};
};

void AddMenuEntries(QMenu* menu, const std::vector<MenuEntry>& entries) {
    for (const MenuEntry& entry : entries) {
        if (!entry.action) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(entry.text);
        action->setShortcuts(entry.shortcuts);
        if (!entry.name.isEmpty()) action->setObjectName(entry.name);
        QObject::connect(action, &QAction::triggered, menu, entry.action);
    }
}

}  // namespace

MainWindow::MainWindow(corvane_apps::BrushHost& host, QWidget* parent) : QMainWindow(parent), m_document(host, this) {
    setObjectName(QStringLiteral("studio"));
    setAcceptDrops(true);
    m_viewport = new Viewport(m_document, this);
    setCentralWidget(m_viewport);

    const auto dock = [this](const QString& title, const QString& name, QWidget* content, Qt::DockWidgetArea area) {
        auto* widget = new QDockWidget(title, this);
        widget->setObjectName(name);
        widget->setWidget(content);
        addDockWidget(area, widget);
        return widget;
    };
    dock(tr("Tools"), QStringLiteral("toolsDock"), MakeToolPalette(), Qt::LeftDockWidgetArea);
    QDockWidget* brush = dock(tr("Brush"), QStringLiteral("brushDock"), MakeBrushControls(), Qt::RightDockWidgetArea);
    QDockWidget* layers = dock(tr("Layers"), QStringLiteral("layersDock"), MakeLayers(), Qt::RightDockWidgetArea);
    QDockWidget* history = dock(tr("History"), QStringLiteral("historyDock"), MakeHistory(), Qt::RightDockWidgetArea);
    tabifyDockWidget(layers, history);
    layers->raise();
    // The brush's controls are what a sculptor reaches for most; the lists below need less.
    resizeDocks({brush, layers}, {3, 1}, Qt::Vertical);
    MakeMenus();

    m_countsLabel = new QLabel(this);
    m_strokeLabel = new QLabel(this);
    m_strokeLabel->setObjectName(QStringLiteral("strokeStatus"));
    m_strokeLabel->setToolTip(
        tr("The last stroke: the tool that ran, its dabs (mirrored ones included), the vertices "
           "it moved, and the time the brush itself took per dab"));
    m_frameLabel = new QLabel(this);
    m_frameLabel->setObjectName(QStringLiteral("frameStatus"));
    m_frameLabel->setToolTip(tr("The time the last frame of the view took to draw"));
    // The stroke's line takes the room left and gives way to passing messages; the counts and
    // the frame time stay.
    m_strokeLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->addWidget(m_strokeLabel, 1);
    statusBar()->addPermanentWidget(m_countsLabel);
    statusBar()->addPermanentWidget(m_frameLabel);

    connect(&m_document, &StudioDocument::ModifiedChanged, this, &MainWindow::RefreshTitle);
    connect(&m_document, &StudioDocument::MeshReplaced, this, [this] {
        RefreshTitle();
        RefreshStatus();
        RefreshLevels();
    });
    connect(&m_document, &StudioDocument::HistoryChanged, this, &MainWindow::RefreshHistory);
    connect(&m_document, &StudioDocument::LayersChanged, this, &MainWindow::RefreshLayers);
    connect(&m_document, &StudioDocument::ToolChanged, this, &MainWindow::ToolChanged);
    connect(&m_document, &StudioDocument::StrokeFinished, this, [this] {
        m_strokeLabel->setText(m_document.LastStrokeLine());
        RefreshStatus();
    });
    connect(&m_document, &StudioDocument::ModuleMessage, this,
            [this](const QString& text) { statusBar()->showMessage(text, 8000); });
    connect(m_viewport, &Viewport::FrameDrawn, this,
            [this](double milliseconds) { m_frameLabel->setText(tr("frame %1 ms").arg(milliseconds, 0, 'f', 1)); });
    connect(m_viewport, &Viewport::StrokeRefused, this, &MainWindow::ShowProblem);
    // With the freeze brush in hand, how frozen the surface under the pointer is.
    connect(m_viewport, &Viewport::Hovered, this, [this](bool onSurface, float freeze) {
        if (!m_document.IsFreezeBrush()) return;
        if (onSurface) statusBar()->showMessage(tr("Frozen %1 % under the pointer").arg(std::lround(freeze * 100.0f)));
        else statusBar()->clearMessage();
    });
    connect(m_viewport, &Viewport::BrushPixelsChanged, this, [this](int pixels) {
        const QSignalBlocker blockSlider(m_sizeSlider), blockValue(m_sizeValue);
        m_sizeSlider->setValue(pixels);
        m_sizeValue->setValue(pixels);
    });
    resize(1280, 800);
    RefreshTitle();
    RefreshRecent();
    PickTool(QStringLiteral("Sculpt"));
}

MainWindow::~MainWindow() = default;

// ---- building the window ------------------------------------------------------------------------

void MainWindow::MakeMenus() {
    const auto key = [](const char* keys) { return QList<QKeySequence>{QKeySequence(QLatin1String(keys))}; };
    const auto levelBy = [this](int step) {
        return [this, step] {
            if (!m_document.HasMesh()) return;
            const int level = int(m_document.Sculpture().Level().Index()) + step;
            if (level >= 0 && level < int(m_document.Sculpture().LevelCount())) m_document.ShowLevel(uint32_t(level));
        };
    };
    const auto view = [this](OrbitCamera::View side) { return [this, side] { m_viewport->SetView(side); }; };

    QMenu* file = menuBar()->addMenu(tr("&File"));
    QMenu* newMenu = file->addMenu(tr("&New"));
    for (const QString& shape : shapes::ShapeNames()) {
        QString title = shape;
        title[0] = title[0].toUpper();
        AddMenuEntries(newMenu, {{title, [this, shape] {
                                      if (MaybeSave()) NewShape(shape);
                                  }}});
    }
    AddMenuEntries(file, {{tr("&Open..."), [this] { Open(); }, {QKeySequence::Open}}});
    m_recentMenu = file->addMenu(tr("Open &Recent"));
    AddMenuEntries(file, {{tr("&Save"), [this] { Save(); }, {QKeySequence::Save}},
                          {tr("Save &As..."), [this] { SaveAs(); }, key("Ctrl+Shift+S")},
                          {tr("&Export..."), [this] { Export(); }, key("Ctrl+E")},
                          {},
                          {tr("&Quit"), [this] { close(); }, {QKeySequence::Quit}}});

    AddMenuEntries(menuBar()->addMenu(tr("&Edit")),
                   {{tr("&Undo"), [this] { m_document.Undo(); }, {QKeySequence::Undo}, QStringLiteral("undo")},
                    {tr("&Redo"),
                     [this] { m_document.Redo(); },
                     {QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))},
                     QStringLiteral("redo")},
                    {},
                    {tr("&Preferences..."), [this] {
                         PreferencesDialog dialog(this);
                         dialog.exec();
                     }}});

    QMenu* mesh = menuBar()->addMenu(tr("&Mesh"));
    AddMenuEntries(mesh, {{tr("&Subdivide"), [this] { Subdivide(); }, key("Ctrl+D")}});
    m_levelMenu = mesh->addMenu(tr("&Level"));
    AddMenuEntries(mesh, {{tr("Next Level Up"), levelBy(1), {QKeySequence(Qt::Key_PageUp)}},
                          {tr("Next Level Down"), levelBy(-1), {QKeySequence(Qt::Key_PageDown)}},
                          {},
                          {tr("&Clear Freeze"), [this] { m_document.ClearFreeze(); }},
                          {tr("&Invert Freeze"), [this] { m_document.InvertFreeze(); }}});

    QMenu* viewMenu = menuBar()->addMenu(tr("&View"));
    AddMenuEntries(viewMenu, {{tr("&Frame Mesh"), [this] { m_viewport->FrameMesh(); }, key("F")},
                              {tr("F&ront"), view(OrbitCamera::View::kFront), key("1")},
                              {tr("&Side"), view(OrbitCamera::View::kSide), key("3")},
                              {tr("&Top"), view(OrbitCamera::View::kTop), key("7")}});
    QAction* wireframe = viewMenu->addAction(tr("&Wireframe"));
    wireframe->setCheckable(true);
    wireframe->setShortcut(QKeySequence(Qt::Key_W));
    connect(wireframe, &QAction::toggled, m_viewport, &Viewport::SetWireframe);

    AddMenuEntries(
        menuBar()->addMenu(tr("&Brush")),
        {{tr("Smaller"), [this] { m_viewport->SetBrushPixels(int(m_viewport->BrushPixels() / 1.15)); }, key("[")},
         {tr("Larger"), [this] { m_viewport->SetBrushPixels(int(m_viewport->BrushPixels() * 1.15 + 1)); }, key("]")},
         {tr("Open Stamp Image..."), [this] {
              const QString path = QFileDialog::getOpenFileName(this, tr("Stamp image"), QString(),
                                                                tr("Images (*.tif *.tiff *.png *.exr *.jpg)"));
              if (!path.isEmpty()) ChooseStamp(path);
          }}});
}

QWidget* MainWindow::MakeToolPalette() {
    auto* palette = new QWidget(this);
    auto* grid = new QGridLayout(palette);
    m_tools = new QButtonGroup(this);
    m_tools->setExclusive(true);
    int index = 0;
    const auto add = [&](const QString& name, const QString& text, const QString& tip) {
        auto* button = new QToolButton(palette);
        button->setObjectName(QStringLiteral("tool:") + name);
        button->setText(text);
        button->setToolTip(tip);
        button->setCheckable(true);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_tools->addButton(button);
        grid->addWidget(button, index / 2, index % 2);
        ++index;
        connect(button, &QToolButton::clicked, this, [this, name] { PickTool(name); });
    };
    for (const tarnix::BrushConfiguration* tool : m_document.Host().Tools())
        add(tool->Name(), tool->DisplayName(), WithShortcuts(tool->ToolTip()));
    add(QString::fromLatin1(kFreezeTool), tr("Freeze"),
        tr("<b>Freeze</b><p>Paints freeze strength: frozen vertices resist every tool. Hold <b>Ctrl</b> to thaw."));
    grid->setRowStretch(index / 2 + 1, 1);
    return palette;
}

QWidget* MainWindow::MakeBrushControls() {
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    // The scroll area around the panel would squeeze it to its own height: the rows' minimum
    // keeps them whole (the area scrolls instead).
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    auto* form = new QFormLayout;
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    const auto addRow = [&](const QString& key, const QString& label, QWidget* field) {
        auto* text = new QLabel(label, panel);
        const AttributeWords* words = WordsFor(key);
        const QString tip = words ? words->tip : field->toolTip();
        text->setToolTip(tip);
        field->setToolTip(tip);
        form->addRow(text, field);
        return text;
    };
    // A slider with the number beside it, which takes typed values too.
    const auto withValue = [panel](QSlider* slider, QSpinBox* value) {
        auto* pair = new QWidget(panel);
        auto* row = new QHBoxLayout(pair);
        row->setContentsMargins(0, 0, 0, 0);
        value->setKeyboardTracking(false);
        row->addWidget(slider, 1);
        row->addWidget(value);
        return pair;
    };
    const auto choices = [panel](const char* key, const char* name) {
        auto* box = new QComboBox(panel);
        box->setObjectName(QString::fromLatin1(name));
        for (const AttributeWords::Choice& choice : WordsFor(QString::fromLatin1(key))->choices) {
            box->addItem(choice.name, choice.value);
            box->setItemData(box->count() - 1, choice.tip, Qt::ToolTipRole);
        }
        return box;
    };

    m_sizeSlider = new QSlider(Qt::Horizontal, panel);
    m_sizeSlider->setObjectName(QStringLiteral("brushSize"));
    m_sizeSlider->setRange(2, 400);
    m_sizeSlider->setValue(m_viewport->BrushPixels());
    m_sizeValue = new QSpinBox(panel);
    m_sizeValue->setObjectName(QStringLiteral("brushSizeValue"));
    m_sizeValue->setRange(2, 1000);
    m_sizeValue->setSuffix(tr(" px"));
    m_sizeValue->setValue(m_viewport->BrushPixels());
    connect(m_sizeSlider, &QSlider::valueChanged, m_viewport, &Viewport::SetBrushPixels);
    connect(m_sizeValue, qOverload<int>(&QSpinBox::valueChanged), m_viewport, &Viewport::SetBrushPixels);
    addRow(QStringLiteral("size"), tr("Size"), withValue(m_sizeSlider, m_sizeValue));

    m_strengthSlider = new QSlider(Qt::Horizontal, panel);
    m_strengthSlider->setObjectName(QStringLiteral("brushStrength"));
    m_strengthSlider->setRange(0, 100);
    auto* strengthValue = new QSpinBox(panel);
    strengthValue->setObjectName(QStringLiteral("brushStrengthValue"));
    strengthValue->setRange(0, 100);
    connect(strengthValue, qOverload<int>(&QSpinBox::valueChanged), m_strengthSlider, &QSlider::setValue);
    connect(m_strengthSlider, &QSlider::valueChanged, this, [this, strengthValue](int value) {
        {
            const QSignalBlocker block(strengthValue);
            strengthValue->setValue(value);
        }
        if (!m_refreshing) m_document.SetStrength(float(value));
    });
    m_strengthLabel = addRow(QStringLiteral("strength"), tr("Strength"), withValue(m_strengthSlider, strengthValue));

    m_smoothing = new QSlider(Qt::Horizontal, panel);
    m_smoothing->setObjectName(QStringLiteral("smoothingStrength"));
    m_smoothing->setRange(0, 100);
    auto* smoothingValue = new QSpinBox(panel);
    smoothingValue->setObjectName(QStringLiteral("smoothingStrengthValue"));
    smoothingValue->setRange(0, 100);
    connect(smoothingValue, qOverload<int>(&QSpinBox::valueChanged), m_smoothing, &QSlider::setValue);
    connect(m_smoothing, &QSlider::valueChanged, this, [this, smoothingValue](int value) {
        const QSignalBlocker block(smoothingValue);
        smoothingValue->setValue(value);
        m_document.SetSmoothingStrength(float(value));
    });
    m_smoothing->setValue(int(std::lround(m_document.SmoothingStrength())));
    QWidget* smoothingPair = withValue(m_smoothing, smoothingValue);
    smoothingPair->setToolTip(
        tr("The strength of the Smooth tool that a stroke with <b>Shift</b> held runs, whatever "
           "the tool in hand"));
    addRow(QString(), tr("Smoothing (Shift)"), smoothingPair);

    m_falloff = choices("falloff", "falloff");
    connect(m_falloff, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        if (!m_refreshing) m_document.SetFalloff(m_falloff->currentData().toInt());
    });
    addRow(QStringLiteral("falloff"), tr("Falloff"), m_falloff);

    m_falloffKind = choices("fallofftype", "falloffKind");
    connect(m_falloffKind, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        if (m_refreshing) return;
        m_document.SetFalloffKind(m_falloffKind->currentData().toInt());
        m_attributes->Rebuild();
    });
    addRow(QStringLiteral("fallofftype"), tr("Falloff kind"), m_falloffKind);

    m_direction = choices("direction", "direction");
    connect(m_direction, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
        if (!m_refreshing) m_document.SetDirection(m_direction->currentData().toInt());
    });
    addRow(QStringLiteral("direction"), tr("Direction"), m_direction);

    m_mirror = new QComboBox(panel);
    m_mirror->setObjectName(QStringLiteral("mirror"));
    for (const char* name : kMirrors) m_mirror->addItem(tr(name));
    connect(m_mirror, qOverload<int>(&QComboBox::currentIndexChanged), &m_document, &StudioDocument::SetMirror);
    m_mirror->setToolTip(
        tr("Strokes are mirrored across this plane of the mesh (Local) or of the world, or onto the "
           "mesh's symmetric partner faces (Topological)"));
    addRow(QString(), tr("Mirror"), m_mirror);
    layout->addLayout(form);

    m_stampLabel = new QLabel(tr("Stamp"), panel);
    layout->addWidget(m_stampLabel);
    m_stamps = new QListWidget(panel);
    m_stamps->setObjectName(QStringLiteral("stamps"));
    m_stamps->setViewMode(QListView::IconMode);
    m_stamps->setIconSize(QSize(48, 48));
    // Two rows of thumbnails, which the panel does not squeeze (it scrolls instead).
    m_stamps->setFixedHeight(150);
    m_stamps->setResizeMode(QListView::Adjust);
    m_stamps->setToolTip(tr("The image that shapes each dab (grey: heights; colour: vector displacement)"));
    auto* none = new QListWidgetItem(tr("None"), m_stamps);
    none->setData(Qt::UserRole, QString());
    for (const QString& stamp : corvane_apps::ShippedStamps()) AddStampItem(stamp);
    connect(m_stamps, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { ChooseStamp(item->data(Qt::UserRole).toString()); });
    layout->addWidget(m_stamps);
    m_openStamp = new QPushButton(tr("Open image..."), panel);
    m_openStamp->setObjectName(QStringLiteral("openStamp"));
    connect(m_openStamp, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("Stamp image"), QString(),
                                                          tr("Images (*.tif *.tiff *.png *.exr *.jpg)"));
        if (!path.isEmpty()) ChooseStamp(path);
    });
    layout->addWidget(m_openStamp);

    layout->addWidget(new QLabel(tr("<b>Tool settings</b>"), panel));
    m_attributes = new AttributePanel(m_document,
                                      {QStringLiteral("size"), QStringLiteral("strength"), QStringLiteral("falloff"),
                                       QStringLiteral("fallofftype"), QStringLiteral("direction")},
                                      panel);
    layout->addWidget(m_attributes);
    layout->addStretch(1);

    // The whole panel scrolls: with the tool's settings it is taller than most windows.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("brushScroll"));
    scroll->setWidget(panel);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // As wide as the controls like to be, so that the sliders keep a useful length.
    scroll->setMinimumWidth(panel->sizeHint().width() + scroll->verticalScrollBar()->sizeHint().width());
    return scroll;
}

QListWidgetItem* MainWindow::AddStampItem(const QString& path) {
    auto* item = new QListWidgetItem(QFileInfo(path).completeBaseName(), m_stamps);
    item->setData(Qt::UserRole, path);
    item->setToolTip(path);
    try {
        item->setIcon(StampIcon(path));
    } catch (tarnix::Error* raised) {
        item->setToolTip(corvane_apps::OwnedError(raised).Message());
    }
    return item;
}

QWidget* MainWindow::MakeHistory() {
    m_history = new QListWidget(this);
    m_history->setObjectName(QStringLiteral("history"));
    // The highlighted row is where the document stands, whether a click or a key moved it.
    connect(m_history, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) m_document.GoToHistory(row);
        // A row the document could not go to (a stroke going on) gives the highlight back.
        if (row != m_document.HistoryPosition()) QTimer::singleShot(0, this, &MainWindow::RefreshHistory);
    });
    return m_history;
}

QWidget* MainWindow::MakeLayers() {
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    auto* top = new QHBoxLayout;
    m_activeLayer = new QComboBox(panel);
    m_activeLayer->setObjectName(QStringLiteral("activeLayer"));
    connect(m_activeLayer, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) {
        // Entry 0 is the base; layer k is entry k + 1.
        if (!m_refreshing && index >= 0) m_document.SetActiveLayer(index == 0 ? UINT32_MAX : uint32_t(index - 1));
    });
    top->addWidget(new QLabel(tr("Sculpt into"), panel));
    top->addWidget(m_activeLayer, 1);
    auto* add = new QPushButton(tr("Add layer"), panel);
    add->setObjectName(QStringLiteral("addLayer"));
    connect(add, &QPushButton::clicked, this, [this] {
        if (m_document.HasMesh())
            m_document.AddLayer(tr("Layer %1").arg(m_document.Sculpture().Level().LayerCount() + 1));
    });
    top->addWidget(add);
    layout->addLayout(top);
    m_layers = new QTableWidget(0, 3, panel);
    m_layers->setObjectName(QStringLiteral("layers"));
    m_layers->setHorizontalHeaderLabels({tr("Name"), tr("Strength"), tr("Locked")});
    m_layers->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_layers->verticalHeader()->hide();
    connect(m_layers, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!m_refreshing && item->column() == 0) m_document.RenameLayer(uint32_t(item->row()), item->text());
    });
    layout->addWidget(m_layers);
    return panel;
}

// ---- long work and faults -------------------------------------------------------------------------

bool MainWindow::RunLong(const QString& label, const std::function<void()>& work) {
    m_lastProblem.clear();
    QString failure;
    QProgressDialog progress(label, QString(), 0, 0, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(250);
    progress.setValue(0);
    QEventLoop loop;
    QFutureWatcher<void> watcher;
    connect(&watcher, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
    m_document.SetBusy(true);
    watcher.setFuture(QtConcurrent::run([&work, &failure] {
        try {
            work();
        } catch (tarnix::Error* raised) {
            failure = corvane_apps::OwnedError(raised).Message();
        } catch (const std::exception& error) {
            failure = QString::fromLocal8Bit(error.what());
        }
    }));
    if (!watcher.isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    watcher.waitForFinished();
    m_document.SetBusy(false);
    progress.reset();
    if (failure.isEmpty()) return true;
    ShowProblem(failure);
    return false;
}

void MainWindow::ShowProblem(const QString& text) {
    m_lastProblem = text;
    statusBar()->showMessage(text, 10000);
    if (!m_quietProblems) QMessageBox::warning(this, tr("Corvane Studio"), text);
}

// ---- files ------------------------------------------------------------------------------------

bool MainWindow::OpenFile(const QString& path) {
    StudioDocument::Loaded loaded;
    if (!RunLong(tr("Reading %1...").arg(QFileInfo(path).fileName()),
                 [&] { loaded = StudioDocument::ReadFile(m_document.Host(), path); })) {
        // What was made before the fault goes with its own mesh.
        return false;
    }
    const QStringList warnings = loaded.warnings;
    m_document.Adopt(std::move(loaded));
    AddRecent(path);
    // A file read past its faults opens, and says what it left out.
    if (!warnings.isEmpty())
        ShowProblem(
            tr("%1 was read with changes:\n%2").arg(QFileInfo(path).fileName(), warnings.join(QLatin1Char('\n'))));
    return true;
}

bool MainWindow::NewShape(const QString& shape) {
    tarnix::PolygonMesh polygons;
    if (!shapes::Named(shape, polygons)) return false;
    uint32_t levels = 0;
    while (levels < 8 && corvane_apps::Sculpture::FacesAfter(polygons, levels) < kNewShapeFaces) ++levels;
    StudioDocument::Loaded loaded;
    if (!RunLong(tr("Making a %1...").arg(shape),
                 [&] { loaded = StudioDocument::MakeShape(m_document.Host(), shape, levels); }))
        return false;
    m_document.Adopt(std::move(loaded));
    return true;
}

bool MainWindow::SaveTo(const QString& path) {
    if (!m_document.HasMesh()) return false;
    if (!RunLong(tr("Writing %1...").arg(QFileInfo(path).fileName()), [&] { m_document.WriteProject(path); }))
        return false;
    m_document.Saved(path);
    AddRecent(path);
    RefreshTitle();
    statusBar()->showMessage(tr("Saved %1").arg(path), 5000);
    return true;
}

bool MainWindow::Subdivide() {
    if (!m_document.HasMesh()) return false;
    corvane_apps::DrawMesh* drawMesh = nullptr;
    if (!RunLong(tr("Subdividing..."), [&] { drawMesh = m_document.SubdivideAway(); })) return false;
    m_document.ShowLevel(m_document.Sculpture().LevelCount() - 1, drawMesh);
    return true;
}

bool MainWindow::ExportTo(const QString& path) {
    if (!m_document.HasMesh()) return false;
    if (!RunLong(tr("Writing %1...").arg(QFileInfo(path).fileName()), [&] { m_document.Export(path); })) return false;
    statusBar()->showMessage(tr("Exported %1").arg(path), 5000);
    return true;
}

void MainWindow::Open() {
    if (!MaybeSave()) return;
    QStringList formats = corvane_apps::MeshFormatsRead();
    formats.prepend(QString::fromLatin1(corvane_apps::kProjectSuffix));
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Open"), QString(), FormatFilter(tr("Projects and meshes"), formats));
    if (!path.isEmpty()) OpenFile(path);
}

bool MainWindow::Save() {
    // Only a project keeps everything (levels, layers, freeze, brush): a mesh file is exported.
    if (!corvane_apps::IsProjectFile(m_document.FilePath())) return SaveAs();
    return SaveTo(m_document.FilePath());
}

bool MainWindow::SaveAs() {
    if (!m_document.HasMesh()) return false;
    const QString suffix = QString::fromLatin1(corvane_apps::kProjectSuffix);
    QString proposed = m_document.FilePath();
    if (!proposed.isEmpty() && !corvane_apps::IsProjectFile(proposed))
        proposed =
            QFileInfo(proposed).dir().filePath(QFileInfo(proposed).completeBaseName() + QLatin1Char('.') + suffix);
    QString path =
        QFileDialog::getSaveFileName(this, tr("Save project"), proposed, tr("Corvane projects (*.%1)").arg(suffix));
    if (path.isEmpty()) return false;
    if (QFileInfo(path).suffix().compare(suffix, Qt::CaseInsensitive) != 0) path += QLatin1Char('.') + suffix;
    return SaveTo(path);
}

void MainWindow::Export() {
    if (!m_document.HasMesh()) return;
    const QString proposed =
        m_document.FilePath().isEmpty()
            ? QString()
            : QFileInfo(m_document.FilePath())
                  .dir()
                  .filePath(QFileInfo(m_document.FilePath()).completeBaseName() + QStringLiteral(".obj"));
    QString path = QFileDialog::getSaveFileName(this, tr("Export mesh"), proposed,
                                                FormatFilter(tr("Meshes"), corvane_apps::MeshFormatsWritten()));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".obj");
    ExportTo(path);
}

bool MainWindow::OfferRecovery() {
    const std::vector<corvane_apps::Journal::Left> left =
        corvane_apps::Journal::Recoverable(StudioDocument::RecoveryFolder());
    for (const corvane_apps::Journal::Left& journal : left) {
        const QString when = QDateTime::fromSecsSinceEpoch(journal.modified).toString(Qt::TextDate);
        QMessageBox box(
            QMessageBox::Question, tr("Corvane Studio"),
            tr("Work on %1 was not saved when the studio stopped (%2, %n change(s)).", nullptr, int(journal.steps))
                .arg(journal.document, when),
            QMessageBox::NoButton, this);
        box.setInformativeText(tr("Recover it? Given up, it is gone for good."));
        QPushButton* recover = box.addButton(tr("Recover"), QMessageBox::AcceptRole);
        QPushButton* discard = box.addButton(tr("Give Up"), QMessageBox::DestructiveRole);
        box.addButton(tr("Later"), QMessageBox::RejectRole);
        box.setDefaultButton(recover);
        box.exec();
        if (box.clickedButton() == recover) {
            if (RecoverJournal(journal.path)) return true;
        } else if (box.clickedButton() == discard) {
            corvane_apps::Journal::Forget(StudioDocument::RecoveryFolder(), journal.path);
        }
    }
    return false;
}

bool MainWindow::RecoverJournal(const QString& path) {
    StudioDocument::Loaded loaded;
    if (!RunLong(tr("Recovering..."), [&] { loaded = StudioDocument::Recover(m_document.Host(), path); })) return false;
    m_document.Adopt(std::move(loaded));
    statusBar()->showMessage(tr("Recovered: save it to keep it"), 10000);
    return true;
}

bool MainWindow::MaybeSave() {
    if (!m_document.IsModified()) {
        m_document.CloseJournal();
        return true;
    }
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, tr("Corvane Studio"), tr("%1 has unsaved changes. Save them?").arg(m_document.Name()),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Cancel) return false;
    if (answer == QMessageBox::Save && !Save()) return false;
    // Saved or given up: the journal has nothing left to keep.
    m_document.CloseJournal();
    return true;
}

void MainWindow::AddRecent(const QString& path) {
    QSettings settings;
    QStringList recent = settings.value(QStringLiteral("recentFiles")).toStringList();
    const QString absolute = QFileInfo(path).absoluteFilePath();
    recent.removeAll(absolute);
    recent.prepend(absolute);
    while (recent.size() > kMostRecentFiles) recent.removeLast();
    settings.setValue(QStringLiteral("recentFiles"), recent);
    RefreshRecent();
}

void MainWindow::RefreshRecent() {
    m_recentMenu->clear();
    const QStringList recent = QSettings().value(QStringLiteral("recentFiles")).toStringList();
    for (const QString& path : recent)
        m_recentMenu->addAction(path, this, [this, path] {
            if (MaybeSave()) OpenFile(path);
        });
    m_recentMenu->setEnabled(!recent.isEmpty());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (MaybeSave()) event->accept();
    else event->ignore();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile() && IsReadable(url.toLocalFile())) {
            event->acceptProposedAction();
            return;
        }
}

void MainWindow::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile() && IsReadable(url.toLocalFile())) {
            event->acceptProposedAction();
            if (MaybeSave()) OpenFile(url.toLocalFile());
            return;
        }
}

// ---- tools --------------------------------------------------------------------------------------

void MainWindow::PickTool(const QString& name) {
    if (auto* button = findChild<QToolButton*>(QStringLiteral("tool:") + name)) button->setChecked(true);
    if (name == QLatin1String(kFreezeTool)) {
        m_document.SetFreezeBrush(true);
        m_refreshing = true;
        m_strengthSlider->setValue(int(std::lround(m_document.Strength())));
        m_refreshing = false;
        ShowFreezeBrush(true);
        return;
    }
    m_document.ActivateTool(name);
}

void MainWindow::ShowFreezeBrush(bool on) {
    // The freeze brush has its own profile and neither mirrors nor stamps.
    for (QWidget* control : std::initializer_list<QWidget*>{m_smoothing, m_falloff, m_falloffKind, m_direction,
                                                            m_mirror, m_stampLabel, m_stamps, m_openStamp})
        control->setEnabled(!on);
    if (!on) m_direction->setEnabled(m_document.Host().Brush().m_directionAttr.IsVisible());
    const QString tip = on ? tr("The share of a full freeze one pass of the freeze brush adds (0 to 100): at 100 one "
                                "pass holds a region, at 50 two do.")
                           : WordsFor(QStringLiteral("strength"))->tip;
    m_strengthLabel->setToolTip(tip);
    m_strengthSlider->parentWidget()->setToolTip(tip);
    m_attributes->SetFreezeBrush(on);
}

void MainWindow::ToolChanged() {
    // The module sets the tool's values and shows its attributes: the controls follow.
    const tarnix::BrushOperation& brush = m_document.Host().Brush();
    m_refreshing = true;
    m_strengthSlider->setValue(int(std::lround(std::clamp(m_document.Strength(), 0.0f, 100.0f))));
    m_falloff->setCurrentIndex(std::max(0, m_falloff->findData(brush.FalloffIndex())));
    m_falloffKind->setCurrentIndex(std::max(0, m_falloffKind->findData(brush.GetFalloffType())));
    // Modes 8 and 9 move alike; the list names one of them.
    m_direction->setCurrentIndex(std::max(0, m_direction->findData(brush.Direction() == 9 ? 8 : brush.Direction())));
    const QString stamp = brush.StampConfig().m_enabled ? brush.StampConfig().m_imagePath : QString();
    QListWidgetItem* current = nullptr;
    for (int row = 0; row < m_stamps->count(); ++row)
        if (m_stamps->item(row)->data(Qt::UserRole).toString() == stamp) current = m_stamps->item(row);
    // An image of the user's own joins the palette.
    if (!current) current = AddStampItem(stamp);
    m_stamps->setCurrentItem(current);
    m_refreshing = false;
    ShowFreezeBrush(false);
    m_attributes->Rebuild();
}

void MainWindow::ChooseStamp(const QString& path) {
    const QString problem = m_document.UseStamp(path);
    if (!problem.isEmpty()) ShowProblem(tr("The stamp cannot be used: %1").arg(problem));
    ToolChanged();
}
// ---- what the window shows -----------------------------------------------------------------------

void MainWindow::RefreshTitle() {
    const QString name = m_document.HasMesh() ? m_document.Name() : tr("no mesh");
    setWindowTitle(tr("%1[*] - Corvane Studio").arg(name));
    setWindowModified(m_document.IsModified());
}

void MainWindow::RefreshStatus() {
    if (!m_document.HasMesh()) return;
    const tarnix::SubdivisionLevel& level = m_document.Sculpture().Level();
    m_countsLabel->setText(tr("%1 vertices, %2 faces, level %3 of %4")
                               .arg(level.VertexCount())
                               .arg(level.m_faceCount)
                               .arg(level.Index())
                               .arg(m_document.Sculpture().LevelCount() - 1));
}

void MainWindow::RefreshHistory() {
    // Rows are updated in place: this runs inside the list's own change of row.
    const QSignalBlocker block(m_history);
    const QStringList names = QStringList(tr("Start")) + m_document.History();
    while (m_history->count() > names.size()) delete m_history->takeItem(m_history->count() - 1);
    for (int row = 0; row < names.size(); ++row) {
        if (row == m_history->count()) m_history->addItem(names[row]);
        QListWidgetItem* item = m_history->item(row);
        item->setText(names[row]);
        item->setForeground(row > m_document.HistoryPosition() ? QBrush(Qt::gray) : QBrush());
    }
    m_history->setCurrentRow(m_document.HistoryPosition());
}

void MainWindow::RefreshLayers() {
    m_refreshing = true;
    m_layers->clearContents();
    m_activeLayer->clear();
    m_activeLayer->addItem(tr("Base"));
    m_layers->setRowCount(0);
    if (m_document.HasMesh()) {
        tarnix::SubdivisionLevel& level = m_document.Sculpture().Level();
        m_layers->setRowCount(int(level.LayerCount()));
        for (uint32_t i = 0; i < level.LayerCount(); ++i) {
            tarnix::SculptLayer* layer = level.Layer(i);
            m_activeLayer->addItem(m_document.Sculpture().LayerName(i));
            m_layers->setItem(int(i), 0, new QTableWidgetItem(m_document.Sculpture().LayerName(i)));
            auto* strength = new QDoubleSpinBox(m_layers);
            strength->setRange(0.0, 2.0);
            strength->setSingleStep(0.1);
            strength->setValue(layer->Strength());
            strength->setKeyboardTracking(false);
            connect(strength, qOverload<double>(&QDoubleSpinBox::valueChanged), this,
                    [this, i](double value) { m_document.SetLayerStrength(i, float(value)); });
            m_layers->setCellWidget(int(i), 1, strength);
            auto* locked = new QCheckBox(m_layers);
            locked->setChecked(layer->IsLocked());
            connect(locked, &QCheckBox::toggled, this, [this, i](bool on) { m_document.SetLayerLocked(i, on); });
            m_layers->setCellWidget(int(i), 2, locked);
            if (level.ActiveLayer() == layer) m_activeLayer->setCurrentIndex(int(i) + 1);
        }
    }
    m_refreshing = false;
}

void MainWindow::RefreshLevels() {
    m_levelMenu->clear();
    if (!m_document.HasMesh()) return;
    auto* group = new QActionGroup(m_levelMenu);
    const uint32_t current = m_document.Sculpture().Level().Index();
    for (uint32_t i = 0; i < m_document.Sculpture().LevelCount(); ++i) {
        QAction* action = m_levelMenu->addAction(
            tr("Level %1 (%2 faces)").arg(i).arg(m_document.Sculpture().Geometry().Level(i)->m_faceCount), this,
            [this, i] { m_document.ShowLevel(i); });
        action->setCheckable(true);
        action->setChecked(i == current);
        group->addAction(action);
    }
}

}  // namespace corvane_studio

#pragma once
// The studio's window: menus, the viewport, the tool palette, the brush controls with the
// active tool's attribute panel, the undo history, the layers and the status bar, all over
// one StudioDocument. Long work (reading, subdividing, writing) runs away from the window's
// thread behind a progress dialog; faults are shown in the window and leave the document as
// it was.

#include <functional>

#include <QMainWindow>
#include <QStringList>

#include "studio_document.h"

class QActionGroup;
class QButtonGroup;
class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QSlider;
class QSpinBox;
class QTableWidget;

namespace corvane_studio {

class AttributePanel;
class Viewport;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(corvane_apps::BrushHost& host, QWidget* parent = nullptr);
    ~MainWindow() override;

    StudioDocument& Document() { return m_document; }
    Viewport& View() { return *m_viewport; }
    AttributePanel& Attributes() { return *m_attributes; }

    /// @brief Reads the project or mesh file at `path` into the window. False (with the fault
    /// shown) when it cannot; the document is then as it was.
    bool OpenFile(const QString& path);
    /// @brief A built-in shape, subdivided to about 100k faces.
    bool NewShape(const QString& shape);
    /// @brief Saves the document as the project `path`. False (with the fault shown) when it cannot.
    bool SaveTo(const QString& path);
    /// @brief Writes the sculpted level to the mesh file `path`. False (with the fault shown)
    /// when it cannot.
    bool ExportTo(const QString& path);
    /// @brief Offers each journal that a studio which stopped left behind: recovered, given up
    /// or left for later. True when one was recovered.
    bool OfferRecovery();
    /// @brief The document the journal at `path` holds, played again, becomes the window's.
    bool RecoverJournal(const QString& path);
    bool Subdivide();
    /// @brief Picks the tool called `name` as the palette does.
    void PickTool(const QString& name);
    /// @brief The last fault the window showed (for scripts and tests); cleared by each action.
    const QString& LastProblem() const { return m_lastProblem; }
    /// @brief When set, faults go to LastProblem() and the status bar only, without a dialog.
    void SetQuietProblems(bool quiet) { m_quietProblems = quiet; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void MakeMenus();
    QWidget* MakeToolPalette();
    QWidget* MakeBrushControls();
    QWidget* MakeHistory();
    QWidget* MakeLayers();
    bool RunLong(const QString& label, const std::function<void()>& work);
    void ShowProblem(const QString& text);
    bool MaybeSave();
    void Open();
    bool Save();
    bool SaveAs();
    void Export();
    void AddRecent(const QString& path);
    void RefreshRecent();
    void RefreshTitle();
    void RefreshStatus();
    void RefreshHistory();
    void RefreshLayers();
    void RefreshLevels();
    void ToolChanged();
    // Enables the controls the freeze brush takes (on) or the tools take (off).
    void ShowFreezeBrush(bool on);
    void ChooseStamp(const QString& path);
    QListWidgetItem* AddStampItem(const QString& path);

    StudioDocument m_document;
    Viewport* m_viewport = nullptr;
    AttributePanel* m_attributes = nullptr;
    QButtonGroup* m_tools = nullptr;
    QSlider* m_sizeSlider = nullptr;
    QSpinBox* m_sizeValue = nullptr;
    QSlider* m_strengthSlider = nullptr;
    QLabel* m_strengthLabel = nullptr;
    QSlider* m_smoothing = nullptr;
    QComboBox* m_falloff = nullptr;
    QComboBox* m_falloffKind = nullptr;
    QComboBox* m_direction = nullptr;
    QComboBox* m_mirror = nullptr;
    QLabel* m_stampLabel = nullptr;
    QListWidget* m_stamps = nullptr;
    QPushButton* m_openStamp = nullptr;
    QListWidget* m_history = nullptr;
    QTableWidget* m_layers = nullptr;
    QComboBox* m_activeLayer = nullptr;
    QMenu* m_recentMenu = nullptr;
    QMenu* m_levelMenu = nullptr;
    QLabel* m_countsLabel = nullptr;
    QLabel* m_strokeLabel = nullptr;
    QLabel* m_frameLabel = nullptr;
    QString m_lastProblem;
    bool m_quietProblems = false;
    bool m_refreshing = false;  // controls being set from the document, not by the user
};

}  // namespace corvane_studio

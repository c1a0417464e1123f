#pragma once
// The studio's document: the mesh being sculpted (a Sculpture of the programs' library), the
// arrays the viewport draws it from, its file (a project, or the mesh file it was opened from),
// whether it has unsaved changes, the steps that made the changes in its undo history, the
// brush settings the window shows (the tool's strength, falloff and direction and the settings
// the module shows for the tool, which it keeps in the brush) and those that belong to the studio rather than to a tool
// (mirror, the freeze brush, the smoothing modifier's strength), and its journal: every change, written down as it is
// made (journal.h), so that the work survives the program. Strokes, undo and redo run through
// the programs' step runner (step_runner.h), as sessions and scripts run them.
//
// Invariants: while a mesh is loaded, DrawMesh() is a renderer of the level being sculpted;
// History() names the changes Sculpture's undo and redo stacks hold, oldest first, by the steps
// that made them, and HistoryPosition() of them are done. Long work (reading, subdividing, writing) is split into
// a part that touches nothing the window draws from, which may run on another thread, and a
// part that takes its result on the window's thread.

#include <memory>
#include <optional>
#include <vector>

#include <QObject>
#include <QString>
#include <QStringList>

#include <nlohmann/json.hpp>

#include "draw_mesh.h"
#include "journal.h"
#include "project_file.h"
#include "sculpture.h"
#include "step_runner.h"

namespace corvane_apps {
class BrushHost;
}

namespace corvane_studio {

class StudioDocument : public QObject {
    Q_OBJECT

public:
    /// A mesh made away from the window's thread, waiting to be taken.
    struct Loaded {
        std::unique_ptr<corvane_apps::Sculpture> sculpture;
        corvane_apps::DrawMesh* drawMesh = nullptr;
        QString path;  // empty for a built-in shape
        QString name;
        nlohmann::json origin;                   // the mesh a journal starts from (a session's "mesh")
        corvane_apps::ProgramSettings settings;  // a project's studio settings
        QString journal;                         // a journal it was recovered from, which goes on
        // When recovered: the steps that made its changes, oldest first, and how many are done.
        std::vector<corvane_apps::Step> changes;
        size_t changesDone = 0;
        QStringList warnings;  // what reading the file found wrong but could read past
    };

    explicit StudioDocument(corvane_apps::BrushHost& host, QObject* parent = nullptr);
    ~StudioDocument() override;

    corvane_apps::BrushHost& Host() const { return m_host; }
    bool HasMesh() const { return m_sculpture && m_sculpture->IsLoaded(); }
    corvane_apps::Sculpture& Sculpture() const { return *m_sculpture; }
    corvane_apps::DrawMesh* DrawMesh() const { return m_drawMesh; }
    const QString& FilePath() const { return m_path; }
    /// The name the title bar shows.
    const QString& Name() const { return m_name; }
    bool IsModified() const { return m_modified; }
    /// Long work runs on the mesh: nothing may read it from the window's thread meanwhile.
    void SetBusy(bool busy) { m_busy = busy; }
    bool IsBusy() const { return m_busy; }

    // ---- files: the first part may run on any thread, Adopt on the window's ----------------
    /// @brief A built-in shape ("cube", ...) subdivided `levels` times. Throws tarnix::Error*.
    static Loaded MakeShape(corvane_apps::BrushHost& host, const QString& shape, uint32_t levels);
    /// @brief The mesh file or project at `path`, as it is (no subdivision); a project brings
    /// its brush settings. Throws tarnix::Error*.
    static Loaded ReadFile(corvane_apps::BrushHost& host, const QString& path);
    /// @brief The document a journal left behind holds, played again. Throws tarnix::Error*.
    static Loaded Recover(corvane_apps::BrushHost& host, const QString& journal);
    /// @brief Makes `loaded` the document's mesh, unmodified, with an empty history.
    void Adopt(Loaded loaded);
    /// @brief Writes the document as a project to `path` (atomically). Throws tarnix::Error*.
    void WriteProject(const QString& path) const;
    /// @brief After WriteProject succeeded: the document is that project, unmodified, and its
    /// journal starts again from it.
    void Saved(const QString& path);
    /// @brief Writes the sculpted level to the mesh file `path` (atomically); the document
    /// stays as it is. Throws tarnix::Error*.
    void Export(const QString& path) const;

    // ---- the journal -------------------------------------------------------------------------
    /// The folder where journals are found again (the studio's recovery folder).
    static QString RecoveryFolder();
    /// @brief The document is closed (saved, or its changes given up): its journal goes.
    void CloseJournal();
    /// The journal of the document; null before a mesh, or when none could be written.
    const corvane_apps::Journal* CurrentJournal() const { return m_journal.get(); }

    // ---- levels ------------------------------------------------------------------------------
    /// @brief Adds a level above the highest and makes its arrays (any thread); the result
    /// is taken with ShowLevel. Throws when the mesh would grow too large.
    corvane_apps::DrawMesh* SubdivideAway();
    /// @brief Sculpts level `index` from now on; `drawMesh` (from SubdivideAway) or a new one
    /// becomes what the viewport draws.
    void ShowLevel(uint32_t index, corvane_apps::DrawMesh* drawMesh = nullptr);

    // ---- tools -------------------------------------------------------------------------------
    /// @brief Activates the preset called `name` on the brush (the module applies its
    /// settings); the freeze brush is put away.
    void ActivateTool(const QString& name);
    QString ActiveTool() const;
    /// @brief The freeze brush paints freeze strength instead of sculpting, at a strength of
    /// its own (0..100: how much of the whole range one pass adds; 100 holds at once).
    void SetFreezeBrush(bool on) { m_freezeBrush = on; }
    bool IsFreezeBrush() const { return m_freezeBrush; }
    /// Whether the tool in hand moves the surface with the pointer (Grab, Snake Hook): its
    /// stroke takes every pointer position, on the surface or off it.
    bool FollowsPointer() const;
    void SetFreezeStrength(float strength) { m_freezeStrength = strength; }
    float FreezeStrength() const { return m_freezeStrength; }
    /// @brief The strength (0..100) of the Smooth tool that a stroke with the smoothing
    /// modifier (Shift) runs, whatever the tool in hand.
    void SetSmoothingStrength(float strength) { m_smoothingStrength = strength; }
    float SmoothingStrength() const { return m_smoothingStrength; }
    /// @brief Uses the stamp image at `path` (empty: none). On failure the stamp stays as it
    /// was and the reason is returned; empty on success.
    QString UseStamp(const QString& path);
    /// @brief The strength (0..100) strokes get: the freeze brush's own with it in hand, else
    /// the tool's.
    float Strength() const;
    void SetStrength(float strength);
    /// @brief The tool's falloff curve (a preset), its kind (a geodesic kind measures distances
    /// along the surface), and the direction it moves in.
    void SetFalloff(int preset);
    void SetFalloffKind(int kind);
    void SetDirection(int mode);
    /// @brief Sets the brush attribute `key` from `text` (its text form), as the module's own
    /// settings for the tool are set; a key the brush does not have changes nothing.
    void SetBrushAttribute(const QString& key, const QString& text);
    /// @brief The mirror mode (MirrorConfiguration::Mode) strokes get.
    void SetMirror(int mode) { m_mirror = mode; }
    int Mirror() const { return m_mirror; }

    // ---- strokes -----------------------------------------------------------------------------
    /// What a stroke takes from the pointer and the view; the rest is the document's.
    struct StrokeSettings {
        float worldRadius = 0.1f;
        bool invert = false;  // Ctrl: the other way (the tool's own Invert setting turns it back)
        bool smooth = false;  // Shift: the Smooth tool at the smoothing strength
        corvane_apps::CameraPlacement camera{{0, 0, 1}, {0, 0, 0}};  // the view the stroke is cast along
    };
    /// @brief Starts a stroke at `start` (world space, on the surface). Returns an empty
    /// string, or why the stroke cannot start.
    QString BeginStroke(const StrokeSettings& settings, const tarnix::Vector& start, float pressure);
    /// @brief The pointer moved to `point` (world space, on the surface).
    void StrokeTo(const tarnix::Vector& point, float pressure);
    void EndStroke();
    bool InStroke() const { return m_strokeOn; }

    // ---- history -----------------------------------------------------------------------------
    /// The names of the changes, oldest first: the tool of a stroke ("Smooth" for a
    /// Shift-stroke), "Freeze", "Clear Freeze", "Invert Freeze" or "Layer Strength".
    QStringList History() const { return NamesOf(m_changes); }
    /// @brief The names of the changes `steps` made, in their order.
    static QStringList NamesOf(const std::vector<corvane_apps::Step>& steps);
    int HistoryPosition() const { return m_done; }
    void Undo();
    void Redo();
    /// @brief Undoes or redoes until `position` changes are done.
    void GoToHistory(int position);

    // ---- layers and freeze -------------------------------------------------------------------
    void AddLayer(const QString& name);
    void RenameLayer(uint32_t index, const QString& name);
    void SetLayerStrength(uint32_t index, float strength);
    void SetLayerLocked(uint32_t index, bool locked);
    /// @brief Strokes go into layer `index` (past the last: the base).
    void SetActiveLayer(uint32_t index);
    void ClearFreeze();
    void InvertFreeze();

    /// What the last stroke did: the tool that ran (Smooth for a Shift-stroke), its dabs, the
    /// vertices it moved and the brush's own time per dab; or why it changed nothing.
    const QString& LastStrokeLine() const { return m_lastStrokeLine; }

signals:
    /// A new mesh or level: the viewport sends everything again and frames it.
    void MeshReplaced();
    /// Another level of the mesh is sculpted: the viewport sends everything again, keeping its view.
    void LevelReplaced();
    /// Vertices changed; DrawMesh() knows which.
    void MeshChanged();
    void HistoryChanged();
    void ModifiedChanged(bool modified);
    void LayersChanged();
    void ToolChanged();
    /// A stroke ended; LastStrokeLine() tells what it did.
    void StrokeFinished();
    /// Messages the module showed during a stroke (a missing stamp, a mesh too coarse).
    void ModuleMessage(const QString& text);

private:
    void SetModified(bool modified);
    // `step` made a change: it ends what was undone, and is done.
    void ChangeCommitted(const corvane_apps::Step& step);
    // A step that could have made a change but made none: the undone changes the host let go
    // with it go too.
    void ForgetUndone();
    // The host keeps a limited undo history: the steps whose changes it let go (the oldest)
    // go too.
    void ForgetDropped();
    void ForwardModuleMessages();
    // Writes `step` down; a journal that cannot be written is given up with a message.
    void Record(const corvane_apps::Step& step);
    void StartJournal(const nlohmann::json& origin);
    // `name`, or with a number added when another layer (but `except`) has it already.
    QString UniqueLayerName(const QString& name, std::optional<uint32_t> except) const;

    corvane_apps::BrushHost& m_host;
    std::unique_ptr<corvane_apps::Sculpture> m_sculpture;
    std::unique_ptr<corvane_apps::StepRunner> m_steps;
    corvane_apps::DrawMesh* m_drawMesh = nullptr;
    QString m_path, m_name;
    bool m_modified = false;
    // The steps that made the changes Sculpture's undo and redo stacks hold, oldest first; the
    // first m_done of them are done.
    std::vector<corvane_apps::Step> m_changes;
    int m_done = 0;
    // The history position of the last save; -1 when no position matches the file (a save
    // that history has dropped).
    int m_savedAt = 0;
    bool m_busy = false;
    bool m_freezeBrush = false;
    // A pass at 50 takes a region half way, so that two pass freeze it whole.
    float m_freezeStrength = 50.0f;
    // The Smooth tool's own starting strength.
    float m_smoothingStrength = 100.0f;
    int m_mirror = 0;
    bool m_strokeOn = false;
    bool m_freezeStroke = false;  // the stroke going on is a drag of the freeze brush
    StrokeSettings m_stroke;
    // A drag of the freeze brush as its journal step holds it, the points added as they come.
    corvane_apps::Step m_freezeStep;
    const tarnix::MeshChange* m_latestBeforeStroke = nullptr;  // compared, never read
    QString m_lastStrokeLine;
    std::unique_ptr<corvane_apps::Journal> m_journal;
    nlohmann::json m_origin;
    nlohmann::json m_journaledPreferences;
};

}  // namespace corvane_studio

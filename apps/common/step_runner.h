#pragma once
// A step run on a Sculpture the one way every program runs it: the command line's sessions
// (session_runner.h), the studio and the Python package. A stroke or a whole-mesh
// application finds its stamp, sets the brush up, looks as the stroke needs and runs, and
// tells what it did; a stroke drawn live takes the brush as it stands and writes itself down
// as a step as its points come; undo and redo take back as many changes as the step says, or
// refuse when there are fewer. Faults name the fault but not the place: callers that read
// files or scripts add where the step came from.

#include <optional>

#include <QString>

#include "report.h"
#include "steps.h"
#include "tarnix/math/bounding_box.h"

namespace corvane_apps {

class BrushHost;
class Sculpture;

/// Where the steps of a program find what they leave out.
struct StepContext {
    /// A relative stamp name is looked for here first (empty: the working folder), then among
    /// the host's resources.
    QString stampFolder;
    /// How messages name that folder ("beside the session").
    QString stampFolderWords;
    /// The camera of strokes that bring none; without either, a stroke looks from its first
    /// point at the mesh's centre.
    std::optional<CameraPlacement> camera;
    /// Where a whole-mesh step looks from; without it, from where pictures nobody placed look.
    std::optional<tarnix::Vector> wholeMeshEye;
};

class StepRunner {
public:
    StepRunner(BrushHost& host, Sculpture& sculpture, StepContext context);
    void SetWholeMeshEye(const tarnix::Vector& eye) { m_context.wholeMeshEye = eye; }

    /// @brief The file the stamp name `stamp` names: in the stamp folder when there is one
    /// there, else among the resources. Throws when neither holds it.
    QString StampFile(const QString& stamp) const;
    /// @brief `stroke` with its stamp name turned into the file it names.
    StrokeStep WithStampFile(StrokeStep stroke) const;

    /// @brief Runs a stroke or a whole-mesh step, and tells what it did (`step.where` names it).
    StrokeFigures Sculpt(const Step& step);

    /// @brief Starts a stroke whose points come as the pointer moves, with the brush's tool and
    /// settings as they stand and `stroke`'s size, strength, modifiers, mirror and camera (along
    /// which it is cast). Throws with the brush's reason when it cannot start.
    void BeginStroke(const StrokeStep& stroke);
    /// @brief The pointer reached `point` (world space, on the surface) with pen `pressure`:
    /// the mesh is changed on the way there. Returns the box (mesh space) of what moved.
    tarnix::AxisAlignedBoundingBox StrokeTo(const tarnix::Vector& point, float pressure);
    /// @brief Ends the stroke and tells what it did.
    StrokeFigures EndStroke();
    /// The stroke going on, or that ended last, as a session's step holds it: the brush's
    /// settings when it began and the points as they came.
    const Step& LiveStep() const { return m_live; }

    /// @brief Undoes (kUndo) or redoes (kRedo) `step.count` changes. Throws, changing nothing,
    /// when there are fewer.
    void TakeBack(const Step& step);

private:
    BrushHost& m_host;
    Sculpture& m_sculpture;
    StepContext m_context;
    Step m_live;
};

}  // namespace corvane_apps

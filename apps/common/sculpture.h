#pragma once
// The mesh a host program sculpts, with the brush that sculpts it: what every program of
// ours does between loading a mesh and writing it (the command line's sessions, the studio,
// scripts). A Sculpture owns the geometry (a polygon mesh subdivided into a Catmull-Clark
// hierarchy, its sculpted level the highest), places it in the world, sets up its layers and
// frozen regions, turns a stroke's settings into brush state, runs strokes and whole-mesh
// applications through the host's stroke driver and measures what each did, and takes
// changes back and forth through the geometry's undo history.
//
// Faults are thrown as tarnix::Error* with a message that names the fault but not the place
// it came from; callers that read files add the file and the place.

#include <cstdint>
#include <memory>

#include <QString>

#include "preview.h"
#include "report.h"
#include "session.h"
#include "tarnix/geometry.h"
#include "tarnix/math/bounding_box.h"
#include "tarnix/polygon_mesh.h"

namespace tarnix {
class BrushOperation;
class SubdivisionLevel;
}  // namespace tarnix

namespace corvane_apps {

class BrushHost;

class Sculpture {
public:
    /// Subdivision stops short of what the machine's memory holds (about 2 GiB of mesh).
    static constexpr uint64_t kMostFaces = 6ull << 20;

    explicit Sculpture(BrushHost& host);
    ~Sculpture();

    /// @brief The faces `polygons` has after `subdivide` Catmull-Clark steps.
    static uint64_t FacesAfter(const tarnix::PolygonMesh& polygons, uint32_t subdivide);

    /// @brief Makes the hierarchy of `polygons` (called `name` in messages), subdivided
    /// `subdivide` times, and builds the sculpted level's spatial index, as a host does on
    /// loading. Throws when the mesh cannot be sculpted or would pass kMostFaces.
    void Load(const tarnix::PolygonMesh& polygons, const QString& name, uint32_t subdivide);

    tarnix::Geometry& Geometry() const { return *m_geometry; }
    /// The level strokes sculpt: the highest of the hierarchy.
    tarnix::SubdivisionLevel& Level() const { return *m_level; }
    /// The sculpted level's bounding box in world space.
    tarnix::AxisAlignedBoundingBox WorldBox() const;

    /// @brief Places the mesh in the world: scaled (per axis), rotated about x, then y, then z
    /// (degrees), then moved.
    void Place(const tarnix::Vector& scale, const tarnix::Vector& rotateDegrees, const tarnix::Vector& translate);
    /// @brief Adds a sculpt layer; it becomes the active one when `activate`.
    void AddLayer(const LayerSetup& layer, bool activate);
    /// @brief Makes the layer called `name` the one strokes go into (`""`: the base), and sets
    /// its strength when given. False when there is no such layer.
    bool ActivateLayer(const QString& name, std::optional<float> strength = std::nullopt);
    /// @brief Freezes the vertices of the sculpted level inside `region` (world space) to its
    /// strength, keeping stronger freezes.
    void Freeze(const FreezeRegion& region);

    /// @brief Looks at the mesh from `camera.eye`: strokes are cast along this view.
    void Look(const CameraPlacement& camera) const;

    /// @brief Activates the stroke's tool and sets size, strength, falloff, direction, mirror,
    /// stamp (`stroke.stamp` is a file path here) and brush attributes. Throws with the
    /// brush's reason when the stamp cannot be used.
    void Prepare(const StrokeStep& stroke);
    /// @brief Runs `stroke` (prepared) along its path, or once over the whole mesh when
    /// `wholeMesh`, and tells what it did, and why when it changed nothing. Its strength is
    /// the user's 0..100 (the host's stroke driver converts it per tool).
    StrokeFigures Apply(const StrokeStep& stroke, bool wholeMesh);

    size_t UndoCount() const;
    size_t RedoCount() const;
    void Undo();
    void Redo();

    /// @brief A picture of the sculpted level through `view` (world space).
    Picture Render(const View& view, int width, int height) const;
    /// @brief Writes the sculpted level as OBJ in the mesh's own space; returns the vertices
    /// written.
    uint32_t Write(const QString& path) const;

private:
    QString WhyNothingChanged(const StrokeStep& stroke, const StrokeFigures& figures) const;

    BrushHost& m_host;
    tarnix::BrushOperation& m_brush;
    std::unique_ptr<tarnix::Geometry> m_geometry;
    tarnix::SubdivisionLevel* m_level = nullptr;
};

}  // namespace corvane_apps

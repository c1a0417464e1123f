#pragma once
// The mesh a host program sculpts, with the brush that sculpts it: what every program of
// ours does between loading a mesh and writing it (the command line's sessions, the studio,
// scripts). A Sculpture owns the geometry (a polygon mesh subdivided into a Catmull-Clark
// hierarchy; the level strokes sculpt is the highest unless chosen otherwise; the levels
// above the one sculpted follow it, keeping their own detail), the names its file gave the faces
// (groups, materials), places it in the world, sets up its layers and
// frozen regions, turns a stroke's settings into brush state, runs strokes and whole-mesh
// applications through the host's stroke driver and measures what each did, and takes
// changes back and forth through the geometry's undo history. Strokes run whole (Apply) or
// as the pointer moves (BeginStroke, AddStrokePoint, EndStroke); any level of the hierarchy
// may be the one sculpted (the highest after loading and subdividing).
//
// Faults are thrown as tarnix::Error* with a message that names the fault but not the place
// it came from; callers that read files add the file and the place.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>

#include <QString>

#include "mesh_files.h"
#include "preview.h"
#include "report.h"
#include "steps.h"
#include "tarnix/geometry.h"
#include "tarnix/math/bounding_box.h"
#include "tarnix/polygon_mesh.h"

namespace tarnix {
class BrushOperation;
class MeshChange;
class SculptLayer;
class Stream;
class StrokeDriver;
class SubdivisionLevel;
}  // namespace tarnix

namespace corvane_apps {

class BrushHost;

/// A point of the surface in world space, with the face's outward unit normal and how frozen
/// the face is (its corners' mean freeze, 0 free to 1 held).
struct SurfaceHit {
    tarnix::Vector position, normal;
    float freeze = 0.0f;
};

/// A document as a project keeps it, read and checked but not yet taken up by a Sculpture:
/// the geometry and what the programs add to it.
struct SculptureDocument {
    std::unique_ptr<tarnix::Geometry> geometry;
    std::vector<FacePart> parts;
    QString materialLibrary;
    struct LayerName {
        uint32_t level, layer;
        QString name;
    };
    std::vector<LayerName> layerNames;  // layers renamed since made
    tarnix::Vector bakedScale{1, 1, 1};
    uint32_t sculptedLevel = 0;
};

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
    /// @brief The same for a mesh file's contents, whose face names are kept for writing.
    void Load(const MeshFile& file, const QString& name, uint32_t subdivide);

    bool IsLoaded() const { return m_geometry != nullptr; }

    /// @brief The document as a project keeps it (the geometry's stored form first).
    void WriteDocument(tarnix::Stream& stream) const;
    /// @brief Reads what WriteDocument wrote, checked. Throws tarnix::Error*.
    static SculptureDocument ReadDocument(tarnix::Stream& stream);
    /// @brief Makes `document` this sculpture's.
    void Adopt(SculptureDocument document);
    /// @brief Lets the document go, with all that was made for it (the spatial index, the
    /// brush's tables): for a program done with the mesh that still has files to write.
    /// IsLoaded is false after.
    void Close();
    tarnix::Geometry& Geometry() const { return *m_geometry; }
    /// The level strokes sculpt.
    tarnix::SubdivisionLevel& Level() const { return *m_level; }
    uint32_t LevelCount() const;
    /// @brief Adds `levels` levels above the highest, refined from its current positions, and
    /// sculpts the new highest. Throws when the result would pass kMostFaces.
    void Subdivide(uint32_t levels);
    /// @brief Makes level `index` the one strokes sculpt. Throws when there is no such level.
    void SculptLevel(uint32_t index);
    /// The sculpted level's bounding box in world space.
    tarnix::AxisAlignedBoundingBox WorldBox() const;

    /// @brief Places the mesh in the world: scaled (per axis), rotated about x, then y, then z
    /// (degrees), then moved. While nothing has been sculpted or layered, the part of the
    /// scale that is not the same on every axis is carried in the positions of every level,
    /// so that the brush sees a mesh of uniform scale (its rules give the tools that move
    /// along each vertex's own normal no move under a non-uniform one); positions read back
    /// and written out are in the mesh's own space all the same.
    void Place(const tarnix::Vector& scale, const tarnix::Vector& rotateDegrees, const tarnix::Vector& translate);
    /// @brief The same placement made in `placement`.
    static void Place(tarnix::Transformation& placement, const tarnix::Vector& scale,
                      const tarnix::Vector& rotateDegrees, const tarnix::Vector& translate);
    /// @brief Adds a sculpt layer; it becomes the active one when `activate`.
    void AddLayer(const LayerSetup& layer, bool activate);
    /// @brief Makes the layer called `name` the one strokes go into (`""`: the base), and sets
    /// its strength when given. False when there is no such layer.
    bool ActivateLayer(const QString& name, std::optional<float> strength = std::nullopt);
    /// @brief The name of layer `index` of the sculpted level, as last given.
    QString LayerName(uint32_t index) const;
    /// @brief The index of the sculpted level's layer called `name` (the last of that name).
    std::optional<uint32_t> LayerIndex(const QString& name) const;
    /// @brief Renames layer `index` of the sculpted level. The host's layer keeps the name it
    /// was made with; the programs find layers by the name given here.
    void RenameLayer(uint32_t index, const QString& name);
    /// @brief Sets the strength of layer `index`; the level's positions and normals follow.
    /// One undoable change; false when the strength was already that.
    bool SetLayerStrength(uint32_t index, float strength);
    /// @brief Freezes the vertices of the sculpted level inside `region` (world space) to its
    /// strength, keeping stronger freezes.
    void Freeze(const FreezeRegion& region);
    /// @brief Sets the freeze of every vertex of the sculpted level: `strengths[v]` from 0
    /// (free) to 1 (held). Throws unless there is one finite value in [0, 1] per vertex.
    void Freeze(const float* strengths, size_t count);
    /// @brief The freeze brush swept from where the pointer was last in this edit (nowhere
    /// at its start) to `centre` (world space). Under it the freeze of a vertex rises (with
    /// `thaw`, falls) from what it was when the edit began by up to `strength` (0..1) of the
    /// whole range: all of that within half of `radius` from the way the brush went, easing
    /// to nothing at the radius. Within one edit a vertex keeps the most the brush gave it,
    /// so that a drag does the same however often the pointer reports; the next edit adds
    /// again. Returns the box (mesh space) of the vertices whose freeze changed; empty when
    /// none. The dabs of one drag become one undoable change with CommitEdit.
    tarnix::AxisAlignedBoundingBox PaintFreeze(const tarnix::Vector& centre, float radius, float strength, bool thaw);
    /// @brief Ends an edit made outside a stroke (freeze painting): what it changed becomes
    /// one undoable change. False when it changed nothing.
    bool CommitEdit();
    /// @brief Frees every vertex of the sculpted level: one undoable change; false when none was frozen.
    bool ClearFreeze();
    /// @brief Gives every vertex of the sculpted level the opposite freeze strength: one
    /// undoable change.
    bool InvertFreeze();

    /// @brief The nearest surface point of the sculpted level ahead of `origin` along
    /// `direction` (world space), as the mesh was when its spatial index was last fitted.
    std::optional<SurfaceHit> Pick(const tarnix::Vector& origin, const tarnix::Vector& direction) const;

    /// @brief Looks at the mesh from `camera.eye`: strokes are cast along this view.
    void Look(const CameraPlacement& camera) const;
    /// @brief Looks as `stroke` needs: along its own camera, else `camera`, else from the
    /// stroke's first point (a whole-mesh step: from `wholeMeshEye`) at the mesh's centre.
    void LookFor(const StrokeStep& stroke, const std::optional<CameraPlacement>& camera,
                 const tarnix::Vector& wholeMeshEye) const;
    /// The camera of pictures nobody placed: in front, above and to the right of the mesh,
    /// far enough that a field of view of `fovDegrees` shows all of it.
    View DefaultView(float fovDegrees = 30.0f) const;

    /// @brief Activates the stroke's tool and sets size, strength, falloff, direction, mirror,
    /// stamp (`stroke.stamp` is a file path here) and brush attributes. Throws with the
    /// brush's reason when the stamp cannot be used.
    void Prepare(const StrokeStep& stroke);
    /// @brief The same for any brush of the class serving the stroke's tool.
    static void PrepareBrush(const BrushHost& host, tarnix::BrushOperation& brush, const StrokeStep& stroke);
    /// @brief Runs `stroke` (prepared) along its path, or once over the whole mesh when
    /// `wholeMesh`, and tells what it did, and why when it changed nothing. Its strength is
    /// the user's 0..100 (the host's stroke driver converts it per tool). A stroke that leaves a
    /// vertex that is not finite or lies beyond kSessionCoordinateLimit is taken back, and an
    /// Error raised.
    StrokeFigures Apply(const StrokeStep& stroke, bool wholeMesh);

    /// @brief Starts a stroke whose points come as the pointer moves, with the stroke's size,
    /// strength, modifiers, pen pressure and mirror; the tool and its other settings are the
    /// brush's as they stand (a program sets them when the user picks them).
    void BeginStroke(const StrokeStep& stroke);
    /// @brief The pointer reached `point` (world space, on the surface) with pen `pressure`
    /// (0..1): the dabs on the way there are placed and the mesh changed. Returns the box,
    /// mesh space, of what they moved (old and new positions); empty when nothing moved.
    tarnix::AxisAlignedBoundingBox AddStrokePoint(const tarnix::Vector& point, float pressure);
    /// @brief Ends the stroke: it becomes one undoable change, unless it changed nothing
    /// (the figures' warning tells why), when it leaves no change behind. Tells what it did.
    StrokeFigures EndStroke();
    bool InStroke() const;

    size_t UndoCount() const;
    size_t RedoCount() const;
    void Undo();
    void Redo();

    /// @brief A picture of the sculpted level through `view` (world space).
    Picture Render(const View& view, int width, int height) const;
    /// @brief Level `level` (the sculpted one when not given) as a writer takes it: its texture
    /// coordinates and the file's face names when the mesh has them.
    MeshToWrite ToWrite(std::optional<uint32_t> level = std::nullopt) const;
    /// @brief Writes that level in the mesh's own space, in the format the file name gives;
    /// returns the vertices written. Throws when there is no such level or it cannot write.
    uint32_t Write(const QString& path, std::optional<uint32_t> level = std::nullopt) const;
    /// @brief A position of a level in the mesh's own space (levels carry the placement's
    /// non-uniform scale, see Place), and a normal of it.
    tarnix::Vector OwnPosition(const tarnix::Vector& levelPosition) const;
    tarnix::Vector OwnNormal(const tarnix::Vector& levelNormal) const;

private:
    QString WhyNothingChanged(const StrokeStep& stroke, const StrokeFigures& figures) const;
    // Counts the vertices the stroke's record (the change on top, unless it is still
    // `latestBefore`) moved, of the `verticesBefore` there before. True when one lies beyond
    // the session coordinate limit or at no finite place.
    bool CountMoves(const tarnix::MeshChange* latestBefore, uint32_t verticesBefore, StrokeFigures& figures) const;
    // Forgets the stroke's record when the stroke moved nothing (figures.warning says why).
    void DropIfNothingMoved(const tarnix::MeshChange* latestBefore, const StrokeFigures& figures);
    // `brush`'s statistics of its last stroke and the faces and vertices the stroke added.
    void TakeStatistics(const tarnix::BrushOperation& brush, uint32_t facesBefore, uint32_t verticesBefore,
                        StrokeFigures& figures) const;
    // Scales the positions of every level by `baked` (per axis) in place of m_bakedScale.
    void Rebake(const tarnix::Vector& baked);
    // Builds what strokes on m_level need (its grid, caches and the brushes' tables) ahead.
    void PrepareLevel();

    // The host's brush in use: that of the tool last prepared or activated.
    tarnix::BrushOperation& Brush() const;
    // The brush that runs `stroke`: the one in use, or for a stroke with the smoothing
    // modifier the host's smoothing brush, given the stroke's size, strength and mirror.
    tarnix::BrushOperation& StrokeBrush(const StrokeStep& stroke) const;

    BrushHost& m_host;
    std::unique_ptr<tarnix::Geometry> m_geometry;
    tarnix::SubdivisionLevel* m_level = nullptr;
    std::vector<FacePart> m_parts;
    QString m_materialLibrary;
    std::map<const tarnix::SculptLayer*, QString> m_layerNames;  // layers renamed since made
    // The factor per axis between the levels' positions and the mesh's own space.
    tarnix::Vector m_bakedScale{1, 1, 1};
    // The freeze painting going on: each vertex's freeze when the edit first reached it, and
    // where the pointer was last.
    std::unordered_map<uint32_t, uint8_t> m_freezeAtStart;
    std::optional<tarnix::Vector> m_lastFreezePoint;
    // The stroke going on, between BeginStroke and EndStroke.
    std::unique_ptr<tarnix::StrokeDriver> m_driver;
    StrokeStep m_liveStroke;  // its tool is the one that runs (the smoothing modifier's)
    uint32_t m_liveFacesBefore = 0, m_liveVerticesBefore = 0;
    const tarnix::MeshChange* m_liveLatestBefore = nullptr;  // compared, never read
    std::chrono::steady_clock::time_point m_strokeStart;
};

}  // namespace corvane_apps

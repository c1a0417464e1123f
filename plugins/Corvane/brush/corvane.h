#pragma once
// Corvane: the module's one brush class. One object serves all sixteen tool presets; the
// active preset's id decides the tool. The brush derives from the host's tessellating brush
// Velder and is also an adjacent-vertex enumerator (smoothing neighbourhoods), a vertex
// enumerator (the per-vertex path on meshes that are not all quads) and a mesh unlocker
// (the host may take the mesh lock back only between strokes).
//
// Attributes, in creation order (keys are the host's names; "stored" means part of the
// stored form, "copied" copied by assignment):
//   "preservevolume"  bool                  not stored, not copied
//   "bilinearsample"  bool                  stored, copied
//   "globalplane"     bool, false           stored from class version 1, copied
//   "updateplane"     bool, true            stored from class version 1, copied
//   "affectalllayers" bool                  stored from class version 1, copied
//   "drawfromcenter"  bool                  not stored, not copied
//   "lockborders"     bool                  not stored, not copied
//   ""                string, hidden        follows the host's renderer-override setting
//   "builduprate"     float in [0, 1], 0.5  stored, copied
//
// One brush object serves all sixteen tools: activating a preset (tool_activation.cpp) applies
// its tool's row (tools.cpp): the tool-family flags, signs and limits that the kernels read,
// and the attributes that make sense for the tool.
//
// A dab (dab_driver.cpp) runs as named steps that leave the dab's values in the brush and its
// dab block, then gathers them once into the dab's frame (PrepareDabFrame), which is all the
// kernels and the per-vertex path read of the dab.

#include <QHash>
#include <cstdint>
#include <utility>
#include <vector>

#include "kernels/dab_frame.h"
#include "kernels/kernel_scratch.h"
#include "kernels/kernel_switches.h"
#include "tarnix/attribute.h"
#include "tarnix/enumerators.h"
#include "tarnix/math/bounding_box.h"
#include "tarnix/math/hw_vector.h"
#include "tarnix/math/vector.h"
#include "tarnix/scene.h"
#include "tarnix/store.h"
#include "velder.h"

namespace tarnix {
class BrushConfiguration;
class Image;
class Mesh;
class MeshChange;
class MeshRenderer;
class SubdivisionLevel;
class SculptLayer;
}  // namespace tarnix
class PatchMap;
namespace corvane {
struct DabInputs;
struct ToolTraits;

/// The patches of a dab: base faces of level `baseLevelIndex`, each `depth` levels deep, so
/// `facesPerPatch` faces of the sculpted level.
struct PatchLevels {
    uint32_t baseLevelIndex, depth, facesPerPatch;
    bool operator==(const PatchLevels& o) const {
        return baseLevelIndex == o.baseLevelIndex && depth == o.depth && facesPerPatch == o.facesPerPatch;
    }
};

/// A dab's plane: its direction (the displacement direction), a point on it and its offset
/// along the direction.
struct DabPlane {
    tarnix::Vector direction, point;
    float offset;
};
}  // namespace corvane

class Corvane : public Velder,
                public tarnix::AdjacentVertexEnumerator,
                public tarnix::VertexEnumerator,
                public tarnix::MeshUnlocker {
public:
    Corvane();
    ~Corvane() override;

    const tarnix::ClassDesc* GetClass() const override;
    static const tarnix::ClassDesc* StaticClass();

    void OnNodeEvent(tarnix::Attribute& attribute, int eventType) override;
    void Serialize(tarnix::Stream& stream) override;
    /// @brief Velder's assignment, then the stored attributes of a Corvane `source`, silently.
    Corvane& operator=(const tarnix::BrushOperation& source) override;
    Corvane& operator=(const Corvane& source) { return operator=(static_cast<const tarnix::BrushOperation&>(source)); }

    /// @brief The host may take the mesh lock back only outside a stroke.
    bool CanUnlock() const override { return !m_inStroke; }

    /// @brief Sets "builduprate" silently and the kernels' rate, its cube.
    void SetBuildUpRate(float rate);
    float BuildUpRate() const override { return m_buildUpRateAttr.Value(); }

    // ---- tool activation (tool_activation.cpp) --------------------------------------------------
    void SetActiveConfiguration(tarnix::BrushConfiguration* configuration) override;
    void ResetBrushConfiguration() override;
    /// @brief The active preset's id; 0xFFFFFFFF without one.
    uint32_t ActiveToolId() const;

    // ---- questions the host asks: Imprint places one stamp by dragging -------------------------
    int StampDragMode() const override;
    bool PlacesSingleStamp() const override;
    bool SpacesDabs() const override;
    bool OrientsStampToSurface() const override;
    bool CanCopyPresets() const override { return true; }
    /// @brief Keeps the hints the host reads (ActiveStrengthHints) those of the running tool.
    void PublishStrengthHints();

    // ---- the stroke (stroke_lifecycle.cpp, dab_driver.cpp, dab_direction.cpp) ---------------------
    void BeginStroke(tarnix::Mesh* mesh, Modifier modifier, TriggerType trigger) override;
    void EndStroke() override;
    void ApplyDab(const tarnix::SurfacePoint* point, const tarnix::Vector* position, float size, float dabFactor,
                  float strength, tarnix::AxisAlignedBoundingBox& changedArea) override;
    void ApplyToWholeMesh(tarnix::Mesh* mesh, float unused, float amount, bool fromCamera) override;
    /// @brief Links the patch map a stroke on `mesh` reads (on its all-quad base level), which
    /// takes about a second on a scan subdivided once.
    void PrepareMesh(tarnix::Mesh* mesh) override;
    /// @brief Binds the brush to `mesh` (a subdivision level): lock, scale, layer, patch map,
    /// undo record and renderers. Throws "Invalid mesh specified" for any other mesh.
    void SetMesh(tarnix::Mesh* mesh);
    void ReleaseMesh();
    /// @brief The level the patch map of quad level `level` hangs from: level 0 of its
    /// geometry, or level 1 when level 0 is not made of quads.
    static tarnix::SubdivisionLevel* PatchMapLevel(tarnix::SubdivisionLevel& level);
    /// @brief The patch map of `base`, made and linked when there is none (or only one loaded
    /// without its table).
    static PatchMap* LinkPatchMap(tarnix::SubdivisionLevel& base);
    /// @brief Makes `change` of `mesh` the current undo record.
    void AddMeshChange(tarnix::Mesh* mesh, tarnix::MeshChange* change);
    /// @brief Reads the mesh transformation's scale and matrices into the dab block.
    void RefreshMeshTransform();
    /// @brief Adds the corners of `mesh`'s pending-update box that its bounding box does not
    /// hold to that box.
    void MergeChangedBox(tarnix::Mesh* mesh);
    /// @brief The dab's direction and plane, in the plane slot of the point's mirror side (0:
    /// the dab, 1: its mirrored twin); false drops the dab.
    bool UpdateDabDirection(const tarnix::SurfacePoint& point);
    /// @brief The Relax pre-pass: gathers every relax target and weight under the brush.
    void GatherRelaxTargets(const tarnix::SurfacePoint& point);
    /// @brief Direction mode 1: the mean normal and plane point of the region under the brush.
    void GatherRegionNormal(const tarnix::SurfacePoint& point);

    // ---- the dab's frame (dab_frame.cpp) ---------------------------------------------------------
    /// @brief The frame of the last dab prepared (by ApplyDab or PrepareDab).
    const corvane::DabFrame& Frame() const { return m_frame; }

    // ---- patch kernels (kernels/) ------------------------------------------------------------------
    /// @brief The 10-bit index of the kernel for the current brush state (kernel_index.h); the
    /// dab's frame keeps it for the dab.
    uint32_t ComputeKernelIndex() const;
    /// @brief The face test of the host's face enumeration: runs the patch of base face
    /// `face` of the patch level through its kernel (or the gathering pass).
    bool Tester(tarnix::Mesh* mesh, uint32_t face) override;
    bool PatchTester(tarnix::Mesh* mesh, uint32_t face) { return Tester(mesh, face); }
    /// @brief The kernel for the flag combination `Index`: one patch, one dab (the kernel
    /// table's entry, a forwarder to the walk of kernels/patch_kernel.inl).
    template <uint32_t Index>
    bool PatchKernel(uint32_t face);
    /// @brief The vertex test of the host's vertex enumeration: the per-vertex path, one
    /// vertex at a time with the same rules as the kernels (meshes that are not all quads).
    bool Tester(tarnix::Mesh* mesh, uint32_t vertex, uint32_t face) override;
    bool VertexSculpt(tarnix::Mesh* mesh, uint32_t vertex, uint32_t face) { return Tester(mesh, vertex, face); }
    /// @brief Gives every vertex the per-vertex path touched in this dab the mean of its faces'
    /// normals, and empties the list.
    void RecomputeTouchedNormals();
    /// @brief Adjacent-vertex callback of the smoothing neighbourhood (NeighbourAverage).
    void Operator(uint32_t vertex, uint32_t face) override;

    // ---- smoothing neighbourhood (kernels/smoothing_neighbourhood.cpp) ----------------------------
    /// @brief Whether smoothing works on the active layer's positions (not the summed ones).
    bool SmoothsActiveLayerOnly() const;
    /// @brief Fills the padded grid of patch `face` before a smoothing kernel: its cells from
    /// the level (or the layer), then the ring from the neighbouring patches.
    void BuildRing(uint32_t face);
    /// @brief After a kernel: the ring from the level's current positions. The patch's own
    /// cells already hold them, as the kernel writes every vertex it walks into its cell, so
    /// the grid equals a fresh BuildRing of the level's positions.
    void RefreshRing(uint32_t face);
    /// @brief Makes the five-point average at each patch corner equal the corner vertex's
    /// one-ring midpoint, keeping the cells it overwrites (RestoreCornerCells puts them back).
    void ApplyCornerCorrection(uint32_t face);
    void RestoreCornerCells();
    /// @brief Half the vertex's position plus half its neighbours' mean.
    tarnix::Vector OneRingAverage(uint32_t vertex, uint32_t face);
    /// @brief Calls Operator for each neighbour of the vertex, in the mesh's order.
    void VisitNeighbours(uint32_t vertex);
    /// @brief The vertex's active-layer position (its undo entry is added when missing).
    tarnix::Vector LayerPositionOf(uint32_t vertex, uint32_t face);
    /// @brief Recording pass of volume-preserving smoothing.
    void RecordVertex(uint32_t vertex, uint32_t face);
    /// @brief Target of the inflating pass.
    tarnix::Vector InflateTarget(uint32_t vertex, uint32_t face);
    /// @brief Target of the Relax tool.
    tarnix::Vector RelaxTarget(uint32_t vertex) const;
    /// @brief Gathering pass over a patch: plane samples, or relax targets for Relax.
    bool GatherPlanePatch(uint32_t face);
    bool GatherRelaxPatch(uint32_t face);
    /// @brief One vertex's relax target sum, contribution count, weight and border marks.
    bool GatherRelaxVertex(uint32_t vertex);
    /// @brief One vertex's contribution to the region plane; false outside the brush.
    bool PlaneSample(uint32_t vertex);
    /// @brief Marks `vertex` (whose undo entry is `entry`, or null) as sampled in this pass
    /// and fills `sample` with what it adds to the region plane; false (and `sample`
    /// untouched) outside the brush.
    bool TakePlaneSample(uint32_t vertex, tarnix::StoredVertexInfo* entry, const corvane::PlaneSampleRules& rules,
                         corvane::PlaneSampleValue& sample);
    static corvane::PlaneSampleRules CurrentPlaneSampleRules();

    /// @brief The stored position of the topological mirror partner of `vertex` (a corner of
    /// `face`), its undo entry added when missing; false without a partner.
    bool PartnerStoredPosition(uint32_t vertex, uint32_t face, bool withLayer, tarnix::HWVector& position);

    /// @brief Rebuilds the normals of patch `face`, which the kernel just walked, from the
    /// padded grid.
    void RecomputePatchNormals(uint32_t face);

    // ---- a dab set up by hand (tests, benchmarks; brush/dab_inputs.h) -----------------------------
    /// @brief Binds the brush to `inputs.level` and sets the dab up from `inputs` as the dab
    /// driver's steps would, then prepares the dab's frame: the walks (PatchTester,
    /// VertexSculpt, Tester) may follow. It starts a pass of its own.
    void PrepareDab(const corvane::DabInputs& inputs);
    /// @brief A new pass of the dab PrepareDab set up: the vertices it moved may move again.
    void NextDabPass();
    /// @brief Lets go of the level, the padded grids and the stamp PrepareDab bound.
    void ReleaseDab();

    // ---- what the brush holds, read-only -------------------------------------------------------
    /// @brief Vertices inside the brush, summed over the stroke's dabs (for the host's reports).
    uint64_t VertexUpdates() const { return m_vertexUpdates; }
    /// @brief The patches of the last dab: base level, depth and faces per patch.
    corvane::PatchLevels Patches() const { return {m_patchBaseLevelIndex, m_patchLevel, m_facesPerPatch}; }
    /// @brief The dab plane of mirror slot `slot` (0: the dab, 1: its mirrored twin).
    corvane::DabPlane Plane(uint32_t slot) const {
        return {m_planeDirection[slot], m_planePoint[slot], m_planeOffset[slot]};
    }
    /// @brief The region plane's sums of the last gathering pass: weighted position (3),
    /// weighted normal (3), weight.
    const float* RegionPlaneSums() const { return m_planeSums; }

    // ---- attributes: the settings the host and its panel reach by name --------------------------
    tarnix::AttributeInstance<bool> m_preserveVolumeAttr;
    tarnix::AttributeInstance<bool> m_bilinearSampleAttr;
    tarnix::AttributeInstance<bool> m_globalPlaneAttr;
    tarnix::AttributeInstance<bool> m_updatePlaneAttr;
    tarnix::AttributeInstance<bool> m_affectAllLayersAttr;
    tarnix::AttributeInstance<bool> m_drawFromCenterAttr;
    tarnix::AttributeInstance<bool> m_lockBordersAttr;
    tarnix::AttributeInstance<QString> m_hostStringLinkAttr;
    tarnix::AttributeFloatRange m_buildUpRateAttr;

    using GridVertex = corvane::GridVertex;
    /// Records of patches at least this deep are cached per patch, in vertex order, for the
    /// walks whose order cannot change their result.
    static constexpr uint32_t kCachedPatchDepth = 3;

private:
    // The dab's steps (dab_driver.cpp), in the order ApplyDab takes them.
    /// @brief Lends the dab the padded grids from the scratch (the layer's only for smoothing
    /// the active layer); false when the memory is refused.
    bool LendPaddedGrids();
    /// @brief The mirror slot and dab count; switches to the point's mesh. False drops the dab.
    bool BindDabMesh(const tarnix::SurfacePoint& point);
    /// @brief The patch level and depth from the brush and face sizes; returns the face size.
    float ChoosePatchDepth(const tarnix::SurfacePoint& point, float size, int falloffType);
    /// @brief The dab strength with the mesh scale, the stroke's sign and the tool's factor.
    float ScaleDabStrength(float strength) const;
    /// @brief Centre (mesh space, or world under a non-uniform scale), radius and falloff scale.
    void PlaceDab(const tarnix::Vector& position, float size);
    /// @brief The displacement length and Wax's depth from the scaled strength.
    void SetDabLength(float strength);
    /// @brief The stamp's matrix, axes and measures in mesh space.
    void PrepareStampFrame(const tarnix::Vector& position);
    /// @brief The plane the kernels read, from the dab's direction slot.
    void PlaceDabPlane();
    /// @brief The base brush's refinement under the brush; false when the mesh cannot be edited.
    bool RefineAroundDab(const tarnix::SurfacePoint& point, float size);
    /// @brief The dab's frame, from the values the steps before it left in the brush and its
    /// dab block: the last step before the walks.
    void PrepareDabFrame();
    /// @brief The Relax gathering, the recording pass of volume-preserving smoothing, the
    /// walk and the volume passes.
    void RunDabPasses(const tarnix::SurfacePoint& point, float size, int falloffType);
    /// @brief The patches (or vertices) under the brush, found as the falloff type says.
    void WalkDab(const tarnix::SurfacePoint& point, float size, int falloffType);
    /// @brief Volume-preserving smoothing after the walk: smoothing the recorded vertices,
    /// then inflating them.
    void RunVolumePasses(const tarnix::SurfacePoint& point);
    /// @brief Grows the caller's changed area and the mesh's pending box by the touched box.
    void ReportChangedArea(tarnix::AxisAlignedBoundingBox& changedArea, float faceSize);

    // Tool activation's two parts (tool_activation.cpp).
    /// @brief Keeps the tool row's switches, starts the plane's sign and limits from them and
    /// sets the strength scale.
    void ApplyKernelSwitches(const corvane::KernelSwitches& switches);
    /// @brief Shows the attributes the tool's panel holds and hides the others.
    void ShowPanel(const corvane::ToolTraits& tool);

    /// @brief The patch's working set for the walk of patch `face` with `choices`.
    template <class Choices>
    bool RunPatchKernel(uint32_t face, const Choices& choices);
    /// @brief The stamp point and the smoothing target of the patch walk (patch_kernel.inl) and
    /// of the per-vertex path (vertex_sculpt.cpp).
    template <class Choices>
    auto PatchStampPoint(const Choices& choices);
    template <class Choices>
    auto PatchSmoothing(const Choices& choices);
    auto VertexStampPoint(uint32_t v, uint32_t f, const tarnix::HWVector& stored);
    auto VertexSmoothing(uint32_t v, uint32_t f, const tarnix::HWVector& position, bool& recorded);
    /// @brief Parts of the dab's frame: the view (facing, whole-mesh weighting) and the stamp.
    void PrepareFrameView();
    void PrepareFrameStamp();
    /// @brief Relax weights from the gathered targets (GatherRelaxTargets).
    void WeighRelaxTargets();
    /// @brief BeginStroke's stamp: whether it is on, and its samples (cached between strokes).
    void PrepareStrokeStamp();
    void CacheStampSamples(tarnix::Image& image);
    /// @brief GatherRegionNormal's two ways: the walk along the quad grid, and the gathering
    /// pass of the kernels; each gives the region's normal and centre.
    void WalkRegionNormal(const tarnix::SurfacePoint& point, tarnix::Vector& normal, tarnix::Vector& center);
    void GatherRegionPlane(const tarnix::SurfacePoint& point, tarnix::Vector& normal, tarnix::Vector& center);
    /// @brief Points m_gridRecords at the records of patch `face` and returns their count:
    /// in grid order when `inGridOrder` (or the patch is too small to cache), else possibly in
    /// vertex order.
    uint32_t FillGridVertices(uint32_t face, bool inGridOrder = false);
    /// @brief Sizes the per-patch caches for the patches of this dab; false when its patches
    /// are too small to cache or the memory is refused.
    bool PreparePatchRecords();
    /// @brief Whether the current undo record holds every vertex of patch `face` (so that a
    /// walk over it adds no entry), as NotePatchEntries noted.
    bool PatchHoldsEntries(uint32_t face);
    void NotePatchEntries(uint32_t face);

    // ---- the active preset's tool ----------------------------------------------------------------
    /// The tool's row (brush/tools.cpp) as activation found it: family flags, mesh-scale and
    /// plane-estimate choices, Wax's depth factor. The plane sign and limits start from it and
    /// are the stroke's own (m_planeSign, m_planeMin, m_planeMax).
    corvane::KernelSwitches m_switches;

    bool m_alongVertexNormals = false;
    bool m_nonUniformScale = false;
    bool m_meshHasFreeze = false;
    bool m_hasActiveLayer = false;
    bool m_skipRendererNotify = true;

    bool m_useStamp = false;
    bool m_stampTiled = false;
    bool m_stampIsVectorDisplacement = false;
    bool m_stampInverted = false;
    bool m_stampBuildUp = false;

    float m_planeMin = -1e8f;
    float m_planeMax = 1e8f;
    float m_planeSign = 1.0f;
    float m_liftSign = 1.0f;
    float m_strengthSign = 1.0f;
    float m_inverseMeshScale = 1.0f;
    float m_radius = 1.0f;
    float m_radiusSquared = 1.0f;
    float m_invRadius = 1.0f;
    float m_falloffLastIndexAsFloat = 1.0f;
    bool m_gatherPass = false;
    bool m_coarseWarningShown = false;
    bool m_switchingConfiguration = false;
    bool m_inStroke = false;
    tarnix::BrushConfiguration* m_savedConfiguration = nullptr;
    /// Cube of "builduprate", the rate the displacement kernels apply.
    float m_buildUpRate = 0.125f;

    // ---- per dab (set by the dab driver, read by the kernels) ------------------------------------
    uint32_t m_mirrorIndex = 0;
    uint32_t m_dabCount = 0xFFFFFFFFu;
    uint32_t m_patchLevel = 0;
    uint32_t m_patchBaseLevelIndex = 0;
    uint32_t m_facesPerPatch = 1;
    float m_falloffScale = 0.0f;
    float m_displacementLength = 0.0f;
    float m_dabFactor = 1.0f;
    float m_waxDepth = 0.0f;
    float m_planeDistance = 0.0f;
    tarnix::AxisAlignedBoundingBox* m_changedArea = nullptr;
    uint32_t m_dabStamp = 0;
    uint32_t m_ringSide = 0;
    tarnix::HWVector* m_ringPositions = nullptr;
    tarnix::HWVector* m_ringLayerPositions = nullptr;
    float m_stampScaleX = 0.0f;
    float m_stampScaleY = 0.0f;
    float m_stampDepthStep = 0.0f;
    uint32_t m_dabSerial = 0;
    /// Smoothing phase: -1 recording, 0 smoothing, 1 inflating (volume-preserving smooth).
    int32_t m_smoothPass = 0;
    /// Surface distance per vertex index, from the geodesic enumeration.
    const float* m_vertexDistances = nullptr;
    bool m_directionNeedsLocalFrame = false;
    float m_planeOffset[2] = {0.0f, 0.0f};
    /// Weighted position sum (3), weighted normal sum (3), weight sum, of the region gather.
    float m_planeSums[7] = {};
    uint32_t m_neighbourCount = 0;
    float m_relaxSpread = 0.0f;
    float m_relaxBlend = 0.0f;
    /// Vertices inside the brush, summed over the stroke's dabs (for the host's reports).
    uint64_t m_vertexUpdates = 0;

    // ---- the mesh being sculpted ----------------------------------------------------------------
    tarnix::SubdivisionLevel* m_subdivisionLevel = nullptr;
    tarnix::SubdivisionLevel* m_baseMesh = nullptr;
    tarnix::SubdivisionLevel* m_patchBaseLevel = nullptr;
    PatchMap* m_patchMap = nullptr;
    tarnix::SculptLayer* m_activeLayer = nullptr;

    // ---- stamp cache -----------------------------------------------------------------------------
    tarnix::Image* m_stampImage = nullptr;
    /// The converted samples the kernels read: the data of m_stampSamples, null when the
    /// stroke's stamp has none.
    const float* m_stampPixels = nullptr;
    tarnix::Store<float> m_stampSamples{"corvane stamp"};
    uint32_t m_stampImageVersion = 0;
    uint32_t m_stampWidth = 0;
    uint32_t m_stampHeight = 0;
    float m_stampMaskFactor = 0.0f;
    float m_stampOffset = 0.0f;
    QString m_stampName;

    // ---- falloff ---------------------------------------------------------------------------------
    const float* m_falloffSamples = nullptr;
    uint32_t m_falloffLastIndex = 0;

    // ---- centre, planes and directions -----------------------------------------------------------
    tarnix::Vector m_brushCenter;
    tarnix::Vector m_planeDirection[2];
    tarnix::Vector m_planePoint[2];
    tarnix::Vector m_wholeMeshCameraDirection;
    tarnix::Vector m_neighbourSum;
    tarnix::Vector m_relaxCentre;
    tarnix::Vector m_relaxNormal;

    // ---- tracked work lists ------------------------------------------------------------------
    tarnix::Store<tarnix::MeshRenderer*> m_renderers{"corvane renderers"};
    tarnix::Store<std::pair<tarnix::Mesh*, tarnix::MeshChange*>> m_meshChanges{"unknown"};
    tarnix::Store<std::pair<uint32_t, uint32_t>> m_touchedVertices{"unknown"};
    tarnix::Store<double> m_relaxWeights{"unknown"};
    tarnix::Store<tarnix::Vector> m_relaxTargets{"unknown"};
    tarnix::Store<uint32_t> m_relaxInRange{"unknown"};
    tarnix::Store<uint8_t> m_relaxBorder{"unknown"};
    /// Vertices whose relax entries the last gather wrote: the only non-zero entries.
    tarnix::Store<uint32_t> m_relaxWritten{"corvane relax"};
    tarnix::Store<uint32_t> m_smoothVertices{"unknown"};
    tarnix::Store<uint32_t> m_smoothVertexFaces{"unknown"};
    QHash<uint32_t, tarnix::Vector> m_recordedPositions;
    tarnix::CurveManipulator m_curveManipulator;

    /// Working memory of dabs and patches (kernel_scratch.h): the dab block, the walks' arrays
    /// and the per-patch records; the brush's only scratch.
    corvane::KernelScratch m_scratch;
    /// The dab's frame: filled by PrepareDabFrame, read by the kernels and the per-vertex path.
    corvane::DabFrame m_frame{};

    /// The patch whose records m_gridRecords holds (0xFFFFFFFF: none).
    uint32_t m_scratchFace = 0xFFFFFFFFu;
    /// The records of the patch being processed: the scratch, or the patch's cached records.
    GridVertex* m_gridRecords = nullptr;
    /// Counts the undo records the brush has taken (AddMeshChange), so that a patch can tell
    /// whether the current one holds its vertices (the cached records' entryChanges).
    uint32_t m_changeSerial = 1;
    /// Ring cells the corner correction overwrote: (cell, value) for the four corners.
    uint32_t m_keptCornerCells[8] = {};
    tarnix::HWVector m_keptCornerValues[8];
};

/// @brief The class factory: one brush for a count of 0 or 1, else an array of `count`
/// brushes; each is constructed, then each initialized, and the first returned.
tarnix::Node* CreateCorvane(uint32_t count);

namespace corvane {
/// The Smooth preset, swapped in for strokes with the smoothing modifier; the tool catalogue
/// sets it when it registers the presets.
extern tarnix::BrushConfiguration* s_smoothConfiguration;
}  // namespace corvane

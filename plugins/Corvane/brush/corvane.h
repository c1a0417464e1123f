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
// \note This is the object's shell: attributes, stored form, assignment and the reactions
// to host settings. Tool activation, strokes, dabs and the kernels build on it.

#include <QHash>
#include <cstdint>
#include <utility>

#include "tarnix/attribute.h"
#include "tarnix/enumerators.h"
#include "tarnix/math/vector.h"
#include "tarnix/store.h"
#include "velder.h"

namespace tarnix {
class BrushConfiguration;
class Mesh;
class MeshChange;
class MeshRenderer;
}  // namespace tarnix

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
    /// @brief Copies the stored attributes of `source` (Velder's part first), silently.
    Corvane& operator=(const Corvane& source);

    /// @brief The host may take the mesh lock back only outside a stroke.
    bool CanUnlock() const override { return !m_inStroke; }

    /// @brief Sets "builduprate" silently and the kernels' rate, its cube.
    void SetBuildUpRate(float rate);
    float BuildUpRate() const { return m_buildUpRateAttr.Value(); }

    // ---- attributes ---------------------------------------------------------------------------
    tarnix::AttributeInstance<bool> m_preserveVolumeAttr;
    tarnix::AttributeInstance<bool> m_bilinearSampleAttr;
    tarnix::AttributeInstance<bool> m_globalPlaneAttr;
    tarnix::AttributeInstance<bool> m_updatePlaneAttr;
    tarnix::AttributeInstance<bool> m_affectAllLayersAttr;
    tarnix::AttributeInstance<bool> m_drawFromCenterAttr;
    tarnix::AttributeInstance<bool> m_lockBordersAttr;
    tarnix::AttributeInstance<QString> m_hostStringLinkAttr;
    tarnix::AttributeFloatRange m_buildUpRateAttr;

    // ---- tool family of the active preset ----------------------------------------------------
    bool m_smoothTool = false;
    bool m_pinchTool = false;
    bool m_planeTool = false;
    bool m_bulgeTool = false;
    bool m_smearTool = false;
    bool m_relaxTool = false;
    bool m_waxTool = false;

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
    float m_waxDepthFactor = 0.0f;
    float m_planeSign = 1.0f;
    float m_liftSign = 1.0f;
    float m_strengthSign = 1.0f;
    float m_inverseMeshScale = 1.0f;
    float m_radius = 1.0f;
    float m_radiusSquared = 1.0f;
    float m_invRadius = 1.0f;
    float m_falloffLastIndexAsFloat = 1.0f;
    bool m_ignoreMeshScale = false;
    bool m_fastPlaneEstimate = true;
    bool m_gatherPass = false;
    bool m_coarseWarningShown = false;
    bool m_switchingConfiguration = false;
    bool m_inStroke = false;
    tarnix::BrushConfiguration* m_savedConfiguration = nullptr;
    /// Cube of "builduprate", the rate the displacement kernels apply.
    float m_buildUpRate = 0.125f;

    /// Per-dab rows read by the kernels: 19 rows of 16 bytes, 16-byte aligned.
    static constexpr int kDabBlockRows = 19;
    float* m_dabBlock = nullptr;

    // ---- tracked work lists ------------------------------------------------------------------
    tarnix::Store<tarnix::MeshRenderer*> m_renderers{"corvane renderers"};
    tarnix::Store<std::pair<tarnix::Mesh*, tarnix::MeshChange*>> m_meshChanges{"unknown"};
    tarnix::Store<std::pair<uint32_t, uint32_t>> m_touchedVertices{"unknown"};
    tarnix::Store<double> m_relaxWeights{"unknown"};
    tarnix::Store<tarnix::Vector> m_relaxTargets{"unknown"};
    tarnix::Store<uint32_t> m_relaxInRange{"unknown"};
    tarnix::Store<uint8_t> m_relaxBorder{"unknown"};
    tarnix::Store<uint32_t> m_smoothVertices{"unknown"};
    tarnix::Store<uint32_t> m_smoothVertexFaces{"unknown"};
    QHash<uint32_t, tarnix::Vector> m_recordedPositions;

private:
    void* m_dabBlockRaw = nullptr;
};

/// @brief The class factory: one brush for a count of 0 or 1, else an array of `count`
/// brushes; each is constructed, then each initialized, and the first returned.
tarnix::Node* CreateCorvane(uint32_t count);

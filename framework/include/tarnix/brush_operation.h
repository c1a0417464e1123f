#pragma once
// tarnix::BrushOperation: the framework's base of every sculpting brush, and the registry of
// brush presets.
//
// The brush's settings are attributes of this base, so that the host can show them and keep
// them per preset: when the host activates another preset, the settings of the preset being
// left are recorded (the preset is then "initialized"), and a preset that has a record gets
// its settings back. A preset activated for the first time keeps the current settings, and
// the brush applies its first-use defaults (IsConfigurationInited tells which case it is).
//
// Settings (keys): size, strength, strength scale and bias; the falloff curve (one of the
// preset curves, sampled into a table) and the falloff type (0 surface: spread over the
// surface from the hit; 1 geodesic: by distance along the surface; 2 volume: everything
// within the brush sphere); the distance mode (1 measures geodesic distances); surface
// projection; the direction mode (0..12); stroke smoothing and steady stroke; the invert
// switch; pressure to size; dab spacing and jitter (percent of the brush size); adaptive
// refinement; curvature refinement; stamp randomising. The stamp itself is a
// StampConfiguration with its image.
//
// Masks: type -1 is the brush stamp; type 1 the "mirrored stamp" switch of the stamp record.

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "tarnix/attribute.h"
#include "tarnix/brush_configuration.h"
#include "tarnix/math/bounding_box.h"
#include "tarnix/math/matrix.h"
#include "tarnix/mirror_configuration.h"
#include "tarnix/node.h"
#include "tarnix/stamp_configuration.h"

namespace tarnix {

class Image;
class Mesh;
class SurfacePoint;

class BrushOperation : public virtual Node {
public:
    enum Modifier : int { kModifierNone = 0, kModifierSmooth = 1, kModifierInvert = 2 };
    /// How a stroke started: a drag over the surface (0) or a click that only picks (1).
    enum TriggerType : int { kTriggerDrag = 0, kTriggerPick = 1 };
    enum FalloffType : int { kFalloffSurface = 0, kFalloffGeodesic = 1, kFalloffVolume = 2 };
    static constexpr int kStampMask = -1;
    static constexpr int kMirroredStampMask = 1;
    static constexpr int kFalloffPresetCount = 10;
    static constexpr int kNoFalloff = -1;
    static constexpr uint32_t kFalloffSamples = 256;

    struct Falloff {
        const float* data;
        uint32_t count;
    };

    BrushOperation();
    ~BrushOperation() override;
    const ClassDesc* GetClass() const override;
    static const ClassDesc* StaticClass();
    void Serialize(Stream& stream) override;
    /// @brief Copies the settings of `source` (the base's attributes and the stamp record).
    virtual BrushOperation& operator=(const BrushOperation& source);

    // ---- size and strength --------------------------------------------------------------------
    float BrushSize() const { return m_sizeAttr.Value(); }
    void SetBrushSize(float size) { m_sizeAttr.SetValue(size, true); }
    float BrushStrength() const { return m_strengthAttr.Value(); }
    void SetBrushStrength(float strength) { m_strengthAttr.SetValue(strength, true); }
    float StrengthScale() const { return m_strengthScaleAttr.Value(); }
    void SetBrushStrengthScale(float scale) { m_strengthScaleAttr.SetValue(scale, true); }
    float StrengthBias() const { return m_strengthBiasAttr.Value(); }
    void SetStrengthBias(float bias) { m_strengthBiasAttr.SetValue(bias, true); }

    // ---- falloff ----------------------------------------------------------------------------
    /// @brief The falloff curve sampled from the brush centre (index 0) to its rim (the last
    /// index); null data when the brush has no falloff.
    Falloff FalloffData() const;
    int GetFalloffType() const { return m_falloffTypeAttr.Value(); }
    void SetFalloffType(int type) { m_falloffTypeAttr.SetValue(type, true); }
    /// @brief Picks preset curve `index` (0 .. kFalloffPresetCount - 1), or kNoFalloff.
    void SetFalloffIndex(int index);
    int FalloffIndex() const { return m_falloffIndexAttr.Value(); }
    /// @brief The preset curve `index` at the relative distance t in [0, 1].
    static float FalloffPreset(int index, float t);
    /// @brief The name a host shows for preset curve `index` ("linear", "smooth", ...).
    static const char* FalloffPresetName(int index);

    // ---- stroke ---------------------------------------------------------------------------------
    void SetStrokeSmoothing(bool on, float amount) { m_strokeSmoothingAttr.SetValue({on, amount}, true); }
    BoolFloat StrokeSmoothing() const { return m_strokeSmoothingAttr.Value(); }
    void SetSteadyStroke(bool on, float distance) { m_steadyStrokeAttr.SetValue({on, distance}, true); }
    BoolFloat SteadyStroke() const { return m_steadyStrokeAttr.Value(); }
    /// @brief The direction mode the brush moves vertices along (0..12).
    int Direction() const { return m_directionAttr.Value(); }
    /// @brief The direction the brush last moved along (for the host's cursor).
    void SetDirectionVector(const Vector& direction) { m_directionVector = direction; }
    const Vector& DirectionVector() const { return m_directionVector; }
    /// @brief World position of the previous dab of the stroke; (0, 0, 0) before the first.
    const Vector& PreviousPatchPosition() const { return m_previousPatchPosition; }
    void SetPreviousPatchPosition(const Vector& position) { m_previousPatchPosition = position; }

    // ---- masks and stamps -------------------------------------------------------------------------
    bool IsMaskEnabled(int type) const;
    bool IsMaskTiled(int type) const;
    bool IsMaskInverted(int type) const;
    Image* MaskImage(int type) const;
    const Matrix& MaskMatrix(int type) const;
    void SetMaskMatrix(int type, const Matrix& matrix);
    float MaskFactor(int type) const;
    float MaskOffset(int type) const;
    QString MaskName(int type) const;
    bool MaskBuildUp(int type) const;
    /// @brief Turns the stamp on or off with the image at `path` (relative paths are looked up
    /// among the resource folders). An image that cannot be read leaves the stamp without
    /// one; the reason is logged and kept in StampError. Choosing another image takes its
    /// neutral level (Image::NeutralLevel; 0 without an image) as the stamp's offset, so that
    /// the grey its author meant as "no move" moves nothing.
    void SetStamp(bool enabled, const QString& path);
    /// @brief Takes the whole record as it is, offset included (a preset's own, restored).
    void SetStampConfig(const StampConfiguration& configuration);
    const StampConfiguration& StampConfig() const { return m_stamp; }
    const QString& StampError() const { return m_stampError; }
    /// @brief Places the stamp for a dab: centred on `center`, in the plane across `normal`,
    /// its x axis along `tangent`, the image spanning the brush diameter (2 `radius`).
    void PlaceStamp(const Vector& center, const Vector& normal, const Vector& tangent, float radius);

    // ---- mirror -------------------------------------------------------------------------------
    MirrorConfiguration& MirrorConfig() { return m_mirror; }
    const MirrorConfiguration& MirrorConfig() const { return m_mirror; }

    // ---- presets ------------------------------------------------------------------------------
    BrushConfiguration* ActiveConfiguration() const { return m_activeConfiguration; }
    /// @brief Records the settings of the preset being left, restores those of `configuration`
    /// when it has a record, and makes it the active preset.
    virtual void SetActiveConfiguration(BrushConfiguration* configuration);
    /// @brief Whether the framework holds settings recorded for `configuration`.
    bool IsConfigurationInited(const BrushConfiguration* configuration) const;
    /// @brief Forgets the active preset's record and returns the settings to their defaults.
    virtual void ResetBrushConfiguration();
    /// The framework's records of every preset (attribute key to value text), as a whole: a
    /// host that tries settings out on a brush of its own puts them back afterwards.
    using PresetRecords = std::map<const BrushConfiguration*, std::map<QString, QString>>;
    static PresetRecords SavedPresetRecords();
    static void RestorePresetRecords(PresetRecords records);

    // ---- the stroke, driven by the host -------------------------------------------------------------
    virtual void BeginStroke(Mesh* mesh, Modifier modifier, TriggerType trigger);
    virtual void EndStroke();
    /// @brief One dab at `point` (world position `position`) of radius `size`.
    virtual void ApplyDab(const SurfacePoint* point, const Vector* position, float size, float dabFactor,
                          float strength, AxisAlignedBoundingBox& changedArea);
    /// @brief One dab over the whole of `mesh`.
    virtual void ApplyToWholeMesh(Mesh* mesh, float unused, float amount, bool fromCamera);
    /// @brief Does ahead, outside any stroke, what the brush's first stroke on `mesh` would
    /// otherwise build for it, so that the stroke does not wait for it. A host calls it where it
    /// prepares a level for strokes (Geometry::PrepareForStrokes); the default does nothing.
    virtual void PrepareMesh(Mesh* mesh);

    // ---- questions the host asks the brush (defaults for an ordinary brush) ------------------------------
    /// @brief 0: stamps follow the stroke; 1: placed by dragging from the centre; 2: by a box.
    virtual int StampDragMode() const { return 0; }
    virtual float BuildUpRate() const { return 1.0f; }
    /// @brief Whether one stroke places one stamp only.
    virtual bool PlacesSingleStamp() const { return false; }
    /// @brief Whether dabs are spaced along the stroke.
    virtual bool SpacesDabs() const { return true; }
    /// @brief Whether the stamp lies on the surface (rather than facing the view).
    virtual bool OrientsStampToSurface() const { return true; }
    /// @brief Whether presets of this brush may be copied into new ones.
    virtual bool CanCopyPresets() const { return true; }
    /// @brief What the last stroke did, for a host's reports: the grid vertices the brush
    /// processed and the vertex moves it made (summed over the dabs). A brush that counts
    /// fills m_strokeStatistics by the end of its stroke; zero for one that does not.
    struct StrokeStatistics {
        uint64_t processedVertices = 0;
        uint64_t vertexUpdates = 0;
    };
    const StrokeStatistics& LastStrokeStatistics() const { return m_strokeStatistics; }
    /// How the running tool reads a dab's strength, for the host's conversion of the user's
    /// strength (tarnix/strength_conversion.h). Asked during a stroke, after BeginStroke, which
    /// may swap tools (the smoothing modifier) and reads the stamp: a brush keeps
    /// m_strengthHints those of its running tool from then on. An ordinary brush moves
    /// vertices by the dab strength in world units, without build-up.
    struct StrengthHints {
        /// What a dab does with its strength: a move along a direction (displacement), a pull
        /// towards the brush centre (pinch), a move towards a plane (plane), towards the
        /// neighbours' average (smoothing).
        enum Family : int { kDisplacement, kPinch, kPlane, kSmoothing };
        Family family = kDisplacement;
        /// The strength is a length in world units, which the brush takes into the mesh's own
        /// units; otherwise a number independent of the mesh's size.
        bool isLength = true;
        /// Displacement: the share of a dab's weight the build-up lets through (1: none). Over a
        /// stroke the weights a vertex gets add up to at most 1 / dab factor.
        float buildUp = 1.0f;
        /// Smoothing: one dab takes a vertex one step towards the average of its immediate
        /// neighbours, so that repeating the dab smooths forms wider than the faces; false for
        /// a smoothing whose target already spans the brush.
        bool iterates = false;
    };
    const StrengthHints& ActiveStrengthHints() const { return m_strengthHints; }

    // ---- preset registry ------------------------------------------------------------------------
    /// @brief Registers `configuration` and takes ownership of it.
    static void AddConfiguration(BrushConfiguration* configuration);
    static uint32_t ConfigurationCount();
    /// @brief The preset at `index` in order of registration; null past the end.
    static BrushConfiguration* Configuration(uint32_t index);
    /// @brief The first preset of `operationClass` with `id`; null when there is none.
    static BrushConfiguration* FindConfiguration(const ClassDesc* operationClass, uint32_t id);
    /// @brief Removes and deletes every preset served by `operationClass`.
    static void RemoveConfigurationsOf(const ClassDesc* operationClass);

    // ---- state a brush reads and writes -----------------------------------------------------------
    /// Multiplies every dab's strength (1 unless a brush decides otherwise).
    float m_baseStrengthFactor = 1.0f;
    /// Set by BeginStroke to refuse a stroke.
    bool m_strokeRefused = false;
    /// What the brush tells the host of its running tool and of its last stroke (above).
    StrengthHints m_strengthHints;
    StrokeStatistics m_strokeStatistics;
    /// 1: distances along the surface (geodesic); 0: straight.
    int m_distanceMode = 0;
    /// After moving, vertices are snapped back onto the surface.
    bool m_projectToSurface = false;
    /// The modifier that turns a stroke into smoothing, and the preset it smooths with.
    int m_smoothingModifier = 0;
    QString m_smoothingPresetName;

    AttributeInstance<float> m_sizeAttr;
    AttributeInstance<float> m_strengthAttr;
    AttributeInstance<float> m_strengthScaleAttr;
    AttributeInstance<float> m_strengthBiasAttr;
    AttributeInstance<int> m_falloffIndexAttr;
    AttributeInstance<int> m_falloffTypeAttr;
    AttributeInstance<int> m_distanceModeAttr;
    AttributeInstance<bool> m_projectToSurfaceAttr;
    AttributeInstance<int> m_directionAttr;
    AttributeInstance<BoolFloat> m_strokeSmoothingAttr;
    AttributeInstance<BoolFloat> m_steadyStrokeAttr;
    AttributeInstance<bool> m_invertAttr;
    AttributeInstance<bool> m_pressureSizeAttr;
    AttributeInstance<float> m_dabSpacingAttr;
    AttributeInstance<float> m_dabJitterAttr;
    AttributeInstance<BoolFloat> m_adaptiveRefineAttr;
    AttributeInstance<bool> m_curvatureRefineAttr;
    AttributeInstance<BoolFloat> m_stampRandomizeAttr;

private:
    void LoadStampImage();

    std::vector<Attribute*> m_settings;  // the attributes above, in stored order
    BrushConfiguration* m_activeConfiguration = nullptr;
    // The falloff curve sampled, and the preset it was sampled from (FalloffData samples again
    // when the preset changed).
    mutable std::vector<float> m_falloffTable;
    mutable int m_sampledFalloff = kNoFalloff - 1;
    StampConfiguration m_stamp;
    std::shared_ptr<Image> m_stampImage;
    QString m_stampError;
    Matrix m_stampMatrix;
    MirrorConfiguration m_mirror;
    Vector m_directionVector;
    Vector m_previousPatchPosition;
};

}  // namespace tarnix

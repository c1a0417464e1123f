#include "tarnix/brush_operation.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "tarnix/class_desc.h"
#include "tarnix/error.h"
#include "tarnix/image.h"
#include "tarnix/kernel.h"
#include "tarnix/stamp_stored_form.h"
#include "tarnix/stream.h"

namespace tarnix {
namespace {

std::vector<std::unique_ptr<BrushConfiguration>>& Presets() {
    static auto* presets = new std::vector<std::unique_ptr<BrushConfiguration>>;
    return *presets;
}

// The framework's record of preset settings: attribute key to value text, per preset.
using Settings = std::map<QString, QString>;
std::map<const BrushConfiguration*, Settings>& PresetSettings() {
    static auto* settings = new std::map<const BrushConfiguration*, Settings>;
    return *settings;
}

// Stamp images are shared by path: activating presets does not read files again. The paths
// are kept as copies of their own: a module's literal text goes when the module is unloaded.
std::shared_ptr<Image> SharedImage(const QString& path) {
    static auto* images = new std::map<QString, std::shared_ptr<Image>>;
    auto found = images->find(path);
    if (found != images->end()) return found->second;
    std::shared_ptr<Image> image(Image::Load(path).release());
    (*images)[QString(path.constData(), path.size())] = image;
    return image;
}

const QString kStampPrefix = QStringLiteral("stamp/");

}  // namespace

void ExchangeStamp(Stream& stream, StampConfiguration& stamp) {
    stream.Exchange(stamp.m_imagePath);
    stream.Exchange(stamp.m_enabled);
    stream.Exchange(stamp.m_factor);
    stream.Exchange(stamp.m_offset);
    stream.Exchange(stamp.m_inverted);
    stream.Exchange(stamp.m_tiled);
    stream.Exchange(stamp.m_buildUp);
    stream.Exchange(stamp.m_rotation);
    stream.Exchange(stamp.m_followStroke);
    stream.Exchange(stamp.m_mirrored);
    stream.Exchange(stamp.m_randomize);
}

BrushOperation::BrushOperation()
    : m_sizeAttr(this, QStringLiteral("size"), 25.0f),
      m_strengthAttr(this, QStringLiteral("strength"), 15.0f),
      m_strengthScaleAttr(this, QStringLiteral("strengthscale"), 1.0f),
      m_strengthBiasAttr(this, QStringLiteral("strengthbias"), 0.0f),
      m_falloffIndexAttr(this, QStringLiteral("falloff"), 2),
      m_falloffTypeAttr(this, QStringLiteral("fallofftype"), kFalloffSurface),
      m_distanceModeAttr(this, QStringLiteral("distancemode"), &m_distanceMode),
      m_projectToSurfaceAttr(this, QStringLiteral("projecttosurface"), &m_projectToSurface),
      m_directionAttr(this, QStringLiteral("direction"), 1),
      m_strokeSmoothingAttr(this, QStringLiteral("strokesmoothing"), BoolFloat{true, 0.0625f}),
      m_steadyStrokeAttr(this, QStringLiteral("steadystroke"), BoolFloat{false, 0.04f}),
      m_invertAttr(this, QStringLiteral("invert")),
      m_pressureSizeAttr(this, QStringLiteral("pressuresize")),
      m_dabSpacingAttr(this, QStringLiteral("dabspacing"), 25.0f),
      m_dabJitterAttr(this, QStringLiteral("dabjitter"), 0.0f),
      m_adaptiveRefineAttr(this, QStringLiteral("adaptiverefine"), BoolFloat{false, 0.2f}),
      m_curvatureRefineAttr(this, QStringLiteral("curvaturerefine")),
      m_stampRandomizeAttr(this, QStringLiteral("stamprandomize"), BoolFloat{false, 0.5f}) {
    m_pressureSizeAttr.SetSeparator(true);
    // What a host lets users and files set (the brush itself may set other values).
    m_sizeAttr.DeclareRange(1e-9, 1e9);
    m_strengthAttr.DeclareRange(0.0, 1000.0);
    m_strengthScaleAttr.DeclareRange(0.0, 100.0);
    m_strengthBiasAttr.DeclareRange(-1.0, 1.0);
    m_falloffIndexAttr.DeclareRange(kNoFalloff, kFalloffPresetCount - 1);
    m_falloffTypeAttr.DeclareRange(kFalloffSurface, kFalloffVolume);
    m_distanceModeAttr.DeclareRange(0, 1);
    m_directionAttr.DeclareRange(0, 12);
    m_strokeSmoothingAttr.DeclareRange(0.0, 0.95);
    m_steadyStrokeAttr.DeclareRange(0.0, 1.0);
    m_dabSpacingAttr.DeclareRange(1.0, 1000.0);  // percent of the brush size
    m_dabJitterAttr.DeclareRange(0.0, 100.0);
    m_adaptiveRefineAttr.DeclareRange(0.01, 10.0);
    m_stampRandomizeAttr.DeclareRange(0.0, 1.0);
    m_settings = Attributes();
}

BrushOperation::~BrushOperation() = default;

const ClassDesc* BrushOperation::GetClass() const { return StaticClass(); }

void BrushOperation::Serialize(Stream& stream) {
    for (Attribute* attribute : m_settings) attribute->Serialize(stream);
    int32_t mirror = m_mirror.MirrorMode();
    stream.Exchange(mirror);
    ExchangeStamp(stream, m_stamp);
    if (stream.IsLoading()) {
        m_mirror.SetMirrorMode(mirror);
        LoadStampImage();
    }
}

BrushOperation& BrushOperation::operator=(const BrushOperation& source) {
    for (size_t i = 0; i < m_settings.size(); ++i) m_settings[i]->SetValueData(source.m_settings[i]->ValueData(), true);
    m_mirror = source.m_mirror;
    m_stamp = source.m_stamp;
    m_stampImage = source.m_stampImage;
    m_stampError = source.m_stampError;
    return *this;
}

// ---- falloff ------------------------------------------------------------------------------------

float BrushOperation::FalloffPreset(int index, float t) {
    constexpr float kPi = 3.14159265358979f;
    t = std::clamp(t, 0.0f, 1.0f);
    switch (index) {
        case 0:
            return 1.0f - t;  // linear
        case 1:
            return 0.5f * (1.0f + std::cos(kPi * t));  // smooth
        case 2:
            return (1.0f - t * t) * (1.0f - t * t);  // soft
        case 3:
            return (1.0f - t) * (1.0f - t) * (1.0f - t);  // sharp
        case 4:
            return 1.0f;  // flat
        case 5:
            return std::sqrt(1.0f - t * t);  // sphere
        case 6:
            return std::pow(1.0f - t, 6.0f);  // needle
        case 7:
            return t < 0.8f ? 1.0f : 0.5f * (1.0f + std::cos(kPi * (t - 0.8f) / 0.2f));  // plateau
        case 8:
            return (std::exp(-4.5f * t * t) - std::exp(-4.5f)) / (1.0f - std::exp(-4.5f));  // bell
        default:
            return std::sin(kPi * t);  // ring
    }
}

const char* BrushOperation::FalloffPresetName(int index) {
    static const char* const names[kFalloffPresetCount] = {"linear", "smooth", "soft",    "sharp", "flat",
                                                           "sphere", "needle", "plateau", "bell",  "ring"};
    return index >= 0 && index < kFalloffPresetCount ? names[index] : "none";
}

void BrushOperation::SetFalloffIndex(int index) { m_falloffIndexAttr.SetValue(index, true); }

BrushOperation::Falloff BrushOperation::FalloffData() const {
    // Sampled when asked for after the curve changed, however it was changed (a preset
    // restored, the attribute set from text): the table always is the curve's.
    const int index = m_falloffIndexAttr.Value();
    if (index != m_sampledFalloff) {
        m_sampledFalloff = index;
        m_falloffTable.clear();
        if (index >= 0 && index < kFalloffPresetCount)
            for (uint32_t i = 0; i < kFalloffSamples; ++i)
                m_falloffTable.push_back(FalloffPreset(index, float(i) / float(kFalloffSamples - 1)));
    }
    if (m_falloffTable.empty()) return {nullptr, 0};
    return {m_falloffTable.data(), uint32_t(m_falloffTable.size())};
}

// ---- stamps -------------------------------------------------------------------------------------

bool BrushOperation::IsMaskEnabled(int type) const {
    if (type == kStampMask) return m_stamp.m_enabled;
    if (type == kMirroredStampMask) return m_stamp.m_mirrored;
    return false;
}

bool BrushOperation::IsMaskTiled(int type) const { return type == kStampMask && m_stamp.m_tiled; }

bool BrushOperation::IsMaskInverted(int type) const { return type == kStampMask && m_stamp.m_inverted; }

Image* BrushOperation::MaskImage(int type) const { return type == kStampMask ? m_stampImage.get() : nullptr; }

const Matrix& BrushOperation::MaskMatrix(int /*type*/) const { return m_stampMatrix; }

void BrushOperation::SetMaskMatrix(int type, const Matrix& matrix) {
    if (type == kStampMask) m_stampMatrix = matrix;
}

float BrushOperation::MaskFactor(int type) const { return type == kStampMask ? m_stamp.m_factor : 0.0f; }

float BrushOperation::MaskOffset(int type) const { return type == kStampMask ? m_stamp.m_offset : 0.0f; }

QString BrushOperation::MaskName(int type) const { return type == kStampMask ? m_stamp.m_imagePath : QString(); }

bool BrushOperation::MaskBuildUp(int type) const { return type == kStampMask && m_stamp.m_buildUp; }

void BrushOperation::LoadStampImage() {
    m_stampImage.reset();
    m_stampError.clear();
    if (m_stamp.m_imagePath.isEmpty()) return;
    try {
        m_stampImage = SharedImage(m_stamp.m_imagePath);
    } catch (Error* error) {
        m_stampError = error->Message();
        Error::Dispose(error);
        Kernel::Log(QStringLiteral("Stamp: %1").arg(m_stampError));
    }
}

void BrushOperation::SetStamp(bool enabled, const QString& path) {
    m_stamp.m_enabled = enabled;
    if (path != m_stamp.m_imagePath || (!m_stampImage && !path.isEmpty())) {
        m_stamp.m_imagePath = path;
        LoadStampImage();
        m_stamp.m_offset = m_stampImage ? m_stampImage->NeutralLevel() : 0.0f;
    }
}

void BrushOperation::SetStampConfig(const StampConfiguration& configuration) {
    const bool newImage = configuration.m_imagePath != m_stamp.m_imagePath || !m_stampImage;
    const bool buildUpChanged = configuration.m_buildUp != m_stamp.m_buildUp;
    m_stamp = configuration;
    if (newImage) LoadStampImage();
    // Brushes keep what they made of a stamp while its image, version and values stay the
    // same; the build-up switch is not among those, so the image's version tells the change.
    else if (buildUpChanged && m_stampImage) m_stampImage->ContentChanged();
}

void BrushOperation::PlaceStamp(const Vector& center, const Vector& normal, const Vector& tangent, float radius) {
    const Vector n = normal.Normalized();
    Vector t = (tangent - n * (tangent | n)).Normalized();
    if (t.LengthSquared() == 0.0f) t = ((std::fabs(n.x) < 0.9f ? Vector(1, 0, 0) : Vector(0, 1, 0)) & n).Normalized();
    const float angle = m_stamp.m_rotation * 3.14159265358979f / 180.0f;
    // Seen from outside the image lies as it is drawn: x along the tangent, its rows running
    // down, away from `up`; the rotation turns it counter-clockwise.
    const Vector up = n & t;
    const Vector u = t * std::cos(angle) + up * std::sin(angle);
    const Vector v = t * std::sin(angle) - up * std::cos(angle);
    const float width = m_stampImage ? float(m_stampImage->Width()) : 1.0f;
    const float height = m_stampImage ? float(m_stampImage->Height()) : 1.0f;
    const float su = width / (2.0f * radius), sv = height / (2.0f * radius);
    // Row vectors: [p 1] M = (u, v, depth, 1), column j of M being axis j and its offset, so
    // that the image centre falls on `center`. Brushes take the texel nearest to (u, v), whose
    // centres lie at whole coordinates: the middle of the image is at half of one less than
    // its size, and an image that is symmetric about its middle is sampled symmetrically
    // about `center` (the stamp of a mirrored dab is then the mirror image of its own).
    const Vector axes[3] = {u * su, v * sv, n};
    const float offsets[3] = {0.5f * (width - 1.0f), 0.5f * (height - 1.0f), 0.0f};
    Matrix m;
    for (int column = 0; column < 3; ++column) {
        m[0][column] = axes[column].x;
        m[1][column] = axes[column].y;
        m[2][column] = axes[column].z;
        m[3][column] = offsets[column] - (center | axes[column]);
    }
    m_stampMatrix = m;
}

// ---- presets ------------------------------------------------------------------------------------

void BrushOperation::SetActiveConfiguration(BrushConfiguration* configuration) {
    if (m_activeConfiguration && m_activeConfiguration != configuration) {
        Settings& record = PresetSettings()[m_activeConfiguration];
        record.clear();
        for (const Attribute* attribute : Attributes())
            if (!attribute->Key().isEmpty()) record[attribute->Key()] = attribute->ToText();
        Stream stamp;
        ExchangeStamp(stamp, m_stamp);
        record[kStampPrefix] = QString::fromLatin1(stamp.Data().toBase64());
    }
    auto found = PresetSettings().find(configuration);
    if (configuration != m_activeConfiguration && found != PresetSettings().end()) {
        for (const auto& [key, text] : found->second) {
            if (key == kStampPrefix) {
                Stream stamp(QByteArray::fromBase64(text.toLatin1()));
                StampConfiguration restored;
                ExchangeStamp(stamp, restored);
                SetStampConfig(restored);
            } else if (Attribute* attribute = FindAttribute(key)) {
                attribute->SetFromText(text, true);
            }
        }
    }
    m_activeConfiguration = configuration;
}

bool BrushOperation::IsConfigurationInited(const BrushConfiguration* configuration) const {
    return PresetSettings().count(configuration) != 0;
}

BrushOperation::PresetRecords BrushOperation::SavedPresetRecords() { return PresetSettings(); }

void BrushOperation::RestorePresetRecords(PresetRecords records) { PresetSettings() = std::move(records); }

void BrushOperation::ResetBrushConfiguration() {
    PresetSettings().erase(m_activeConfiguration);
    const BrushOperation defaults;
    for (Attribute* attribute : Attributes())
        if (const Attribute* fresh = defaults.FindAttribute(attribute->Key()); fresh && !attribute->Key().isEmpty())
            attribute->SetFromText(fresh->ToText(), true);
    m_stamp = StampConfiguration();
    LoadStampImage();
}

// ---- stroke -------------------------------------------------------------------------------------

void BrushOperation::BeginStroke(Mesh*, Modifier, TriggerType) { m_strokeRefused = false; }

void BrushOperation::EndStroke() {}

void BrushOperation::ApplyDab(const SurfacePoint*, const Vector*, float, float, float, AxisAlignedBoundingBox&) {}

void BrushOperation::ApplyToWholeMesh(Mesh*, float, float, bool) {}
void BrushOperation::PrepareMesh(Mesh*) {}

// ---- registry -----------------------------------------------------------------------------------

void BrushOperation::AddConfiguration(BrushConfiguration* configuration) { Presets().emplace_back(configuration); }

uint32_t BrushOperation::ConfigurationCount() { return uint32_t(Presets().size()); }

BrushConfiguration* BrushOperation::Configuration(uint32_t index) {
    return index < Presets().size() ? Presets()[index].get() : nullptr;
}

BrushConfiguration* BrushOperation::FindConfiguration(const ClassDesc* operationClass, uint32_t id) {
    for (const auto& preset : Presets())
        if (preset->OperationClass() == operationClass && preset->ID() == id) return preset.get();
    return nullptr;
}

void BrushOperation::RemoveConfigurationsOf(const ClassDesc* operationClass) {
    auto& presets = Presets();
    for (const auto& preset : presets)
        if (preset->OperationClass() == operationClass) PresetSettings().erase(preset.get());
    presets.erase(
        std::remove_if(presets.begin(), presets.end(),
                       [operationClass](const auto& preset) { return preset->OperationClass() == operationClass; }),
        presets.end());
}

}  // namespace tarnix

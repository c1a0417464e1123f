#include "brush_host.h"

#include <algorithm>
#include <cfloat>
#include <climits>

#include <QDir>
#include <QFileInfo>

#include "errors.h"
#include "session.h"
#include "tarnix/attribute.h"
#include "tarnix/brush_operation.h"
#include "tarnix/class_desc.h"
#include "tarnix/kernel.h"
#include "tarnix/module_loader.h"
#include "tarnix/preferences.h"

namespace corvane_apps {
namespace {

// A number of a session value checked as the type the attribute keeps (a float must stay
// finite as one, a whole number must fit an int) and against the attribute's declared range.
// The value is quoted as the file wrote it. Empty when it fits, else the fault.
QString NumberProblem(const tarnix::Attribute& attribute, const nlohmann::json& value, bool whole) {
    const double minimum = std::max(attribute.DeclaredMinimum(), whole ? double(INT_MIN) : -double(FLT_MAX));
    const double maximum = std::min(attribute.DeclaredMaximum(), whole ? double(INT_MAX) : double(FLT_MAX));
    const bool beyond = value.is_number_unsigned() && value.get<uint64_t>() > uint64_t(INT64_MAX);
    const double number = value.get<double>();
    if (beyond || !(number >= minimum && number <= maximum))
        return QStringLiteral("%1 is out of range [%2, %3]")
            .arg(QString::fromStdString(value.dump()))
            .arg(minimum, 0, 'g', 6)
            .arg(maximum, 0, 'g', 6);
    return {};
}

// The text form of a session value for an attribute of the framework's types, or an empty
// string with `problem` set when the value does not fit.
QString AttributeText(const tarnix::Attribute& attribute, const nlohmann::json& value, QString& problem) {
    switch (attribute.TypeCode()) {
        case tarnix::AttributeTraits<bool>::kTypeCode:
            if (value.is_boolean()) return value.get<bool>() ? QStringLiteral("true") : QStringLiteral("false");
            problem = QStringLiteral("must be true or false");
            break;
        case tarnix::AttributeTraits<int>::kTypeCode:
            if (!value.is_number_integer()) {
                problem = QStringLiteral("must be a whole number");
                break;
            }
            problem = NumberProblem(attribute, value, true);
            if (problem.isEmpty()) return QString::number(value.get<int64_t>());
            break;
        case tarnix::AttributeTraits<float>::kTypeCode:
        case 5:  // a float kept inside a range, which it declares
            if (!value.is_number()) {
                problem = QStringLiteral("must be a number");
                break;
            }
            problem = NumberProblem(attribute, value, false);
            if (problem.isEmpty()) return QString::number(value.get<double>(), 'g', 9);
            break;
        case tarnix::AttributeTraits<tarnix::BoolFloat>::kTypeCode:
            if (!(value.is_array() && value.size() == 2 && value[0].is_boolean() && value[1].is_number())) {
                problem = QStringLiteral("must be a switch and an amount, as [true, 0.5]");
                break;
            }
            problem = NumberProblem(attribute, value[1], false);
            if (problem.isEmpty())
                return QStringLiteral("%1 %2")
                    .arg(value[0].get<bool>() ? QStringLiteral("true") : QStringLiteral("false"))
                    .arg(value[1].get<double>(), 0, 'g', 9);
            break;
        default:
            if (value.is_string()) return QString::fromStdString(value.get<std::string>());
            problem = QStringLiteral("must be a string");
    }
    return {};
}

tarnix::Attribute* FindPreference(const QString& name) {
    for (const tarnix::Preferences::Entry& entry : tarnix::Preferences::All())
        if (entry.name == name) return entry.attribute;
    return nullptr;
}

QStringList Keys(const tarnix::BrushOperation& brush) {
    QStringList keys;
    for (const tarnix::Attribute* attribute : brush.Attributes())
        if (!attribute->Key().isEmpty()) keys << attribute->Key();
    return keys;
}

void CheckValue(const QString& file, const NamedValue& value, const tarnix::Attribute* attribute,
                const QString& known) {
    if (!attribute) Fail(QStringLiteral("%1: %2: unknown name (known: %3)").arg(file, value.where, known));
    QString problem;
    AttributeText(*attribute, value.value, problem);
    if (!problem.isEmpty()) Fail(QStringLiteral("%1: %2: %3").arg(file, value.where, problem));
}

void SetValue(tarnix::Attribute& attribute, const nlohmann::json& value) {
    QString problem;
    attribute.SetFromText(AttributeText(attribute, value, problem), false);
}

}  // namespace

BrushHost::BrushHost(const QString& pluginDirectory) {
    const QDir folder(pluginDirectory);
    for (const QString& file : folder.entryList({QStringLiteral("*.so")}, QDir::Files, QDir::Name))
        m_modules.push_back(std::make_unique<tarnix::LoadedModule>(folder.absoluteFilePath(file)));
    const tarnix::ClassDesc* corvane = tarnix::ClassDesc::Find(QStringLiteral("Corvane"));
    if (!corvane) Fail(QStringLiteral("no Corvane module in %1").arg(pluginDirectory));
    const auto hold = [this](const tarnix::ClassDesc* brushClass) {
        std::unique_ptr<tarnix::Node> node(brushClass->Create(1));
        auto* brush = dynamic_cast<tarnix::BrushOperation*>(node.get());
        if (brush) m_brushes.push_back({brushClass, std::move(node), brush});
    };
    hold(corvane);
    // Other modules' brushes, each once, in the order their presets registered.
    for (uint32_t i = 0; i < tarnix::BrushOperation::ConfigurationCount(); ++i) {
        const tarnix::ClassDesc* brushClass = tarnix::BrushOperation::Configuration(i)->OperationClass();
        if (brushClass && !Holds(brushClass) && brushClass->IsKindOf(tarnix::BrushOperation::StaticClass()))
            hold(brushClass);
    }
}

BrushHost::~BrushHost() {
    // The brushes go before the modules that hold their code; they unload in reverse order.
    m_brushes.clear();
    while (!m_modules.empty()) m_modules.pop_back();
}

bool BrushHost::Holds(const tarnix::ClassDesc* brushClass) const {
    return std::any_of(m_brushes.begin(), m_brushes.end(),
                       [&](const Held& held) { return held.brushClass == brushClass; });
}

const BrushHost::Held& BrushHost::HeldFor(const tarnix::BrushConfiguration* tool) const {
    for (const Held& held : m_brushes)
        if (tool && held.brushClass == tool->OperationClass()) return held;
    return m_brushes.front();
}

void BrushHost::PrepareMesh(tarnix::Mesh* level) const {
    for (const Held& held : m_brushes) held.brush->PrepareMesh(level);
}

tarnix::BrushOperation& BrushHost::BrushOf(const tarnix::BrushConfiguration* tool) const {
    return *HeldFor(tool).brush;
}

tarnix::BrushOperation& BrushHost::UseBrushOf(const tarnix::BrushConfiguration* tool) {
    m_inUse = size_t(&HeldFor(tool) - m_brushes.data());
    return Brush();
}

std::vector<tarnix::BrushConfiguration*> BrushHost::Tools() const {
    std::vector<tarnix::BrushConfiguration*> tools;
    for (const Held& held : m_brushes)
        for (uint32_t i = 0; i < tarnix::BrushOperation::ConfigurationCount(); ++i)
            if (tarnix::BrushOperation::Configuration(i)->OperationClass() == held.brushClass)
                tools.push_back(tarnix::BrushOperation::Configuration(i));
    return tools;
}

tarnix::BrushConfiguration* BrushHost::Tool(const QString& name) const {
    for (tarnix::BrushConfiguration* tool : Tools())
        if (tool->Name() == name) return tool;
    return nullptr;
}

void BrushHost::CheckSession(const Session& session) const {
    QStringList toolNames, preferenceNames;
    for (const tarnix::BrushConfiguration* tool : Tools()) toolNames << tool->Name();
    for (const tarnix::Preferences::Entry& entry : tarnix::Preferences::All()) preferenceNames << entry.name;
    for (const NamedValue& preference : session.preferences)
        CheckValue(session.file, preference, FindPreference(preference.name),
                   preferenceNames.join(QStringLiteral(", ")));
    for (const Step& step : session.steps) {
        for (const NamedValue& preference : step.preferences)
            CheckValue(session.file, preference, FindPreference(preference.name),
                       preferenceNames.join(QStringLiteral(", ")));
        if (step.kind != Step::kStroke && step.kind != Step::kWholeMesh) continue;
        if (!Tool(step.stroke.tool))
            Fail(QStringLiteral("%1: %2: unknown tool \"%3\" (tools: %4)")
                     .arg(session.file, step.where, step.stroke.tool, toolNames.join(QStringLiteral(", "))));
        const tarnix::BrushOperation& brush = BrushOf(Tool(step.stroke.tool));
        for (const NamedValue& attribute : step.stroke.attributes)
            CheckValue(session.file, attribute,
                       attribute.name.isEmpty() ? nullptr : brush.FindAttribute(attribute.name),
                       Keys(brush).join(QStringLiteral(", ")));
    }
}

std::unique_ptr<tarnix::Node> BrushHost::MakeBrush(const tarnix::BrushConfiguration* tool) const {
    return std::unique_ptr<tarnix::Node>(HeldFor(tool).brushClass->Create(1));
}

nlohmann::json BrushHost::ValueOf(const tarnix::Attribute& attribute) {
    const QString text = attribute.ToText();
    switch (attribute.TypeCode()) {
        case tarnix::AttributeTraits<bool>::kTypeCode:
            return text == QLatin1String("true");
        case tarnix::AttributeTraits<int>::kTypeCode:
            return text.toInt();
        case tarnix::AttributeTraits<float>::kTypeCode:
        case 5:
            return text.toDouble();
        case tarnix::AttributeTraits<tarnix::BoolFloat>::kTypeCode:
            return {text.section(QLatin1Char(' '), 0, 0) == QLatin1String("true"),
                    text.section(QLatin1Char(' '), 1).toDouble()};
        default:
            return text.toStdString();
    }
}

StrokeStep BrushHost::SettingsAsStroke() const {
    const tarnix::BrushOperation& brush = Brush();
    StrokeStep stroke;
    const tarnix::BrushConfiguration* tool = brush.ActiveConfiguration();
    stroke.tool = tool ? tool->Name() : QString();
    const tarnix::StampConfiguration& stamp = brush.StampConfig();
    stroke.stamp = stamp.m_enabled ? stamp.m_imagePath : QString();
    if (stamp.m_enabled)
        stroke.stampOptions = {stamp.m_factor,  stamp.m_offset,       stamp.m_rotation, stamp.m_inverted, stamp.m_tiled,
                               stamp.m_buildUp, stamp.m_followStroke, stamp.m_mirrored, stamp.m_randomize};
    for (const tarnix::Attribute* attribute : brush.Attributes()) {
        const QString key = attribute->Key();
        if (key.isEmpty() || attribute == &brush.m_sizeAttr || attribute == &brush.m_strengthAttr) continue;
        stroke.attributes.push_back({key, ValueOf(*attribute), key});
    }
    return stroke;
}

std::vector<NamedValue> BrushHost::Preferences() {
    std::vector<NamedValue> values;
    for (const tarnix::Preferences::Entry& entry : tarnix::Preferences::All())
        values.push_back({entry.name, ValueOf(*entry.attribute), entry.name});
    return values;
}

BrushHost::Settings BrushHost::BrushSettings() const {
    const tarnix::BrushOperation& brush = Brush();
    Settings settings;
    const tarnix::BrushConfiguration* active = brush.ActiveConfiguration();
    settings.tool = active ? active->Name() : QString();
    for (const auto& [preset, record] : tarnix::BrushOperation::SavedPresetRecords())
        if (preset && Holds(preset->OperationClass())) settings.records[preset->Name()] = record;
    for (const tarnix::Attribute* attribute : brush.Attributes())
        if (!attribute->Key().isEmpty()) settings.attributes[attribute->Key()] = attribute->ToText();
    settings.stamp = brush.StampConfig();
    return settings;
}

void BrushHost::ApplyBrushSettings(const Settings& settings) {
    // Activating records the tool being left: the records come after, so that they stay.
    if (tarnix::BrushConfiguration* tool = Tool(settings.tool)) ActivateTool(UseBrushOf(tool), tool);
    tarnix::BrushOperation& brush = Brush();
    // The records of the held brushes' tools are the project's; other brushes keep theirs.
    tarnix::BrushOperation::PresetRecords records = tarnix::BrushOperation::SavedPresetRecords();
    for (auto record = records.begin(); record != records.end();)
        record = record->first && Holds(record->first->OperationClass()) ? records.erase(record) : std::next(record);
    for (const auto& [name, record] : settings.records)
        if (const tarnix::BrushConfiguration* tool = Tool(name)) records[tool] = record;
    tarnix::BrushOperation::RestorePresetRecords(std::move(records));
    for (const auto& [key, text] : settings.attributes)
        if (tarnix::Attribute* attribute = brush.FindAttribute(key)) attribute->SetFromText(text, false);
    brush.SetStampConfig(settings.stamp);
}

void BrushHost::ActivateTool(tarnix::BrushOperation& brush, tarnix::BrushConfiguration* tool) {
    if (brush.ActiveConfiguration() == tool) return;
    brush.SetBrushStrengthScale(1.0f);
    brush.SetActiveConfiguration(tool);
}

void BrushHost::SetAttribute(tarnix::BrushOperation& brush, const NamedValue& value) {
    SetValue(*brush.FindAttribute(value.name), value.value);
}

void BrushHost::SetPreference(const NamedValue& value) { SetValue(*FindPreference(value.name), value.value); }

QString BrushHost::PluginDirectoryFor(const QString& executablePath) {
    const QString beside = tarnix::LoadedModule::PluginDirectoryOf(executablePath);
    if (QFileInfo::exists(beside)) return beside;
    return QDir::cleanPath(QFileInfo(executablePath).absoluteDir().filePath(QStringLiteral(CORVANE_BIN_TO_PLUGINS)));
}

void BrushHost::AddInstalledResources(const QString& executablePath) {
    const QString installed =
        QDir::cleanPath(QFileInfo(executablePath).absoluteDir().filePath(QStringLiteral(CORVANE_BIN_TO_RESOURCES)));
    tarnix::Kernel::SetResourceDirectories(tarnix::Kernel::ResourceDirectories() << installed);
}

}  // namespace corvane_apps

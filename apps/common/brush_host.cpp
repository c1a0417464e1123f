#include "brush_host.h"

#include <QDir>
#include <QFileInfo>

#include "tarnix/attribute.h"
#include "tarnix/brush_operation.h"
#include "tarnix/class_desc.h"
#include "tarnix/error.h"
#include "tarnix/kernel.h"
#include "tarnix/module_loader.h"
#include "tarnix/preferences.h"

namespace corvane_apps {
namespace {

[[noreturn]] void Fail(const QString& text) {
    tarnix::Error::Raise(tarnix::Error::kCodeInvalidArgument, "BrushHost", "apps/common/brush_host.cpp", 0, text);
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
            if (value.is_number_integer()) return QString::number(value.get<int64_t>());
            problem = QStringLiteral("must be a whole number");
            break;
        case tarnix::AttributeTraits<float>::kTypeCode:
            if (value.is_number()) return QString::number(value.get<double>(), 'g', 9);
            problem = QStringLiteral("must be a number");
            break;
        case 5: {  // a float kept inside a range
            const auto& range = static_cast<const tarnix::AttributeFloatRange&>(attribute);
            if (!value.is_number()) {
                problem = QStringLiteral("must be a number");
                break;
            }
            const double number = value.get<double>();
            if (number >= range.Minimum() && number <= range.Maximum()) return QString::number(number, 'g', 9);
            problem = QStringLiteral("%1 is out of range [%2, %3]").arg(number).arg(range.Minimum()).arg(range.Maximum());
            break;
        }
        case tarnix::AttributeTraits<tarnix::BoolFloat>::kTypeCode:
            if (value.is_array() && value.size() == 2 && value[0].is_boolean() && value[1].is_number())
                return QStringLiteral("%1 %2")
                    .arg(value[0].get<bool>() ? QStringLiteral("true") : QStringLiteral("false"))
                    .arg(value[1].get<double>(), 0, 'g', 9);
            problem = QStringLiteral("must be a switch and an amount, as [true, 0.5]");
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
    m_class = tarnix::ClassDesc::Find(QStringLiteral("Corvane"));
    if (!m_class) Fail(QStringLiteral("no Corvane module in %1").arg(pluginDirectory));
    m_node.reset(m_class->Create(1));
    m_brush = dynamic_cast<tarnix::BrushOperation*>(m_node.get());
}

BrushHost::~BrushHost() {
    // The brush goes before the modules that hold its code; they unload in reverse order.
    m_node.reset();
    while (!m_modules.empty()) m_modules.pop_back();
}

std::vector<tarnix::BrushConfiguration*> BrushHost::Tools() const {
    std::vector<tarnix::BrushConfiguration*> tools;
    for (uint32_t i = 0; i < tarnix::BrushOperation::ConfigurationCount(); ++i)
        if (tarnix::BrushOperation::Configuration(i)->OperationClass() == m_class)
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
    const QString attributeNames = Keys(*m_brush).join(QStringLiteral(", "));
    for (const NamedValue& preference : session.preferences)
        CheckValue(session.file, preference, FindPreference(preference.name), preferenceNames.join(QStringLiteral(", ")));
    for (const Step& step : session.steps) {
        if (step.kind != Step::kStroke && step.kind != Step::kWholeMesh) continue;
        if (!Tool(step.stroke.tool))
            Fail(QStringLiteral("%1: %2: unknown tool \"%3\" (tools: %4)")
                     .arg(session.file, step.where, step.stroke.tool, toolNames.join(QStringLiteral(", "))));
        for (const NamedValue& attribute : step.stroke.attributes)
            CheckValue(session.file, attribute,
                       attribute.name.isEmpty() ? nullptr : m_brush->FindAttribute(attribute.name), attributeNames);
    }
}

void BrushHost::SetAttribute(const NamedValue& value) const { SetValue(*m_brush->FindAttribute(value.name), value.value); }

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

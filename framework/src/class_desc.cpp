#include "tarnix/class_desc.h"

#include <algorithm>

#include "tarnix/brush_operation.h"

namespace tarnix {
namespace {

std::vector<const ClassDesc*>& Registry() {
    static std::vector<const ClassDesc*>* registry = new std::vector<const ClassDesc*>;
    return *registry;
}

RegistryObserver& Observer() {
    static RegistryObserver* observer = new RegistryObserver;
    return *observer;
}

}  // namespace

void SetRegistryObserver(RegistryObserver observer) { Observer() = std::move(observer); }

void NotifyRegistry(RegistryChange change, const char* kind, const QString& name) {
    if (Observer()) Observer()(change, kind, name);
}

ClassDesc::ClassDesc(const ClassDesc* parent, const ClassDesc* /*secondParent*/, const char* name,
                     const char* displayName, Factory factory, int flags, int version)
    : m_parent(parent),
      m_name(QString::fromUtf8(name)),
      m_displayName(QString::fromUtf8(displayName)),
      m_factory(factory),
      m_flags(flags),
      m_version(version) {
    Registry().push_back(this);
    NotifyRegistry(RegistryChange::Added, "class", m_name);
}

ClassDesc::~ClassDesc() {
    // Presets that name this class cannot outlive it: the plug-in that made them is going.
    BrushOperation::RemoveConfigurationsOf(this);
    auto& registry = Registry();
    registry.erase(std::remove(registry.begin(), registry.end(), this), registry.end());
    NotifyRegistry(RegistryChange::Removed, "class", m_name);
}

Node* ClassDesc::Create(uint32_t count) const { return m_factory ? m_factory(count) : nullptr; }

bool ClassDesc::IsKindOf(const ClassDesc* other) const {
    for (const ClassDesc* cls = this; cls; cls = cls->m_parent)
        if (cls == other) return true;
    return false;
}

const ClassDesc* ClassDesc::Find(const QString& name) {
    for (const ClassDesc* cls : Registry())
        if (cls->m_name == name) return cls;
    return nullptr;
}

std::vector<const ClassDesc*> ClassDesc::All() { return Registry(); }

}  // namespace tarnix

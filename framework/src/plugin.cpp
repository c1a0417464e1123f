#include "tarnix/plugin.h"

#include <algorithm>

#include "tarnix/class_desc.h"

namespace tarnix {
namespace {

std::vector<Plugin*>& Registry() {
    static auto* registry = new std::vector<Plugin*>;
    return *registry;
}

}  // namespace

Plugin::Plugin(const char* name, const char* description, const char* author, const char* web, const char* buildDate,
               Initializer initializer)
    : m_name(QString::fromUtf8(name)),
      m_description(QString::fromUtf8(description)),
      m_author(QString::fromUtf8(author)),
      m_web(QString::fromUtf8(web)),
      m_buildDate(QString::fromUtf8(buildDate)),
      m_initializer(initializer) {
    Registry().push_back(this);
    NotifyRegistry(RegistryChange::Added, "plugin", m_name);
}

Plugin::~Plugin() {
    auto& registry = Registry();
    registry.erase(std::remove(registry.begin(), registry.end(), this), registry.end());
    NotifyRegistry(RegistryChange::Removed, "plugin", m_name);
}

void Plugin::Initialize() {
    if (m_initialized) return;
    m_initialized = true;
    if (m_initializer) m_initializer();
}

std::vector<Plugin*> Plugin::All() { return Registry(); }

}  // namespace tarnix

#include "tarnix/brush_configuration.h"

namespace tarnix {

BrushConfiguration::BrushConfiguration(const ClassDesc* operationClass, uint32_t id, const QString& name,
                                       const QString& displayName, int category, const QString& toolTip, int flags,
                                       int order)
    : m_operationClass(operationClass),
      m_id(id),
      m_name(name),
      m_displayName(displayName),
      m_category(category),
      m_toolTip(toolTip),
      m_flags(flags),
      m_order(order) {}

}  // namespace tarnix

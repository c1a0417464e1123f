#pragma once
// Brush presets. A BrushConfiguration names the brush class that serves it (its operation
// class), an id that the brush tells its tools apart by, texts for the user and a category.
// The registry (BrushOperation::AddConfiguration and friends) owns the presets; a preset
// leaves the registry with the class that serves it, when its plug-in is unloaded.

#include <cstdint>

#include <QString>

namespace tarnix {

class ClassDesc;

class BrushConfiguration {
public:
    /// Predefined preset categories.
    enum Category : int { kCategoryCustom = 0, kCategorySculpt = 1 };

    BrushConfiguration(const ClassDesc* operationClass, uint32_t id, const QString& name, const QString& displayName,
                       int category, const QString& toolTip, int flags, int order);

    const ClassDesc* OperationClass() const { return m_operationClass; }
    uint32_t ID() const { return m_id; }
    const QString& Name() const { return m_name; }
    const QString& DisplayName() const { return m_displayName; }
    int Category() const { return m_category; }
    const QString& ToolTip() const { return m_toolTip; }
    int Flags() const { return m_flags; }
    int Order() const { return m_order; }

private:
    const ClassDesc* m_operationClass;
    uint32_t m_id;
    QString m_name;
    QString m_displayName;
    int m_category;
    QString m_toolTip;
    int m_flags;
    int m_order;
};

}  // namespace tarnix

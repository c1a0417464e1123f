#pragma once
// BrushOperation: the framework's base of every sculpting brush, and the registry of brush
// presets (BrushConfiguration). The host activates a preset on the brush class the preset
// names; the registry owns the presets and remembers which of them have been initialized.

#include <cstdint>
#include <vector>

#include "tarnix/brush_configuration.h"
#include "tarnix/node.h"

namespace tarnix {

class BrushOperation : public virtual Node {
public:
    BrushOperation() = default;
    ~BrushOperation() override = default;

    const ClassDesc* GetClass() const override;
    static const ClassDesc* StaticClass();

    // ---- preset registry ---------------------------------------------------------------------

    /// @brief Registers `configuration` and takes ownership of it.
    static void AddConfiguration(BrushConfiguration* configuration);
    static uint32_t ConfigurationCount();
    /// @brief The preset at `index` in order of registration; null past the end.
    static BrushConfiguration* Configuration(uint32_t index);
    /// @brief The first preset of `operationClass` with `id`; null when there is none.
    static BrushConfiguration* FindConfiguration(const ClassDesc* operationClass, uint32_t id);
    /// @brief Removes and deletes every preset served by `operationClass`.
    static void RemoveConfigurationsOf(const ClassDesc* operationClass);
};

}  // namespace tarnix

#include "tarnix/brush_operation.h"

#include <algorithm>
#include <memory>

#include "tarnix/class_desc.h"

namespace tarnix {
namespace {

std::vector<std::unique_ptr<BrushConfiguration>>& Presets() {
    static auto* presets = new std::vector<std::unique_ptr<BrushConfiguration>>;
    return *presets;
}

}  // namespace

const ClassDesc* BrushOperation::GetClass() const { return StaticClass(); }

void BrushOperation::AddConfiguration(BrushConfiguration* configuration) {
    Presets().emplace_back(configuration);
}

uint32_t BrushOperation::ConfigurationCount() { return uint32_t(Presets().size()); }

BrushConfiguration* BrushOperation::Configuration(uint32_t index) {
    return index < Presets().size() ? Presets()[index].get() : nullptr;
}

BrushConfiguration* BrushOperation::FindConfiguration(const ClassDesc* operationClass,
                                                      uint32_t id) {
    for (const auto& preset : Presets())
        if (preset->OperationClass() == operationClass && preset->ID() == id) return preset.get();
    return nullptr;
}

void BrushOperation::RemoveConfigurationsOf(const ClassDesc* operationClass) {
    auto& presets = Presets();
    presets.erase(std::remove_if(presets.begin(), presets.end(),
                                 [operationClass](const auto& preset) {
                                     return preset->OperationClass() == operationClass;
                                 }),
                  presets.end());
}

}  // namespace tarnix
